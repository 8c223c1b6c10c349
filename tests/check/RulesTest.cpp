// The shipped rules (resources/rules.plist) through the real validator:
// correct bundles of every kind draw no error or warning, wrong ones draw
// the finding that names their fault, and the file keeps to its own format.
#include "Support.h"
#include "plist/Parse.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace rules_test {
namespace {

using validator_test::A;
using validator_test::B;
using validator_test::D;
using validator_test::I;
using validator_test::Recorder;
using validator_test::S;

plist::Value readPlist(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    plist::ParseResult result = plist::parse(file.readAll());
    if (!result.ok())
        ADD_FAILURE() << path.toStdString() << ": " << result.errorText().toStdString();
    return result.value.value_or(plist::Value());
}

QString sourceFile(const char* relative)
{
    return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QLatin1Char('/') + QString::fromUtf8(relative);
}

// The validator tests' strings table (each message as its key and
// arguments) and settings, with the shipped rules.
class Rules : public validator_test::ValidatorTest {
protected:
    static void SetUpTestSuite()
    {
        ValidatorTest::SetUpTestSuite();
        sRules = readPlist(sourceFile("resources/rules.plist"));
    }

    // The report as lines; a deprecation note loses its text, which the
    // structure test checks once for all keys.
    static QStringList findings(const plist::Value& info)
    {
        static const QRegularExpression deprecText(QStringLiteral(R"(^(\[note\] DeprecKey\([^|]*\|[^|]*)\|.*\)$)"));
        Recorder recorder;
        check::PlistValidator validator(recorder);
        validator.validateInfoDict(info.toDictionary(), &sRules);
        QStringList lines = recorder.report.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines)
            line.replace(deprecText, QStringLiteral("\\1)"));
        return lines;
    }

    static QStringList findingsOfFile(const char* relative) { return findings(readPlist(sourceFile(relative))); }

    static inline plist::Value sRules;
};

