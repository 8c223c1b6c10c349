// The type dispatch: which kinds each type name accepts, where an accepted
// value goes next, and rules with fields missing or of the wrong kind.
#include "validator_support.h"

#include <string_view>

namespace validator_test {
namespace {

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
        {"String", "TTTTTTTT"},      {nullptr, "TTTTTTTT"},
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

TEST_F(Dispatch, WithoutUsableRulesNothingIsReported)
{
    const plist::Value info = D({{"CFBundleIdentifier", I(3)}, {"Other", S("")}});
    for (const plist::Value& rules : {plist::Value(), D({}), D({{"keys", S("x")}}), A({})})
        EXPECT_EQ(check(info, rules), QString()) << rules.description().toStdString();
    // Empty key rules know nothing, so every key is unknown and no near miss.
    EXPECT_EQ(check(info, root({})), "[note] UnknownTopKey(CFBundleIdentifier)\n[note] UnknownTopKey(Other)\n");
}

} // namespace
} // namespace validator_test
