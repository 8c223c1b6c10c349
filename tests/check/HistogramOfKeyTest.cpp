// Key histograms: which bin each code unit falls in.
#include "check/HistogramOfKey.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

TEST(HistogramOfKey, EachCodeUnitFallsInItsBin)
{
    const struct {
        const char16_t* key;
        int bin, count;
    } rows[] = {
        {u"a", 0, 1},  {u"z", 25, 1}, {u"A", 26, 1}, {u"Z", 51, 1}, {u"aXa", 0, 2},           {u"aXa", 49, 1},
        {u"`", 52, 1}, {u"{", 52, 1}, {u"@", 52, 1}, {u"[", 52, 1}, {u"09._- \u00e4", 52, 7}, {u"\U0001F600", 52, 2},
    };
    for (const auto& row : rows) {
        const QString key = QString::fromUtf16(row.key);
        const check::KeyHistogram h = check::HistogramOfKey(key);
        EXPECT_EQ(h[row.bin], row.count) << key.toStdString() << " bin " << row.bin;
        EXPECT_EQ(std::accumulate(h.begin(), h.end(), 0), key.size()) << "each code unit counts once";
    }
}

} // namespace
