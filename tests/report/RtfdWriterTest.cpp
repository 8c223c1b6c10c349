// The RTFD writer: TXT.rtf byte for byte, the images beside it, the
// attachments' file names, and saves that fail, are interrupted or find
// something at the target.
#include "report/RtfdWriter.h"
#include "Support.h"
#include "check/CreateImageString.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
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
    EXPECT_EQ(readAll(QDir(path).filePath("error16x16.png")), error->attachment->contents);
    EXPECT_EQ(readAll(QDir(path).filePath("warning16x16.png")), warning->attachment->contents);
    // Escapes, paragraphs, bold, Unicode (a character outside the basic plane
    // as two signed halves) and each image where its character stood.
    EXPECT_EQ(readAll(QDir(path).filePath("TXT.rtf")).toStdString(),
              readAll(qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/rtfd-report.rtf").toStdString());
}

TEST(RtfdWriter, FontTableNamesEachFamilyOnceAndFallsBackWithoutOne)
{
    const struct {
        QString defaultFamily;
        QString boldFamily;
        QByteArray fontTable;
        QByteArray body;
    } cases[] = {
        {QString(), QString(), "{\\f0\\fnil\\fcharset0 Helvetica;}", "a\\b B\\b0 c"},
        {"DejaVu Sans", QString(), "{\\f0\\fnil\\fcharset0 DejaVu Sans;}", "a\\b B\\b0 c"},
        // A family's ";" would end its entry, its braces a group.
        {"DejaVu Sans", "Serif;Evil{}", "{\\f0\\fnil\\fcharset0 DejaVu Sans;}{\\f1\\fnil\\fcharset0 Serif Evil\\{\\};}",
         "a\\f1\\b B\\f0\\b0 c"},
    };
    for (const auto& c : cases) {
        StyledString b = bold(QStringLiteral("B"));
        b.font->family = c.boldFamily;
        EXPECT_EQ(report::RtfFromRuns({regular("a"), b, regular("c")}, {}, c.defaultFamily).toStdString(),
                  rtfDocument(c.fontTable, c.body));
    }
}

TEST(RtfdWriter, AttachmentFilesAreSafeUniqueAndStoredOnce)
{
    const QByteArray png1 = "one";
    const QByteArray png2 = "two";
    const StyledString shared = icon("note16x16.png", png1);
    struct Case {
        QList<StyledString> runs;
        QStringList names; // in order of the runs' attachments
    } cases[] = {
        {{shared, shared, icon("note16x16.png", png1)}, {"note16x16.png", "note16x16.png", "note16x16.png"}},
        {{icon("x.png", png1), icon("x.png", png2), icon("x.png", png2)}, {"x.png", "x-2.png", "x-2.png"}},
        {{icon("../../evil.png", png1)}, {"evil.png"}},
        {{icon("TXT.rtf", png1)}, {"imageTXT.rtf"}},
        {{icon(".hidden", png1), icon("", png2)}, {"image.hidden", "image"}},
        {{icon("sp ace;{x}.png", png1)}, {"sp_ace__x_.png"}},
    };
    for (const Case& c : cases) {
        const auto names = report::AttachmentFileNames(c.runs);
        QStringList got;
        for (const StyledString& run : c.runs)
            got << names.value(run.attachment.get());
        EXPECT_EQ(got, c.names);
    }
}

TEST(RtfdWriter, FailuresSayWhyAndLeaveNothingBehind)
{
    QTemporaryDir dir;
    TextStorage report;
    report.appendAttributedString(regular("x"));
    QFile file(dir.filePath("a-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
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
    enum Kind { None, File, Folder };
    struct Case {
        Kind built;
        Kind target;
        bool succeeds;
    } cases[] = {
        {File, None, true},     {Folder, None, true}, {File, File, true},
        {Folder, Folder, true}, {Folder, File, true}, {None, Folder, false},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const QString built = dir.filePath("built");
        const QString target = dir.filePath("target");
        auto make = [](Kind kind, const QString& path, const QByteArray& mark) {
            if (kind == File) {
                QFile f(path);
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(mark);
            } else if (kind == Folder) {
                ASSERT_TRUE(QDir().mkdir(path));
                QFile f(path + "/mark");
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(mark);
            }
        };
        make(c.built, built, "new");
        make(c.target, target, "old");
        const platform::Result<void> replaced = report::ReplaceAtomically(built, target);
        EXPECT_EQ(replaced.ok(), c.succeeds);
        const QString mark = QFileInfo(target).isDir() ? target + "/mark" : target;
        EXPECT_EQ(readAll(mark), c.succeeds ? QByteArray("new") : QByteArray("old"));
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
                   (info.isDir() ? QStringLiteral("folder") : QString::fromUtf8(readAll(info.filePath())));
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
    enum Outcome { Saved, Refused, Killed };
    using Step = std::function<void(const QString& d)>;
    TextStorage earlier; // with an image, which must not survive the replacement
    earlier.appendAttributedString(regular("earlier"));
    earlier.appendAttributedString(*check::CreateImageString("note16x16.png"));
    const Step ourReport = [&](const QString& d) { ASSERT_TRUE(report::WriteRtfd(earlier, d + "/Log.rtfd")); };
    const Step notes = [](const QString& d) { writeFile(d + "/Log.rtfd/notes.txt", "mine"); };
    const Step nothing = [](const QString&) {};
    const struct {
        const char* name;
        Step before;      // what the user has
        Step duringWrite; // what the user does while the document is written
        int signal;       // sent to the saving process once the document is built
        Outcome outcome;
    } rows[] = {
        {"an earlier report", ourReport, nothing, 0, Saved},
        {"an empty folder", [](const QString& d) { QDir().mkpath(d + "/Log.rtfd"); }, nothing, 0, Saved},
        {"a folder made at the target meanwhile", nothing, notes, 0, Refused},
        {"a folder swapped in for the earlier report meanwhile", ourReport,
         [&](const QString& d) {
             QDir(d).rename("Log.rtfd", "Moved.rtfd");
             notes(d);
         },
         0, Refused},
        {"a file put into the earlier report meanwhile", ourReport, notes, 0, Refused},
        {"SIGTERM", ourReport, nothing, SIGTERM, Killed},
        {"SIGINT", nothing, nothing, SIGINT, Killed},
        {"SIGHUP", nothing, nothing, SIGHUP, Killed},
    };
    TextStorage report;
    report.appendAttributedString(regular("new"));
    for (const auto& row : rows) {
        QTemporaryDir saved, reference;
        const QString d = QDir(saved.path()).canonicalPath();
        row.before(d);
        row.before(reference.path());
        row.duringWrite(reference.path());
        const QString target = d + "/Log.rtfd";

        const pid_t child = ::fork();
        if (child == 0) {
            report::SetRtfdBuiltHookForTests([&] {
                row.duringWrite(d);
                if (row.signal)
                    std::raise(row.signal);
            });
            const bool ok = report::saveTargetRefusal(target, report::DocumentKind::Rtfd).isEmpty() &&
                            report::WriteRtfd(report, target).ok();
            ::_exit(ok ? Saved : Refused);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const Outcome outcome = WIFSIGNALED(status) ? Killed : static_cast<Outcome>(WEXITSTATUS(status));
        EXPECT_EQ(outcome, row.outcome) << row.name;
        if (outcome != Saved) {
            EXPECT_EQ(tree(d), tree(reference.path())) << row.name;
            continue;
        }
        const QByteArray rtf = readAll(target + "/TXT.rtf");
        EXPECT_EQ(entries(d), QStringList({"Log.rtfd"})) << row.name;
        EXPECT_EQ(entries(target), QStringList({"TXT.rtf"})) << row.name;
        EXPECT_EQ(rtf.toStdString(), rtfDocument("{\\f0\\fnil\\fcharset0 Helvetica;}", "new")) << row.name;
    }
}
