// The XML property-list reader: values, errors with their positions, limits.
#include "Support.h"
#include "plist/Parse.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using plist::Value;

namespace {

QByteArray wrap(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

// Seconds from 2001-01-01 computed by Qt, independently of the parser's calendar code.
double secondsSince2001(int y, int mo, int d, int h, int mi, int s)
{
    const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
    return static_cast<double>(reference.secsTo(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc())));
}

Value dict(std::initializer_list<std::pair<const char*, Value>> members)
{
    plist::Dictionary d;
    for (const auto& [key, value] : members)
        d.insert(QString::fromUtf8(key), value);
    return Value::dictionary(d);
}

struct ValidCase {
    const char* name;
    QByteArray body;
    Value expected;
};

TEST(XmlParser, ReadsEveryKindOfValue)
{
    const ValidCase cases[] = {
        {"string", "<string>hello</string>", Value("hello")},
        {"empty string", "<string/>", Value("")},
        {"entities, references, CDATA, comment",
         "<string>a&amp;b&lt;&#x41;&#66;<![CDATA[<c&>]]><!-- gone -->z</string>", Value("a&b<AB<c&>z")},
        {"white space kept in strings", "<string>  two  words \n</string>", Value("  two  words \n")},
        {"character outside the basic plane", "<string>&#x1D562;</string>", Value(QString::fromUcs4(U"\U0001D562"))},
        {"decimal integer", "<integer>42</integer>", Value::integer(42)},
        {"negative integer", "<integer>-42</integer>", Value::integer(-42)},
        {"plus sign", "<integer>+7</integer>", Value::integer(7)},
        {"integer with white space", "<integer> 12\n</integer>", Value::integer(12)},
        {"hexadecimal", "<integer>0x1F</integer>", Value::integer(31)},
        {"negative hexadecimal", "<integer>-0x2a</integer>", Value::integer(-42)},
        {"leading zeros are decimal", "<integer>010</integer>", Value::integer(10)},
        {"INT64_MIN", "<integer>-9223372036854775808</integer>",
         Value::integer(std::numeric_limits<std::int64_t>::min())},
        {"INT64_MAX", "<integer>9223372036854775807</integer>",
         Value::integer(std::numeric_limits<std::int64_t>::max())},
        {"2^63 kept unsigned", "<integer>9223372036854775808</integer>",
         Value(plist::Integer::fromUnsigned(std::uint64_t{1} << 63))},
        {"2^64-1", "<integer>18446744073709551615</integer>",
         Value(plist::Integer::fromUnsigned(std::numeric_limits<std::uint64_t>::max()))},
        {"real", "<real>1.5</real>", Value(1.5)},
        {"real with exponent", "<real>1e4</real>", Value(1e4)},
        {"nan", "<real>nan</real>", Value(std::nan(""))},
        {"+inf", "<real>+inf</real>", Value(std::numeric_limits<double>::infinity())},
        {"-infinity", "<real>-infinity</real>", Value(-std::numeric_limits<double>::infinity())},
        {"true", "<true/>", Value(true)},
        {"false written long", "<false></false>", Value(false)},
        {"data with white space", "<data>\n\tSGVs\n\tbG8=\n</data>", Value::data("Hello")},
        {"empty data", "<data>  </data>", Value::data({})},
        {"date", "<date>2010-11-12T13:14:15Z</date>", Value(plist::Date{secondsSince2001(2010, 11, 12, 13, 14, 15)})},
        {"the reference date", "<date>2001-01-01T00:00:00Z</date>", Value(plist::Date{0})},
        {"date before 1970", "<date>1869-01-03T08:16:32Z</date>",
         Value(plist::Date{secondsSince2001(1869, 1, 3, 8, 16, 32)})},
        {"date after 2038", "<date>2199-08-20T01:10:11Z</date>",
         Value(plist::Date{secondsSince2001(2199, 8, 20, 1, 10, 11)})},
        {"leap day", "<date>2000-02-29T23:59:59Z</date>",
         Value(plist::Date{secondsSince2001(2000, 2, 29, 23, 59, 59)})},
        {"date with a fraction", "<date>2001-01-01T00:00:01.5Z</date>", Value(plist::Date{1.5})},
        {"nested containers in order",
         "<dict><key>b</key><array><integer>1</integer><dict/></array><key>a</key><string>x</string></dict>",
         dict({{"b", Value::array({Value::integer(1), Value::dictionary({})})}, {"a", Value("x")}})},
        {"equal keys, and a key read in pieces",
         "<dict><key>a</key><dict><key>a</key><true/><key>a&amp;b</key><true/></dict><key>b</key><false/></dict>",
         dict({{"a", dict({{"a", Value(true)}, {"a&b", Value(true)}})}, {"b", Value(false)}})},
        {"empty key", "<dict><key></key><string>v</string></dict>", dict({{"", Value("v")}})},
        {"key with a comment only", "<dict><key><!-- c --></key><true/></dict>", dict({{"", Value(true)}})},
        // Only a literal "]]>" is barred from text; a ']' written as a reference is not literal.
        {"']' by reference before ']>'", "<string>&#93;]>x&#x5d;]></string>", Value("]]>x]]>")},
    };
    for (const ValidCase& c : cases) {
        SCOPED_TRACE(c.name);
        expectParsesTo(wrap(c.body), plist::Format::Xml, c.expected);
    }
}

struct InvalidCase {
    const char* name;
    QByteArray document;
    int line;
    int column;
    plist::ParseError::Code code;
};

TEST(XmlParser, ErrorsNameTheirKindAndPlace)
{
    const QByteArray head = "<?xml version=\"1.0\"?>\n<plist>\n";
    const InvalidCase cases[] = {
        {"unknown element", head + "  <dict><key>a</key><strin>x</strin></dict></plist>", 3, 21, Code::UnexpectedToken},
        {"key without value", head + "<dict>\n<key>a</key>\n</dict></plist>", 5, 1, Code::UnexpectedToken},
        {"two keys in a row", head + "<dict><key>a</key><key>b</key></dict></plist>", 3, 19, Code::UnexpectedToken},
        {"value without key", head + "<dict>\n  <string>x</string></dict></plist>", 4, 3, Code::UnexpectedToken},
        {"key outside a dict", head + "<array><key>a</key></array></plist>", 3, 8, Code::UnexpectedToken},
        {"second top-level value", head + "<string>a</string>\n<string>b</string></plist>", 4, 1,
         Code::UnexpectedToken},
        {"integer that is text", head + "<integer>12a</integer></plist>", 3, 1, Code::BadValue},
        {"empty integer", head + "<integer></integer></plist>", 3, 1, Code::BadValue},
        {"bare hex prefix", head + "<integer>0x</integer></plist>", 3, 1, Code::BadValue},
        {"two signs", head + "<integer>--1</integer></plist>", 3, 1, Code::BadValue},
        {"integer above 2^64-1", head + "<integer>18446744073709551616</integer></plist>", 3, 1, Code::BadValue},
        {"integer below INT64_MIN", head + "<integer>-9223372036854775809</integer></plist>", 3, 1, Code::BadValue},
        {"real that is text", head + "<real>1.5x</real></plist>", 3, 1, Code::BadValue},
        {"real with two signs", head + "<real>+-1</real></plist>", 3, 1, Code::BadValue},
        {"bad base64", head + "<data>SGV*bG8=</data></plist>", 3, 1, Code::BadValue},
        {"non-ASCII in data", head + "<data>\xC3\xA9</data></plist>", 3, 1, Code::BadValue},
        {"impossible day", head + "<date>2021-02-29T00:00:00Z</date></plist>", 3, 1, Code::BadValue},
        {"date without Z", head + "<date>2021-01-01T00:00:00</date></plist>", 3, 1, Code::BadValue},
        {"date in year 0", head + "<date>0000-12-31T23:59:59Z</date></plist>", 3, 1, Code::BadValue},
        {"base64 without a whole byte", head + "<data>Q</data></plist>", 3, 1, Code::BadValue},
        {"base64 with a digit left over", head + "<data>SGVs Q===</data></plist>", 3, 1, Code::BadValue},
        {"content in true", head + "<true>yes</true></plist>", 3, 1, Code::UnexpectedToken},
        {"element inside a string", head + "<string>a<b/></string></plist>", 3, 10, Code::UnexpectedToken},
        {"text between elements", head + "<array>stray</array></plist>", 3, 8, Code::UnexpectedToken},
        {"empty plist", head + "</plist>", 3, 1, Code::UnexpectedToken},
        {"plist inside plist", head + "<plist><true/></plist></plist>", 3, 1, Code::UnexpectedToken},
        {"unclosed dict", head + "<dict>\n<key>a</key><true/>\n", 5, 1, Code::UnexpectedEnd},
        {"mismatched end tag", head + "<string>x</integer></plist>", 3, 20, Code::MalformedXml},
        {"undeclared entity", head + "<string>&nope;</string></plist>", 3, 15, Code::MalformedXml},
        {"entity without semicolon", head + "<string>a&amp</string></plist>", 3, 15, Code::MalformedXml},
        {"']]>' in text", head + "<string>a]]>b</string></plist>", 3, 13, Code::MalformedXml},
        {"no value at all", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n", 3, 1, Code::UnexpectedEnd},
    };
    for (const InvalidCase& c : cases) {
        SCOPED_TRACE(c.name);
        const plist::ParseResult r = expectFailsAt(c.document, c.line, c.column, c.code);
        EXPECT_EQ(r.format, plist::Format::Xml);
        // The detail goes inside a sentence of the report, so it ends without a full stop.
        EXPECT_FALSE(r.error.detail.endsWith(u'.')) << r.error.detail.toStdString();
    }
}

TEST(XmlParser, RefusesDeclaredEntitiesSoNothingIsExpandedOrFetched)
{
    const QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n"
                              "<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">\n"
                              "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">\n"
                              "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">\n"
                              "]>\n<plist><string>&f;&f;&f;&f;</string></plist>\n";
    const QByteArray external = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n"
                                "<!ENTITY x SYSTEM \"file:///etc/hostname\">\n]>\n"
                                "<plist><string>&x;</string></plist>\n";
    const QByteArray harmless = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY e \"text\">\n]>\n"
                                "<plist><string>&e;</string></plist>\n";
    for (const QByteArray& document : {laughs, external, harmless}) {
        const plist::ParseResult r = plist::parse(document);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error.code, Code::UnexpectedToken);
    }
}

TEST(XmlParser, ListsDuplicateKeysWithTheirDictionaryAndLine)
{
    const QByteArray body = "<dict>\n"                                                        // line 4
                            "<key>k</key><integer>1</integer>\n"                              // 5
                            "<key>a</key><dict><key>b</key><true/>\n"                         // 6
                            "  <key>b</key><false/></dict>\n"                                 // 7
                            "<key>list</key><array><string>x</string><string>y</string>\n"    // 8
                            "  <dict><key>z</key><true/><key>z</key><true/></dict></array>\n" // 9
                            "<key>k</key><integer>2</integer>\n"                              // 10
                            "</dict>";
    const plist::ParseResult r = plist::parse(wrap(body));
    ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
    const QList<plist::DuplicateKey> expected = {
        {QStringLiteral("b"), QStringLiteral("a"), 7},
        {QStringLiteral("z"), QStringLiteral("list[2]"), 9},
        {QStringLiteral("k"), QString(), 10},
    };
    EXPECT_EQ(r.duplicates, expected);
    // The later value wins, in the place of the first.
    const plist::Dictionary& top = r.value->toDictionary();
    EXPECT_EQ(top.keyAt(0), QStringLiteral("k"));
    EXPECT_EQ(*top.find(QStringLiteral("k")), Value::integer(2));
    EXPECT_EQ(*top.find(QStringLiteral("a"))->toDictionary().find(QStringLiteral("b")), Value(false));
}

} // namespace
