// Silencing findings by message key, or by key and key path.
#include "report/IgnoreList.h"

#include <gtest/gtest.h>

namespace {

report::Finding at(const QString& key, const QString& keyPath)
{
    report::Finding f;
    f.messageKey = key;
    f.keyPath = keyPath;
    return f;
}

TEST(IgnoreList, EntriesByKeyOrByKeyAndPath)
{
    report::IgnoreList list({"Not4Char", "UnknownKey", "BadType"});
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(list.add("Not4Char"), "");
    EXPECT_EQ(list.add("UnknownKey:NSExceptionDomains.example.com:8080"), "");
    EXPECT_EQ(list.add("Bogus"), "unknown message key 'Bogus'");
    EXPECT_EQ(list.add(":A"), "':A' names no message key");
    const struct {
        report::Finding finding;
        bool ignored;
    } rows[] = {
        {at("Not4Char", "CFBundleSignature"), true},
        {at("Not4Char", ""), true},
        {at("UnknownKey", "NSExceptionDomains.example.com:8080"), true},
        {at("UnknownKey", "NSExceptionDomains.example.com"), false},
        {at("BadType", "NSExceptionDomains.example.com:8080"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.finding.messageKey.toStdString() + " " + row.finding.keyPath.toStdString());
        EXPECT_EQ(list.ignores(row.finding), row.ignored);
    }
}

TEST(IgnoreList, FileLinesWithCommentsAndTheFirstRefusalByLine)
{
    report::IgnoreList list({"Not4Char", "BadType"});
    EXPECT_EQ(list.addLines("# accepted findings\n\n  Not4Char  \r\nBadType:A[0]\n"), "");
    EXPECT_TRUE(list.ignores(at("Not4Char", "X")));
    EXPECT_TRUE(list.ignores(at("BadType", "A[0]")));
    EXPECT_FALSE(list.ignores(at("BadType", "A[1]")));
    EXPECT_EQ(list.addLines("Not4Char\nTypo\n"), "line 2: unknown message key 'Typo'");
}

} // namespace
