// String contents: the sub-formats, accepted values, emptiness, the YES/NO
// and 0/1 strings, and build-setting references.
#include "validator_support.h"

namespace validator_test {
namespace {

using Strings = ValidatorTest;

plist::Value sub(const char* subtype)
{
    return rule("string", {{"subtype", S(subtype)}});
}

TEST_F(Strings, FormatsValuesAndEmptiness)
{
    const plist::Value roles = rule("string", {{"values", A({S("Editor"), S(""), I(1)})}});
    const plist::Value code = rule("string", {{"subtype", S("FourCharCode")}, {"values", A({S("APPL")})}});
    const struct {
        plist::Value memberRule;
        const char16_t* value;
        const char* message; // the finding's "[icon] Key", or null for none
    } rows[] = {
        {sub("version"), u"10.4.11", nullptr},
        {sub("version"), u"1.2.3a", "[warning] BadVers"},
        {sub("version"), u"1.0 ", "[warning] BadVers"},
        {sub("version"), u"-1", "[warning] BadVers"},
        {sub("version"), u"\u0661.2", "[warning] BadVers"}, // no ASCII digit
        {sub("version"), u"1..2", nullptr},
        {sub("version"), u".5", nullptr},
        {sub("bundleID"), u"org.sample-1.viewer", nullptr},
        {sub("bundleID"), u"abc", "[warning] BIDNoDot"},
        {sub("bundleID"), u"com..x", "[warning] BIDEmptyPart"},
        {sub("bundleID"), u"com.x.", "[warning] BIDEmptyPart"},
        {sub("bundleID"), u"org.s\u00e4mple", "[warning] BIDBadChar"},
        {sub("bundleID"), u"a_b", "[warning] BIDBadChar"},
        {sub("bundleID"), u"", "[warning] BIDNoDot"}, // and no EmptyString
        {sub("UTI"), u"org.s\u00e4mple.doc", nullptr},
        {sub("UTI"), u"public.\U0001F600", nullptr},
        {sub("UTI"), u"public.my type", "[warning] UTIBadChar"},
        {sub("UTI"), u"public", "[warning] UTINoDot"},
        {sub("UTI"), u"public..text", "[warning] UTIEmptyPart"},
        {sub("FourCharCode"), u"????", nullptr},
        {sub("FourCharCode"), u"APPLE", "[error] Not4Char"},
        {sub("FourCharCode"), u"", "[error] Not4Char"},
        {sub("FourCharCode"), u"AB\U0001F600", nullptr},
        {sub("char"), u"x", nullptr},
        {sub("char"), u"\U0001F600", "[error] Not1Char"},
        {sub("Version"), u"1.0b2", nullptr},
        {sub("Version"), u"", "[warning] EmptyString"},
        {rule("string", {{"subtype", I(1)}}), u"", "[warning] EmptyString"},
        {rule("string", {{"allowempty", B(true)}}), u"", nullptr},
        {rule("string", {{"allowempty", S("true")}}), u"", "[warning] EmptyString"},
        {roles, u"Editor", nullptr},
        {roles, u"editor", "[error] BadEnumeratedValue"},
        {roles, u"1", "[error] BadEnumeratedValue"},
        {roles, u"", nullptr},
        {rule("string", {{"values", A({})}, {"allowempty", B(true)}}), u"", "[error] BadEnumeratedValue"},
        {rule("string", {{"values", S("x")}}), u"y", nullptr}, // "values" that is no array: absent
        {code, u"BNDL", "[error] BadEnumeratedValue"},
        {rule("booleanOrYN"), u"yes", nullptr},
        {rule("booleanOrYN"), u"No", nullptr},
        {rule("booleanOrYN"), u"1", "[error] NotYNBool"},
        {rule("booleanOrYN"), u" YES", "[error] NotYNBool"},
        {rule("booleanOr01"), u"1", nullptr},
        {rule("booleanOr01"), u"01", "[error] Not01Bool"},
    };
    for (const auto& row : rows) {
        const QString value = QString::fromUtf16(row.value);
        QString expected;
        if (row.message)
            expected =
                QStringLiteral("%1(%2|K)\n").arg(row.message, value).replace("EmptyString(|K)", "EmptyString(K)");
        EXPECT_EQ(check(D({{"K", plist::Value(value)}}), root({{"K", row.memberRule}})), expected)
            << "'" << value.toStdString() << "' under " << row.memberRule.description().toStdString();
    }
    // A value that fails both its format and its values draws both, the format first.
    EXPECT_EQ(check(D({{"K", S("APPLE")}}), root({{"K", code}})),
              "[error] Not4Char(APPLE|K)\n[error] BadEnumeratedValue(APPLE|K)\n");
}

TEST_F(Strings, BuildSettingReferencesWhenAllowed)
{
    const plist::Value id = sub("bundleID");
    const std::pair<const char*, bool> rows[] = {
        {"$(PRODUCT_BUNDLE_IDENTIFIER)", true},
        {"com.example.$(PRODUCT_NAME:rfc1034identifier)", true},
        {"${PRODUCT_BUNDLE_IDENTIFIER}", true},
        {"$(NAME:lower:default=a.b)", true},
        {"$(NAME", false},
        {"$()", false},
        {"$(NAME}", false},
        {"$(BAD NAME)", false},
        {"$NAME", false},
        {"$(NAME:)", false},
    };
    for (const auto& [value, skipped] : rows) {
        const QString strict = QStringLiteral("[warning] BIDBadChar(%1|K)\n").arg(value);
        set(platform::AllowBuildSettingsKey, false);
        EXPECT_EQ(check(D({{"K", S(value)}}), root({{"K", id}})), strict);
        set(platform::AllowBuildSettingsKey, true);
        EXPECT_EQ(check(D({{"K", S(value)}}), root({{"K", id}})), skipped ? QString() : strict) << value;
    }
    // It holds for "values" and in nested dictionaries too, but not for the YES/NO strings.
    const plist::Value list = rule("array", {{"arrayitem", rule("dictionary", {{"keys", D({{"Id", id}})}})}});
    const plist::Value rules =
        root({{"L", list}, {"R", rule("string", {{"values", A({})}})}, {"Y", rule("booleanOrYN")}});
    EXPECT_EQ(check(D({{"L", A({D({{"Id", S("$(ID)")}})})}, {"R", S("$(R)")}, {"Y", S("$(Y)")}}), rules),
              "[error] NotYNBool($(Y)|Y)\n");
}

} // namespace
} // namespace validator_test
