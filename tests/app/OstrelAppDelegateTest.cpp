// The controller through the scripted window: start-up, opening files, the
// guard, the cross-checks, print and save.
#include "app/OstrelAppDelegate.h"
#include "CaseRows.h"
#include "TestFiles.h"
#include "platform/Bundle.h"
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

// A window whose panels answer as the test scripted them, in order (with none
// left, cancelled), and which records what was asked of it.
struct ScriptedWindow : app::ReportWindow {
    struct Answer {
        int returnCode = app::kPanelCancel;
        QList<QUrl> urls; // the open panel's choice, or the save panel's file (first)
    };
    static Answer next(QList<Answer>& answers) { return answers.isEmpty() ? Answer{} : answers.takeFirst(); }

    report::TextStorage& textStorage() override { return storage; }
    int runOpenPanel(const app::OpenPanelOptions& options, QList<QUrl>& urls) override
    {
        openPanels << options;
        const Answer answer = next(openAnswers);
        urls = answer.urls;
        return answer.returnCode;
    }
    void beginSaveSheet(const app::SavePanelOptions& options, std::function<void(int, const QUrl&)> didEnd) override
    {
        savePanels << options.nameFieldStringValue + " " + options.requiredFileType;
        const Answer answer = next(saveAnswers);
        didEnd(answer.returnCode, answer.urls.value(0));
    }
    platform::Result<void> writeRTFDToFile(const QString& path, bool) override
    {
        rtfdWrites << path;
        if (rtfdFailure.isEmpty())
            return {};
        return platform::Error::posix(EIO, rtfdFailure);
    }
    void beginPrintSheet(const app::PrintOptions& options, std::function<void(bool)> didRun) override
    {
        printJobs << options.jobTitle;
        didRun(true);
    }
    void presentError(const QString& message) override { presentedErrors << message; }
    void batchProgress(int done, int total) override { progress.append({done, total}); }

    report::TextStorage storage;
    QList<Answer> openAnswers, saveAnswers;
    QString rtfdFailure; // none: writing succeeds
    QList<app::OpenPanelOptions> openPanels;
    QStringList savePanels, printJobs; // the proposed names and types, the titles
    QStringList rtfdWrites, presentedErrors;
    QList<std::pair<int, int>> progress;
};

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
    void write(const QString& relative, const QByteArray& bytes) { testsupport::writeFile(path(relative), bytes); }
    // The report as text, icons as "error:" and so on; then emptied.
    QString takeReport()
    {
        const report::TextStorage& storage = window.textStorage();
        const QString text = report::plainText(storage, 0, storage.runs().size(), false);
        window.textStorage() = report::TextStorage();
        return text;
    }
    // Control characters in the names come out escaped: a file's name cannot forge a line of the report.
    static QString heading(const QString& name, const QString& read)
    {
        return "Checking " + report::escapeControlCharacters(name) + "\n" + report::escapeControlCharacters(read) +
               "\n";
    }

    QTemporaryDir dir;
    ScriptedWindow window;
    std::unique_ptr<app::OstrelAppDelegate> controller;
};

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
        const QString name = QString::fromUtf8(unescaped(row[0]));
        SCOPED_TRACE(name.toStdString());
        if (row.value(1) != "-")
            write(name, unescaped(row.value(1)));
        EXPECT_EQ(controller->applicationOpenFile(path(name)), row.value(2) == "1");
        EXPECT_EQ(takeReport().toStdString(),
                  (heading(name, path(name)) + QString::fromUtf8(unescaped(row.value(3)))).toStdString());
    }
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
    EXPECT_FALSE(controller->applicationOpenFile(path("array.plist"))); // the guard caught it

    QStringList records, expected;
    for (const report::Finding& f : window.textStorage().findings()) {
        EXPECT_EQ(f.fileGiven, f.fileRead);
        records << QStringList{report::severityName(f.severity), f.messageKey, f.keyPath,
                               QString::number(f.position.line), f.fileRead,   f.text}
                       .join('\t');
    }
    for (QStringList row : caseRows("finding-records.tsv")) {
        row[4] = path(row[4]);
        expected << row.join('\t');
    }
    EXPECT_EQ(records, expected);
}

