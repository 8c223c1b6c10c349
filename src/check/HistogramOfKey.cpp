#include "check/HistogramOfKey.h"

namespace check {

KeyHistogram HistogramOfKey(const QString& key)
{
    KeyHistogram counts{};
    for (const QChar c : key) {
        // Unsigned 16-bit arithmetic: anything below 'a' wraps round to a large value.
        const auto lower = static_cast<std::uint16_t>(c.unicode() - u'a');
        const auto upper = static_cast<std::uint16_t>(c.unicode() - u'A');
        if (lower <= 25)
            ++counts[lower];
        else if (upper <= 25)
            ++counts[26 + upper];
        else
            ++counts[kOtherBin];
    }
    return counts;
}

} // namespace check