// Every rule, at every depth, as the validator reads it: a field that is
// misspelt, misplaced or of the wrong kind silently changes what is checked.
void checkRule(const plist::Value& rule, const QString& where, bool isMember)
{
    static const QSet<QString> types = {"dictionary", "array", "string", "boolean", "booleanOrYN", "booleanOr01",
                                        "integer",    "float", "number", "data",    "date"};
    static const QSet<QString> subtypes = {"FourCharCode", "version",  "bundleID",  "UTI",
                                           "char",         "httpsURL", "ed25519Key"};
    static const QSet<QString> memberOnly = {"required", "recommended", "buildsupplied", "deprecated", "apple"};
    static const QSet<QString> fields = {"type",        "keys",       "arrayitem",    "allowsingle", "subtype",
                                         "values",      "allowempty", "deprecated",   "apple",       "required",
                                         "recommended", "memberrule", "buildsupplied"};
    const std::string at = where.toStdString();
    ASSERT_TRUE(rule.isDictionary()) << at;
    const plist::Dictionary& dict = rule.toDictionary();
    const plist::Value* type = dict.find(QStringLiteral("type"));
    ASSERT_NE(type, nullptr) << at;
    // One type name, or a list of two or more different ones.
    QSet<QString> ruleTypes;
    if (type->isString()) {
        ruleTypes.insert(type->toString());
    } else {
        ASSERT_TRUE(type->isArray() && type->toArray().size() >= 2) << at;
        for (const plist::Value& name : type->toArray()) {
            ASSERT_TRUE(name.isString()) << at;
            EXPECT_FALSE(ruleTypes.contains(name.toString())) << at;
            ruleTypes.insert(name.toString());
        }
    }
    for (const QString& t : ruleTypes) {
        EXPECT_TRUE(types.contains(t)) << at << ": unknown type " << t.toStdString();
    }

    for (const QString& field : dict.keys()) {
        const plist::Value& value = *dict.find(field);
        EXPECT_TRUE(fields.contains(field)) << at << ": unknown field " << field.toStdString();
        EXPECT_TRUE(isMember || !memberOnly.contains(field))
            << at << ": " << field.toStdString() << " has no effect in an item rule";
        if (field == "allowsingle" || field == "allowempty" || field == "apple" || field == "required" ||
            field == "recommended" || field == "buildsupplied") {
            EXPECT_TRUE(value.isBoolean() && value.toBool()) << at << ": " << field.toStdString();
        }
        if (field == "deprecated") {
            EXPECT_TRUE(value.isString() && value.toString().endsWith(QLatin1Char('.'))) << at;
        }
    }
    if (const plist::Value* keys = dict.find(QStringLiteral("keys"))) {
        ASSERT_TRUE(ruleTypes.contains("dictionary")) << at;
        ASSERT_TRUE(keys->isDictionary()) << at;
        const plist::Dictionary& members = keys->toDictionary();
        for (int i = 0; i < members.size(); ++i) {
            // Sorted, so that a reviewer finds a key and a duplicate stands out.
            if (i > 0) {
                EXPECT_LT(members.keyAt(i - 1), members.keyAt(i)) << at;
            }
            checkRule(members.valueAt(i), plist::memberKeyPath(where, members.keyAt(i)), true);
        }
    }
    if (const plist::Value* members = dict.find(QStringLiteral("memberrule"))) {
        ASSERT_TRUE(ruleTypes.contains("dictionary")) << at;
        checkRule(*members, plist::memberKeyPath(where, QStringLiteral("<member>")), true);
    }
    if (ruleTypes.contains("array")) {
        const plist::Value* item = dict.find(QStringLiteral("arrayitem"));
        ASSERT_NE(item, nullptr) << at << ": an array rule without arrayitem rejects every element";
        checkRule(*item, where + QStringLiteral("[]"), false);
    } else {
        EXPECT_FALSE(dict.contains(QStringLiteral("arrayitem")) || dict.contains(QStringLiteral("allowsingle"))) << at;
    }
    if (!ruleTypes.contains("string")) {
        EXPECT_FALSE(dict.contains("subtype") || dict.contains("values") || dict.contains("allowempty")) << at;
    }
    if (const plist::Value* subtype = dict.find(QStringLiteral("subtype"))) {
        EXPECT_TRUE(subtype->isString() && subtypes.contains(subtype->toString())) << at;
    }
    if (const plist::Value* values = dict.find(QStringLiteral("values"))) {
        ASSERT_TRUE(values->isArray()) << at;
        EXPECT_FALSE(values->toArray().empty()) << at;
        for (const plist::Value& v : values->toArray()) {
            EXPECT_TRUE(v.isString() && !v.toString().isEmpty()) << at;
        }
    }
}

TEST_F(Rules, FileKeepsToTheRuleFormat)
{
    ASSERT_TRUE(sRules.isDictionary());
    const plist::Value* keys = sRules.toDictionary().find(QStringLiteral("keys"));
    ASSERT_TRUE(keys && keys->isDictionary());
    EXPECT_GT(keys->toDictionary().size(), 150);
    checkRule(plist::Value(D({{"type", S("dictionary")}, {"keys", *keys}})), QString(), true);
}

// Correct bundles of each kind: no error, no warning; the notes they draw
// are true (deprecated keys) and listed.
struct Sample {
    const char* file;
    QStringList notes;
};

void PrintTo(const Sample& sample, std::ostream* os)
{
    *os << sample.file;
}

class CorrectSamples : public Rules, public ::testing::WithParamInterface<Sample> {};

TEST_P(CorrectSamples, DrawNoErrorOrWarning)
{
    const Sample& sample = GetParam();
    EXPECT_EQ(findings(readPlist(sourceFile(sample.file))), sample.notes);
}

const QString kQL = QStringLiteral("[note] DeprecKey(%1|)");

