#include "check/NearestName.h"

#include "check/HistogramDistance.h"
#include "check/HistogramOfKey.h"

namespace check {

qsizetype NearestName(const QString& name, qsizetype count, const std::function<QString(qsizetype)>& nameAt)
{
    constexpr std::int32_t kNearMissLimit = 2;
    const KeyHistogram histogram = HistogramOfKey(name.toLower());
    qsizetype nearest = -1;
    std::int32_t distance = kNearMissLimit + 1;
    for (qsizetype i = 0; i < count; ++i) {
        const QString candidate = nameAt(i);
        if (candidate.size() < 2)
            continue;
        const std::int32_t d = HistogramDistance(HistogramOfKey(candidate.toLower()), histogram);
        if (d < distance) {
            distance = d;
            nearest = i;
        }
    }
    return nearest;
}

} // namespace check
