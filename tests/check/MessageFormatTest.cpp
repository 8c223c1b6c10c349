// The message formatter, the escaping of text from files, and the strings
// table that ships: every message has a text with the right arguments and
// line structure.
#include "check/MessageFormat.h"
#include "CaseRows.h"
#include "platform/Bundle.h"
#include "plist/Parse.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using check::FormatArgs;

namespace {

TEST(MessageFormat, FillsPlaceholders)
{
    for (const QStringList& row : caseRows("message-formats.tsv")) {
        SCOPED_TRACE(row.join('\t').toStdString());
        FormatArgs args;
        for (const QString& field : row.mid(2)) {
            const plist::ParseResult value = plist::parse("<plist>" + unescaped(field) + "</plist>");
            args << (field == "none" ? std::nullopt : value.value);
        }
        EXPECT_EQ(check::formatMessage(QString::fromUtf8(unescaped(row[0])), args),
                  QString::fromUtf8(unescaped(row[1])));
    }
}

class StringsTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        bundle.setStringsFile(QString());
        bundle.setResourceDirectory(QString());
        bundle.setPreferredLanguages({"en"});
    }
    void TearDown() override
    {
        platform::Bundle& bundle = platform::Bundle::main();
        bundle.setResourceDirectory(QString());
        bundle.setPreferredLanguages({});
    }
};

TEST_F(StringsTable, EveryMessageHasATextWithItsArgumentsInOrder)
{
    static const QRegularExpression placeholder(QStringLiteral("%(\\d+\\$)?[@d]"));
    for (const QStringList& row : caseRows("messages.tsv")) {
        SCOPED_TRACE(row.join('\t').toStdString());
        const QString key = row.value(0);
        const int arguments = row.value(1).toInt();
        const QString text = platform::Bundle::main().localizedString(key);
        // The print title may well be its own key.
        ASSERT_TRUE(text != key || key == "Ostrel Log") << "no text";
        EXPECT_EQ(text.count(placeholder), arguments);
        check::FormatArgs args;
        for (int i = 0; i < arguments; ++i)
            args << check::arg(QStringLiteral("<arg%1>").arg(i));
        const QString filled = check::formatMessage(text, args);
        qsizetype at = -1;
        for (int i = 0; i < arguments; ++i) {
            const qsizetype next = filled.indexOf(QStringLiteral("<arg%1>").arg(i));
            EXPECT_GT(next, at) << "argument " << i << " missing or out of order";
            at = next;
        }
        EXPECT_EQ(text.endsWith('\n'), row.value(2) == "E");
        // A finding is one line: only the introduction may span several.
        EXPECT_TRUE(text.count('\n') <= 1 || key == "IntroText");
    }
}

} // namespace
