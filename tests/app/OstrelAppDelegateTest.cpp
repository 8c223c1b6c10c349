// The controller through the scripted window: start-up, opening files, the
// guard, the cross-checks, print and save.
#include "app/OstrelAppDelegate.h"
#include "CaseRows.h"
#include "Support.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"
#include "platform/PlatformException.h"
#include "platform/ResourceWriter.h"
#include "platform/UserDefaults.h"
#include "report/Escaping.h"
#include "report/ReportText.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using report::StyledString;

namespace {

// One required key, so that a check shows whether the validator ran.
const char* const kTestRules = "<plist><dict><key>keys</key><dict><key>CFBundleIdentifier</key><dict><key>type</key>"
                               "<string>string</string><key>required</key><true/></dict></dict></dict></plist>";

QByteArray xmlPlist(const QByteArray& body)
{
    return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\">\n" + body + "\n</plist>\n";
}

// Texts that show their key and arguments, so reports are easy to compare.
const QString kStrings = qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/controller.strings";

const QByteArray kGoodDict = xmlPlist("<dict><key>CFBundleIdentifier</key><string>com.example.a</string></dict>");

class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::UserDefaults::standard().useStore(
            std::make_unique<QSettings>(path("settings.ini"), QSettings::IniFormat));
        write("rules.plist", kTestRules);
        platform::Bundle::main().setStringsFile(kStrings);
        platform::Bundle::main().setResourcePath("rules.plist", path("rules.plist"));
    }
    void TearDown() override
    {
        for (const char* name : {"rules.plist", "error16x16.png"})
            platform::Bundle::main().setResourcePath(name, QString());
        platform::Bundle::main().setStringsFile(QString());
    }
    void start()
    {
        controller = std::make_unique<app::OstrelAppDelegate>();
        controller->setWindow(&window);
    }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    void write(const QString& relative, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // The report as text, icons as "error:" and so on; then emptied.
    QString takeReport()
    {
        const report::TextStorage& storage = window.textStorage();
        const QString text = report::plainText(storage, 0, storage.runs().size(), false);
        window.textStorage() = report::TextStorage();
        return text;
    }
    static QString heading(const QString& name, const QString& read) { return "Checking " + name + "\n" + read + "\n"; }

    QTemporaryDir dir;
    testsupport::ScriptedWindow window;
    std::unique_ptr<app::OstrelAppDelegate> controller;
};

TEST_F(ControllerTest, StartUpKeepsTheUsersDefaultsAndWritesOnlyTheIntroduction)
{
    platform::UserDefaults::standard().store().setValue(platform::NoteUnknownKeysKey, false);
    start();
    controller->awakeFromNib();
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(platform::DeprecationNotesKey));
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(platform::NoteUnknownKeysKey));
    EXPECT_EQ(takeReport(), "Intro\n");
}

TEST_F(ControllerTest, RulesThatCannotBeLoadedAreNullAndChecksStillRun)
{
    write("garbage.plist", "<plist><dict><key>keys</key>");
    write("Info.plist", xmlPlist("<dict/>"));
    for (const char* rules : {"missing.plist", "garbage.plist", "rules.plist"}) {
        SCOPED_TRACE(rules);
        platform::Bundle::main().setResourcePath("rules.plist", path(rules));
        start();
        const bool loaded = rules == QLatin1String("rules.plist");
        EXPECT_EQ(controller->rulesDict() != nullptr, loaded);
        EXPECT_TRUE(controller->applicationOpenFile(path("Info.plist")));
        EXPECT_EQ(takeReport(), heading("Info.plist", path("Info.plist")) +
                                    (loaded ? "error: line 3: NoReqTopKey(CFBundleIdentifier) [NoReqTopKey]\n" : ""));
    }
}

TEST_F(ControllerTest, EachFileShowsAtMostTheCapOfFindingsAndANoteOfTheRest)
{
    // Rules that require more keys than a report shows for one file.
    const int required = app::OstrelAppDelegate::kMaxFindingsPerFile + 7;
    QByteArray rules = "<plist><dict><key>keys</key><dict>";
    for (int i = 0; i < required; ++i)
        rules += "<key>K" + QByteArray::number(i) + "</key><dict><key>required</key><true/></dict>";
    write("many.plist", rules + "</dict></dict></plist>");
    platform::Bundle::main().setResourcePath("rules.plist", path("many.plist"));
    write("Info.plist", xmlPlist("<dict/>"));
    start();
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(controller->applicationOpenFile(path("Info.plist")));
        const QStringList lines = takeReport().split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2 + app::OstrelAppDelegate::kMaxFindingsPerFile + 1) << round;
        EXPECT_EQ(lines[2], "error: line 3: NoReqTopKey(K0) [NoReqTopKey]");
        // Every file anew, as grave as those left out.
        EXPECT_EQ(lines.last(), "error: line 3: LeftOut(7, 10000) [FindingsLeftOut]") << round;
        EXPECT_EQ(lines.filter("error: ").size(), app::OstrelAppDelegate::kMaxFindingsPerFile + 1);
    }
    EXPECT_EQ(controller->errorCount(), 2 * required); // those left out still count
}

