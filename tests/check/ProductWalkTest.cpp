// Whole products: a generated application holding a bundle of every kind, in
// every place, with each cross-check broken once and kept once, checked as a
// folder and packed in archives; hostile links; nesting off.
#include "check/ProductWalk.h"
#include "Support.h"
#include "app/HeadlessWindow.h"
#include "app/OstrelAppDelegate.h"
#include "platform/ArchiveWriting.h"
#include "platform/Bundle.h"
#include "platform/ResourceWriter.h"
#include "platform/UserDefaults.h"
#include "report/ReportText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_archives::Format;
using testing_archives::Item;
using testsupport::readFile;

QByteArray bigEndian(quint64 value)
{
    QByteArray bytes(8, '\0');
    qToBigEndian<quint64>(value, bytes.data());
    return bytes;
}

QByteArray infoPlist(const QList<std::pair<QString, QString>>& strings)
{
    QByteArray body;
    for (const auto& [key, value] : strings)
        body += "<key>" + key.toUtf8() + "</key><string>" + value.toUtf8() + "</string>\n";
    return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict>\n" + body + "</dict></plist>\n";
}

class ProductWalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::UserDefaults::standard().useStore(
            std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat));
        write("rules.plist", "<plist><dict/></plist>"); // the validator has nothing to say
        platform::Bundle::main().setStringsFile(qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/walk.strings");
        platform::Bundle::main().setResourcePath("rules.plist", dir.filePath("rules.plist"));
        controller = std::make_unique<app::OstrelAppDelegate>();
        controller->setWindow(&window);
    }
    void TearDown() override
    {
        platform::Bundle::main().setResourcePath("rules.plist", QString());
        platform::Bundle::main().setStringsFile(QString());
        platform::UserDefaults::standard().clearVolatile();
    }

    // Rules of the test's own, for a controller made anew.
    void useRules(const QByteArray& rules)
    {
        write("rules.plist", rules);
        controller = std::make_unique<app::OstrelAppDelegate>();
        controller->setWindow(&window);
    }
    void write(const QString& relative, const QByteArray& bytes, bool executable = false)
    {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    // A bundle in the Contents layout with its executable; extra keys as given.
    void bundle(const QString& path, const QString& identifier, const QString& type,
                const QList<std::pair<QString, QString>>& more = {})
    {
        const QString name = QFileInfo(path).completeBaseName();
        QList<std::pair<QString, QString>> keys = {
            {"CFBundleIdentifier", identifier}, {"CFBundleExecutable", name}, {"CFBundlePackageType", type}};
        write(path + "/Contents/Info.plist", infoPlist(keys + more));
        write(path + "/Contents/MacOS/" + name, "#!", true);
    }

    // A product of tests/data/products (its README says what it holds) and its report.
    void copyProduct(const QString& name)
    {
        std::filesystem::copy((qEnvironmentVariable("OSTREL_TEST_DATA") + "/products/" + name).toStdString(),
                              dir.path().toStdString(),
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    }

    // The report so far as text; then emptied.
    QString takeReport()
    {
        const report::TextStorage& storage = window.textStorage();
        const QString text = report::plainText(storage, 0, storage.runs().size(), false);
        window.textStorage() = report::TextStorage();
        return text;
    }
    // The report's lines without the paths read (the line after each heading),
    // and the findings without their places and IDs, which the controller's tests look at.
    QStringList check(const QString& relative)
    {
        controller->applicationOpenFile(dir.filePath(relative));
        QStringList lines = takeReport().split('\n', Qt::SkipEmptyParts);
        static const QRegularExpression placeAndId(QStringLiteral(R"(^(\w+: )(line \d+: )?(.*?)( \[\w+\])?$)"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith("Checking ") && i + 1 < lines.size())
                lines.removeAt(i + 1);
            else if (!lines[i].startsWith("Checking "))
                lines[i].replace(placeAndId, QStringLiteral("\\1\\3"));
        }
        return lines;
    }

    QTemporaryDir dir;
    app::HeadlessWindow window;
    std::unique_ptr<app::OstrelAppDelegate> controller;
};

TEST_F(ProductWalkTest, EveryBundleOnceAfterItsContainerWithItsCrossChecks)
{
    copyProduct("shop");
    const QString expected = QString::fromUtf8(readFile(dir.filePath("Shop.report")));
    EXPECT_EQ(check("Shop.app").join('\n').toStdString(), expected.trimmed().toStdString());
}

TEST_F(ProductWalkTest, CrossChecksPointAtTheirKeyInTheFile)
{
    copyProduct("shop");
    controller->applicationOpenFile(dir.filePath("Shop.app"));
    // infoPlist writes a key a line from line 3, in the order given.
    const struct {
        const char* messageKey;
        const char* bundle;
        int line;
    } rows[] = {
        {"NoExecutable", "Bad.appex", 4},
        {"IdentifierNotUnderApp", "Bad.appex", 3},
        {"PackageTypeMismatch", "Flat.framework", 4},
        {"NoIconFile", "Helper.app", 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.messageKey);
        const auto& findings = window.textStorage().findings();
        const auto found = std::find_if(findings.begin(), findings.end(), [&](const report::Finding& f) {
            return f.messageKey == QLatin1String(row.messageKey) && f.fileRead.contains(QLatin1String(row.bundle));
        });
        ASSERT_NE(found, findings.end());
        EXPECT_EQ(found->position.line, row.line);
        EXPECT_GT(found->position.column, 0);
    }
}

TEST_F(ProductWalkTest, APackageTypeOfAnotherLengthIsOneFindingThatNamesTheCode)
{
    useRules("<plist><dict><key>keys</key><dict><key>CFBundlePackageType</key><dict><key>type</key>"
             "<string>string</string><key>subtype</key><string>FourCharCode</string></dict></dict>"
             "</dict></plist>");
    bundle("Odd.app", "com.example.odd", "APPLE");
    bundle("Odd.app/Contents/PlugIns/Odd.appex", "com.example.odd.x", "XPC");
    bundle("Odd.app/Contents/Resources/Odd.bundle", "com.example.odd.b", "APPL"); // four characters: the comparison
    controller->applicationOpenFile(dir.filePath("Odd.app"));
    QStringList found;
    for (const report::Finding& finding : window.textStorage().findings()) {
        if (finding.keyPath != "CFBundlePackageType")
            continue; // the other keys are unknown to these rules
        QStringList arguments;
        for (const auto& argument : finding.arguments)
            arguments << argument->description();
        found << finding.messageKey + "(" + arguments.join(", ") + ")";
    }
    EXPECT_EQ(found, (QStringList{"PackageTypeNot4Char(APPLE, app, APPL)", "PackageTypeNot4Char(XPC, appex, XPC!)",
                                  "PackageTypeMismatch(APPL, bundle, BNDL)"}));
}

TEST_F(ProductWalkTest, NestingOffGivesTheDictionaryAlone)
{
    copyProduct("shop");
    platform::UserDefaults::standard().setVolatile(platform::CheckNestedBundlesKey, false);
    EXPECT_EQ(check("Shop.app"), QStringList{"Checking Shop.app"});
    // A loose property list is never held to a bundle's files.
    platform::UserDefaults::standard().clearVolatile();
    EXPECT_EQ(check("Shop.app/Contents/Info.plist"), QStringList{"Checking Info.plist"});
}

TEST_F(ProductWalkTest, BuildSettingsAreNotLookedFor)
{
    bundle("Src.app", "$(PRODUCT_BUNDLE_IDENTIFIER)", "APPL",
           {{"CFBundleIconFile", "$(ICON)"}, {"NSMainNibFile", "${NIB}"}});
    bundle("Src.app/Contents/PlugIns/Ext.appex", "$(EXTENSION_IDENTIFIER)", "XPC!");
    write("Src.app/Contents/Info.plist", infoPlist({{"CFBundleIdentifier", "$(PRODUCT_BUNDLE_IDENTIFIER)"},
                                                    {"CFBundleExecutable", "$(EXECUTABLE_NAME)"},
                                                    {"CFBundleIconFile", "$(ICON)"},
                                                    {"NSMainNibFile", "${NIB}"}}));
    platform::UserDefaults::standard().setVolatile(platform::AllowBuildSettingsKey, true);
    EXPECT_EQ(check("Src.app"), (QStringList{"Checking Src.app", "Checking Src.app/Contents/PlugIns/Ext.appex"}));
    platform::UserDefaults::standard().setVolatile(platform::AllowBuildSettingsKey, false);
    EXPECT_EQ(check("Src.app").size(), 6) << "executable, icon, nib, identifier";
}

TEST_F(ProductWalkTest, DepthIsBounded)
{
    // Each application holds the next as a helper, deeper than the bound.
    QString path = "Deep.app";
    for (int level = 0; level <= check::kMaxBundleDepth + 1; ++level) {
        bundle(path, QString("com.example.deep%1").arg(level), "APPL");
        path += "/Contents/Helpers/Deep.app";
    }
    const QStringList report = check("Deep.app");
    EXPECT_EQ(report.filter(QRegularExpression("^Checking ")).size(), check::kMaxBundleDepth + 1);
    EXPECT_TRUE(report.last().startsWith("warning: TooDeep(")) << report.last().toStdString();
}

TEST_F(ProductWalkTest, UnreadableFoldersAreErrorsOnce)
{
    // Root reads every folder: the check then runs as another user, for whom mode 000 shuts one.
    const uid_t nobody = 65534;
    const bool root = ::geteuid() == 0;
    if (root && (::seteuid(nobody) != 0 || ::seteuid(0) != 0))
        GTEST_SKIP() << "cannot check as a user other than root";
    copyProduct("shop");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    // The strings table is read now, as root: the checkout holding it may be
    // closed to the other user (a clone in a private temporary folder is).
    ASSERT_FALSE(platform::Bundle::main().localizedString(QStringLiteral("Unreadable")).isEmpty());
    const struct {
        const char* folder;
        QStringList lines; // what the report holds, and the headings it has lost
        QStringList headingsLost;
    } rows[] = {
        {"Shop.app/Contents/PlugIns",
         {"error: Unreadable(Shop.app/Contents/PlugIns, Permission denied)"},
         {"Checking Shop.app/Contents/PlugIns/Share.appex", "Checking Shop.app/Contents/PlugIns/Bad.appex"}},
        {"Shop.app/Contents/Resources", {"error: Unreadable(Shop.app/Contents/Resources, Permission denied)"}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        QFile folder(dir.filePath(row.folder));
        const QFileDevice::Permissions before = folder.permissions();
        ASSERT_TRUE(folder.setPermissions({}));
        ASSERT_TRUE(!root || ::seteuid(nobody) == 0);
        const QStringList report = check("Shop.app");
        ASSERT_TRUE(!root || ::seteuid(0) == 0);
        folder.setPermissions(before);
        for (const QString& line : row.lines)
            EXPECT_EQ(report.count(line), 1) << report.join('\n').toStdString();
        for (const QString& heading : row.headingsLost)
            EXPECT_FALSE(report.contains(heading));
    }
}

TEST_F(ProductWalkTest, ArchivesGiveTheFindingsOfTheProductOnDisk)
{
    copyProduct("shop");
    const QStringList onDisk = check("Shop.app");
    const QList<Item> items = testing_archives::itemsOfFolder(dir.filePath("Shop.app"));
    QList<Item> payload = items;
    for (Item& item : payload)
        item.path.prepend("Payload/");
    QList<Item> applications = items;
    for (Item& item : applications)
        item.path.prepend("Applications/");
    const QByteArray packageInfo = R"(<pkg-info identifier="com.example.shop" version="1" install-location="/"/>)";
    const QByteArray cpio = testing_archives::makeArchive(Format::CpioGz, applications);
    const auto package = [&](const QByteArray& payloadBytes) {
        return testing_archives::makeArchive(Format::Xar, {{"Shop.pkg/PackageInfo", Item::File, packageInfo, 0644},
                                                           {"Shop.pkg/Payload", Item::File, payloadBytes, 0644}});
    };
    // The payload in pbzx form, one chunk stored as it is.
    const QByteArray plain = testing_archives::makeArchive(Format::Cpio, applications);
    const QByteArray pbzx = "pbzx" + bigEndian(0x1000000) + bigEndian(plain.size()) + bigEndian(plain.size()) + plain;
    const struct {
        const char* name;
        QByteArray bytes;
        QString inside; // where the product is in the report's names
        QStringList before;
    } rows[] = {
        {"Shop.zip", testing_archives::makeArchive(Format::Zip, items), "Shop.zip/", {}},
        {"Shop.tar.gz", testing_archives::makeArchive(Format::TarGz, items), "Shop.tar.gz/", {}},
        {"Shop.ipa", testing_archives::makeArchive(Format::Zip, payload), "Shop.ipa/Payload/", {}},
        // 7-Zip reads the image by its bytes, whatever its name says.
        {"Shop.dmg", testing_archives::makeArchive(Format::Tar, items), "Shop.dmg/", {}},
        {"Installer.pkg",
         package(cpio),
         "Installer.pkg/Shop.pkg/Payload/Applications/",
         {"Checking Installer.pkg/Shop.pkg"}},
        {"Pbzx.pkg", package(pbzx), "Pbzx.pkg/Shop.pkg/Payload/Applications/", {"Checking Pbzx.pkg/Shop.pkg"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        write(row.name, row.bytes);
        QStringList expected = onDisk;
        expected.replaceInStrings("Shop.app", row.inside + "Shop.app");
        expected = QStringList{QString("Checking ") + row.name} + row.before + expected;
        EXPECT_EQ(check(row.name).join('\n').toStdString(), expected.join('\n').toStdString());
    }
}

// A disk image made on a Mac (APFS, lzma chunks) holds the application that a
// tar of it holds, with the same findings.
TEST_F(ProductWalkTest, ARealImageGivesTheFindingsOfItsApplicationInATar)
{
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + "/products/";
    ASSERT_TRUE(QFile::copy(data + "SparkleTestCodeSign_apfs_lzma_aux_files.dmg", dir.filePath("P.dmg")));
    ASSERT_TRUE(QFile::copy(data + "SparkleTestCodeSignApp.tar.bz2", dir.filePath("P.tar.bz2")));
    QStringList fromImage = check("P.dmg");
    QStringList fromTar = check("P.tar.bz2");
    fromImage.replaceInStrings("P.dmg", "P");
    fromTar.replaceInStrings("P.tar.bz2", "P");
    EXPECT_GT(fromImage.size(), 3);
    EXPECT_EQ(fromImage, fromTar);
}

// Images and packages that cannot be read, or that disagree with what they
// hold, and files of other kinds: each says so under its own heading.
TEST_F(ProductWalkTest, ImagesPackagesAndOtherKindsOfFile)
{
    // A temporary folder of its own, so that what other tests running at the
    // same time unpack does not count as left behind by this one.
    QTemporaryDir ownTemp;
    ASSERT_TRUE(ownTemp.isValid());
    const QByteArray oldTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(ownTemp.path()));
    const auto restoreTemp = qScopeGuard([&] {
        if (oldTemp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTemp);
    });
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + "/products/";
    const QByteArray image = readFile(data + "SparkleTestCodeSign_apfs_lzma_aux_files.dmg");
    const QByteArray app = infoPlist({{"CFBundleIdentifier", "com.example.app"},
                                      {"CFBundleShortVersionString", "2.0"},
                                      {"CFBundlePackageType", "APPL"}});
    const auto package = [](const QByteArray& packageInfo, const QList<Item>& payload) {
        return testing_archives::makeArchive(
            Format::Xar, {{"A.pkg/PackageInfo", Item::File, packageInfo, 0644},
                          {"A.pkg/Payload", Item::File, testing_archives::makeArchive(Format::CpioGz, payload), 0644}});
    };
    const QList<Item> appItems = {{"App.app/Contents/Info.plist", Item::File, app, 0644}};
    const struct {
        const char* name;
        QByteArray bytes;
        QString sevenZip; // the setting; empty: found on PATH
        QStringList report;
    } rows[] = {
        {"NoSevenZip.dmg", image, "/nonexistent/7zz", {"error: DiskImage"}},
        {"Cut.dmg", image.left(image.size() / 2), "", {"error: DiskImageErr"}},
        {"Encrypted.dmg", readFile(data + "SparkleTestCodeSignApp.enc.nolicense.dmg"), "", {"error: Encrypted"}},
        {"Out.dmg",
         testing_archives::makeArchive(Format::Zip, {{"Evil.app", Item::Link, "/etc", 0777},
                                                     {"Applications", Item::Link, "/Applications", 0777},
                                                     {".background/Info.plist", Item::File, "<plist/>", 0644}}),
         "",
         {"Checking Out.dmg/Evil.app", "warning: Outside(Out.dmg/Evil.app)"}},
        {"Mismatch.pkg",
         package(R"(<pkg-info identifier="com.other.app" version="1.0" install-location="/Applications">
                    <bundle path="./App.app" id="com.example.ap" CFBundleShortVersionString="2.0"/>
                    <bundle path="./Gone.app" id="com.example.gone"/></pkg-info>)",
                 appItems),
         "",
         {"Checking Mismatch.pkg/A.pkg",
          "warning: Mismatch(Mismatch.pkg/A.pkg/PackageInfo, id, com.example.ap, Mismatch.pkg/A.pkg/Payload/App.app, "
          "CFBundleIdentifier, com.example.app)",
          "warning: NoBundle(Mismatch.pkg/A.pkg/PackageInfo, Gone.app, /Applications)",
          "warning: Mismatch(Mismatch.pkg/A.pkg/PackageInfo, identifier, com.other.app, "
          "Mismatch.pkg/A.pkg/Payload/App.app, CFBundleIdentifier, com.example.app)",
          "warning: Mismatch(Mismatch.pkg/A.pkg/PackageInfo, version, 1.0, Mismatch.pkg/A.pkg/Payload/App.app, "
          "CFBundleShortVersionString, 2.0)",
          "Checking Mismatch.pkg/A.pkg/Payload/App.app"}},
        // An identifier under the bundle's agrees, as pkgbuild often makes it; a
        // package of one component has it at its top.
        {"Agrees.pkg",
         testing_archives::makeArchive(
             Format::Xar,
             {{"PackageInfo", Item::File, R"(<pkg-info identifier="com.example.app.pkg" version="2.0"/>)", 0644},
              {"Payload", Item::File, testing_archives::makeArchive(Format::CpioGz, appItems), 0644}}),
         "",
         {"Checking Agrees.pkg/Payload/App.app"}},
        {"BadInfo.pkg",
         package("<pkg-info identifier=", appItems),
         "",
         {"Checking BadInfo.pkg/A.pkg", "warning: BadPackageInfo(BadInfo.pkg/A.pkg/PackageInfo)",
          "Checking BadInfo.pkg/A.pkg/Payload/App.app"}},
        {"BadPayload.pkg",
         testing_archives::makeArchive(Format::Xar, {{"A.pkg/PackageInfo", Item::File, "<pkg-info/>", 0644},
                                                     {"A.pkg/Payload", Item::File, "pbzx\0\0\0\0\1\0\0\0", 0644}}),
         "",
         {"Checking BadPayload.pkg/A.pkg", "error: ArchiveErr"}},
        // A xar archive by any name is read as one.
        {"Plain.bin",
         testing_archives::makeArchive(Format::Xar, {{"Loose.plist", Item::File, "<plist><dict/></plist>", 0644}}),
         "",
         {"Checking Plain.bin/Loose.plist"}},
        {"Picture", "\x89PNG\r\n\x1a\n....", "", {"error: Unread(PNG)"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        platform::UserDefaults::standard().setVolatile(platform::SevenZipProgramKey, row.sevenZip);
        write(row.name, row.bytes);
        EXPECT_EQ(check(row.name).join('\n').toStdString(),
                  (QStringList{QString("Checking ") + row.name} + row.report).join('\n').toStdString());
    }
    // No temporary folder is left behind.
    ASSERT_EQ(QDir::tempPath(), QDir(ownTemp.path()).canonicalPath());
    EXPECT_TRUE(QDir(ownTemp.path()).entryList({"ostrel-*"}, QDir::Dirs | QDir::Hidden).isEmpty());
}

TEST_F(ProductWalkTest, ArchivedToolsAndPropertyListsAtTheTop)
{
    const QByteArray plist = infoPlist({{"CFBundleSignature", "OSTR"}, {"CFBundlePackageType", "APPL"}});
    const QByteArray fork = platform::makeResourceFile({{platform::fourCharCode("plst"), 0, plist, {}}});
    const auto appleDouble = [&](platform::FourCharCode type) {
        return platform::makeAppleDouble(
            {{platform::kEntryFinderInfo, platform::makeFinderInfo(type, platform::fourCharCode("OSTR"))},
             {platform::kEntryResourceFork, fork}});
    };
    const struct {
        const char* name;
        Format format;
        QList<Item> items;
        QStringList report;
    } rows[] = {
        {"zip.zip",
         Format::Zip,
         {{"Tool", Item::File,
           "\x7f"
           "ELF",
           0755},
          {"__MACOSX/._Tool", Item::File, appleDouble(platform::fourCharCode("APPL")), 0644}},
         {"Checking zip.zip", "Checking zip.zip/Tool"}},
        {"tar.tar",
         Format::Tar,
         {{"Tool", Item::File, "x", 0755},
          {"._Tool", Item::File, appleDouble(platform::fourCharCode("BNDL")), 0644},
          {"Loose.plist", Item::File, plist, 0644},
          {"README", Item::File, "no fork, not looked at", 0644}},
         {"Checking tar.tar", "Checking tar.tar/Loose.plist", "Checking tar.tar/Tool", "error: Type"}},
        {"empty.zip",
         Format::Zip,
         {{"README", Item::File, "text", 0644}},
         {"Checking empty.zip", "error: ArchiveEmpty"}},
        {"bad.tar.gz",
         Format::Tar,
         {{"../evil.plist", Item::File, plist, 0644}},
         {"Checking bad.tar.gz", "error: ArchiveErr"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        write(row.name, testing_archives::makeArchive(row.format, row.items));
        EXPECT_EQ(check(row.name), row.report);
    }
}

// Programs against their dictionaries, parts against their application, the
// privacy manifest and helper tools (tests/data/products/tool/README.md); the
// same on disk and packed.
TEST_F(ProductWalkTest, ProgramsPartsAndPrivacyManifests)
{
    useRules("<plist><dict><key>requiredreasonapis</key><dict><key>Timestamps</key><dict>"
             "<key>reasons</key><array><string>R.1</string></array><key>symbols</key><array>"
             "<string>_stat</string></array></dict></dict></dict></plist>");
    copyProduct("tool");
    const QStringList onDisk = check("Tool.app");
    EXPECT_EQ(onDisk.join('\n').toStdString(), readFile(dir.filePath("Tool.report")).trimmed().toStdString());
    write("Tool.zip",
          testing_archives::makeArchive(Format::Zip, testing_archives::itemsOfFolder(dir.filePath("Tool.app"))));
    QStringList inArchive = onDisk;
    inArchive.replaceInStrings("Tool.app", "Tool.zip/Tool.app");
    inArchive.prepend("Checking Tool.zip");
    EXPECT_EQ(check("Tool.zip").join('\n').toStdString(), inArchive.join('\n').toStdString());

    // Loose: a tool through its section, a manifest by its extension.
    EXPECT_EQ(check("tool"), QStringList{"Checking tool"});
    EXPECT_EQ(check("bare"), (QStringList{"Checking bare", "error: NoData: NoSection"}));
    EXPECT_EQ(check("Loose.xcprivacy"), (QStringList{"Checking Loose.xcprivacy", "error: NoDomains"}));
}

// Archives that once cost minutes or gigabytes, or passed for whole: each is
// read in bounded time and memory, and says what it left out.
TEST_F(ProductWalkTest, HostileArchivesCostLittleAndSayWhy)
{
    const Item tool = {"Tool.app/Contents/Info.plist", Item::File, "<plist><dict/></plist>", 0644};
    QList<Item> links = {tool};
    for (int i = 1; i <= 6; ++i) {
        links.append({QString("L%1").arg(i), Item::Link, ".", 0777});
        links.append({QString("T%1.app").arg(i), Item::Link, "L1/Tool.app", 0777});
    }
    const QString longName = "Long/" + QString(5000, 'x');
    const QString manyParts = QString("a/").repeated(300) + "Info.plist";
    const QList<Item> deep = {
        {longName + "/Info.plist", Item::File, "<plist><dict/></plist>", 0644},
        {manyParts, Item::File, "<plist><dict/></plist>", 0644},
        {"Tool.app/Contents/Resources/" + QString("d/").repeated(250) + "f", Item::File, "x", 0644},
        tool,
    };
    // Dictionaries no bundle uses are not read; those that are count
    // against one budget for the archive.
    const qsizetype mib = 1024 * 1024;
    const QList<Item> plists = {
        {"Stray1/Info.plist", Item::File, {}, 0644, 40 * mib},
        {"Stray2/Info.plist", Item::File, {}, 0644, 40 * mib},
        tool,
        {"Big.app/Contents/Info.plist", Item::File, {}, 0644, 70 * mib},
    };
    const QByteArray whole = testing_archives::makeArchive(Format::Tar, {tool});
    const struct {
        const char* name;
        QByteArray archive;
        QStringList report;
    } rows[] = {
        {"links.zip", testing_archives::makeArchive(Format::Zip, links), {"Checking links.zip/Tool.app"}},
        {"deep.tar.gz",
         testing_archives::makeArchive(Format::TarGz, deep),
         {"error: LeftOut(" + longName.left(80) + "…, its path is longer than 4096 bytes)",
          "error: LeftOut(" + manyParts.left(80) + "…, its path has more than 256 parts)",
          "Checking deep.tar.gz/Tool.app"}},
        {"plists.tar.gz",
         testing_archives::makeArchive(Format::TarGz, plists),
         {"Checking plists.tar.gz/Big.app", "error: NoData: KeptTooMuch", "Checking plists.tar.gz/Tool.app"}},
        // Cut where an entry ends, before the two blocks of zeros that end it.
        {"cut.tar", whole.left(whole.size() - 1024), {"error: ArchiveErr"}},
        {"whole.tar", whole, {"Checking whole.tar/Tool.app"}},
        // A layout the choice of files to read does not foresee is read all the same.
        {"moved.zip",
         testing_archives::makeArchive(Format::Zip, {{"Moved.app/Contents", Item::Link, "Real", 0777},
                                                     {"Moved.app/Real/Info.plist", Item::File, tool.bytes, 0644}}),
         {"Checking moved.zip/Moved.app"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        write(row.name, row.archive);
        EXPECT_EQ(check(row.name).join('\n').toStdString(),
                  (QStringList{QString("Checking ") + row.name} + row.report).join('\n').toStdString());
    }
}

} // namespace
