#include "check/HistogramDistance.h"

#include <algorithm>

namespace check {

namespace {

// |a - b| is exact in 32 unsigned bits whatever the two counts are.
std::uint32_t absoluteDifference(std::int32_t a, std::int32_t b)
{
    const auto ua = static_cast<std::uint32_t>(a), ub = static_cast<std::uint32_t>(b);
    return a < b ? ub - ua : ua - ub;
}

} // namespace

std::int32_t HistogramDistance(std::span<const std::int32_t> first, std::span<const std::int32_t> second)
{
    const std::size_t n = std::min(first.size(), second.size());
    // Whole groups of four first: a loop of that shape is vectorized at -O2
    // too, and every unknown key is measured against every rule key.
    const std::size_t groups = n & ~std::size_t{3};
    // Summed wide and clamped: no real key comes near, but the sum must never wrap.
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < groups; ++i)
        sum += absoluteDifference(first[i], second[i]);
    for (std::size_t i = groups; i < n; ++i)
        sum += absoluteDifference(first[i], second[i]);
    return static_cast<std::int32_t>(std::min<std::uint64_t>(sum, INT32_MAX));
}

} // namespace check
