// Distances between key histograms: letters count by letter and case, all else in one bin.
#include "check/HistogramDistance.h"
#include "CaseRows.h"
#include "check/HistogramOfKey.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HistogramDistance, WhatTheMeasureYields)
{
    for (const QStringList& row : caseRows("histogram-distances.tsv")) {
        ASSERT_EQ(row.size(), 3);
        SCOPED_TRACE(row.join(" / ").toStdString());
        const auto a = check::HistogramOfKey(QString::fromUtf8(unescaped(row[0])));
        const auto b = check::HistogramOfKey(QString::fromUtf8(unescaped(row[1])));
        EXPECT_EQ(check::HistogramDistance(a, b), row[2].toInt());
        EXPECT_EQ(check::HistogramDistance(b, a), row[2].toInt());
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
