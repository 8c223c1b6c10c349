// Distances between key histograms: letters count by letter and case, all else in one bin.
#include "check/HistogramDistance.h"
#include "check/HistogramOfKey.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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
        // Each letter has a bin of its own, apart from the other case and from every other character.
        {"z", "A", 2},
        {"z", "_", 2},
        {"Z", "_", 2},
        {"a", "\xc3\xa4", 2},
        {"09._- ", "-_ .90", 0},
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
