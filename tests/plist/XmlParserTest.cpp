// The XML property-list reader: values, errors with their positions.
#include "Support.h"
#include "plist/Parse.h"

#include <gtest/gtest.h>

namespace {

TEST(XmlParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("xml-values.tsv", plist::Format::Xml, xmlDocument);
    checkTextCases("xml-errors.tsv", plist::Format::Xml);
}

} // namespace
