// The message formatter, the escaping of text from files, and the report as
// text and lines.
#include "check/MessageFormat.h"
#include "check/ReportText.h"

#include <gtest/gtest.h>

using check::arg;
using check::FormatArgs;
using check::StyledString;

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

TEST(MessageFormat, EscapesControlCharacters)
{
    const struct {
        QString in;
        QString out;
    } rows[] = {
        {"plain text", "plain text"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {QString("esc\x1b[2Jx"), "esc\\x1B[2Jx"},
        {QString("del\x7f"), "del\\x7F"},
        {QString(QChar(0x2028)) + QChar(0x2029), "\\u2028\\u2029"},
        {QString(QChar(0x202E)) + "txt.exe", "\\u202Etxt.exe"},
        {QString(QChar(0xFFFC)), "\\uFFFC"},
        // Existing backslashes are left as they are, even next to an escape.
        {QString("C:\\Xfiles\\Users\x01"), "C:\\Xfiles\\Users\\x01"},
        {QString::fromUtf8("sämple ✓"), QString::fromUtf8("sämple ✓")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.in.toStdString());
        EXPECT_EQ(check::escapeControlCharacters(row.in), row.out);
    }
}

StyledString regular(const QString& text)
{
    return StyledString{text, check::FontDescription{}, nullptr};
}
StyledString bold(const QString& text)
{
    return StyledString{text, check::convertFontToHaveTrait(check::FontDescription{}, check::kBoldFontMask), nullptr};
}
StyledString icon(const char* severity)
{
    auto attachment = std::make_shared<check::TextAttachment>();
    attachment->fileName = QString::fromLatin1(severity) + "16x16.png";
    return StyledString{QString(QChar(check::kAttachmentCharacter)), std::nullopt, attachment};
}

QList<StyledString> oneCheck()
{
    return {regular("Checking "),
            bold("A.app"),
            regular("\n/x/A.app/Contents/Info.plist\n"),
            icon("error"),
            regular(" "),
            regular("NoData: "),
            regular("gone"),
            regular("\n"),
            icon("warning"),
            regular(" "),
            regular("Unknown key K."),
            regular(" Did you mean L?\n"),
            icon("note"),
            regular(" "),
            regular("Unknown key M."),
            regular("\n"),
            regular("safeOpenURL: Caught E: why")};
}

TEST(ReportText, PlainTextNamesIconsAndMarksBoldOnlyWhenAsked)
{
    const QList<StyledString> runs = oneCheck();
    const std::span<const StyledString> all(runs.constData(), static_cast<size_t>(runs.size()));
    const QString expected = "Checking A.app\n/x/A.app/Contents/Info.plist\n"
                             "error: NoData: gone\n"
                             "warning: Unknown key K. Did you mean L?\n"
                             "note: Unknown key M.\n"
                             "safeOpenURL: Caught E: why";
    EXPECT_EQ(check::plainText(all, false), expected);
    QString withBold = expected;
    withBold.replace("A.app\n", "\x1b[1mA.app\x1b[0m\n");
    EXPECT_EQ(check::plainText(all, true), withBold);
}

TEST(ReportText, SplitsOneCheckIntoLines)
{
    const QList<StyledString> runs = oneCheck();
    const QList<check::ReportLine> lines =
        check::reportLines(std::span(runs.constData(), static_cast<size_t>(runs.size())));
    const QList<std::pair<QString, QString>> expected = {
        {"heading", "Checking A.app"}, {"heading", "/x/A.app/Contents/Info.plist"},
        {"error", "NoData: gone"},     {"warning", "Unknown key K. Did you mean L?"},
        {"note", "Unknown key M."},    {"error", "safeOpenURL: Caught E: why"},
    };
    ASSERT_EQ(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].severity, expected[i].first) << i;
        EXPECT_EQ(lines[i].text, expected[i].second) << i;
    }
}

} // namespace
