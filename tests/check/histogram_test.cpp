// Key histograms and their distances.
#include "check/HistogramDistance.h"
#include "check/HistogramOfKey.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using check::HistogramDistance;
using check::HistogramOfKey;

TEST(HistogramOfKey, EachCodeUnitFallsInItsBin)
{
    const struct {
        const char16_t* key;
        int bin;
        int count;
    } rows[] = {
        {u"a", 0, 1},           {u"z", 25, 1},   {u"A", 26, 1},      {u"Z", 51, 1},
        {u"aXa", 0, 2},         {u"aXa", 49, 1}, {u"`", 52, 1},      {u"{", 52, 1},
        {u"@", 52, 1},          {u"[", 52, 1},   {u"09._- ", 52, 6}, {u"\u00e4\u0100", 52, 2},
        {u"\U0001F600", 52, 2}, // beyond the BMP: two code units
    };
    for (const auto& row : rows) {
        const check::KeyHistogram h = HistogramOfKey(QString::fromUtf16(row.key));
        EXPECT_EQ(h[row.bin], row.count) << QString::fromUtf16(row.key).toStdString() << " bin " << row.bin;
        int total = 0;
        for (int count : h)
            total += count;
        EXPECT_EQ(total, QString::fromUtf16(row.key).size()) << "every code unit is counted once";
    }
}

TEST(HistogramDistance, WhatTheMeasureYields)
{
    const struct {
        const char* first;
        const char* second;
        int distance;
    } rows[] = {
        {"CFBundleSignature", "CFBundleSingature", 0}, // letters in another order
        {"NSFoo-1", "NSFoo_2", 0},                     // non-letters for non-letters
        {"LSUIElement", "LSUIElements", 1},
        {"LSUIElement", "LSUIElemen", 1},
        {"LSUIElement", "LSUIElemenx", 2}, // a letter replaced
        {"LSUIElement", "LSUIElemen1", 2}, // a letter for a non-letter
        {"LSUIElement", "lSUIElement", 2}, // one letter in the other case
        {"LSUIElement", "LSUIElementXY", 2},
        {"LSUIElement", "LSUIElementXYZ", 3},
        {"LSUIElement", "lsUIElement", 4}, // two letters in the other case
        {"", "abc", 3},
        {"", "", 0},
    };
    for (const auto& row : rows) {
        const check::KeyHistogram a = HistogramOfKey(QString::fromUtf8(row.first));
        const check::KeyHistogram b = HistogramOfKey(QString::fromUtf8(row.second));
        EXPECT_EQ(HistogramDistance(a, b), row.distance) << row.first << " / " << row.second;
        EXPECT_EQ(HistogramDistance(b, a), row.distance) << row.second << " / " << row.first;
    }
}

TEST(HistogramDistance, ComparesTheBinsBothHave)
{
    const std::vector<std::int32_t> shortOne{1, 5};
    const std::vector<std::int32_t> longOne{4, 5, 100};
    const std::vector<std::int32_t> empty;
    EXPECT_EQ(HistogramDistance(shortOne, longOne), 3);
    EXPECT_EQ(HistogramDistance(longOne, empty), 0);
    // Extreme counts clamp instead of wrapping round to a small or negative distance.
    const std::vector<std::int32_t> high{INT32_MAX, INT32_MAX};
    const std::vector<std::int32_t> low{INT32_MIN, 0};
    EXPECT_EQ(HistogramDistance(high, low), INT32_MAX);
}

} // namespace
