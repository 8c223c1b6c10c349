// The XML and old-style text readers: values and duplicate keys, errors with
// their positions.
#include "Support.h"

namespace {

TEST(XmlParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("xml-values.tsv", plist::Format::Xml, xmlDocument);
    checkTextCases("xml-errors.tsv", plist::Format::Xml);
}

TEST(OldStyleParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("old-style.tsv", plist::Format::OldStyle);
}

} // namespace
