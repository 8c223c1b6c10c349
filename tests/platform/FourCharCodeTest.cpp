#include "platform/FourCharCode.h"

#include <gtest/gtest.h>

using platform::FourCharCode;

namespace {

struct CodeCase {
    FourCharCode code;
    const char16_t* text;
};

// Both directions must agree on every case, including the Mac OS Roman half.
const CodeCase kCodes[] = {
    {0x4150504C, u"APPL"},
    {0x706C7374, u"plst"},
    {0x3F3F3F3F, u"????"},
    {0x20202020, u"    "},
    {0x41A9C4F0, u"A\u00A9\u0192\uF8FF"}, // copyright sign, florin, Apple logo
    {0x8085CADB, u"\u00C4\u00D6\u00A0\u20AC"},
    {0xFFFF0000, QStringView(u"\u02C7\u02C7\0\0", 4).utf16()},
};

TEST(FourCharCode, TextAndBackAgree)
{
    static_assert(platform::fourCharCode("plst") == 0x706C7374);
    for (const CodeCase& c : kCodes) {
        const QString text = QString::fromUtf16(c.text, 4);
        EXPECT_EQ(platform::stringFromFourCharCode(c.code), text) << std::hex << c.code;
        EXPECT_EQ(platform::fourCharCodeFromString(text), c.code) << std::hex << c.code;
    }
}

TEST(FourCharCode, EveryByteRoundTrips)
{
    for (FourCharCode byte = 0; byte < 256; ++byte) {
        const FourCharCode code = (byte << 24) | (byte << 16) | 0x4142;
        const QString text = platform::stringFromFourCharCode(code);
        ASSERT_EQ(text.size(), 4);
        EXPECT_EQ(platform::fourCharCodeFromString(text), code) << byte;
    }
}

TEST(FourCharCode, RejectsTextThatIsNoCode)
{
    for (const QString& text : {QString(), QStringLiteral("APP"), QStringLiteral("APPLE"), QStringLiteral("AP\u4E2DL"),
                                QStringLiteral("\u00E9\u0301AB")}) {
        EXPECT_FALSE(platform::fourCharCodeFromString(text).has_value()) << text.toStdString();
    }
}

} // namespace
