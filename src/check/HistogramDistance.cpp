#include "check/HistogramDistance.h"

#include <algorithm>
#include <cstdlib>

namespace check {

std::int32_t HistogramDistance(std::span<const std::int32_t> first, std::span<const std::int32_t> second)
{
    const std::size_t n = std::min(first.size(), second.size());
    // Summed wide and clamped: no real key comes near, but the sum must never wrap.
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += std::llabs(static_cast<std::int64_t>(first[i]) - second[i]);
    return static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

} // namespace check