TEST_F(ControllerTest, BundleDirectoryIsResolvedToItsPropertyList)
{
    start();
    for (const QStringList& row : caseRows("bundle-layouts.tsv")) {
        const QString& bundle = row[0];
        SCOPED_TRACE(bundle.toStdString());
        for (const QString& file : row.value(1).split(',', Qt::SkipEmptyParts))
            write(bundle + "/" + file, kGoodDict);
        for (const QString& link : row.value(2).split(',', Qt::SkipEmptyParts)) {
            const QString at = path(bundle + "/" + link.section('>', 0, 0));
            QDir().mkpath(QFileInfo(at).path());
            ASSERT_TRUE(QFile::link(link.section('>', 1), at));
        }
        const QString error = row.value(4);
        EXPECT_EQ(controller->applicationOpenFile(path(bundle)), error.isEmpty());
        // The bundle's own name is the bold part; the path line names the file read.
        EXPECT_EQ(window.textStorage().runs()[1].kind(), StyledString::Kind::Bold);
        EXPECT_EQ(window.textStorage().runs()[1].text, bundle);
        const QString read = row.value(3).isEmpty() ? path(bundle) : path(bundle + "/" + row.value(3));
        EXPECT_EQ(takeReport(), heading(bundle, read) + (error.isEmpty() ? "" : "error: " + error + "\n"));
    }
}

TEST_F(ControllerTest, EachOutcomeOfReadingAndParsing)
{
    start();
    for (const QStringList& row : caseRows("read-outcomes.tsv")) {
        const QString& name = row[0];
        SCOPED_TRACE(name.toStdString());
        if (row.value(1) != "-")
            write(name, unescaped(row.value(1)));
        EXPECT_EQ(controller->applicationOpenFile(path(name)), row.value(2) == "1");
        const QString report = takeReport();
        EXPECT_TRUE(report.startsWith(heading(name, path(name)) + QString::fromUtf8(unescaped(row.value(3)))))
            << report.toStdString();
    }
}

TEST_F(ControllerTest, DuplicateKeysAreWarnedBeforeTheOtherFindings)
{
    // Each line where the key appears, and the last, whose value counts; a key thrice is one finding.
    write("dup.plist", xmlPlist("<dict>\n<key>A</key><true/>\n<key>A</key><false/>\n"
                                "<key>N</key><dict><key>b</key><true/>\n<key>b</key><false/>\n<key>b</key><true/>"
                                "</dict>\n</dict>"));
    // Binary: a dictionary whose keys are both "a" (objects: dict, "a", "a", 1, 2); no lines there.
    write("dup-binary.plist", QByteArray::fromHex("62706c6973743030d201020304516151611001100208"
                                                  "0d0f1113000000000000010100000000000000050000000000000000"
                                                  "0000000000000015"));
    start();
    controller->applicationOpenFile(path("dup.plist"));
    controller->applicationOpenFile(path("dup-binary.plist"));
    EXPECT_EQ(takeReport(), heading("dup.plist", path("dup.plist")) +
                                "warning: line 5: DupTop(A, 4, 5, 5) [DuplicateTopKey]\n"
                                "warning: line 8: Dup(b, N, 6, 7, 8, 8) [DuplicateKey]\n"
                                "note: line 5: Unknown(A) [UnknownTopKey]\nnote: line 6: Unknown(N) [UnknownTopKey]\n"
                                "error: line 3: NoReqTopKey(CFBundleIdentifier) [NoReqTopKey]\n" +
                                heading("dup-binary.plist", path("dup-binary.plist")) +
                                "warning: DupTop(a) [DuplicateTopKeyNoLine]\nnote: Unknown(a) [UnknownTopKey]\n"
                                "error: NoReqTopKey(CFBundleIdentifier) [NoReqTopKey]\n");
}

