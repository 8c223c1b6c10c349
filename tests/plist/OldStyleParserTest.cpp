// The old-style text reader: values, strings files, errors with positions, limits.
#include "Support.h"
#include "plist/Parse.h"

#include <gtest/gtest.h>

using plist::Value;

namespace {

TEST(OldStyleParser, ReadsValuesAndNamesErrorsWithTheirPlace)
{
    checkTextCases("old-style.tsv", plist::Format::OldStyle);
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
