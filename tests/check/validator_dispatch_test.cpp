// The type dispatch: which kinds of value each type name accepts, and where
// an accepted value goes next.
#include "validator_support.h"

#include <QDateTime>

namespace validator_test {
namespace {

using Dispatch = ValidatorTest;

// '.' accepted silently, 'T' "BadType", 'Y' "NotYNBool", '0' "Not01Bool".
struct DispatchRow {
    const char* type;     // null: the rule has no "type"
    const char* outcomes; // for: dictionary, array, string, boolean, integer, real, data, date
};

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
    const DispatchRow rows[] = {
        {"dictionary", ".TTTTTTT"},  {"array", "T.TTTTTT"},       {"string", "TT.TTTTT"},  {"boolean", "TTT.TTTT"},
        {"booleanOrYN", "TTY.TTTT"}, {"booleanOr01", "TT0.TTTT"}, {"integer", "TTTT.TTT"}, {"float", "TTTTT.TT"},
        {"String", "TTTTTTTT"},      {"Boolean", "TTTTTTTT"},     {nullptr, "TTTTTTTT"},
    };
    for (const DispatchRow& row : rows) {
        const plist::Value memberRule = row.type ? rule(row.type) : D({});
        for (int i = 0; i < 8; ++i) {
            const QString type = row.type ? QString::fromLatin1(row.type) : QStringLiteral("(null)");
            QString expected;
            switch (row.outcomes[i]) {
            case 'T': expected = QStringLiteral("[error] BadType(K|%1)\n").arg(type); break;
            case 'Y': expected = QStringLiteral("[error] NotYNBool(x|K)\n"); break;
            case '0': expected = QStringLiteral("[error] Not01Bool(x|K)\n"); break;
            }
            EXPECT_EQ(check(D({{"K", values[i]}}), root({{"K", memberRule}})), expected)
                << "type " << type.toStdString() << ", value " << values[i].description().toStdString();
        }
    }
}

struct CaseRow {
    const char* name;
    plist::Value memberRule;
    plist::Value value;
    const char* report;
};

TEST_F(Dispatch, ArraysSingleValuesAndOddRules)
{
    const plist::Value stringItem = rule("string");
    const CaseRow rows[] = {
        {"a single value is checked at the array's own path",
         rule("array", {{"allowsingle", B(true)}, {"arrayitem", stringItem}}), S(""), "[warning] EmptyString(K)\n"},
        {"without allowsingle a single value is the wrong type", rule("array", {{"arrayitem", stringItem}}), S(""),
         "[error] BadType(K|array)\n"},
        {"an allowsingle that is no boolean counts as absent",
         rule("array", {{"allowsingle", S("YES")}, {"arrayitem", stringItem}}), S("x"), "[error] BadType(K|array)\n"},
        {"an array is walked by element even with allowsingle",
         rule("array", {{"allowsingle", B(true)}, {"arrayitem", stringItem}}), A({S("a"), I(1)}),
         "[error] BadType(K[1]|string)\n"},
        {"an array rule without arrayitem passes an empty array", rule("array"), A({}), ""},
        {"an array rule without arrayitem rejects every element", rule("array"), A({I(1), S("a")}),
         "[error] BadType(K[0]|(null))\n[error] BadType(K[1]|(null))\n"},
        {"a single value without arrayitem", rule("array", {{"allowsingle", B(true)}}), S("a"),
         "[error] BadType(K|(null))\n"},
        {"an arrayitem that is no dictionary counts as absent", rule("array", {{"arrayitem", S("string")}}),
         A({S("a")}), "[error] BadType(K[0]|(null))\n"},
        {"a type that is no string counts as absent", D({{"type", I(1)}}), I(1), "[error] BadType(K|(null))\n"},
        {"a member rule that is no dictionary", S("string"), S("a"), "[error] BadType(K|(null))\n"},
        {"a dictionary rule without keys looks no further", rule("dictionary"), D({{"x", I(1)}}), ""},
        {"keys that are no dictionary count as absent", rule("dictionary", {{"keys", A({})}}), D({{"x", I(1)}}), ""},
    };
    for (const CaseRow& row : rows)
        EXPECT_EQ(check(D({{"K", row.value}}), root({{"K", row.memberRule}})), QString::fromUtf8(row.report))
            << row.name;
}

TEST_F(Dispatch, WithoutUsableRulesNothingIsReported)
{
    const plist::Value info = D({{"CFBundleIdentifier", I(3)}, {"Other", S("")}});
    EXPECT_EQ(check(info, plist::Value()), QString());
    EXPECT_EQ(check(info, D({})), QString());
    EXPECT_EQ(check(info, D({{"keys", S("not a dictionary")}})), QString());
    EXPECT_EQ(check(info, A({})), QString());
    // An empty key-rules dictionary knows nothing, so every key is unknown.
    EXPECT_EQ(check(info, D({{"keys", D({})}})),
              QStringLiteral("[note] UnknownTopKey(CFBundleIdentifier)\n[note] UnknownTopKey(Other)\n"));
}

} // namespace
} // namespace validator_test
