#include "check/HistogramOfKey.h"

namespace check {

namespace {

// The bin of each ASCII code unit, so that the loop costs one load per character.
struct AsciiBins {
    constexpr AsciiBins()
    {
        for (int c = 0; c < 128; ++c)
            bins[c] = kOtherBin;
        for (int c = 'a'; c <= 'z'; ++c)
            bins[c] = static_cast<unsigned char>(c - 'a');
        for (int c = 'A'; c <= 'Z'; ++c)
            bins[c] = static_cast<unsigned char>(c - 'A' + 26);
    }
    unsigned char bins[128] = {};
};
constexpr AsciiBins kAsciiBins;

} // namespace

KeyHistogram HistogramOfKey(const QString& key)
{
    KeyHistogram counts{};
    for (const QChar c : key) {
        const char16_t unit = c.unicode();
        ++counts[unit < 128 ? kAsciiBins.bins[unit] : kOtherBin];
    }
    return counts;
}

} // namespace check
