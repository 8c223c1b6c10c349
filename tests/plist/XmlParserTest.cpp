// The XML property-list reader: values, errors with their positions, limits.
#include "Support.h"
#include "plist/Parse.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("xml-values.tsv", plist::Format::Xml, xmlDocument);
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

} // namespace
