// The letter make-up of a key: how often each ASCII letter occurs (the two
// cases apart), and one shared count for every other UTF-16 code unit.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace check {

constexpr int kHistogramBins = 53;
constexpr int kOtherBin = 52; // digits, punctuation, blanks, everything beyond ASCII

// Bins 0-25 count "a"-"z", 26-51 "A"-"Z", 52 the rest.
using KeyHistogram = std::array<std::int32_t, kHistogramBins>;

KeyHistogram HistogramOfKey(const QString& key);

} // namespace check
