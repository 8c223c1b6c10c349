// Silencing findings by message key, or by key and key path.
#include "report/IgnoreList.h"
#include "CaseRows.h"

#include <gtest/gtest.h>

namespace {

// "", or the refusal as a caller prints it.
QString refusal(const platform::Result<void>& added)
{
    return added ? QString() : added.error().text();
}

report::Finding at(const QString& key, const QString& keyPath)
{
    report::Finding f;
    f.messageKey = key;
    f.keyPath = keyPath;
    return f;
}

TEST(IgnoreList, EntriesByKeyOrByKeyAndPathGivenOrReadFromLines)
{
    report::IgnoreList list({"Not4Char", "UnknownKey", "BadType", "KeyTypo", "NoData"});
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(refusal(list.add("Not4Char")), "");
    EXPECT_EQ(refusal(list.add("UnknownKey:NSExceptionDomains.example.com:8080")), "");
    EXPECT_EQ(refusal(list.add("Bogus")), "unknown message key 'Bogus'");
    EXPECT_EQ(refusal(list.add(":A")), "':A' names no message key");
    EXPECT_EQ(refusal(list.addLines("# accepted findings\n\n  NoData  # old\r\nBadType:A[0]#1\n"
                                    "Vendor/**/Info.plist: KeyTypo:X # theirs\n",
                                    "/p/.ostrel-ignore", "/p")),
              "");
    for (const QStringList& row : caseRows("report-ignores.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 4);
        report::Finding f = at(row[0], row[1]);
        f.fileRead = row[2];
        EXPECT_EQ(list.ignores(f), row[3] == "1");
    }
    EXPECT_EQ(refusal(list.addLines("Not4Char\nTypo\n")), "line 2: unknown message key 'Typo'");
    EXPECT_EQ(refusal(list.addLines("*.plist: Typo\n")), "line 1: unknown message key 'Typo'");
}

TEST(IgnoreList, UnusedEntriesWithWhereTheyStand)
{
    report::IgnoreList list({"Not4Char", "BadType"});
    ASSERT_TRUE(list.addLines("Not4Char\nBadType:X\n", "/p/.ostrel-ignore"));
    EXPECT_TRUE(list.ignores(at("Not4Char", "")));
    const QList<report::IgnoreList::Unused> unused = list.unused();
    ASSERT_EQ(unused.size(), 1);
    EXPECT_EQ(unused[0].entry, "BadType:X");
    EXPECT_EQ(unused[0].origin.file, "/p/.ostrel-ignore");
    EXPECT_EQ(unused[0].origin.line, 2);
}

TEST(IgnoreList, Globs)
{
    for (const QStringList& row : caseRows("ignore-globs.tsv")) {
        SCOPED_TRACE((row.value(0) + " " + row.value(1)).toStdString());
        ASSERT_EQ(row.size(), 3);
        EXPECT_EQ(report::globExpression(row[0]).match(row[1]).hasMatch(), row[2] == "1");
    }
}

} // namespace
