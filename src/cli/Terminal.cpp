#include "Terminal.h"

#include "check/NearestName.h"

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
    const qsizetype at = check::NearestName(unknown, known.size(), [&](qsizetype i) { return known[i]; });
    return at < 0 ? QString() : known[at];
}

} // namespace cli
