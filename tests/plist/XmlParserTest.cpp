// The XML property-list reader: values, errors with their positions, limits.
#include "Support.h"
#include "plist/Parse.h"

#include <gtest/gtest.h>

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

TEST(XmlParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("xml-values.tsv", plist::Format::Xml, wrap);
    checkTextCases("xml-errors.tsv", plist::Format::Xml);
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
