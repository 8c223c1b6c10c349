// The old-style text reader: values, strings files, errors with positions, limits.
#include "Support.h"
#include "plist/Parse.h"

#include <gtest/gtest.h>

using plist::Value;

namespace {

Value dict(std::initializer_list<std::pair<const char*, Value>> members)
{
    plist::Dictionary d;
    for (const auto& [key, value] : members)
        d.insert(QString::fromUtf8(key), value);
    return Value::dictionary(d);
}

Value text(const char16_t* s)
{
    return Value(QString::fromUtf16(s));
}

struct ValidCase {
    const char* name;
    QByteArray document;
    Value expected;
};

TEST(OldStyleParser, ReadsValues)
{
    const ValidCase cases[] = {
        {"dictionary", "{ a = b; \"c d\" = 'e'; }", dict({{"a", Value("b")}, {"c d", Value("e")}})},
        {"empty dictionary and array", "{ d = {}; a = (); }",
         dict({{"d", Value::dictionary({})}, {"a", Value::array({})}})},
        {"array", "(a, \"b\", (c))", Value::array({Value("a"), Value("b"), Value::array({Value("c")})})},
        {"trailing comma", "( a, b, )", Value::array({Value("a"), Value("b")})},
        {"scalars are strings", "(42, -1.5, 0.10, YES)",
         Value::array({Value("42"), Value("-1.5"), Value("0.10"), Value("YES")})},
        {"unquoted characters", "a_$+/:.-Z9", Value("a_$+/:.-Z9")},
        {"unquoted letters of other scripts",
         "(L\xC3\xA9"
         "a, \xE7\x8E\x8B\xE8\x8A\xB3)",
         Value::array({text(u"L\u00e9a"), text(u"\u738b\u82b3")})},
        {"slashes inside unquoted text are no comment", "{ s = /a//b; }", dict({{"s", Value("/a//b")}})},
        {"simple escapes", "\"\\n\\t\\r\\\"\\\\\\a\\b\\f\\v\\'\"", Value("\n\t\r\"\\\a\b\f\v'")},
        {"unknown escape keeps its character", "\"\\w\\q\"", Value("wq")},
        {"octal escapes", "\"\\101\\0101\\12\"", Value("A\b1\n")},
        {"octal above 127 is Latin-1", "\"\\351\"", text(u"\u00e9")},
        {"unicode escape", "\"\\U00e9\\u\"", Value(QString::fromUtf16(u"\u00e9u"))},
        {"short unicode escape ends at a non-hex digit", "\"\\U41g\"", Value("Ag")},
        {"surrogate pair from escapes", "\"\\UD83D\\UDCA9\"", Value(QString::fromUcs4(U"\U0001F4A9"))},
        {"raw line breaks in quotes", "\"a\nb\"", Value("a\nb")},
        {"single quotes hold double quotes", "'say \"hi\"'", Value("say \"hi\"")},
        {"hex data with white space", "< 0fbd 77\n77 >", Value::data(QByteArray::fromHex("0fbd7777"))},
        {"empty data", "<>", Value::data({})},
        {"upper-case hex", "<ABcd>", Value::data(QByteArray::fromHex("abcd"))},
        {"comments everywhere", "/* head */ { // line\n a /* x */ = /* y */ b /* z */ ; // end\n } // tail",
         dict({{"a", Value("b")}})},
        {"strings file", "/* Title */\n\"greeting\" = \"Hello\";\nfarewell = Bye;\n",
         dict({{"greeting", Value("Hello")}, {"farewell", Value("Bye")}})},
        {"strings file shortcut", "\"Key\";\n\"Key2\" ;", dict({{"Key", Value("Key")}, {"Key2", Value("Key2")}})},
        {"shortcut inside braces", "{ k; }", dict({{"k", Value("k")}})},
        {"strings file with a dictionary value", "a = { b = c; };", dict({{"a", dict({{"b", Value("c")}})}})},
        // A strings file without entries is an empty dictionary (zero bytes
        // are no document at all: see the format detection tests).
        {"white space only", " \n\t", Value::dictionary({})},
        {"comments only", "// nothing\n/* here */", Value::dictionary({})},
        {"top-level string", "  \"lonely\"  ", Value("lonely")},
    };
    for (const ValidCase& c : cases) {
        SCOPED_TRACE(c.name);
        expectParsesTo(c.document, plist::Format::OldStyle, c.expected);
    }
}

struct InvalidCase {
    const char* name;
    QByteArray document;
    int line;
    int column;
    plist::ParseError::Code code;
};

TEST(OldStyleParser, ErrorsNameTheirKindAndPlace)
{
    const InvalidCase cases[] = {
        {"missing semicolon", "{\n  a = b\n}", 3, 1, Code::UnexpectedToken},
        {"missing equals", "{\n  \"A\" A;\n}", 2, 7, Code::UnexpectedToken},
        {"dictionary not closed", "{ a = b;\n", 2, 1, Code::UnexpectedEnd},
        {"array not closed", "(a,\n b", 2, 3, Code::UnexpectedEnd},
        {"empty array element", "(a,,b)", 1, 4, Code::UnexpectedToken},
        {"array without separator", "(a b)", 1, 4, Code::UnexpectedToken},
        {"key that is no string", "{ (a) = b; }", 1, 3, Code::UnexpectedToken},
        {"value missing at the end", "{ a = ", 1, 7, Code::UnexpectedEnd},
        {"quoted string not closed", "{ a = \"open;\n}\n", 1, 7, Code::UnexpectedEnd},
        {"comment not closed", "( a, /* b )", 1, 6, Code::UnexpectedEnd},
        {"data not closed", "( <00ff", 1, 3, Code::UnexpectedEnd},
        {"odd number of hex digits", "<abc>", 1, 5, Code::BadValue},
        {"not a hex digit", "\n  <0g>", 2, 5, Code::BadValue},
        {"text after the value", "(a)\n b", 2, 2, Code::UnexpectedToken},
        {"several words", "not a plist", 1, 5, Code::UnexpectedToken},
        {"character outside the unquoted set", "{ \xC2\xAC = A; }", 1, 3, Code::UnexpectedToken},
        {"control character shown by its code", "{ a = \x01; }", 1, 7, Code::UnexpectedToken},
        {"asterisk is no unquoted character", "{ s = a*b; }", 1, 8, Code::UnexpectedToken},
        {"escape U without digits", "\"\\Uxyz\"", 1, 2, Code::BadValue},
        {"lone high surrogate", "(\"\\UD83D\")", 1, 2, Code::BadValue},
        {"lone low surrogate", "\"a\\UDCA9b\"", 1, 1, Code::BadValue},
        {"octal above one byte", "\"\\777\"", 1, 2, Code::BadValue},
        {"strings file without semicolon", "a = b\nc = d;", 2, 1, Code::UnexpectedToken},
        {"column counts after CRLF", "{\r\n a = b\r\n c = d; }", 3, 2, Code::UnexpectedToken},
    };
    for (const InvalidCase& c : cases) {
        SCOPED_TRACE(c.name);
        expectFailsAt(c.document, c.line, c.column, c.code);
    }
}

TEST(OldStyleParser, ListsDuplicateKeysWithTheirDictionaryAndLine)
{
    const QByteArray document = "{\n"
                                "  k = 1;\n"                                // line 2
                                "  a = { b = x; /* c */\n b = y; };\n"      // 3, 4
                                "  list = (x, y, { z = 1; \"z\" = 2; });\n" // 5
                                "  k = 2;\n"                                // 6
                                "}\n";
    const plist::ParseResult r = plist::parse(document);
    ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
    const QList<plist::DuplicateKey> expected = {
        {QStringLiteral("b"), QStringLiteral("a"), 4},
        {QStringLiteral("z"), QStringLiteral("list[2]"), 5},
        {QStringLiteral("k"), QString(), 6},
    };
    EXPECT_EQ(r.duplicates, expected);
    const plist::Dictionary& top = r.value->toDictionary();
    EXPECT_EQ(top.keyAt(0), QStringLiteral("k"));
    EXPECT_EQ(*top.find(QStringLiteral("k")), Value("2"));

    // An outer key's repetition is found after the inner ones that stand below it.
    const plist::ParseResult nested = plist::parse("{\n a = 1;\n a = {\n  b = 1;\n  b = 2;\n };\n}\n");
    EXPECT_EQ(nested.duplicates, (QList<plist::DuplicateKey>{{QStringLiteral("b"), QStringLiteral("a"), 5},
                                                             {QStringLiteral("a"), QString(), 3}}));

    // A strings file with a repeated key: the later text wins.
    const plist::ParseResult strings = plist::parse("\"t\" = \"one\";\n\"t\" = \"two\";\n");
    ASSERT_TRUE(strings.ok());
    EXPECT_EQ(*strings.value, dict({{"t", Value("two")}}));
    EXPECT_EQ(strings.duplicates, (QList<plist::DuplicateKey>{{QStringLiteral("t"), QString(), 2}}));
}

} // namespace
