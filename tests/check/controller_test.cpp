// The controller through the scripted window: start-up, opening files, the
// guard, the cross-checks, print and save.
#include "spine_fixture.h"

#include "check/MessageFormat.h"
#include "platform/FileUrl.h"
#include "platform/PlatformException.h"
#include "platform/ResourceWriter.h"

#include <QFileInfo>

using namespace spine_test;
using check::StyledString;

namespace {

const QByteArray kGoodDict = xmlPlist("<dict><key>CFBundleIdentifier</key><string>com.example.a</string></dict>");

class ControllerTest : public SpineTest {};

TEST_F(ControllerTest, StartUpBuildsFontsIconsRulesAndWritesOnlyTheIntroduction)
{
    start();
    controller->awakeFromNib();

    EXPECT_EQ(controller->font(), (check::FontDescription{QString(), 14.0, false}));
    EXPECT_EQ(controller->boldFont(), (check::FontDescription{QString(), 14.0, true}));
    const std::pair<const StyledString*, QString> icons[] = {{controller->noteIcon(), "note16x16.png"},
                                                             {controller->warningIcon(), "warning16x16.png"},
                                                             {controller->errorIcon(), "error16x16.png"}};
    for (const auto& [icon, name] : icons) {
        ASSERT_NE(icon, nullptr) << name.toStdString();
        EXPECT_EQ(icon->text, QString(QChar(check::kAttachmentCharacter)));
        EXPECT_FALSE(icon->font.has_value());
        EXPECT_EQ(icon->attachment->fileName, name);
        EXPECT_TRUE(icon->attachment->contents.startsWith("\x89PNG\r\n\x1a\n")) << name.toStdString();
    }
    ASSERT_NE(controller->rulesDict(), nullptr);
    EXPECT_TRUE(controller->rulesDict()->isDictionary());

    const auto& runs = window.textStorage().runs();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs[0].text, "Intro\n");
    EXPECT_EQ(runs[0].kind(), StyledString::Kind::Regular);
    EXPECT_EQ(runs[0].font, controller->font());
}

TEST_F(ControllerTest, SettingsDefaultToTrueAndStoredValuesWin)
{
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.store().setValue(platform::NoteUnknownKeysKey, false);
    start();
    EXPECT_TRUE(defaults.boolForKey(platform::DeprecationNotesKey));
    EXPECT_FALSE(defaults.boolForKey(platform::NoteUnknownKeysKey));
    // The registration never writes to the store.
    EXPECT_FALSE(defaults.store().contains(platform::DeprecationNotesKey));
}

TEST_F(ControllerTest, RulesThatCannotBeLoadedAreNullAndChecksStillRun)
{
    writeFile(path("garbage.plist"), "<plist><dict><key>keys</key>");
    writeFile(path("array.plist"), "(1, 2)");
    const struct {
        const char* rules;
        bool loaded;
    } rows[] = {{"missing.plist", false}, {"garbage.plist", false}, {"rules.plist", true}};
    writeFile(path("Info.plist"), xmlPlist("<dict/>"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.rules);
        platform::Bundle::main().setResourcePath("rules.plist", path(row.rules));
        start();
        window.textStorage() = check::TextStorage();
        EXPECT_EQ(controller->rulesDict() != nullptr, row.loaded);
        EXPECT_TRUE(controller->applicationOpenFile(path("Info.plist")));
        const QString findings = row.loaded ? "error: NoReqTopKey(CFBundleIdentifier)\n" : "";
        EXPECT_EQ(report(), heading("Info.plist", path("Info.plist")) + findings);
    }
}

