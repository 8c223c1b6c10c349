#include "report/FindingCatalogue.h"

namespace report {

const FindingEntry* findingNamed(QStringView name)
{
    for (const FindingEntry& entry : kFindingEntries)
        if (name == nameText(entry.id))
            return &entry;
    return nullptr;
}

QSet<QString> findingIds()
{
    QSet<QString> ids;
    for (const FindingEntry& entry : kFindingEntries)
        ids.insert(nameText(entry.id));
    return ids;
}

QString helpUri(const QString& pageUrl, FindingId id)
{
    return pageUrl + QLatin1Char('#') + nameText(id);
}

} // namespace report
