// A quick hash of a few bytes, for the hash tables that keys are looked up in
// on every value checked: eight bytes a step, multiplied and folded. A seed
// drawn at random for each run keeps a crafted file from piling its keys into
// one slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace plist {

inline std::uint64_t hashBytes(const void* data, std::size_t size, std::uint64_t seed = 0)
{
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t h = seed ^ (size * kMultiplier);
    for (; size >= 8; p += 8, size -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * kMultiplier;
        h ^= h >> 29;
    }
    if (size > 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, size);
        h = (h ^ w) * kMultiplier;
        h ^= h >> 29;
    }
    return h ^ (h >> 32);
}

} // namespace plist