TEST_F(ControllerTest, BundleDirectoryIsResolvedToItsPropertyList)
{
    const struct {
        const char* name;
        QStringList files;
        const char* expectedRead;
        bool opened;
    } rows[] = {
        {"both", {"Contents/Info.plist", "Contents/Info-macos.plist"}, "Contents/Info.plist", true},
        {"macos", {"Contents/Info-macos.plist"}, "Contents/Info-macos.plist", true},
        {"framework", {"Resources/Info.plist"}, "Resources/Info.plist", true},
        {"flat", {"Info.plist"}, "Info.plist", true},
        {"framework-before-flat", {"Resources/Info.plist", "Info.plist"}, "Resources/Info.plist", true},
        {"plain", {"readme.txt"}, "Contents/Info.plist", false},
    };
    start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QString bundle = path(QStringLiteral("%1.app").arg(row.name));
        for (const QString& file : row.files)
            writeFile(bundle + "/" + file, kGoodDict);
        const qsizetype before = window.textStorage().runs().size();
        EXPECT_EQ(controller->applicationOpenFile(bundle), row.opened);
        const QString read = bundle + "/" + row.expectedRead;
        EXPECT_EQ(platform::fileSystemPath(controller->urlRead()), read);

        const auto& runs = window.textStorage().runs();
        QString text;
        for (qsizetype i = before; i < runs.size(); ++i)
            text += runs[i].attachment ? QStringLiteral("error:") : runs[i].text;
        const QString expected =
            heading(QFileInfo(bundle).fileName(), read) +
            (row.opened ? QString() : QStringLiteral("error: NoData: No such file or directory\n"));
        EXPECT_EQ(text, expected);
        // The bundle's name, not the file inside it, is the bold part.
        EXPECT_EQ(runs[before + 1].kind(), StyledString::Kind::Bold);
        EXPECT_EQ(runs[before + 1].text, QFileInfo(bundle).fileName());
    }
}

TEST_F(ControllerTest, EachOutcomeOfReadingAndParsing)
{
    const struct {
        const char* name;
        QByteArray contents; // none: the file does not exist
        bool exists;
        const char* findings;
        bool opened;
    } rows[] = {
        {"good.plist", kGoodDict, true, "", true},
        {"array.plist", xmlPlist("<array><dict/></array>"), true, "error: NotDict\n", true},
        {"broken.plist", "{ a = ", true, "error: ParseErr(", true},
        {"empty.plist", xmlPlist("<dict/>"), true, "error: NoReqTopKey(CFBundleIdentifier)\n", true},
        {"missing.plist", {}, false, "error: NoData: No such file or directory\n", false},
        {"percent%d%@.plist", xmlPlist("<true/>"), true, "error: NotDict\n", true},
    };
    start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window.textStorage() = check::TextStorage();
        const QString file = path(row.name);
        if (row.exists)
            writeFile(file, row.contents);
        EXPECT_EQ(controller->applicationOpenFile(file), row.opened);
        EXPECT_TRUE(report().startsWith(heading(row.name, file) + row.findings)) << report().toStdString();
    }
}

