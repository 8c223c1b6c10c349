// The validator: the walk (key paths at depth, the order of findings,
// deprecated and vendor-reserved keys, the nesting bound), the type dispatch,
// string contents, and missing, unknown and mistyped keys.
#include "CaseRows.h"
#include "Support.h"

#include "platform/Bundle.h"
#include "plist/Parse.h"

#include <map>
#include <string_view>

namespace validator_test {
namespace {

using Walk = ValidatorTest;

TEST_F(Walk, KeyPathsThroughArraysOfDictionaries)
{
    const plist::Value element =
        rule("dictionary", {{"keys", D({{"C", rule("string", {{"subtype", S("FourCharCode")}})},
                                        {"R", rule("boolean", {{"required", B(true)}})},
                                        {"N", rule("array", {{"arrayitem", rule("integer")}})}})}});
    const plist::Value rules =
        root({{"A", rule("dictionary", {{"keys", D({{"B", rule("array", {{"arrayitem", element}})}})}})},
              {"a.b[1]", element}});
    const plist::Value info = D({{"A", D({{"B", A({D({{"R", B(true)}, {"Zebra", I(0)}}), D({{"N", A({I(1), S("2")})}}),
                                                   D({{"R", B(true)}, {"C", S("abc")}})})}})},
                                 {"a.b[1]", D({{"R", B(true)}, {"C", S("")}})}});
    // Keys are joined as they are: full stops and brackets in them are not escaped.
    EXPECT_EQ(check(info, rules), "[note] UnknownKey(Zebra|A.B[0])\n[error] NoReqKey(R|A.B[1])\n"
                                  "[error] BadType(A.B[1].N[1]|integer)\n[error] Not4Char(abc|A.B[2].C)\n"
                                  "[error] Not4Char(|a.b[1].C)\n");
}

TEST_F(Walk, FindingsComeInOrderAtEveryDepth)
{
    const plist::Value nested =
        rule("dictionary", {{"keys", D({{"Must", rule("string", {{"required", B(true)}})}, {"V", rule("integer")}})}});
    const plist::Value rules = root({{"Req", rule("string", {{"required", B(true)}})},
                                     {"Dep", rule("string", {{"deprecated", S("use New")}, {"apple", B(true)}})},
                                     {"Nest", nested},
                                     {"Last", rule("float")}});
    const plist::Value info = D({{"Dep", S("")},
                                 {"Xylophone", D({{"Req", I(1)}})}, // unknown: its value is not examined
                                 {"Nest", D({{"V", S("1")}, {"Quartzite", I(0)}})},
                                 {"Last", I(1)}});
    EXPECT_EQ(check(info, rules), "[note] UnknownTopKey(Xylophone)\n[error] NoReqTopKey(Req)\n"
                                  "[note] DeprecKey(Dep||use New)\n[warning] AppleKey(Dep|)\n"
                                  "[warning] EmptyString(Dep)\n[note] UnknownKey(Quartzite|Nest)\n"
                                  "[error] NoReqKey(Must|Nest)\n[error] BadType(Nest.V|integer)\n"
                                  "[error] BadType(Last|float)\n");
    // Without deprecation notes everything else stays.
    set(platform::DeprecationNotesKey, false);
    EXPECT_EQ(check(D({{"Dep", S("x")}}), rules), "[error] NoReqTopKey(Req)\n[warning] AppleKey(Dep|)\n");
    set(platform::DeprecationNotesKey, true);
    EXPECT_EQ(check(D({{"Old", B(true)}}), root({{"Old", rule("boolean", {{"deprecated", B(false)}})}})),
              "[note] DeprecKey(Old||false)\n");
}

TEST_F(Walk, VendorKeysNeedTheVendorsBundleIdentifier)
{
    const plist::Value rules =
        root({{"CFBundleIdentifier", rule("string")},
              {"Secret", rule("boolean", {{"apple", B(true)}})},
              {"Sub", rule("dictionary", {{"keys", D({{"Inner", rule("boolean", {{"apple", B(true)}})}})}})},
              {"Listed", rule("boolean", {{"apple", S("true")}})}}); // no boolean: not reserved
    const QString warned = "[warning] AppleKey(Secret|)\n[warning] AppleKey(Inner|Sub)\n";
    const std::pair<plist::Value, QString> rows[] = {
        {S("com.apple.finder"), ""},
        {S("com.apple."), ""},
        {S("com.apple"), warned},
        {S("com.applesauce.x"), warned},
        {S("COM.APPLE.x"), warned},
        {S("org.x.com.apple.y"), warned},
        {I(1), warned + "[error] BadType(CFBundleIdentifier|string)\n"},
    };
    const Entries keys = {{"Secret", B(true)}, {"Sub", D({{"Inner", B(true)}})}, {"Listed", B(true)}};
    for (const auto& [identifier, report] : rows) {
        plist::Dictionary info = D(keys).toDictionary();
        info.insert("CFBundleIdentifier", identifier);
        EXPECT_EQ(check(plist::Value::dictionary(info), rules), report) << identifier.description().toStdString();
    }
    EXPECT_EQ(check(D(keys), rules), warned);
    EXPECT_EQ(check(D({}), rules), ""); // absent keys draw nothing
}

TEST_F(Walk, OneValidatorFollowsTheSettingsFromCheckToCheck)
{
    const plist::Value rules = root(
        {{"Old", rule("boolean", {{"deprecated", S("x")}})}, {"Id", rule("string", {{"subtype", S("bundleID")}})}});
    const plist::Value info = D({{"Unrelated", I(1)}, {"Old", B(true)}, {"Id", S("$(ID)")}});
    Recorder recorder;
    check::PlistValidator validator(recorder);
    validator.validateInfoDict(info.toDictionary(), &rules);
    EXPECT_EQ(recorder.report, "[note] UnknownTopKey(Unrelated)\n[note] DeprecKey(Old||x)\n"
                               "[warning] BIDBadChar($(ID)|Id)\n");
    set(platform::NoteUnknownKeysKey, false);
    set(platform::DeprecationNotesKey, false);
    set(platform::AllowBuildSettingsKey, true);
    recorder.report.clear();
    validator.validateInfoDict(info.toDictionary(), &rules);
    EXPECT_EQ(recorder.report, "");
}

TEST_F(Walk, NestingIsBoundedByTheParsersLimit)
{
    // Arrays in arrays, or dictionaries in dictionaries, under "K" with rules
    // as deep; the innermost value is of the wrong type, so a complete walk
    // reports it at the deepest path.
    const auto walk = [](int levels, bool dictionaries) {
        plist::Value value = I(0), itemRule = rule("string");
        QStringList path = {"K"};
        for (int i = 0; i < levels; ++i) {
            value = dictionaries ? D({{"d", value}}) : A({value});
            itemRule = dictionaries ? rule("dictionary", {{"keys", D({{"d", itemRule}})}})
                                    : rule("array", {{"arrayitem", itemRule}});
            path << (dictionaries ? ".d" : "[0]");
        }
        return std::pair(check(D({{"K", value}}), root({{"K", itemRule}})), path);
    };
    for (bool dictionaries : {false, true}) {
        // The information dictionary and the nested ones together as deep as a parser accepts.
        const auto [deepest, fullPath] = walk(plist::kMaxNestingDepth - 1, dictionaries);
        EXPECT_EQ(deepest, QStringLiteral("[error] BadType(%1|string)\n").arg(fullPath.join("")));
        auto [tooDeep, path] = walk(plist::kMaxNestingDepth, dictionaries);
        path.removeLast();
        EXPECT_EQ(tooDeep, QStringLiteral("[error] NestingTooDeep(%1)\n").arg(path.join("")));
        EXPECT_TRUE(walk(5000, dictionaries).first.startsWith("[error] NestingTooDeep(K")) << dictionaries;
    }
}

using Dispatch = ValidatorTest;

TEST_F(Dispatch, EachTypeNameAcceptsItsKindsOnly)
{
    const plist::Value values[] = {D({}),
                                   A({}),
                                   S("x"),
                                   B(false),
                                   I(7),
                                   plist::Value(1.5),
                                   plist::Value::data("ab"),
                                   plist::Value(plist::Date{0})};
    // Per value above: '.' accepted, 'T' "BadType", 'Y' "NotYNBool", '0' "Not01Bool".
    const std::pair<const char*, const char*> rows[] = {
        {"dictionary", ".TTTTTTT"},  {"array", "T.TTTTTT"},       {"string", "TT.TTTTT"},  {"boolean", "TTT.TTTT"},
        {"booleanOrYN", "TTY.TTTT"}, {"booleanOr01", "TT0.TTTT"}, {"integer", "TTTT.TTT"}, {"float", "TTTTT.TT"},
        {"number", "TTTT..TT"},      {"data", "TTTTTT.T"},        {"date", "TTTTTTT."},    {"String", "TTTTTTTT"},
        {nullptr, "TTTTTTTT"},
    };
    for (const auto& [type, outcomes] : rows) {
        const QString typeText = type ? QString::fromLatin1(type) : QStringLiteral("(null)");
        const QString expected[] = {QString(), QStringLiteral("[error] BadType(K|%1)\n").arg(typeText),
                                    QStringLiteral("[error] NotYNBool(x|K)\n"),
                                    QStringLiteral("[error] Not01Bool(x|K)\n")};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(check(D({{"K", values[i]}}), root({{"K", type ? rule(type) : D({})}})),
                      expected[std::string_view(".TY0").find(outcomes[i])])
                << typeText.toStdString() << " / " << values[i].description().toStdString();
    }
}

TEST_F(Dispatch, ArraysSingleValuesAndOddRules)
{
    const plist::Value item = rule("string");
    const struct {
        plist::Value memberRule, value;
        const char* report;
    } rows[] = {
        // A single value in place of an array is checked at the array's own path.
        {rule("array", {{"allowsingle", B(true)}, {"arrayitem", item}}), S(""), "[warning] EmptyString(K)\n"},
        {rule("array", {{"allowsingle", B(true)}, {"arrayitem", item}}), A({S("a"), I(1)}),
         "[error] BadType(K[1]|string)\n"},
        {rule("array", {{"arrayitem", item}}), S(""), "[error] BadType(K|array)\n"},
        {rule("array", {{"allowsingle", S("YES")}, {"arrayitem", item}}), S("x"), "[error] BadType(K|array)\n"},
        {rule("array"), A({}), ""},
        {rule("array"), A({I(1), S("a")}), "[error] BadType(K[0]|(null))\n[error] BadType(K[1]|(null))\n"},
        {rule("array", {{"allowsingle", B(true)}}), S("a"), "[error] BadType(K|(null))\n"},
        {rule("array", {{"arrayitem", S("string")}}), A({S("a")}), "[error] BadType(K[0]|(null))\n"},
        {D({{"type", I(1)}}), I(1), "[error] BadType(K|(null))\n"},
        {S("string"), S("a"), "[error] BadType(K|(null))\n"},
        {rule("dictionary"), D({{"x", I(1)}}), ""},
        {rule("dictionary", {{"keys", A({})}}), D({{"x", I(1)}}), ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(check(D({{"K", row.value}}), root({{"K", row.memberRule}})), QString::fromUtf8(row.report))
            << row.memberRule.description().toStdString() << " / " << row.value.description().toStdString();
}

TEST_F(Dispatch, TypeListsTakeEachListedKind)
{
    const plist::Value item = rule("string", {{"subtype", S("FourCharCode")}});
    const plist::Value stringOrDict = D({{"type", A({S("string"), S("dictionary")})},
                                         {"subtype", S("FourCharCode")},
                                         {"keys", D({{"N", rule("integer")}})}});
    const plist::Value listOrSingle =
        D({{"type", A({S("array"), S("number")})}, {"allowsingle", B(true)}, {"arrayitem", item}});
    const struct {
        plist::Value memberRule, value;
        const char* report;
    } rows[] = {
        // Each listed type takes its kind, with the checks of that type.
        {stringOrDict, S("APPL"), ""},
        {stringOrDict, S("APP"), "[error] Not4Char(APP|K)\n"},
        {stringOrDict, D({{"N", S("x")}}), "[error] BadType(K.N|integer)\n"},
        {stringOrDict, I(1), "[error] BadType(K|string or dictionary)\n"},
        // A lone value goes to the array only when no listed type takes it as it is.
        {listOrSingle, I(1), ""},
        {listOrSingle, S("APP"), "[error] Not4Char(APP|K)\n"},
        {listOrSingle, A({S("APPL"), plist::Value(2.5)}), "[error] BadType(K[1]|string)\n"},
        // Names that are no strings count for nothing; a list of none is no type.
        {D({{"type", A({I(1), S("boolean")})}}), B(true), ""},
        {D({{"type", A({I(1), S("boolean")})}}), S("x"), "[error] BadType(K|boolean)\n"},
        {D({{"type", A({})}}), S("x"), "[error] BadType(K|(null))\n"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(check(D({{"K", row.value}}), root({{"K", row.memberRule}})), QString::fromUtf8(row.report))
            << row.memberRule.description().toStdString() << " / " << row.value.description().toStdString();
}

TEST_F(Dispatch, WithoutUsableRulesNothingIsReported)
{
    const plist::Value info = D({{"CFBundleIdentifier", I(3)}, {"Other", S("")}});
    for (const plist::Value& rules : {plist::Value(), D({}), D({{"keys", S("x")}}), A({})})
        EXPECT_EQ(check(info, rules), QString()) << rules.description().toStdString();
    // Empty key rules know nothing, so every key is unknown and no near miss.
    EXPECT_EQ(check(info, root({})), "[note] UnknownTopKey(CFBundleIdentifier)\n[note] UnknownTopKey(Other)\n");
}

using Strings = ValidatorTest;

plist::Value sub(const char* subtype)
{
    return rule("string", {{"subtype", S(subtype)}});
}

TEST_F(Strings, FormatsValuesAndEmptiness)
{
    const plist::Value code = rule("string", {{"subtype", S("FourCharCode")}, {"values", A({S("APPL")})}});
    // The rules the case table names; any other name is a string rule of that subtype.
    const std::map<QString, plist::Value> named = {
        {"roles", rule("string", {{"values", A({S("Editor"), S(""), I(1)})}})},
        {"code", code},
        {"subtype-not-text", rule("string", {{"subtype", I(1)}})},
        {"allowempty", rule("string", {{"allowempty", B(true)}})},
        {"allowempty-as-text", rule("string", {{"allowempty", S("true")}})},
        {"no-values-allowempty", rule("string", {{"values", A({})}, {"allowempty", B(true)}})},
        {"values-as-text", rule("string", {{"values", S("x")}})}, // no array: as if absent
        {"booleanOrYN", rule("booleanOrYN")},
        {"booleanOr01", rule("booleanOr01")},
    };
    for (const QStringList& row : caseRows("string-values.tsv")) {
        ASSERT_EQ(row.size(), 3);
        const auto found = named.find(row[0]);
        const plist::Value memberRule = found != named.end() ? found->second : sub(row[0].toUtf8().constData());
        const QString& value = row[1];
        QString expected;
        if (!row[2].isEmpty())
            expected = QStringLiteral("%1(%2|K)\n").arg(row[2], value).replace("EmptyString(|K)", "EmptyString(K)");
        EXPECT_EQ(check(D({{"K", plist::Value(value)}}), root({{"K", memberRule}})), expected)
            << "'" << value.toStdString() << "' under " << row[0].toStdString();
    }
    // A value that fails both its format and its values draws both, the format first.
    EXPECT_EQ(check(D({{"K", S("APPLE")}}), root({{"K", code}})),
              "[error] Not4Char(APPLE|K)\n[error] BadEnumeratedValue(APPLE|K)\n");
}

TEST_F(Strings, BuildSettingReferencesWhenAllowed)
{
    const QString finding[] = {"[warning] BIDBadChar(%1|K)\n", "[warning] BadVers(%1|K)\n"};
    for (const QStringList& row : caseRows("build-settings.tsv")) {
        ASSERT_EQ(row.size(), 3);
        const plist::Value rules = root({{"K", sub(row[1].toUtf8().constData())}});
        const QString strict = finding[row[1] == "version"].arg(row[0]);
        set(platform::AllowBuildSettingsKey, false);
        EXPECT_EQ(check(D({{"K", plist::Value(row[0])}}), rules), strict) << row[0].toStdString();
        set(platform::AllowBuildSettingsKey, true);
        EXPECT_EQ(check(D({{"K", plist::Value(row[0])}}), rules), row[2] == "skipped" ? QString() : strict)
            << row[0].toStdString();
    }
    const plist::Value id = sub("bundleID");
    // It holds for "values" and in nested dictionaries too, but not for the YES/NO strings.
    const plist::Value list = rule("array", {{"arrayitem", rule("dictionary", {{"keys", D({{"Id", id}})}})}});
    const plist::Value rules =
        root({{"L", list}, {"R", rule("string", {{"values", A({})}})}, {"Y", rule("booleanOrYN")}});
    EXPECT_EQ(check(D({{"L", A({D({{"Id", S("$(ID)")}})})}, {"R", S("$(R)")}, {"Y", S("$(Y)")}}), rules),
              "[error] NotYNBool($(Y)|Y)\n");
}

using Keys = ValidatorTest;

TEST_F(Keys, RequiredAndRecommended)
{
    const plist::Value members = D({{"Req", rule("string", {{"required", B(true)}})},
                                    {"Rec", rule("string", {{"recommended", B(true)}})},
                                    {"Both", rule("string", {{"required", B(true)}, {"recommended", B(true)}})},
                                    {"Neither", rule("string", {{"required", B(false)}})},
                                    {"Odd", rule("string", {{"required", S("YES")}, {"recommended", I(1)}})}});
    EXPECT_EQ(check(D({}), D({{"keys", members}})),
              "[error] NoReqTopKey(Req)\n[warning] NoRecTopKey(Rec)\n[error] NoReqTopKey(Both)\n");
    // Inside the first element of an array of dictionaries.
    const plist::Value list = rule("array", {{"arrayitem", rule("dictionary", {{"keys", members}})}});
    EXPECT_EQ(check(D({{"L", A({D({{"Rec", S("")}})})}}), root({{"L", list}})),
              "[error] NoReqKey(Req|L[0])\n[error] NoReqKey(Both|L[0])\n[warning] EmptyString(L[0].Rec)\n");
    // Any value counts as present; a key in the other letter case is unknown, and the rules' key missing.
    EXPECT_EQ(check(D({{"Req", I(0)}, {"Rec", B(false)}, {"both", S("x")}}), D({{"keys", members}})),
              "[warning] UnknownTopKey(both) KeyTypo(Both)\n[error] NoReqTopKey(Both)\n"
              "[error] BadType(Req|string)\n[error] BadType(Rec|string)\n");
}

TEST_F(Keys, NearMissesAndNotes)
{
    const plist::Value rules = root({{"CFBundleSignature", rule("string")},
                                     {"ab", rule("string")},
                                     {"Sub", rule("dictionary", {{"keys", D({{"LSUIElement", rule("boolean")}})}})}});
    const std::pair<const char*, const char*> rows[] = {
        {"CFBundleSingature", "CFBundleSignature"}, // letters swapped
        {"CFBundleSignatures", "CFBundleSignature"},
        {"CFBundleSgnature", "CFBundleSignature"},
        {"CFBundleSignaturx", "CFBundleSignature"},
        {"cFBundleSignature", "CFBundleSignature"},
        {"CFBundleSignatureXY", "CFBundleSignature"},
        {"", "ab"}, // as far from a key as its length
        {"CFBundleSignatureXYZ", nullptr},
        {"cfBundleSignature", nullptr},
        {"Unrelated", nullptr},
    };
    for (const auto& [key, nearest] : rows) {
        const QString k = QString::fromUtf8(key);
        for (bool notes : {true, false}) {
            set(platform::NoteUnknownKeysKey, notes);
            // Near misses are warnings whatever the setting; other unknown keys are notes while it is on.
            const QString expected = nearest
                                         ? QStringLiteral("[warning] UnknownTopKey(%1) KeyTypo(%2)\n").arg(k, nearest)
                                     : notes ? QStringLiteral("[note] UnknownTopKey(%1)\n").arg(k)
                                             : QString();
            EXPECT_EQ(check(D({{key, I(1)}}), rules), expected) << key << (notes ? " with notes" : "");
        }
    }
    set(platform::NoteUnknownKeysKey, true);
    EXPECT_EQ(check(D({{"Sub", D({{"LSUIElements", B(true)}, {"Nope", I(1)}})}}), rules),
              "[warning] UnknownKey(LSUIElements|Sub) KeyTypo(LSUIElement)\n[note] UnknownKey(Nope|Sub)\n");
}

TEST_F(Keys, TiesNameTheFirstRuleKey)
{
    // "ac" is one letter from both "ab" and "ad": the rules' order decides; a nearer key wins anywhere.
    const plist::Value info = D({{"ac", I(1)}});
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ad", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ab)\n");
    EXPECT_EQ(check(info, root({{"ad", rule("integer")}, {"ab", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ad)\n");
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ca", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ca)\n");
}

TEST_F(Keys, KeysTheBuildSuppliesAreNotMissedInSourceFiles)
{
    const plist::Value rules =
        root({{"Id", rule("string", {{"required", B(true)}, {"buildsupplied", B(true)}})},
              {"Vers", rule("string", {{"recommended", B(true)}, {"buildsupplied", B(true)}})},
              {"Name", rule("string", {{"recommended", B(true)}, {"buildsupplied", S("YES")}})}});
    set(platform::AllowBuildSettingsKey, false);
    EXPECT_EQ(check(D({}), rules),
              "[error] NoReqTopKey(Id)\n[warning] NoRecTopKey(Vers)\n[warning] NoRecTopKey(Name)\n");
    set(platform::AllowBuildSettingsKey, true);
    EXPECT_EQ(check(D({}), rules), "[warning] NoRecTopKey(Name)\n");
}

TEST_F(Keys, MembersKeyedByChosenNamesFollowTheMemberRule)
{
    const plist::Value domain = rule("dictionary", {{"keys", D({{"Sub", rule("boolean")}})}});
    const plist::Value info = D({{"K", D({{"a.example", D({{"Sub", S("x")}})}, {"b", I(1)}})}});
    const struct {
        plist::Value memberRule;
        const char* report;
    } rows[] = {
        // Every member follows it, and none is unknown.
        {rule("dictionary", {{"memberrule", domain}}),
         "[error] BadType(K.a.example.Sub|boolean)\n[error] BadType(K.b|dictionary)\n"},
        // With "keys", the members they name follow their own rules, the others the member rule.
        {rule("dictionary", {{"keys", D({{"b", rule("integer")}})}, {"memberrule", domain}}),
         "[error] BadType(K.a.example.Sub|boolean)\n"},
        // Without it, as older rules files have it: unnamed members are unknown, or not checked at all.
        {rule("dictionary", {{"keys", D({{"b", rule("integer")}})}}), "[note] UnknownKey(a.example|K)\n"},
        {rule("dictionary"), ""},
        {rule("dictionary", {{"memberrule", S("string")}}), ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(check(info, root({{"K", row.memberRule}})), QString::fromUtf8(row.report))
            << row.memberRule.description().toStdString();
}

TEST_F(Keys, QualifiedKeysFollowTheKeyTheyQualify)
{
    const plist::Value list = rule("array", {{"arrayitem", rule("string")}});
    const plist::Value rules = root({{"UIOrientations", list}, {"OSBundleLibraries", list}, {"CFBundleName", list}});
    const plist::Dictionary& keyRules = rules.toDictionary().find(QStringLiteral("keys"))->toDictionary();
    const std::pair<const char*, bool> rows[] = {
        {"UIOrientations~ipad", true},
        {"UIOrientations~iphone", true},
        {"UIOrientations~ipod", true},
        {"UIOrientations-iphoneos", true},
        {"UIOrientations-macos~ipad", true},
        {"UIOrientations~ipad-iphoneos", false},
        {"UIOrientations~mac", false},
        {"UIOrientations~ipad~ipad", false},
        {"~ipad", false},
        {"OSBundleLibraries_x86_64", true},
        {"OSBundleLibraries_arm64e", true},
        {"OSBundleLibraries_sparc", false},
        {"CFBundleName_x86_64", false}, // architecture variants are for kernel-extension keys
    };
    for (const auto& [key, known] : rows) {
        const QString name = QString::fromLatin1(key);
        EXPECT_EQ(check::PlistValidator::memberRuleOf(keyRules, name) != nullptr, known) << key;
        // The value of a qualified key is checked by the rule it follows.
        EXPECT_EQ(check(D({{key, I(1)}}), rules),
                  (known ? QStringLiteral("[error] BadType(%1|array)\n") : QStringLiteral("[note] UnknownTopKey(%1)\n"))
                      .arg(name))
            << key;
    }
    EXPECT_EQ(check(D({{"UIOrientations~ipad", A({I(1)})}}), rules),
              "[error] BadType(UIOrientations~ipad[0]|string)\n");
    // The key's own rule comes first.
    const plist::Value own = root({{"K", rule("string")}, {"K~ipad", rule("integer")}});
    EXPECT_EQ(check(D({{"K~ipad", S("x")}}), own), "[error] BadType(K~ipad|integer)\n");
}

// The messages that go on to the fix, in the words of the built-in strings table.
class Messages : public ValidatorTest {
public:
    static void SetUpTestSuite()
    {
        ValidatorTest::SetUpTestSuite();
        platform::Bundle::main().setStringsFile(QString());
    }
};

TEST_F(Messages, EndInTheFix)
{
    const auto values = [](std::initializer_list<plist::Value> accepted, Entries more = {}) {
        plist::Dictionary fields = rule("string", more).toDictionary();
        fields.insert("values", A(accepted));
        return plist::Value::dictionary(std::move(fields));
    };
    std::vector<plist::Value> thirteen; // too many to list
    for (int i = 0; i < 13; ++i)
        thirteen.push_back(plist::Value(QStringLiteral("Value%1").arg(i)));
    const plist::Value rules = root({
        {"Role", values({S("Editor"), S("Viewer"), S(""), I(1), S("None")})},
        {"Many", D({{"type", S("string")}, {"values", plist::Value::array(thirteen)}})},
        {"Count", rule("integer")},
        {"Either", D({{"type", A({S("string"), S("array")})}})},
        {"Version", values({S("6.0")}, {{"recommended", B(true)}})},
        {"CFBundlePackageType", rule("string", {{"subtype", S("FourCharCode")}})},
        {"Old", rule("string", {{"deprecated", S("gone.")}})},
        {"Sub", rule("dictionary", {{"keys", D({{"Old", rule("string", {{"deprecated", S("gone.")}})}})}})},
    });
    const QString enumerated = "of Role is not one of the values this key accepts; check its spelling and letter case.";
    const QString missing =
        "[warning] The recommended key Version is missing; consider adding it. Its only valid value is 6.0.\n";
    const struct {
        plist::Value info;
        QString bundleName;
        QString report;
    } rows[] = {
        // The nearest accepted value (first of equals), and all of them when 12 or fewer.
        {D({{"Role", S("Writer")}}), "",
         "[error] The value \"Writer\" " + enumerated + " Did you mean Editor? It accepts Editor, Viewer, None.\n"},
        // Another letter case is nearer than any other letters.
        {D({{"Role", S("viewer")}}), "",
         "[error] The value \"viewer\" " + enumerated + " Did you mean Viewer? It accepts Editor, Viewer, None.\n"},
        // Values that are no string, or empty, are neither suggested nor listed.
        {D({{"Role", S("x")}}), "", "[error] The value \"x\" " + enumerated + " It accepts Editor, Viewer, None.\n"},
        {D({{"Many", S("value3")}}), "",
         "[error] The value \"value3\" of Many is not one of the values this key accepts; check its spelling and "
         "letter case. Did you mean Value3?\n"},
        // The type found.
        {D({{"Count", S("7")}}), "",
         "[error] The value of Count has the wrong type: it must be of type integer, not string.\n"},
        {D({{"Either", D({})}}), "",
         "[error] The value of Either has the wrong type: it must be of type string or array, not dictionary.\n"},
        // A bundle's package type of another length: one finding, with the code its extension calls for.
        {D({{"CFBundlePackageType", S("APPLE")}}), "Mistakes.app",
         "[error] The value \"APPLE\" of CFBundlePackageType is not a four-character code: a bundle with the "
         "extension .app has the type APPL; correct the type.\n"},
        {D({{"CFBundlePackageType", S("APPLE")}}), "",
         "[error] The value \"APPLE\" of CFBundlePackageType is not a four-character code: it must be exactly four "
         "characters, such as APPL or ????.\n"},
        // Where a deprecated key is.
        {D({{"Old", S("x")}, {"Sub", D({{"Old", S("y")}})}}), "",
         "[note] The key Old at the top level is deprecated: gone.\n"
         "[note] The key Old in \"Sub\" is deprecated: gone.\n"},
    };
    for (const auto& row : rows) {
        plist::Dictionary info = row.info.toDictionary();
        info.insert("Version", S("6.0"));
        EXPECT_EQ(check(plist::Value::dictionary(info), rules, row.bundleName), row.report);
    }
    // The one value a missing key may have.
    EXPECT_EQ(check(D({}), rules), missing);
}

} // namespace
} // namespace validator_test
