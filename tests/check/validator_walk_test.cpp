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
        root({{"A", rule("dictionary", {{"keys", D({{"B", rule("array", {{"arrayitem", element}})}})}})}});
    const plist::Value info = D({{"A", D({{"B", A({D({{"R", B(true)}, {"Zebra", I(0)}}), D({{"N", A({I(1), S("2")})}}),
                                                   D({{"R", B(true)}, {"C", S("abc")}})})}})}});
    EXPECT_EQ(check(info, rules), QStringLiteral("[note] UnknownKey(Zebra|A.B[0])\n"
                                                 "[error] NoReqKey(R|A.B[1])\n"
                                                 "[error] BadType(A.B[1].N[1]|integer)\n"
                                                 "[error] Not4Char(abc|A.B[2].C)\n"));
}

TEST_F(Walk, KeysAreJoinedAsTheyAre)
{
    // Full stops and brackets inside keys are not escaped; an empty key at the
    // top has the empty key path, so its dictionary uses the top-level messages.
    const plist::Value inner = rule("dictionary", {{"keys", D({{"q", rule("integer", {{"required", B(true)}})}})}});
    const plist::Value rules = root({{"a.b[1]", inner}, {"", inner}});
    EXPECT_EQ(check(D({{"a.b[1]", D({{"q", S("no")}})}, {"", D({})}}), rules),
              QStringLiteral("[error] BadType(a.b[1].q|integer)\n[error] NoReqTopKey(q)\n"));
}

TEST_F(Walk, FindingsComeInOrderAtEveryDepth)
{
    const plist::Value nested =
        rule("dictionary", {{"keys", D({{"Must", rule("string", {{"required", B(true)}})}, {"V", rule("integer")}})}});
    const plist::Value rules = root({
        {"Req", rule("string", {{"required", B(true)}})},
        {"Dep", rule("string", {{"deprecated", S("use New")}, {"apple", B(true)}})},
        {"Nest", nested},
        {"Last", rule("float")},
    });
    // File order: the known keys are taken up in it; unknown keys first of all.
    const plist::Value info = D({
        {"Dep", S("")},
        {"Xylophone", D({{"Req", I(1)}})}, // unknown: its value is not examined
        {"Nest", D({{"V", S("1")}, {"Quartzite", I(0)}})},
        {"Last", I(1)},
    });
    EXPECT_EQ(check(info, rules), QStringLiteral("[note] UnknownTopKey(Xylophone)\n"
                                                 "[error] NoReqTopKey(Req)\n"
                                                 "[note] DeprecKey(Dep||use New)\n"
                                                 "[warning] AppleKey(Dep|)\n"
                                                 "[warning] EmptyString(Dep)\n"
                                                 "[note] UnknownKey(Quartzite|Nest)\n"
                                                 "[error] NoReqKey(Must|Nest)\n"
                                                 "[error] BadType(Nest.V|integer)\n"
                                                 "[error] BadType(Last|float)\n"));
}

TEST_F(Walk, DeprecationNotesFollowTheSetting)
{
    const plist::Value rules = root(
        {{"Old", rule("boolean", {{"deprecated", B(false)}})}, {"Gone", rule("boolean", {{"deprecated", S("x")}})}});
    const plist::Value info = D({{"Old", S("yes")}});
    EXPECT_EQ(check(info, rules), QStringLiteral("[note] DeprecKey(Old||false)\n[error] BadType(Old|boolean)\n"));
    set(platform::DeprecationNotesKey, false);
    EXPECT_EQ(check(info, rules), QStringLiteral("[error] BadType(Old|boolean)\n"));
}

TEST_F(Walk, VendorKeysNeedTheVendorsBundleIdentifier)
{
    const plist::Value rules = root({
        {"CFBundleIdentifier", rule("string")},
        {"Secret", rule("boolean", {{"apple", B(true)}})},
        {"Sub", rule("dictionary", {{"keys", D({{"Inner", rule("boolean", {{"apple", B(true)}})}})}})},
        {"Listed", rule("boolean", {{"apple", S("true")}})}, // no boolean: not reserved
    });
    const QString warnings = QStringLiteral("[warning] AppleKey(Secret|)\n[warning] AppleKey(Inner|Sub)\n");
    const struct {
        plist::Value identifier; // null: none
        QString report;
    } rows[] = {
        {S("com.apple.finder"), QString()},
        {S("com.apple."), QString()},
        {S("com.apple"), warnings},
        {S("com.applesauce.x"), warnings},
        {S("COM.APPLE.finder"), warnings},
        {S("org.example.com.apple.x"), warnings},
        {I(1), warnings + QStringLiteral("[error] BadType(CFBundleIdentifier|string)\n")},
        {plist::Value(), warnings},
    };
    for (const auto& row : rows) {
        plist::Value info = D({{"Secret", B(true)}, {"Sub", D({{"Inner", B(true)}})}, {"Listed", B(true)}});
        if (!row.identifier.isNull()) {
            plist::Dictionary dict = info.toDictionary();
            dict.insert(QStringLiteral("CFBundleIdentifier"), row.identifier);
            info = plist::Value::dictionary(dict);
        }
        EXPECT_EQ(check(info, rules), row.report) << row.identifier.description().toStdString();
    }
    // Absent keys draw nothing, however they are marked.
    EXPECT_EQ(check(D({}), rules), QString());
}

TEST_F(Walk, NestingIsBoundedByTheParsersLimit)
{
    // Arrays in arrays under "K", with rules just as deep; the innermost
    // value is the wrong type so that a full walk shows at its deepest path.
    const auto walk = [](int arrays) {
        plist::Value value = I(0);
        plist::Value itemRule = rule("string");
        QString path = QStringLiteral("K");
        for (int i = 0; i < arrays; ++i) {
            value = A({value});
            itemRule = rule("array", {{"arrayitem", itemRule}});
            path += QStringLiteral("[0]");
        }
        return std::pair(check(D({{"K", value}}), root({{"K", itemRule}})), path);
    };
    // The information dictionary and the arrays together as deep as a parser accepts.
    const auto [deepest, fullPath] = walk(plist::kMaxNestingDepth - 1);
    EXPECT_EQ(deepest, QStringLiteral("[error] BadType(%1|string)\n").arg(fullPath));
    // One more level, and the walk stops there with an error instead of going on.
    const auto [tooDeep, path] = walk(plist::kMaxNestingDepth);
    const QString stopPath = path.chopped(3);
    EXPECT_EQ(tooDeep, QStringLiteral("[error] NestingTooDeep(%1)\n").arg(stopPath));
    // Far deeper trees end the same way, without exhausting the stack.
    EXPECT_TRUE(walk(5000).first.startsWith(QStringLiteral("[error] NestingTooDeep(K[0]")));
}

} // namespace
} // namespace validator_test
