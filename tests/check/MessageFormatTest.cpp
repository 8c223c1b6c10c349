// The message formatter, the escaping of text from files, and the strings
// table that ships: every message has a text with the right arguments and
// line structure.
#include "check/MessageFormat.h"
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

// Each message: key/number of arguments/E when its text ends the line, O when
// the report continues the line, - for texts that are not report lines.
const char* const kCatalogue =
    "IntroText/0/E;CheckingPrefix/0/O;NoData/0/O;NoPlstRes/0/O;ParseErr/1/E;NotABundle/1/E;NotDict/0/E;"
    "CreatorMismatch/0/E;TypeMismatch/0/E;Not4Char/2/E;PackageTypeNot4Char/3/E;Not1Char/2/E;BadVers/2/E;"
    "BIDBadChar/2/E;BIDNoDot/2/E;BIDEmptyPart/2/E;UTIBadChar/2/E;UTINoDot/2/E;UTIEmptyPart/2/E;"
    "BadEnumeratedValue/2/O;EmptyString/1/E;NotYNBool/2/E;Not01Bool/2/E;NotHttpsURL/2/E;NotEd25519Key/2/E;"
    "DeprecKey/3/E;AppleKey/2/E;BadType/3/E;NoReqTopKey/1/O;NoReqKey/2/O;NoRecTopKey/1/O;NoRecKey/2/O;"
    "Hint-AtTopLevel/0/O;Hint-InDictionary/1/O;Hint-NearMiss/1/O;Hint-AcceptedValues/1/O;Hint-OnlyValue/1/O;"
    "UnknownTopKey/1/O;UnknownKey/2/O;KeyTypo/1/E;DuplicateTopKey/3/E;DuplicateTopKeyNoLine/1/E;"
    "DuplicateKey/4/E;DuplicateKeyNoLine/2/E;FindingsLeftOut/2/E;Ostrel Log/0/-;SaveFailed/2/-;NoExecutable/2/E;"
    "ExecutableNotExecutable/1/E;NoIconFile/2/E;NoMainNib/4/E;IdentifierNotUnderApp/2/E;PackageTypeMismatch/3/E;"
    "InfoPlistStringsUnreadable/2/E;InfoPlistStringsUnusedKey/2/E;FolderUnreadable/2/E;NestedLinkOutside/1/E;"
    "NestedLinkLoop/1/E;"
    "NestedTooDeep/2/E;ArchiveErr/1/E;ArchiveEntryLeftOut/2/E;ArchiveKeptTooMuch/0/-;ArchiveEmpty/0/E;DiskImage/0/E";

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
    for (const QString& entry : QString::fromLatin1(kCatalogue).split(';')) {
        SCOPED_TRACE(entry.toStdString());
        const QString key = entry.section('/', 0, 0);
        const int arguments = entry.section('/', 1, 1).toInt();
        const QString end = entry.section('/', 2, 2);
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
