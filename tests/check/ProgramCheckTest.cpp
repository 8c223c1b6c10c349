// The dictionary against programs made by the Mach-O writer, each check kept
// and broken; the privacy manifest's checks beyond its rules.
#include "check/ProgramCheck.h"
#include "CaseRows.h"
#include "Support.h"
#include "platform/MachOWriting.h"

#include "plist/Parse.h"

#include <map>

namespace {

using namespace validator_test;
using namespace testing_macho;

class ProgramCheckTest : public ValidatorTest {};

// "macOS 10.13 arm64": a slice's platform, minimum and architecture;
// "iphoneos-version-min": a slice with the older version command.
SliceLayout slice(const QString& text)
{
    static const std::map<QString, std::uint32_t> platforms = {
        {"macOS", 1}, {"iOS", 2}, {"watchOS", 4}, {"catalyst", 6}};
    static const std::map<QString, std::pair<std::uint32_t, std::uint32_t>> architectures = {
        {"arm64", {kArm64, 0}}, {"arm64e", {kArm64, 2}}, {"x86_64", {kX86_64, 0}}, {"armv7", {kArm, kArmV7}}};
    SliceLayout layout;
    const QStringList words = text.split(' ');
    if (words[0] == "iphoneos-version-min") {
        layout.versionMinCommand = kVersionMinIPhoneOS;
        return layout;
    }
    layout.buildPlatform = platforms.at(words[0]);
    layout.minos = packed(words[1].section('.', 0, 0).toUInt(), words[1].section('.', 1, 1).toUInt());
    std::tie(layout.cpuType, layout.cpuSubtype) = architectures.at(words[2]);
    return layout;
}

platform::MachOFile program(const QList<SliceLayout>& slices)
{
    const QByteArray bytes = slices.size() == 1 ? thin(slices.first()) : fat(slices);
    return platform::readMachO(platform::MemorySource(bytes));
}

TEST_F(ProgramCheckTest, DictionaryAgainstProgram)
{
    for (const QStringList& row : caseRows("program-checks.tsv")) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[0].toStdString());
        QList<SliceLayout> slices;
        for (const QString& text : row[3].split(", "))
            slices << slice(text);
        Recorder recorder;
        const plist::Dictionary info = testsupport::parsedXml(row[2]).toDictionary();
        check::checkProgramAgainstDictionary(recorder, program(slices), info,
                                             check::bundleSystemOf(info, row[1] == "mac"), "P");
        EXPECT_EQ(recorder.report.toStdString(), row[4].isEmpty() ? "" : row[4].toStdString() + "\n");
    }
}

plist::Dictionary manifest(const QString& members)
{
    return testsupport::parsedXml("<dict>" + members + "</dict>").toDictionary();
}

plist::Value reasonTable()
{
    const plist::Value rules = testsupport::readPlist(testsupport::sourceFile("resources/rules.plist"));
    return *rules.toDictionary().find(QStringLiteral("requiredreasonapis"));
}

TEST_F(ProgramCheckTest, PrivacyManifestBeyondItsRules)
{
    const plist::Value table = reasonTable();
    for (const QStringList& row : caseRows("privacy-manifests.tsv")) {
        ASSERT_EQ(row.size(), 2);
        SCOPED_TRACE(row[0].toStdString());
        Recorder recorder;
        check::checkPrivacyManifest(recorder, manifest(row[0]), &table);
        EXPECT_EQ(recorder.report.toStdString(), row[1].isEmpty() ? "" : row[1].toStdString() + "\n");
    }
}

TEST_F(ProgramCheckTest, RequiredReasonsFromImportedSymbols)
{
    const plist::Value table = reasonTable();
    SliceLayout layout;
    layout.symbols = {{"_stat$INODE64", 0x01},
                      {"_mach_absolute_time", 0x01},
                      {"_OBJC_CLASS_$_NSUserDefaults", 0x01},
                      {"_statfs", 0x0f}, // defined here: no import
                      {"_printf", 0x01}};
    QStringList found;
    for (const check::RequiredReasonUse& use : check::requiredReasonUses(program({layout}), &table))
        found << use.category + ": " + use.symbols.join(", ");
    EXPECT_EQ(found, (QStringList{"NSPrivacyAccessedAPICategoryFileTimestamp: _stat$INODE64",
                                  "NSPrivacyAccessedAPICategorySystemBootTime: _mach_absolute_time",
                                  "NSPrivacyAccessedAPICategoryUserDefaults: _OBJC_CLASS_$_NSUserDefaults"}));
    EXPECT_EQ(check::declaredCategories(manifest(
                  "<key>NSPrivacyAccessedAPITypes</key><array><dict><key>NSPrivacyAccessedAPIType</key><string>A"
                  "</string><key>NSPrivacyAccessedAPITypeReasons</key><array><string>x</string></array></dict>"
                  "<dict><key>NSPrivacyAccessedAPIType</key><string>B</string><key>NSPrivacyAccessedAPITypeReasons"
                  "</key><array/></dict></array>")),
              QStringList{"A"});
}

} // namespace
