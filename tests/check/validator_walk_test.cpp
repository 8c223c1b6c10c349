// The walk: key paths at depth, the order of findings, deprecated and
// vendor-reserved keys, and the nesting bound.
#include "validator_support.h"

#include "plist/Parse.h"

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

} // namespace
} // namespace validator_test