TEST_F(ControllerTest, ParseErrorNamesWhereAndEndsItsLine)
{
    writeFile(path("broken.plist"), "{\n a = b;\n c = ");
    start();
    controller->applicationOpenFile(path("broken.plist"));
    const QString text = report();
    EXPECT_TRUE(text.contains("error: ParseErr(line ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(")\n"));
    EXPECT_EQ(controller->errorCount(), 1);
}

TEST_F(ControllerTest, DuplicateKeysAreWarnedAfterTheHeadingAndBeforeTheFindings)
{
    writeFile(path("dup.plist"), xmlPlist("<dict>\n"
                                          "<key>A</key><string>1</string>\n"
                                          "<key>A</key><string>2</string>\n"
                                          "<key>N</key><dict><key>b</key><true/>\n<key>b</key><false/></dict>\n"
                                          "</dict>"));
    // A binary dictionary whose two keys are both "a": no lines there.
    const QByteArray binary = QByteArray::fromHex("62706c6973743030" // bplist00
                                                  "d201020304"       // dict: keys 1 2, values 3 4
                                                  "5161"
                                                  "5161" // "a", "a"
                                                  "1001"
                                                  "1002"       // 1, 2
                                                  "080d0f1113" // offsets
                                                  "000000000000"
                                                  "01"
                                                  "01"
                                                  "0000000000000005"
                                                  "0000000000000000"
                                                  "0000000000000015");
    writeFile(path("dup-binary.plist"), binary);
    start();
    controller->applicationOpenFile(path("dup.plist"));
    controller->applicationOpenFile(path("dup-binary.plist"));
    EXPECT_EQ(report(), heading("dup.plist", path("dup.plist")) +
                            "warning: DuplicateTopKey(A, 5)\n"
                            "warning: DuplicateKey(b, N, 7)\n"
                            "note: UnknownTopKey\nnote: UnknownTopKey\n"
                            "error: NoReqTopKey(CFBundleIdentifier)\n" +
                            heading("dup-binary.plist", path("dup-binary.plist")) +
                            "warning: DuplicateTopKeyNoLine(a)\n"
                            "note: UnknownTopKey\n"
                            "error: NoReqTopKey(CFBundleIdentifier)\n");
}

TEST_F(ControllerTest, CreatorAndTypeAreComparedAsExactText)
{
    const platform::FourCharCode appl = platform::fourCharCode("APPL");
    const struct {
        const char* name;
        std::optional<plist::Value> value; // none: the key is absent
        bool mismatch;
    } rows[] = {
        {"equal", plist::Value("APPL"), false},
        {"absent", std::nullopt, true},
        {"other case", plist::Value("appl"), true},
        {"trailing blank", plist::Value("APPL "), true},
        {"not a string", plist::Value::integer(0x4150504C), true},
    };
    start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* key : {"CFBundleSignature", "CFBundlePackageType"}) {
            plist::Dictionary dict;
            if (row.value)
                dict.insert(key, *row.value);
            window.textStorage() = check::TextStorage();
            if (QByteArray(key) == "CFBundleSignature")
                controller->checkFileCreator(appl, dict);
            else
                controller->checkFileType(appl, dict);
            const QString expected =
                QByteArray(key) == "CFBundleSignature" ? "error: CreatorMismatch\n" : "error: TypeMismatch\n";
            EXPECT_EQ(report(), row.mismatch ? expected : QString());
        }
    }
}

// A file without the extension "plist" whose AppleDouble sidecar carries the
// Finder information and a resource fork.
void writeResourceCarrier(const QString& file, const QList<platform::ResourceData>& resources)
{
    writeFile(file, "data fork");
    const QString sidecar = QFileInfo(file).path() + "/._" + QFileInfo(file).fileName();
    writeFile(sidecar,
              platform::makeAppleDouble({
                  {9, platform::makeFinderInfo(platform::fourCharCode("APPL"), platform::fourCharCode("Ostr"))},
                  {2, platform::makeResourceFile(resources)},
              }));
}

TEST_F(ControllerTest, ResourceCarrierIsCrossCheckedBeforeValidation)
{
    writeResourceCarrier(path("Tool"), {{platform::fourCharCode("plst"),
                                         0,
                                         xmlPlist("<dict><key>CFBundlePackageType</key><string>APPL</string></dict>"),
                                         {}}});
    writeResourceCarrier(path("Other"), {{platform::fourCharCode("TEXT"), 0, "text", {}}});
    start();
    EXPECT_TRUE(controller->applicationOpenFile(path("Tool")));
    EXPECT_FALSE(controller->applicationOpenFile(path("Other")));
    EXPECT_EQ(report(), heading("Tool", path("Tool")) +
                            "error: CreatorMismatch\n"
                            "note: UnknownTopKey\n"
                            "error: NoReqTopKey(CFBundleIdentifier)\n" +
                            heading("Other", path("Other")) + "error: NoData: NoPlstRes\n");
}

