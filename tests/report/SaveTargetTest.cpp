// Which save targets a document may replace: nothing, an empty folder or a
// document of its own kind; never the user's other files, the files being
// checked, or the working directory.
#include "report/SaveTarget.h"
#include "Support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using report::DocumentKind;

TEST(SaveTarget, OnlyNothingAnEmptyFolderOrADocumentOfTheSameKindIsReplaced)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    writeFile(d + "/ours.rtfd/TXT.rtf", "{\\rtf1{\\fonttbl{\\f0 Sans;}}\n{\\*\\generator Ostrel 2.1;}\n}");
    // Another program's document, whose text only speaks of our mark.
    writeFile(d + "/quoting.rtfd/TXT.rtf", "{\\rtf1 \\{\\\\*\\\\generator Ostrel 2.1;\\}}");
    writeFile(d + "/ours.rtfd/note16x16.png");
    writeFile(d + "/ours.rtfd/error16x16-2.png");
    QDir().mkpath(d + "/empty");
    writeFile(d + "/images/a.png");
    writeFile(d + "/project/TXT.rtf");
    writeFile(d + "/project/main.cpp");
    writeFile(d + "/hidden.rtfd/TXT.rtf");
    writeFile(d + "/hidden.rtfd/.git/config");
    writeFile(d + "/nested.rtfd/TXT.rtf");
    QDir().mkpath(d + "/nested.rtfd/deep.png");
    writeFile(d + "/report.pdf");
    ASSERT_EQ(
        ::symlink(QFile::encodeName(d + "/ours.rtfd").constData(), QFile::encodeName(d + "/link.rtfd").constData()), 0);
    ASSERT_EQ(
        ::symlink(QFile::encodeName(d + "/report.pdf").constData(), QFile::encodeName(d + "/link.pdf").constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "/fifo").constData(), 0600), 0);

    const struct {
        const char* name;
        bool rtfdAllowed;
        bool pdfAllowed;
        const char* why; // part of the refusal for RTFD
    } rows[] = {
        {"new.rtfd", true, true, ""},
        {"empty", true, false, ""},
        {"ours.rtfd", true, false, ""},
        {"quoting.rtfd", false, false, "Ostrel did not write"},
        {"images", false, false, "holds no TXT.rtf"},
        {"project", false, false, "main.cpp"},
        {"hidden.rtfd", false, false, ".git"},
        {"nested.rtfd", false, false, "deep.png"},
        {"report.pdf", false, true, "is a file"},
        {"link.rtfd", false, false, "symbolic link"},
        {"link.pdf", false, false, "symbolic link"},
        {"fifo", false, false, "neither a file nor a folder"},
    };
    for (const auto& row : rows) {
        const QString target = d + "/" + row.name;
        const QString rtfd = report::saveTargetRefusal(target, DocumentKind::Rtfd);
        EXPECT_EQ(rtfd.isEmpty(), row.rtfdAllowed) << row.name << ": " << rtfd.toStdString();
        EXPECT_TRUE(rtfd.contains(QLatin1String(row.why))) << row.name << ": " << rtfd.toStdString();
        const QString pdf = report::saveTargetRefusal(target, DocumentKind::Pdf);
        EXPECT_EQ(pdf.isEmpty(), row.pdfAllowed) << row.name << ": " << pdf.toStdString();
    }
}

TEST(SaveTarget, TheCheckedItemsAndTheWorkingDirectoryAreNeverReplaced)
{
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    writeFile(d + "/A.app/Contents/Info.plist");
    QDir().mkpath(d + "/work/sub");
    QDir().mkpath(d + "/Empty.app");
    QDir().mkpath(d + "/A.app/Contents/Resources/en.lproj");
    ASSERT_EQ(::symlink("A.app", QFile::encodeName(d + "/Link").constData()), 0);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(d + "/work/sub"));

    const QStringList checked{d + "/A.app/Contents/Info.plist", d + "/A.app", "../../Empty.app"};
    const struct {
        QString target;
        const char* why;
    } rows[] = {
        {d + "/A.app", "being checked"},
        {d + "/A.app/Contents/Info.plist", "it is being checked"},
        {d + "/A.app/Contents", "A.app/Contents/Info.plist"},
        {d + "/A.app/Contents/Resources/Log.rtfd", "inside"},
        {d + "/A.app/Contents/Resources/en.lproj", "inside"}, // though an empty folder
        {d + "/Link/Contents/Log.rtfd", "inside"},            // through a link
        {d + "/Empty.app", "it is being checked"},            // named relative to the working directory
        {d, "working directory"},
        {d + "/work", "working directory"},
        {".", "it is the working directory"},
        {"../sub/x/..", "it is the working directory"},
        {d + "/work/sub/", "it is the working directory"},
        {"/", "working directory"},
    };
    for (const auto& row : rows) {
        for (DocumentKind kind : {DocumentKind::Rtfd, DocumentKind::Pdf}) {
            const QString why = report::saveTargetRefusal(row.target, kind, checked);
            EXPECT_TRUE(why.contains(QLatin1String(row.why))) << row.target.toStdString() << ": " << why.toStdString();
        }
    }
    // Beside them, a new document is fine.
    EXPECT_EQ(report::saveTargetRefusal(d + "/Log.rtfd", DocumentKind::Rtfd, checked), QString());
    EXPECT_EQ(report::saveTargetRefusal("Log.pdf", DocumentKind::Pdf, checked), QString());
    QDir::setCurrent(before);
}
