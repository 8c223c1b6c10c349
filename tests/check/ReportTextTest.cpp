// The report as text and as lines.
#include "check/ReportText.h"

#include <gtest/gtest.h>

using check::StyledString;

namespace {

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