TEST_F(ControllerTest, EachFindingIsAlsoARecordOfWhatAndWhere)
{
    write("dup.plist", xmlPlist("<dict>\n<key>N</key><dict><key>b</key><true/>\n<key>b</key><false/></dict>\n"
                                "<key>X</key><true/>\n</dict>"));
    write("array.plist", xmlPlist("<array/>"));
    start();
    for (const char* name : {"dup.plist", "array.plist", "missing.plist"})
        controller->applicationOpenFile(path(name));
    window.textStorage().setObserver([](const StyledString& run) {
        if (run.text == "array.plist")
            throw std::out_of_range("vector");
    });
    controller->applicationOpenFile(path("array.plist"));

    const std::vector<QStringList> expected = caseRows("finding-records.tsv");
    const QList<report::Finding>& findings = window.textStorage().findings();
    ASSERT_EQ(findings.size(), expected.size());
    for (qsizetype i = 0; i < findings.size(); ++i) {
        SCOPED_TRACE(i);
        const QStringList& row = expected[i];
        EXPECT_EQ(report::severityName(findings[i].severity), row[0]);
        EXPECT_EQ(findings[i].messageKey, row.value(1));
        EXPECT_EQ(findings[i].keyPath, row.value(2));
        EXPECT_EQ(findings[i].position.line, row.value(3).toInt());
        EXPECT_EQ(findings[i].fileRead, path(row.value(4)));
        EXPECT_EQ(findings[i].fileGiven, path(row.value(4)));
        EXPECT_EQ(findings[i].text, row.value(5));
    }
}

// A file without the extension "plist" whose AppleDouble sidecar carries
// Finder type APPL, creator 'Ostr' and a resource fork.
void writeResourceCarrier(const QString& file, const platform::ResourceData& resource)
{
    QFile(file).open(QIODevice::WriteOnly);
    QFile sidecar(QFileInfo(file).path() + "/._" + QFileInfo(file).fileName());
    ASSERT_TRUE(sidecar.open(QIODevice::WriteOnly));
    sidecar.write(platform::makeAppleDouble(
        {{9, platform::makeFinderInfo(platform::fourCharCode("APPL"), platform::fourCharCode("Ostr"))},
         {2, platform::makeResourceFile({resource})}}));
}

TEST_F(ControllerTest, ResourceCarrierIsCrossCheckedAsExactTextBeforeValidation)
{
    start();
    for (const QStringList& row : caseRows("resource-carriers.tsv")) {
        const QString& name = row[0];
        SCOPED_TRACE(name.toStdString());
        const QByteArray dict =
            "<dict><key>CFBundleIdentifier</key><string>a.b</string>" + row.value(1).toUtf8() + "</dict>";
        writeResourceCarrier(path(name), {platform::fourCharCode("plst"), 0, xmlPlist(dict), {}});
        EXPECT_TRUE(controller->applicationOpenFile(path(name)));
        const QString report = takeReport();
        EXPECT_TRUE(report.startsWith(heading(name, path(name)) + QString::fromUtf8(unescaped(row.value(2)))))
            << report.toStdString();
    }
    writeResourceCarrier(path("Other"), {platform::fourCharCode("TEXT"), 0, "text", {}});
    EXPECT_FALSE(controller->applicationOpenFile(path("Other")));
    EXPECT_EQ(takeReport(), heading("Other", path("Other")) + "error: NoData: NoPlstRes [NoPlstRes]\n");
}

TEST_F(ControllerTest, TextFromTheFileNameCannotForgeReportLines)
{
    const QString name = "Evil\nerror: forged\x1b[2J.app";
    write(name + "/Contents/Info.plist", kGoodDict);
    start();
    controller->applicationOpenFile(path(name));
    EXPECT_EQ(takeReport(), "Checking Evil\\nerror: forged\\x1B[2J.app\n" +
                                report::escapeControlCharacters(path(name)) + "/Contents/Info.plist\n");
}

TEST_F(ControllerTest, OpenCommandChecksChosenFilesInOrderPastAnException)
{
    for (const char* name : {"one.plist", "two.plist", "three.plist"})
        write(name, kGoodDict);
    start();
    // The second check fails inside, once: what it wrote stays, the guard's
    // line follows without a line end, and the third check runs.
    bool thrown = false;
    window.textStorage().setObserver([&](const StyledString& run) {
        if (run.text == "two.plist" && !std::exchange(thrown, true))
            throw platform::PlatformException("NSRangeException", "index 3 beyond bounds");
    });
    window.scriptOpenPanel({app::kPanelCancel, {QUrl::fromLocalFile(path("one.plist"))}});
    window.scriptOpenPanel({app::kPanelOK,
                            {QUrl::fromLocalFile(path("one.plist")), QUrl("https://example.com/x.plist"),
                             QUrl::fromLocalFile(path("two.plist")), QUrl::fromLocalFile(path("three.plist"))}});
    controller->openFiles();
    EXPECT_TRUE(window.textStorage().runs().isEmpty());
    controller->openFiles();

    ASSERT_EQ(window.openPanels.size(), 2);
    EXPECT_TRUE(window.openPanels[1].canChooseFiles && window.openPanels[1].allowsMultipleSelection);
    EXPECT_FALSE(window.openPanels[1].canChooseDirectories || window.openPanels[1].treatsFilePackagesAsDirectories);
    EXPECT_EQ(takeReport(), heading("one.plist", path("one.plist")) + "Checking two.plist" +
                                "safeOpenURL: Caught NSRangeException: index 3 beyond bounds [CaughtException]" +
                                heading("three.plist", path("three.plist")));
    EXPECT_EQ(window.progress.last(), std::make_pair(4, 4));
}

