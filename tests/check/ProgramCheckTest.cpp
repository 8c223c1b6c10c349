// The dictionary against programs made by the Mach-O writer, each check kept
// and broken; the privacy manifest's checks beyond its rules.
#include "check/ProgramCheck.h"
#include "Support.h"
#include "platform/MachOWriting.h"

#include "plist/Parse.h"

namespace {

using namespace validator_test;
using namespace testing_macho;

class ProgramCheckTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        sDir = std::make_unique<QTemporaryDir>();
        QByteArray table;
        for (const char* key : {"ExecutablePlatformMismatch", "MinimumSystemBelowProgram", "ArchitectureNotInProgram",
                                "Armv7NotInProgram", "PrivacyReasonNotForCategory"})
            table += QByteArray("\"") + key + "\" = \"" + key + "(%@|%@|%@|%@|%@)\\n\";\n";
        table += "\"PrivacyTrackingWithoutDomains\" = \"NoDomains\\n\";";
        QFile file(sDir->filePath(QStringLiteral("Test.strings")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(table) == table.size());
        file.close();
        platform::Bundle::main().setStringsFile(file.fileName());
    }
    static void TearDownTestSuite()
    {
        platform::Bundle::main().setStringsFile(QString());
        sDir.reset();
    }
    static inline std::unique_ptr<QTemporaryDir> sDir;
};

Spec slice(std::uint32_t platform, std::uint32_t minos, std::uint32_t cpuType = kArm64, std::uint32_t subtype = 0)
{
    Spec spec;
    spec.buildPlatform = platform;
    spec.minos = minos;
    spec.cpuType = cpuType;
    spec.cpuSubtype = subtype;
    return spec;
}

platform::MachOFile program(const QList<Spec>& slices)
{
    const QByteArray bytes = slices.size() == 1 ? thin(slices.first()) : fat(slices);
    return platform::readMachO(platform::MemorySource(bytes));
}

const plist::Value kMac = D({{"CFBundleSupportedPlatforms", A({S("MacOSX")})}, {"LSMinimumSystemVersion", S("10.13")}});
const plist::Value kPhone = D({{"MinimumOSVersion", S("15.0")}});

