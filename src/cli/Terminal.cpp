#include "Terminal.h"

#include "check/HistogramDistance.h"
#include "check/HistogramOfKey.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace cli {

std::optional<bool> colorWanted(const QString& choice, int fd)
{
    if (choice == QLatin1String("always"))
        return true;
    if (choice == QLatin1String("never"))
        return false;
    if (choice != QLatin1String("auto"))
        return std::nullopt;
    const char* noColor = std::getenv("NO_COLOR");
    const char* term = std::getenv("TERM");
    return isatty(fd) && !(noColor && *noColor) && !(term && std::strcmp(term, "dumb") == 0);
}

QString nearestOption(const QString& unknown, const QStringList& known)
{
    // The measure of a misspelt key: letters swapped or one off.
    constexpr std::int32_t kNearMissLimit = 2;
    const check::KeyHistogram histogram = check::HistogramOfKey(unknown.toLower());
    QString nearest;
    std::int32_t distance = kNearMissLimit + 1;
    for (const QString& name : known) {
        // One letter is too short for a near miss to mean anything.
        if (name.size() < 2)
            continue;
        const std::int32_t d = check::HistogramDistance(check::HistogramOfKey(name), histogram);
        if (d < distance) {
            distance = d;
            nearest = name;
        }
    }
    return nearest;
}

} // namespace cli
