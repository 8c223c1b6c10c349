// The RTFD writer: TXT.rtf byte for byte, the images beside it, the
// attachments' file names, and saves that fail, are interrupted or find
// something at the target.
#include "report/RtfdWriter.h"
#include "CaseRows.h"
#include "Support.h"
#include "check/CreateImageString.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

using report::StyledString;
using report::TextStorage;

namespace {

// A document as the writer makes it, around its font table and body.
std::string rtfDocument(const QByteArray& fontTable, const QByteArray& body)
{
    return ("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl" + fontTable + "}\n" + report::kRtfGeneratorGroup +
            ";}\n\\pard\\plain\\f0\\fs28\n" + body + "}\n")
        .toStdString();
}

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

TEST(RtfdWriter, WritesTextBoldRunsFontsAndIconsInPlace)
{
    const auto error = check::CreateImageString(QStringLiteral("error16x16.png"));
    const auto warning = check::CreateImageString(QStringLiteral("warning16x16.png"));
    ASSERT_TRUE(error && warning);

    TextStorage report;
    const QList<StyledString> runs = {
        regular(QStringLiteral("Intro {braces} and \\ backslash\n")),
        regular(QStringLiteral("Checking ")),
        bold(QStringLiteral("Ünïcødé 😀.app")),
        regular(QStringLiteral("\n/tmp/x\n")),
        *error,
        regular(QStringLiteral(" ")),
        regular(QStringLiteral("tab\there\n")),
        *warning,
        regular(QStringLiteral(" ")),
        regular(QStringLiteral("second\n")),
        *error,
        regular(QStringLiteral(" again\n")),
    };
    for (const StyledString& run : runs)
        report.appendAttributedString(run);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Ostrel Log.rtfd"));
    const platform::Result<void> written = report::WriteRtfd(report, path, QStringLiteral("Cantarell"));
    ASSERT_TRUE(written) << written.error().text().toStdString();

    // Each image once, byte for byte, beside the text.
    EXPECT_EQ(entries(path), QStringList({"TXT.rtf", "error16x16.png", "warning16x16.png"}));
    EXPECT_EQ(testsupport::readFile(QDir(path).filePath("error16x16.png")), error->attachment->contents);
    EXPECT_EQ(testsupport::readFile(QDir(path).filePath("warning16x16.png")), warning->attachment->contents);
    // Escapes, paragraphs, bold, Unicode (a character outside the basic plane
    // as two signed halves) and each image where its character stood.
    EXPECT_EQ(testsupport::readFile(QDir(path).filePath("TXT.rtf")).toStdString(),
              testsupport::readFile(qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/rtfd-report.rtf").toStdString());
}

TEST(RtfdWriter, FontTableNamesEachFamilyOnceAndFallsBackWithoutOne)
{
    for (const QStringList& row : caseRows("report-rtf-fonts.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 4);
        StyledString b = bold(QStringLiteral("B"));
        b.font->family = row[1];
        EXPECT_EQ(report::RtfFromRuns({regular("a"), b, regular("c")}, {}, row[0]).toStdString(),
                  rtfDocument(row[2].toUtf8(), row[3].toUtf8()));
    }
}

TEST(RtfdWriter, AttachmentFilesAreSafeUniqueAndStoredOnce)
{
    for (const QStringList& row : caseRows("report-attachment-names.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 2);
        QList<StyledString> runs;
        for (const QString& image : row[0].split('|'))
            runs << (image == "=" ? runs.last() : icon(image.section(':', 0, 0), image.section(':', 1).toUtf8()));
        const auto names = report::AttachmentFileNames(runs);
        QStringList got;
        for (const StyledString& run : runs)
            got << names.value(run.attachment.get());
        EXPECT_EQ(got.join('|'), row[1]);
    }
}

TEST(RtfdWriter, FailuresSayWhyAndLeaveNothingBehind)
{
    QTemporaryDir dir;
    TextStorage report;
    report.appendAttributedString(regular("x"));
    writeFile(dir.filePath("a-file"));
    const QString targets[] = {
        dir.filePath("missing/Log.rtfd"), // no such folder
        dir.filePath("a-file/Log.rtfd"),  // the folder is a file
        QStringLiteral("/proc/Log.rtfd"), // nothing can be made there
        QString(),
    };
    for (const QString& target : targets) {
        const platform::Result<void> written = report::WriteRtfd(report, target);
        ASSERT_FALSE(written) << target.toStdString();
        EXPECT_FALSE(written.error().detail.isEmpty()) << target.toStdString();
    }
    EXPECT_EQ(entries(dir.path()), QStringList({"a-file"}));
}

TEST(RtfdWriter, ReplaceAtomicallySwapsOrLeavesTheTargetAsItWas)
{
    for (const QStringList& row : caseRows("report-replacements.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 3);
        QTemporaryDir dir;
        const QString built = dir.filePath("built");
        const QString target = dir.filePath("target");
        const auto make = [](const QString& kind, const QString& path, const QByteArray& mark) {
            if (kind != "nothing")
                writeFile(kind == "file" ? path : path + "/mark", mark);
        };
        make(row[0], built, "new");
        make(row[1], target, "old");
        const platform::Result<void> replaced = report::ReplaceAtomically(built, target);
        const bool succeeds = row[2] == "replaced";
        EXPECT_EQ(replaced.ok(), succeeds);
        const QString mark = QFileInfo(target).isDir() ? target + "/mark" : target;
        EXPECT_EQ(testsupport::readFile(mark), succeeds ? QByteArray("new") : QByteArray("old"));
    }
}

namespace {

// Every name below dir with its contents (or "folder"), a line each.
std::string tree(const QString& dir)
{
    QStringList all;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        all << QDir(dir).relativeFilePath(info.filePath()) + ": " +
                   (info.isDir() ? QStringLiteral("folder")
                                 : QString::fromUtf8(testsupport::readFile(info.filePath())));
    }
    all.sort();
    return all.join('\n').toStdString();
}

} // namespace

// Each case builds what the user has, then saves there as the programs do
// (the target judged, then written) in a child process, which a signal may end. What the user had is compared with a
// second folder built the same way without the save.
TEST(RtfdWriter, WhatStandsAtTheTargetIsReplacedOnlyWhenItIsAnEarlierReport)
{
    const QStringList outcomes{"saved", "refused", "killed"};
    const std::map<QString, int> signalNamed{{"-", 0}, {"TERM", SIGTERM}, {"INT", SIGINT}, {"HUP", SIGHUP}};
    TextStorage earlier;
    earlier.appendAttributedString(regular("earlier"));
    earlier.appendAttributedString(*check::CreateImageString("note16x16.png"));
    const auto step = [&](const QString& what, const QString& d) {
        if (what == "report") {
            ASSERT_TRUE(report::WriteRtfd(earlier, d + "/Log.rtfd"));
        }
        if (what == "empty") {
            ASSERT_TRUE(QDir().mkpath(d + "/Log.rtfd"));
        }
        if (what == "swap") {
            ASSERT_TRUE(QDir(d).rename("Log.rtfd", "Moved.rtfd"));
        }
        if (what == "notes" || what == "swap")
            writeFile(d + "/Log.rtfd/notes.txt", "mine");
    };
    TextStorage report;
    report.appendAttributedString(regular("new"));
    for (const QStringList& row : caseRows("report-save-races.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 4);
        QTemporaryDir saved, reference;
        const QString d = QDir(saved.path()).canonicalPath();
        step(row[0], d);
        step(row[0], reference.path());
        step(row[1], reference.path());
        const QString target = d + "/Log.rtfd";

        const pid_t child = ::fork();
        if (child == 0) {
            report::SetRtfdBuiltHookForTests([&] {
                step(row[1], d);
                if (signalNamed.at(row[2]))
                    std::raise(signalNamed.at(row[2]));
            });
            const bool ok = report::saveTargetRefusal(target, report::DocumentKind::Rtfd).isEmpty() &&
                            report::WriteRtfd(report, target).ok();
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const QString outcome = outcomes.value(WIFSIGNALED(status) ? 2 : WEXITSTATUS(status));
        EXPECT_EQ(outcome, row[3]);
        if (outcome != "saved") {
            EXPECT_EQ(tree(d), tree(reference.path()));
            continue;
        }
        // The earlier report's image is gone with it.
        EXPECT_EQ(entries(d), QStringList({"Log.rtfd"}));
        EXPECT_EQ(entries(target), QStringList({"TXT.rtf"}));
        EXPECT_EQ(testsupport::readFile(target + "/TXT.rtf").toStdString(),
                  rtfDocument("{\\f0\\fnil\\fcharset0 Helvetica;}", "new"));
    }
}
