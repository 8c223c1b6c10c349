// Suppressions in a property list's own comments.
#include "check/InlineSuppressions.h"
#include "CaseRows.h"

#include <gtest/gtest.h>

namespace {

TEST(InlineSuppressions, ByLineAndForTheWholeFileInXmlAndOldStyle)
{
    QByteArray text;
    for (const QStringList& row : caseRows("inline-suppressions.tsv")) {
        if (row[0] == "text") {
            text = unescaped(row.value(1));
            continue;
        }
        ASSERT_EQ(row.size(), 3);
        SCOPED_TRACE(row.join(' ').toStdString());
        QList<check::InlineSuppression> suppressions = check::findInlineSuppressions(text);
        report::Finding finding;
        finding.messageKey = row[0];
        finding.position.line = row[1].toInt();
        EXPECT_EQ(check::suppresses(suppressions, finding), row[2] == "yes");
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