// A file without the extension "plist" whose AppleDouble sidecar carries
// Finder type APPL, creator 'Ostr' and a resource fork.
void writeResourceCarrier(const QString& file, const platform::ResourceData& resource)
{
    testsupport::writeFile(file, {});
    testsupport::writeFile(QFileInfo(file).path() + "/._" + QFileInfo(file).fileName(),
                           platform::makeAppleDouble({{9, platform::makeFinderInfo(platform::fourCharCode("APPL"),
                                                                                   platform::fourCharCode("Ostr"))},
                                                      {2, platform::makeResourceFile({resource})}}));
}

TEST_F(ControllerTest, ResourceCarrierIsCrossCheckedAsExactTextBeforeValidation)
{
    start();
    for (const QStringList& row : caseRows("resource-carriers.tsv")) {
        const QString& name = row[0];
        SCOPED_TRACE(name.toStdString());
        const QByteArray dict =
            "<dict><key>CFBundleIdentifier</key><string>a.b</string>" + row.value(2).toUtf8() + "</dict>";
        writeResourceCarrier(path(name), {*platform::fourCharCodeFromString(row.value(1)), 0, xmlPlist(dict), {}});
        EXPECT_EQ(controller->applicationOpenFile(path(name)), row.value(1) == "plst");
        EXPECT_EQ(takeReport().toStdString(),
                  (heading(name, path(name)) + QString::fromUtf8(unescaped(row.value(3)))).toStdString());
    }
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
    window.openAnswers = {{app::kPanelCancel, {QUrl::fromLocalFile(path("one.plist"))}},
                          {app::kPanelOK,
                           {QUrl::fromLocalFile(path("one.plist")), QUrl("https://example.com/x.plist"),
                            QUrl::fromLocalFile(path("two.plist")), QUrl::fromLocalFile(path("three.plist"))}}};
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
    start();
    const QUrl url = QUrl::fromLocalFile(path("a.plist"));
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

// Start-up keeps the user's defaults and writes only the introduction, which
// printing and saving leave as it is.
TEST_F(ControllerTest, StartUpPrintAndSave)
{
    platform::UserDefaults::standard().store().setValue(platform::NoteUnknownKeysKey, false);
    start();
    controller->awakeFromNib();
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey(platform::DeprecationNotesKey));
    EXPECT_FALSE(platform::UserDefaults::standard().boolForKey(platform::NoteUnknownKeysKey));
    controller->printText();
    platform::Bundle::main().setStringsFile(path("none.strings"));
    controller->printText();
    EXPECT_EQ(window.printJobs, (QStringList{"Report of Ostrel", "Ostrel Log"}));

    platform::Bundle::main().setStringsFile(kStrings);
    window.saveAnswers = {{app::kPanelOK, {QUrl::fromLocalFile(path("Other.rtfd"))}},
                          {app::kPanelCancel, {QUrl::fromLocalFile(path("cancelled.rtfd"))}},
                          {app::kPanelOK, {QUrl::fromLocalFile(path("x.rtfd"))}}};
    controller->saveDocumentAs();
    controller->saveDocumentAs();
    window.rtfdFailure = "disk full";
    controller->saveDocumentAs();
    EXPECT_EQ(window.savePanels, QStringList(3, "Ostrel Log.rtfd rtfd"));
    EXPECT_EQ(window.rtfdWrites, (QStringList{path("Other.rtfd"), path("x.rtfd")}));
    EXPECT_EQ(window.presentedErrors, QStringList{"SaveFailed(" + path("x.rtfd") + ", disk full)"});
    EXPECT_EQ(takeReport(), "Intro\n");
}

} // namespace
