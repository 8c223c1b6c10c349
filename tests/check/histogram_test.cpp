// Key histograms and their distances.
#include "check/HistogramDistance.h"
#include "check/HistogramOfKey.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

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

TEST(HistogramDistance, WhatTheMeasureYields)
{
    const struct {
        const char *first, *second;
        int distance;
    } rows[] = {
        {"CFBundleSignature", "CFBundleSingature", 0},
        {"NSFoo-1", "NSFoo_2", 0},
        {"LSUIElement", "LSUIElements", 1},
        {"LSUIElement", "LSUIElemenx", 2},
        {"LSUIElement", "LSUIElemen1", 2},
        {"LSUIElement", "lSUIElement", 2},
        {"LSUIElement", "LSUIElementXY", 2},
        {"LSUIElement", "LSUIElementXYZ", 3},
        {"LSUIElement", "lsUIElement", 4},
        {"", "abc", 3},
    };
    for (const auto& row : rows) {
        const auto a = check::HistogramOfKey(row.first), b = check::HistogramOfKey(row.second);
        EXPECT_EQ(check::HistogramDistance(a, b), row.distance) << row.first << " / " << row.second;
        EXPECT_EQ(check::HistogramDistance(b, a), row.distance) << row.second << " / " << row.first;
    }
}

TEST(HistogramDistance, ComparesTheBinsBothHaveAndNeverWraps)
{
    const std::vector<std::int32_t> shortOne{1, 5}, longOne{4, 5, 100}, none;
    EXPECT_EQ(check::HistogramDistance(shortOne, longOne), 3);
    EXPECT_EQ(check::HistogramDistance(longOne, none), 0);
    const std::vector<std::int32_t> high{INT32_MAX, INT32_MAX}, low{INT32_MIN, 0};
    EXPECT_EQ(check::HistogramDistance(high, low), INT32_MAX);
}

} // namespace
