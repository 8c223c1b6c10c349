// Which save targets a document may replace: nothing, an empty folder or a
// document of its own kind; never the user's other files, the files being
// checked, or the working directory.
#include "report/SaveTarget.h"
#include "CaseRows.h"
#include "Support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using report::DocumentKind;

TEST(SaveTarget, OnlyNothingAnEmptyFolderOrADocumentOfOursIsReplacedAndNothingChecked)
{
    QTemporaryDir dir;
    const QString d = QDir(dir.path()).canonicalPath();
    writeFile(d + "/ours.rtfd/TXT.rtf", "{\\rtf1{\\fonttbl{\\f0 Sans;}}\n{\\*\\generator Ostrel 2.1;}\n}");
    // Another program's document, whose text only speaks of our mark.
    writeFile(d + "/quoting.rtfd/TXT.rtf", "{\\rtf1 \\{\\\\*\\\\generator Ostrel 2.1;\\}}");
    for (const char* file : {"ours.rtfd/note16x16.png", "ours.rtfd/error16x16-2.png", "images/a.png", "project/TXT.rtf",
                             "project/main.cpp", "hidden.rtfd/TXT.rtf", "hidden.rtfd/.git/config",
                             "nested.rtfd/TXT.rtf", "report.pdf", "A.app/Contents/Info.plist"})
        writeFile(d + "/" + file);
    for (const char* folder :
         {"empty", "nested.rtfd/deep.png", "work/sub", "Empty.app", "A.app/Contents/Resources/en.lproj"})
        ASSERT_TRUE(QDir().mkpath(d + "/" + folder));
    for (const auto& [to, name] : {std::pair{"ours.rtfd", "link.rtfd"}, {"report.pdf", "link.pdf"}, {"A.app", "Link"}})
        ASSERT_EQ(::symlink(to, QFile::encodeName(d + "/" + name).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "/fifo").constData(), 0600), 0);
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(d + "/work/sub"));

    const QStringList checked{d + "/A.app/Contents/Info.plist", d + "/A.app", "../../Empty.app"};
    for (const QStringList& row : caseRows("report-save-targets.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 3);
        const QString target = QString(row[0]).replace("$D", d);
        const QString rtfd = report::saveTargetRefusal(target, DocumentKind::Rtfd, checked);
        const QString pdf = report::saveTargetRefusal(target, DocumentKind::Pdf, checked);
        EXPECT_EQ(rtfd.isEmpty(), row[1] == "-") << rtfd.toStdString();
        EXPECT_TRUE(row[1] == "-" || rtfd.contains(row[1])) << rtfd.toStdString();
        EXPECT_EQ(pdf.isEmpty(), row[2] == "-") << pdf.toStdString();
        EXPECT_TRUE(row[2] == "-" || pdf.contains(row[2])) << pdf.toStdString();
    }
    QDir::setCurrent(before);
}