INSTANTIATE_TEST_SUITE_P(RulesSamples, CorrectSamples,
                         ::testing::Values(Sample{"tests/data/info-plists/app.plist", {}},
                                           Sample{"tests/data/info-plists/framework.plist", {}},
                                           Sample{"tests/data/info-plists/kext.plist", {}},
                                           Sample{"tests/data/info-plists/share-extension.plist", {}},
                                           Sample{"tests/data/info-plists/ios-app.plist", {}},
                                           Sample{"tests/data/info-plists/spotlight-importer.plist", {}},
                                           Sample{"tests/data/info-plists/input-method.plist", {}},
                                           Sample{"tests/data/info-plists/network-extension.plist", {}},
                                           Sample{"tests/data/info-plists/quicklook-generator.plist",
                                                  {kQL.arg("QLNeedsToBeRunInMainThread"), kQL.arg("QLPreviewHeight"),
                                                   kQL.arg("QLPreviewWidth"), kQL.arg("QLSupportsConcurrentRequests"),
                                                   kQL.arg("QLThumbnailMinimumSize")}},
                                           Sample{"tests/data/peers/swift-corelibs-foundation/valid/Info.plist", {}}),
                         [](const ::testing::TestParamInfo<Sample>& info) {
                             return QString::fromUtf8(info.param.file)
                                        .section(QLatin1Char('/'), -1)
                                        .section(QLatin1Char('.'), 0, 0)
                                        .remove(QLatin1Char('-'))
                                        .toStdString() +
                                    std::to_string(info.index);
                         });

TEST_F(Rules, SourcePlistIsCleanOnlyWithBuildSettingsAllowed)
{
    set(platform::AllowBuildSettingsKey, true);
    EXPECT_EQ(findingsOfFile("tests/data/info-plists/source-app.plist"), QStringList());

    // Without the setting each reference is taken at its word.
    set(platform::AllowBuildSettingsKey, false);
    EXPECT_EQ(findingsOfFile("tests/data/info-plists/source-app.plist"),
              QStringList({
                  "[warning] BIDBadChar($(PRODUCT_BUNDLE_IDENTIFIER)|CFBundleIdentifier)",
                  "[error] Not4Char($(PRODUCT_BUNDLE_PACKAGE_TYPE)|CFBundlePackageType)",
                  "[warning] BadVers($(MARKETING_VERSION)|CFBundleShortVersionString)",
                  "[warning] BadVers(${CURRENT_PROJECT_VERSION}|CFBundleVersion)",
                  "[error] BadEnumeratedValue($(INFOPLIST_KEY_LSApplicationCategoryType)|LSApplicationCategoryType)",
                  "[warning] BadVers($(MACOSX_DEPLOYMENT_TARGET)|LSMinimumSystemVersion)",
              }));
}

TEST_F(Rules, WrongAppDrawsOneFindingPerFault)
{
    EXPECT_EQ(findingsOfFile("tests/data/info-plists/wrong-app.plist"),
              QStringList({
                  "[warning] UnknownTopKey(CFBundleSingature) KeyTypo(CFBundleSignature)",
                  "[warning] NoRecTopKey(CFBundleInfoDictionaryVersion)",
                  "[note] DeprecKey(CFBundleTypeExtensions|CFBundleDocumentTypes[0])",
                  "[error] BadEnumeratedValue(Edit|CFBundleDocumentTypes[0].CFBundleTypeRole)",
                  "[error] BadEnumeratedValue(owner|CFBundleDocumentTypes[0].LSHandlerRank)",
                  "[warning] AppleKey(LSIsAppleDefaultForType|CFBundleDocumentTypes[0])",
                  "[warning] UTIBadChar(com.example.my_doc|CFBundleDocumentTypes[0].LSItemContentTypes[0])",
                  "[warning] BIDBadChar(com.example.my_app|CFBundleIdentifier)",
                  "[error] Not4Char(APPLE|CFBundlePackageType)",
                  "[error] BadType(CFBundleURLTypes|array)",
                  "[warning] BadVers(1.0b2|CFBundleVersion)",
                  "[error] BadEnumeratedValue(public.app-category.Games|LSApplicationCategoryType)",
                  "[warning] BadVers(10.13 |LSMinimumSystemVersion)",
                  "[error] Not01Bool(yes|LSUIElement)",
                  "[error] NotYNBool(1|NSAppleScriptEnabled)",
                  "[error] BadType(NSHighResolutionCapable|boolean)",
                  "[error] NoReqKey(NSMessage|NSServices[0])",
                  "[error] NoReqKey(UTTypeIdentifier|UTExportedTypeDeclarations[0])",
              }));
}

// One key at a time, on top of a minimal correct bundle: the kind, format and
// accepted values that the documentation gives.
struct KeyCase {
    const char* key;
    plist::Value value;
    const char* finding; // "" for none
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.key << " = " << c.value.description().toStdString();
}