TEST_F(ProgramCheckTest, DictionaryAgainstProgram)
{
    const Spec mac = slice(1, packed(10, 13));
    const Spec phone = slice(2, packed(15, 0));
    const struct {
        const char* name;
        plist::Value info;
        QList<Spec> slices;
        bool macLayout;
        QString report;
    } cases[] = {
        {"the same minimum, written shorter", kMac, {mac}, true, ""},
        {"10.9 is lower than 10.13",
         D({{"LSMinimumSystemVersion", S("10.9")}}),
         {mac},
         true,
         "[error] MinimumSystemBelowProgram(LSMinimumSystemVersion|10.9|P|10.13|arm64)\n"},
        {"the lowest slice counts", kMac, {slice(1, packed(10, 13), kX86_64), slice(1, packed(11, 0))}, true, ""},
        {"every slice higher",
         kMac,
         {slice(1, packed(10, 14), kX86_64), slice(1, packed(11, 0))},
         true,
         "[error] MinimumSystemBelowProgram(LSMinimumSystemVersion|10.13|P|10.14|x86_64)\n"},
        {"iOS minimum",
         kPhone,
         {slice(2, packed(16, 1))},
         false,
         "[error] MinimumSystemBelowProgram(MinimumOSVersion|15.0|P|16.1|arm64)\n"},
        {"a version with letters is left to the rules", D({{"LSMinimumSystemVersion", S("10.9b")}}), {mac}, true, ""},
        {"Mac bundle, iOS program",
         kMac,
         {phone},
         true,
         "[error] ExecutablePlatformMismatch(macOS|P|iOS|(null)|(null))\n"},
        {"iOS bundle, Mac program",
         kPhone,
         {mac},
         false,
         "[error] ExecutablePlatformMismatch(iOS, tvOS, watchOS or visionOS|P|macOS|(null)|(null))\n"},
        {"the layout alone says Mac",
         D({}),
         {slice(4, packed(9, 0))},
         true,
         "[error] ExecutablePlatformMismatch(macOS|P|watchOS|(null)|(null))\n"},
        {"Mac Catalyst runs on the Mac",
         D({{"LSMinimumSystemVersion", S("11.0")}}),
         {slice(6, packed(14, 0))},
         true,
         ""},
        {"older version commands",
         kMac,
         {[] {
             Spec spec;
             spec.versionMinCommand = kVersionMinIPhoneOS;
             return spec;
         }()},
         true,
         "[error] ExecutablePlatformMismatch(macOS|P|iOS|(null)|(null))\n"},
        {"priority kept; arm64e serves arm64",
         D({{"LSArchitecturePriority", A({S("arm64")})}}),
         {slice(1, packed(11, 0), kArm64, 2)},
         true,
         ""},
        {"priority names a missing slice",
         D({{"LSArchitecturePriority", A({S("arm64"), S("x86_64")})}}),
         {mac},
         true,
         "[warning] ArchitectureNotInProgram(x86_64|P|arm64|(null)|(null))\n"},
        {"armv7 for arm64 only",
         D({{"UIRequiredDeviceCapabilities", A({S("armv7")})}}),
         {phone},
         false,
         "[warning] Armv7NotInProgram(P|arm64|(null)|(null)|(null))\n"},
        {"armv7 as a dictionary",
         D({{"UIRequiredDeviceCapabilities", D({{"armv7", B(true)}})}}),
         {phone},
         false,
         "[warning] Armv7NotInProgram(P|arm64|(null)|(null)|(null))\n"},
        {"armv7 with an armv7 slice",
         D({{"UIRequiredDeviceCapabilities", A({S("armv7")})}}),
         {phone, slice(2, packed(15, 0), kArm, kArmV7)},
         false,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder;
        const plist::Dictionary& info = c.info.toDictionary();
        check::checkProgramAgainstDictionary(recorder, program(c.slices), info,
                                             check::bundleSystemOf(info, c.macLayout), "P");
        EXPECT_EQ(recorder.report.toStdString(), c.report.toStdString());
    }
}

plist::Dictionary manifest(const char* xml)
{
    const plist::ParseResult parsed = plist::parse(QByteArray("<plist><dict>") + xml + "</dict></plist>");
    EXPECT_TRUE(parsed.ok());
    return parsed.value->toDictionary();
}

plist::Value reasonTable()
{
    const plist::ParseResult rules = plist::parse(
        testsupport::readFile(qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/resources/rules.plist")));
    return *rules.value->toDictionary().find(QStringLiteral("requiredreasonapis"));
}

TEST_F(ProgramCheckTest, PrivacyManifestBeyondItsRules)
{
    const plist::Value table = reasonTable();
    const char* const api = "<key>NSPrivacyAccessedAPITypes</key><array><dict><key>NSPrivacyAccessedAPIType</key>"
                            "<string>NSPrivacyAccessedAPICategory%1</string><key>NSPrivacyAccessedAPITypeReasons</key>"
                            "<array><string>%2</string></array></dict></array>";
    const struct {
        QByteArray xml;
        QString report;
    } cases[] = {
        {"<key>NSPrivacyTracking</key><true/><key>NSPrivacyTrackingDomains</key><array><string>t.example</string>"
         "</array>",
         ""},
        {"<key>NSPrivacyTracking</key><true/><key>NSPrivacyTrackingDomains</key><array/>", "[error] NoDomains\n"},
        {"<key>NSPrivacyTracking</key><true/>", "[error] NoDomains\n"},
        {"<key>NSPrivacyTracking</key><false/>", ""},
        {QString::fromLatin1(api).arg("UserDefaults", "CA92.1").toUtf8(), ""},
        {QString::fromLatin1(api).arg("UserDefaults", "C617.1").toUtf8(),
         "[error] PrivacyReasonNotForCategory(C617.1|NSPrivacyAccessedAPICategoryUserDefaults|CA92.1, 1C8F.1, C56D.1, "
         "AC6B.1|(null)|(null))\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.xml.toStdString());
        Recorder recorder;
        check::checkPrivacyManifest(recorder, manifest(c.xml), &table);
        EXPECT_EQ(recorder.report.toStdString(), c.report.toStdString());
    }
}

TEST_F(ProgramCheckTest, RequiredReasonsFromImportedSymbols)
{
    const plist::Value table = reasonTable();
    Spec spec;
    spec.symbols = {{"_stat$INODE64", 0x01},
                    {"_mach_absolute_time", 0x01},
                    {"_OBJC_CLASS_$_NSUserDefaults", 0x01},
                    {"_statfs", 0x0f}, // defined here: no import
                    {"_printf", 0x01}};
    QStringList found;
    for (const check::RequiredReasonUse& use : check::requiredReasonUses(program({spec}), &table))
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
