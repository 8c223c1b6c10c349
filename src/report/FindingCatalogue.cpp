#include "report/FindingCatalogue.h"

namespace report {

const FindingEntry* findingNamed(QStringView name)
{
    for (const FindingEntry& entry : kFindingEntries)
        if (name == nameText(entry.id))
            return &entry;
    return nullptr;
}

QString helpUri(const QString& pageUrl, FindingId id)
{
    return pageUrl + QLatin1Char('#') + nameText(id);
}

} // namespace report
