#include "report/IgnoreList.h"

#include "report/Escaping.h"

#include <QStringList>

namespace report {

QString IgnoreList::add(const QString& entry)
{
    // Message keys hold no colon, key paths may: the first one divides.
    const qsizetype colon = entry.indexOf(QLatin1Char(':'));
    const QString key = colon < 0 ? entry : entry.left(colon);
    if (key.isEmpty())
        return QStringLiteral("'%1' names no message key").arg(escapedExcerpt(entry));
    if (!mKnownKeys.contains(key))
        return QStringLiteral("unknown message key '%1'").arg(escapedExcerpt(key));
    if (colon < 0)
        mKeys.insert(key);
    else
        mKeyPaths.insert({key, entry.mid(colon + 1)});
    return {};
}

QString IgnoreList::addLines(const QString& text)
{
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString entry = lines[i].trimmed();
        if (entry.isEmpty() || entry.startsWith(QLatin1Char('#')))
            continue;
        if (const QString problem = add(entry); !problem.isEmpty())
            return QStringLiteral("line %1: %2").arg(i + 1).arg(problem);
    }
    return {};
}

bool IgnoreList::ignores(const Finding& finding) const
{
    // An empty list of key paths spares making a pair for each finding.
    return mKeys.contains(finding.messageKey) ||
           (!mKeyPaths.isEmpty() && mKeyPaths.contains({finding.messageKey, finding.keyPath}));
}

} // namespace report
