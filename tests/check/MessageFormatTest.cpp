// The message formatter, the escaping of text from files, and the strings
// table that ships: every message has a text with the right arguments and
// line structure.
#include "check/MessageFormat.h"
#include "CaseRows.h"
#include "platform/Bundle.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using check::arg;
using check::FormatArgs;

namespace {

TEST(MessageFormat, FillsPlaceholders)
{
    const struct {
        const char* format;
        FormatArgs args;
        QString expected;
    } rows[] = {
        {"key %@ in %@", {arg("A"), arg("B")}, "key A in B"},
        {"%2$@ before %1$@", {arg("one"), arg("two")}, "two before one"},
        {"%@ surplus", {arg("a"), arg("b"), arg("c")}, "a surplus"},
        {"%@ and %@", {arg("a")}, "a and (null)"},
        {"%@ %@", {std::nullopt, check::FormatArg(plist::Value(false))}, "(null) " + plist::Value(false).description()},
        {"%3$@", {arg("a")}, "(null)"},
        {"%0$@", {arg("a")}, "(null)"},
        {"%99999999999999999999$@", {arg("a")}, "(null)"},
        {"%d items", {arg(42)}, "42 items"},
        {"%d", {check::FormatArg(plist::Value(2.9))}, "2"},
        {"%d", {check::FormatArg(plist::Value(true))}, "1"},
        {"100%% sure", {}, "100% sure"},
        {"ends in %", {arg("a")}, "ends in %"},
        {"%x stays", {arg("a")}, "%x stays"},
        {"no placeholder", {arg("ignored")}, "no placeholder"},
        {"line\n%@\n", {arg("path")}, "line\npath\n"},
        {"%@", {arg("a\nb")}, "a\\nb"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format);
        EXPECT_EQ(check::formatMessage(QString::fromUtf8(row.format), row.args), row.expected);
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
        const QString end = row.value(2);
        const QString text = platform::Bundle::main().localizedString(key);
        // The print title may well be its own key.
        if (key != "Ostrel Log") {
            ASSERT_NE(text, key) << "no text";
        }
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
        EXPECT_EQ(text.endsWith('\n'), end == "E");
        // A finding is one line: only the introduction may span several.
        if (key != "IntroText") {
            EXPECT_LE(text.count('\n'), 1);
        }
    }
}

} // namespace
