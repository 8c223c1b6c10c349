// How far apart two key histograms are: the sum of the differences bin by bin.
#pragma once

#include <cstdint>
#include <span>

namespace check {

// Compares the bins that both histograms have; an empty one gives 0.
std::int32_t HistogramDistance(std::span<const std::int32_t> first, std::span<const std::int32_t> second);

} // namespace check
