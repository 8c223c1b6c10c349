// String contents: the sub-formats, accepted values, emptiness, the YES/NO
// and 0/1 strings, and build-setting references.
#include "validator_support.h"

namespace validator_test {
namespace {

using Strings = ValidatorTest;

struct StringRow {
    plist::Value memberRule;
    const char16_t* value;
    const char16_t* report; // "%1" stands for the value
};

void expectRows(std::initializer_list<StringRow> rows)
{
    for (const StringRow& row : rows) {
        const QString value = QString::fromUtf16(row.value);
        const QString expected = QString::fromUtf16(row.report).replace(QStringLiteral("%1"), value);
        EXPECT_EQ(ValidatorTest::check(D({{"K", plist::Value(value)}}), root({{"K", row.memberRule}})), expected)
            << "value '" << value.toStdString() << "' under " << row.memberRule.description().toStdString();
    }
}

plist::Value sub(const char* subtype)
{
    return rule("string", {{"subtype", S(subtype)}});
}

TEST_F(Strings, SubFormats)
{
    const char16_t* ok = u"";
    expectRows({
        {sub("version"), u"10.4.11", ok},
        {sub("version"), u"1.2.3a", u"[warning] BadVers(%1|K)\n"},
        {sub("version"), u"1.0b2", u"[warning] BadVers(%1|K)\n"},
        {sub("version"), u"1.0 ", u"[warning] BadVers(%1|K)\n"},
        {sub("version"), u"-1", u"[warning] BadVers(%1|K)\n"},
        {sub("version"), u"\u0661.2", u"[warning] BadVers(%1|K)\n"}, // an Arabic-Indic digit is no ASCII digit
        {sub("version"), u"1..2", ok},
        {sub("version"), u".5", ok},
        {sub("version"), u"1.", ok},
        {sub("version"), u"", u"[warning] EmptyString(K)\n"},
        {sub("bundleID"), u"org.sample-1.viewer", ok},
        {sub("bundleID"), u"abc", u"[warning] BIDNoDot(%1|K)\n"},
        {sub("bundleID"), u"com..x", u"[warning] BIDEmptyPart(%1|K)\n"},
        {sub("bundleID"), u".com.x", u"[warning] BIDEmptyPart(%1|K)\n"},
        {sub("bundleID"), u"com.x.", u"[warning] BIDEmptyPart(%1|K)\n"},
        {sub("bundleID"), u"com.my_app", u"[warning] BIDBadChar(%1|K)\n"},
        {sub("bundleID"), u"org.s\u00e4mple", u"[warning] BIDBadChar(%1|K)\n"},
        {sub("bundleID"), u"a_b", u"[warning] BIDBadChar(%1|K)\n"},
        {sub("bundleID"), u"", u"[warning] BIDNoDot(|K)\n"},
        {sub("UTI"), u"org.s\u00e4mple.doc", ok},
        {sub("UTI"), u"public.\U0001F600", ok},
        {sub("UTI"), u"public.my_type", u"[warning] UTIBadChar(%1|K)\n"},
        {sub("UTI"), u"public.my type", u"[warning] UTIBadChar(%1|K)\n"},
        {sub("UTI"), u"public", u"[warning] UTINoDot(%1|K)\n"},
        {sub("UTI"), u"public..text", u"[warning] UTIEmptyPart(%1|K)\n"},
        {sub("FourCharCode"), u"APPL", ok},
        {sub("FourCharCode"), u"????", ok},
        {sub("FourCharCode"), u"APP", u"[error] Not4Char(%1|K)\n"},
        {sub("FourCharCode"), u"APPLE", u"[error] Not4Char(%1|K)\n"},
        {sub("FourCharCode"), u"", u"[error] Not4Char(|K)\n"},
        {sub("FourCharCode"), u"AB\U0001F600", ok}, // a character beyond the BMP counts two
        {sub("char"), u"x", ok},
        {sub("char"), u"xy", u"[error] Not1Char(%1|K)\n"},
        {sub("char"), u"\U0001F600", u"[error] Not1Char(%1|K)\n"},
        {sub("char"), u"", u"[error] Not1Char(|K)\n"},
        {sub("Version"), u"1.0b2", ok}, // wrong case: no sub-format
        {sub("Version"), u"", u"[warning] EmptyString(K)\n"},
        {sub("mystery"), u"", u"[warning] EmptyString(K)\n"},
        {rule("string", {{"subtype", I(1)}}), u"", u"[warning] EmptyString(K)\n"},
    });
}

TEST_F(Strings, AcceptedValuesAndEmptiness)
{
    const plist::Value values = A({S("Editor"), S("Viewer"), S(""), I(1)});
    const plist::Value withValues = rule("string", {{"values", values}});
    const plist::Value fourChars = rule("string", {{"subtype", S("FourCharCode")}, {"values", A({S("APPL")})}});
    expectRows({
        {rule("string"), u"", u"[warning] EmptyString(K)\n"},
        {rule("string"), u"anything", u""},
        {rule("string", {{"allowempty", B(true)}}), u"", u""},
        {rule("string", {{"allowempty", B(false)}}), u"", u"[warning] EmptyString(K)\n"},
        {rule("string", {{"allowempty", S("true")}}), u"", u"[warning] EmptyString(K)\n"},
        {withValues, u"Viewer", u""},
        {withValues, u"viewer", u"[error] BadEnumeratedValue(%1|K)\n"},
        {withValues, u"1", u"[error] BadEnumeratedValue(%1|K)\n"}, // an entry that is no string never matches
        {withValues, u"", u""},
        {rule("string", {{"values", A({S("a")})}, {"allowempty", B(true)}}), u"", u"[error] BadEnumeratedValue(|K)\n"},
        {rule("string", {{"values", A({})}}), u"", u"[error] BadEnumeratedValue(|K)\n"},
        {rule("string", {{"values", A({})}}), u"x", u"[error] BadEnumeratedValue(%1|K)\n"},
        {rule("string", {{"values", S("x")}}), u"y", u""}, // "values" that is no array: absent
        {fourChars, u"APPLE", u"[error] Not4Char(%1|K)\n[error] BadEnumeratedValue(%1|K)\n"},
        {fourChars, u"BNDL", u"[error] BadEnumeratedValue(%1|K)\n"},
    });
}

TEST_F(Strings, BooleanStrings)
{
    const plist::Value yn = rule("booleanOrYN");
    const plist::Value zeroOne = rule("booleanOr01");
    expectRows({
        {yn, u"YES", u""},
        {yn, u"yes", u""},
        {yn, u"No", u""},
        {yn, u"Y", u"[error] NotYNBool(%1|K)\n"},
        {yn, u"true", u"[error] NotYNBool(%1|K)\n"},
        {yn, u"1", u"[error] NotYNBool(%1|K)\n"},
        {yn, u" YES", u"[error] NotYNBool(%1|K)\n"},
        {yn, u"", u"[error] NotYNBool(|K)\n"},
        {zeroOne, u"0", u""},
        {zeroOne, u"1", u""},
        {zeroOne, u"01", u"[error] Not01Bool(%1|K)\n"},
        {zeroOne, u"true", u"[error] Not01Bool(%1|K)\n"},
        {zeroOne, u" 1", u"[error] Not01Bool(%1|K)\n"},
    });
}

TEST_F(Strings, BuildSettingReferencesWhenAllowed)
{
    const plist::Value bundleID = rule("string", {{"subtype", S("bundleID")}});
    const plist::Value role = rule("string", {{"values", A({S("Editor")})}});
    const struct {
        plist::Value memberRule;
        const char16_t* value;
        bool skipped; // with the setting on
    } rows[] = {
        {bundleID, u"$(PRODUCT_BUNDLE_IDENTIFIER)", true},
        {bundleID, u"com.example.$(PRODUCT_NAME:rfc1034identifier)", true},
        {bundleID, u"${PRODUCT_BUNDLE_IDENTIFIER}", true},
        {bundleID, u"$(NAME:lower:c99extidentifier)", true},
        {role, u"$(ROLE)", true},
        {sub("FourCharCode"), u"$(TYPE)", true},
        {bundleID, u"$(NAME", false},
        {bundleID, u"$()", false},
        {bundleID, u"$(NAME}", false},
        {bundleID, u"$(BAD NAME)", false},
        {bundleID, u"$NAME", false},
        {role, u"$(ROLE:)", false},
    };
    for (const auto& row : rows) {
        const QString value = QString::fromUtf16(row.value);
        const plist::Value info = D({{"K", plist::Value(value)}});
        const plist::Value rules = root({{"K", row.memberRule}});
        set(platform::AllowBuildSettingsKey, false);
        const QString strict = check(info, rules);
        EXPECT_FALSE(strict.isEmpty()) << value.toStdString();
        set(platform::AllowBuildSettingsKey, true);
        EXPECT_EQ(check(info, rules), row.skipped ? QString() : strict) << value.toStdString();
    }
    // The setting holds inside nested dictionaries and arrays too, and leaves other checks alone.
    const plist::Value nested = rule("array", {{"arrayitem", rule("dictionary", {{"keys", D({{"Id", bundleID}})}})}});
    EXPECT_EQ(check(D({{"L", A({D({{"Id", S("$(ID)")}, {"Idd", I(1)}})})}, {"Y", S("$(FLAG)")}}),
                    root({{"L", nested}, {"Y", rule("booleanOrYN")}})),
              QStringLiteral("[warning] UnknownKey(Idd|L[0]) KeyTypo(Id)\n[error] NotYNBool($(FLAG)|Y)\n"));
}

} // namespace
} // namespace validator_test