TEST_F(ControllerTest, GuardCatchesOnlyStandardExceptionsAndNotWhileReporting)
{
    write("a.plist", kGoodDict);
    start();
    const QUrl url = QUrl::fromLocalFile(path("a.plist"));
    window.textStorage().setObserver([](const StyledString& run) {
        if (run.text == "a.plist")
            throw std::out_of_range("vector");
    });
    EXPECT_FALSE(controller->safeOpenURL(url));
    EXPECT_TRUE(takeReport().endsWith("safeOpenURL: Caught std::out_of_range: vector [CaughtException]"));

    window.textStorage().setObserver([](const StyledString&) { throw 42; });
    EXPECT_THROW(controller->safeOpenURL(url), int);
    window.textStorage().setObserver([](const StyledString&) { throw std::runtime_error("always"); });
    EXPECT_THROW(controller->safeOpenURL(url), std::runtime_error);
    // The main loop's catch keeps the program going.
    EXPECT_NO_THROW(app::PerformCommand([&] { controller->safeOpenURL(url); }));
    EXPECT_NO_THROW(app::PerformCommand([] { throw 42; }));
}

TEST_F(ControllerTest, AppendOperationsMakeTheirRuns)
{
    platform::Bundle::main().setResourcePath("error16x16.png", path("none.png"));
    start();
    controller->addFinding(report::FindingId::DuplicateTopKeyNoLine, "K", "K");
    controller->appendWithFormat("no placeholder", {check::arg("ignored")});
    controller->appendBoldString("bold");
    controller->appendWithFormat(" %@ %@\n", {check::arg(plist::Value(false)), std::nullopt});
    controller->addFinding(report::FindingId::NotDict, QString()); // its image is missing: only the blank
    ASSERT_FALSE(window.textStorage().runs().empty());
    EXPECT_EQ(window.textStorage().runs()[0].attachment, controller->warningIcon()->attachment);
    EXPECT_EQ(takeReport(), "warning: DupTop(K) [DuplicateTopKeyNoLine]\nno placeholderbold " +
                                plist::Value(false).description() + " (null)\n NotDict [NotDict]\n");
    EXPECT_EQ(controller->errorCount(), 1);
}

TEST_F(ControllerTest, PrintAndSave)
{
    start();
    controller->printText();
    platform::Bundle::main().setStringsFile(path("none.strings"));
    controller->printText();
    ASSERT_EQ(window.printJobs.size(), 2);
    EXPECT_EQ(window.printJobs[0].jobTitle, "Report of Ostrel");
    EXPECT_EQ(window.printJobs[1].jobTitle, "Ostrel Log");

    platform::Bundle::main().setStringsFile(kStrings);
    controller->awakeFromNib();
    window.scriptSavePanel({app::kPanelOK, {QUrl::fromLocalFile(path("Other.rtfd"))}});
    window.scriptSavePanel({app::kPanelCancel, {QUrl::fromLocalFile(path("cancelled.rtfd"))}});
    window.scriptSavePanel({app::kPanelOK, {QUrl::fromLocalFile(path("x.rtfd"))}});
    controller->saveDocumentAs();
    controller->saveDocumentAs();
    window.scriptRtfdWrite(false, "disk full");
    controller->saveDocumentAs();
    ASSERT_EQ(window.savePanels.size(), 3);
    for (const app::SavePanelOptions& options : window.savePanels)
        EXPECT_EQ(options.nameFieldStringValue + " " + options.requiredFileType, "Ostrel Log.rtfd rtfd");
    EXPECT_EQ(window.rtfdWrites, (QStringList{path("Other.rtfd"), path("x.rtfd")}));
    EXPECT_FALSE(QFileInfo::exists(path("cancelled.rtfd")));
    EXPECT_EQ(window.presentedErrors, QStringList{"SaveFailed(" + path("x.rtfd") + ", disk full)"});
    EXPECT_EQ(takeReport(), "Intro\n");
}

} // namespace