TEST_F(ControllerTest, TextFromTheFileNameCannotForgeReportLines)
{
    const QString name = QStringLiteral("Evil\nerror: forged\x1b[2J.app");
    writeFile(path(name) + "/Contents/Info.plist", kGoodDict);
    start();
    controller->applicationOpenFile(path(name));
    const auto& runs = window.textStorage().runs();
    EXPECT_EQ(runs[1].text, "Evil\\nerror: forged\\x1B[2J.app");
    EXPECT_EQ(runs[2].text, "\n" + check::escapeControlCharacters(path(name)) + "/Contents/Info.plist\n");
    EXPECT_EQ(report().count('\n'), 2);
}

TEST_F(ControllerTest, OpenCommandChecksTheChosenFilesInOrder)
{
    for (const char* name : {"one.plist", "two.plist", "three.plist"})
        writeFile(path(name), kGoodDict);
    start();
    // The second check fails inside, once: what it wrote stays, the guard's
    // line follows without a line end, and the third check runs.
    bool thrown = false;
    window.textStorage().setObserver([&](const StyledString& run) {
        if (run.text == "two.plist" && !thrown) {
            thrown = true;
            throw platform::PlatformException("NSRangeException", "index 3 beyond bounds");
        }
    });
    window.scriptOpenPanel({check::kPanelCancel, {}});
    window.scriptOpenPanel(
        {check::kPanelOK,
         {platform::fileURLWithPath(path("one.plist")), QUrl("https://example.com/x.plist"),
          platform::fileURLWithPath(path("two.plist")), platform::fileURLWithPath(path("three.plist"))}});

    controller->openFiles(); // cancelled
    EXPECT_TRUE(window.textStorage().runs().isEmpty());
    controller->openFiles();

    ASSERT_EQ(window.openPanels.size(), 2);
    const check::OpenPanelOptions& options = window.openPanels[1];
    EXPECT_TRUE(options.canChooseFiles);
    EXPECT_FALSE(options.canChooseDirectories);
    EXPECT_TRUE(options.allowsMultipleSelection);
    EXPECT_FALSE(options.treatsFilePackagesAsDirectories);
    EXPECT_EQ(report(), heading("one.plist", path("one.plist")) + "Checking two.plist" +
                            "safeOpenURL: Caught NSRangeException: index 3 beyond bounds" +
                            heading("three.plist", path("three.plist")));
    EXPECT_EQ(window.progress.size(), 4);
    EXPECT_EQ(window.progress.last(), std::make_pair(4, 4));
}

TEST_F(ControllerTest, GuardReturnsFalseAndLetsOtherExceptionsThrough)
{
    writeFile(path("a.plist"), kGoodDict);
    start();
    const QUrl url = platform::fileURLWithPath(path("a.plist"));

    window.textStorage().setObserver([](const StyledString& run) {
        if (run.text == "a.plist")
            throw std::out_of_range("vector");
    });
    EXPECT_FALSE(controller->safeOpenURL(url));
    EXPECT_TRUE(report().endsWith("safeOpenURL: Caught std::out_of_range: vector")) << report().toStdString();

    // Not one of the platform's exceptions: it passes through.
    window.textStorage().setObserver([](const StyledString& run) {
        if (run.text == "a.plist")
            throw 42;
    });
    EXPECT_THROW(controller->safeOpenURL(url), int);

    // One raised while the guard writes its own line passes through too.
    window.textStorage().setObserver([](const StyledString&) { throw std::runtime_error("always"); });
    EXPECT_THROW(controller->safeOpenURL(url), std::runtime_error);
    // The main loop's catch keeps the program going.
    EXPECT_NO_THROW(check::PerformCommand([&] { controller->safeOpenURL(url); }));
    EXPECT_NO_THROW(check::PerformCommand([] { throw 42; }));
}