class KeyCases : public Rules, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyCases, DrawTheDocumentedFinding)
{
    const KeyCase& c = GetParam();
    plist::Value info = D({{"CFBundleIdentifier", S("com.example.app")},
                           {"CFBundleInfoDictionaryVersion", S("6.0")},
                           {"CFBundlePackageType", S("APPL")},
                           {"CFBundleVersion", S("1")}});
    plist::Dictionary dict = info.toDictionary();
    dict.insert(QString::fromUtf8(c.key), c.value);
    const QStringList expected = *c.finding ? QStringList{QString::fromUtf8(c.finding)} : QStringList{};
    EXPECT_EQ(findings(plist::Value::dictionary(dict)), expected) << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    RulesKeys, KeyCases,
    ::testing::Values(
        // Build numbers and marketing versions: digits between full stops.
        KeyCase{"CFBundleVersion", S("123"), ""}, KeyCase{"CFBundleVersion", S("1.2.3"), ""},
        KeyCase{"CFBundleShortVersionString", S("1.2 beta"), "[warning] BadVers(1.2 beta|CFBundleShortVersionString)"},
        KeyCase{"CFBundleVersion", I(3), "[error] BadType(CFBundleVersion|string)"},
        KeyCase{"CFBundleInfoDictionaryVersion", S("6"), "[error] BadEnumeratedValue(6|CFBundleInfoDictionaryVersion)"},
        KeyCase{"CFBundleSignature", S("????"), ""},
        KeyCase{"CFBundleIdentifier", S("Test Bundle Identifier 1"),
                "[warning] BIDBadChar(Test Bundle Identifier 1|CFBundleIdentifier)"},
        // Strings that old bundles wrote for booleans.
        KeyCase{"LSUIElement", S("1"), ""}, KeyCase{"LSUIElement", B(true), ""},
        KeyCase{"LSUIElement", S("YES"), "[error] Not01Bool(YES|LSUIElement)"}, KeyCase{"LSBackgroundOnly", S("0"), ""},
        KeyCase{"NSAppleScriptEnabled", S("YES"), ""}, KeyCase{"CFPlugInDynamicRegistration", S("NO"), ""},
        KeyCase{"LSRequiresNativeExecution", S("YES"), "[error] BadType(LSRequiresNativeExecution|boolean)"},
        // Closed lists, spelt exactly.
        KeyCase{"OSBundleRequired", S("Safe Boot"), ""},
        KeyCase{"OSBundleRequired", S("root"), "[error] BadEnumeratedValue(root|OSBundleRequired)"},
        KeyCase{"LSApplicationCategoryType", S("public.app-category.puzzle-games"), ""},
        KeyCase{"LSArchitecturePriority", A({S("arm64"), S("x86_64")}), ""},
        KeyCase{"LSArchitecturePriority", A({S("intel")}),
                "[error] BadEnumeratedValue(intel|LSArchitecturePriority[0])"},
        KeyCase{"UIDeviceFamily", I(1), ""},
        KeyCase{"UIDeviceFamily", A({S("1")}), "[error] BadType(UIDeviceFamily[0]|integer)"},
        KeyCase{"UIStatusBarStyle", S("UIStatusBarStyleLightContent"), ""},
        // Empty strings: allowed only where templates write them.
        KeyCase{"NSPrincipalClass", S(""), ""}, KeyCase{"CFBundleName", S(""), "[warning] EmptyString(CFBundleName)"},
        KeyCase{"QLPreviewWidth", plist::Value(800.0), "[note] DeprecKey(QLPreviewWidth|)"}));

TEST_F(Rules, VendorKeysAreQuietInVendorBundles)
{
    const plist::Value info = D({{"CFBundleIdentifier", S("com.apple.driver.Sample")},
                                 {"CFBundleInfoDictionaryVersion", S("6.0")},
                                 {"CFBundlePackageType", S("KEXT")},
                                 {"CFBundleVersion", S("1.0")},
                                 {"OSKernelResource", B(true)}});
    EXPECT_EQ(findings(info), QStringList());
}

} // namespace
} // namespace rules_test
