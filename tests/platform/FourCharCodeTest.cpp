#include "platform/FourCharCode.h"
#include "CaseRows.h"

#include <gtest/gtest.h>

using platform::FourCharCode;

namespace {

TEST(FourCharCode, TextAndBackAgree)
{
    static_assert(platform::fourCharCode("plst") == 0x706C7374);
    for (const QStringList& row : caseRows("platform-four-char-codes.tsv")) {
        ASSERT_EQ(row.size(), 2);
        const QString text = QString::fromUtf8(unescaped(row[0]));
        SCOPED_TRACE(row[1].toStdString());
        bool ok = false;
        const FourCharCode code = row[1].toUInt(&ok, 16);
        if (ok) {
            EXPECT_EQ(platform::stringFromFourCharCode(code), text);
        }
        EXPECT_EQ(platform::fourCharCodeFromString(text), ok ? std::optional(code) : std::nullopt);
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

} // namespace