TEST_F(ControllerTest, AppendOperationsMakeTheRunsTheyShould)
{
    start();
    controller->appendErrorIcon();
    controller->appendWithFormat("no placeholder", {check::arg("ignored")});
    controller->appendBoldString("bold");
    controller->appendWithFormat(" %@ %@\n", {check::arg(plist::Value(false)), std::nullopt});
    const auto& runs = window.textStorage().runs();
    ASSERT_EQ(runs.size(), 5);
    EXPECT_EQ(runs[0].kind(), StyledString::Kind::Icon);
    EXPECT_EQ(runs[0].attachment, controller->errorIcon()->attachment);
    EXPECT_EQ(runs[1].text, " ");
    EXPECT_EQ(runs[1].kind(), StyledString::Kind::Regular);
    EXPECT_EQ(runs[2].text, "no placeholder");
    EXPECT_EQ(runs[2].kind(), StyledString::Kind::Regular);
    EXPECT_EQ(runs[3].kind(), StyledString::Kind::Bold);
    EXPECT_EQ(runs[3].font, controller->boldFont());
    EXPECT_EQ(runs[4].text, " " + plist::Value(false).description() + " (null)\n");
    EXPECT_EQ(runs[4].kind(), StyledString::Kind::Regular);
}

TEST_F(ControllerTest, MissingIconAppendsOnlyItsBlankAndStillCounts)
{
    platform::Bundle::main().setResourcePath("error16x16.png", path("none.png"));
    start();
    EXPECT_EQ(controller->errorIcon(), nullptr);
    EXPECT_NE(controller->noteIcon(), nullptr);
    controller->appendErrorIcon();
    controller->appendString("NotDict\n");
    ASSERT_EQ(window.textStorage().runs().size(), 2);
    EXPECT_EQ(window.textStorage().string(), " NotDict\n");
    EXPECT_EQ(controller->errorCount(), 1);
}

TEST_F(ControllerTest, PrintIsTitledAndStartsAtTheTop)
{
    start();
    controller->printText();
    platform::Bundle::main().setStringsFile(path("none.strings"));
    controller->printText();
    ASSERT_EQ(window.printJobs.size(), 2);
    EXPECT_EQ(window.printJobs[0].jobTitle, "Report of Ostrel");
    EXPECT_EQ(window.printJobs[1].jobTitle, "Ostrel Log");
    EXPECT_FALSE(window.printJobs[0].verticallyCentered);
}

TEST_F(ControllerTest, SaveProposesTheNameEachTimeAndWritesOnlyOnOK)
{
    start();
    controller->awakeFromNib();
    const QString other = path("Other name.rtfd");
    window.scriptSavePanel({check::kPanelOK, {platform::fileURLWithPath(other)}});
    window.scriptSavePanel({check::kPanelCancel, {platform::fileURLWithPath(path("cancelled.rtfd"))}});
    controller->saveDocumentAs();
    controller->saveDocumentAs();
    ASSERT_EQ(window.savePanels.size(), 2);
    for (const check::SavePanelOptions& options : window.savePanels) {
        EXPECT_EQ(options.requiredFileType, "rtfd");
        EXPECT_EQ(options.nameFieldStringValue, "Ostrel Log.rtfd");
    }
    EXPECT_EQ(window.rtfdWrites, QStringList{other});
    EXPECT_TRUE(QFileInfo::exists(other));
    EXPECT_FALSE(QFileInfo::exists(path("cancelled.rtfd")));
    EXPECT_TRUE(window.presentedErrors.isEmpty());
}

TEST_F(ControllerTest, FailedSaveIsToldAndLeavesTheReport)
{
    start();
    controller->awakeFromNib();
    window.scriptRtfdWrite(false, "disk full");
    window.scriptSavePanel({check::kPanelOK, {platform::fileURLWithPath(path("x.rtfd"))}});
    controller->saveDocumentAs();
    EXPECT_EQ(window.presentedErrors, QStringList{"SaveFailed(" + path("x.rtfd") + ", disk full)"});
    EXPECT_EQ(report(), "Intro\n");
}

} // namespace
