// Suppressions in a property list's own comments.
#include "check/InlineSuppressions.h"

#include <gtest/gtest.h>

namespace {

TEST(InlineSuppressions, ByLineAndForTheWholeFileInXmlAndOldStyle)
{
    const QByteArray xml = "<?xml version=\"1.0\"?>\n<plist><dict>\n"
                           "<!-- ostrel-ignore: KeyTypo, DeprecKey -->\n"   // 3
                           "<key>NSPrincipleClass</key>\n"                  // 4
                           "<key>A</key> <!-- ostrel-ignore: BadType -->\n" // 5
                           "<!-- ostrel-ignore-file: NoRecTopKey -->\n"     // 6
                           "<!-- not ostrel-ignore: BadVers -->\n"          // 7: no marker after the opener
                           "</dict></plist>\n";
    const QByteArray oldStyle = "{\n"
                                "  /* ostrel-ignore: KeyTypo */\n" // 2
                                "  NSPrincipleClass = X;\n"        // 3
                                "  A = 1; // ostrel-ignore: BadType\n"
                                "}\n";
    const struct {
        const QByteArray* text;
        const char* key;
        int line;
        bool suppressed;
    } rows[] = {
        {&xml, "KeyTypo", 4, true},       {&xml, "DeprecKey", 4, true},     {&xml, "KeyTypo", 3, true},
        {&xml, "KeyTypo", 5, false},      {&xml, "BadType", 5, true},       {&xml, "BadType", 6, true},
        {&xml, "BadType", 4, false},      {&xml, "NoRecTopKey", 0, true},   {&xml, "BadVers", 8, false},
        {&oldStyle, "KeyTypo", 3, true},  {&oldStyle, "KeyTypo", 4, false}, {&oldStyle, "BadType", 4, true},
        {&oldStyle, "BadType", 0, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " at line " + std::to_string(row.line));
        QList<check::InlineSuppression> suppressions = check::findInlineSuppressions(*row.text);
        report::Finding finding;
        finding.messageKey = QString::fromLatin1(row.key);
        finding.position.line = row.line;
        EXPECT_EQ(check::suppresses(suppressions, finding), row.suppressed);
    }
    EXPECT_TRUE(check::findInlineSuppressions("bplist00 <!-- ostrel-ignore: KeyTypo -->").isEmpty());
}

TEST(InlineSuppressions, EachRemembersWhetherItSilencedSomething)
{
    QList<check::InlineSuppression> suppressions = check::findInlineSuppressions(
        "<!-- ostrel-ignore: KeyTypo -->\n<key>X</key>\n<!-- ostrel-ignore: BadType -->\n");
    ASSERT_EQ(suppressions.size(), 2);
    report::Finding typo;
    typo.messageKey = QStringLiteral("KeyTypo");
    typo.position.line = 2;
    EXPECT_TRUE(check::suppresses(suppressions, typo));
    EXPECT_TRUE(suppressions[0].used);
    EXPECT_FALSE(suppressions[1].used);
    EXPECT_EQ(suppressions[1].line, 3);
    EXPECT_EQ(suppressions[1].text, "ostrel-ignore: BadType");
}

} // namespace
