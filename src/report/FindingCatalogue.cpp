#include "report/FindingCatalogue.h"

#include <utility>

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

Finding makeFinding(FindingId id, QString keyPath, QList<std::optional<plist::Value>> arguments, Position position)
{
    Finding finding;
    finding.severity = entryOf(id).severity;
    finding.messageKey = nameText(id);
    finding.arguments = std::move(arguments);
    finding.keyPath = std::move(keyPath);
    finding.position = position;
    return finding;
}

QString helpUri(const QString& pageUrl, FindingId id)
{
    return pageUrl + QLatin1Char('#') + nameText(id);
}

} // namespace report
