#include "FindingHelp.h"

#include "check/NearestName.h"
#include "report/FindingCatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace cli {

namespace {

// The ID the name most likely meant, by the checker's own measure of a
// misspelt key, letter case aside.
const report::FindingEntry* nearestFinding(const QString& name)
{
    const qsizetype at = check::NearestName(name, std::size(report::kFindingEntries), [](qsizetype i) {
        return report::nameText(report::kFindingEntries[static_cast<std::size_t>(i)].id);
    });
    return at < 0 ? nullptr : &report::kFindingEntries[static_cast<std::size_t>(at)];
}

// Paragraphs broken at the spaces to fit the width; indented lines (the
// example) as they are.
QString wrapped(const QString& text, qsizetype width = 79)
{
    QString out;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        qsizetype column = 0;
        for (const QString& word :
             line.startsWith(QLatin1Char(' ')) ? QStringList{line} : line.split(QLatin1Char(' '))) {
            if (column > 0 && column + 1 + word.size() > width) {
                out += QLatin1Char('\n');
                column = 0;
            } else if (column > 0) {
                out += QLatin1Char(' ');
                ++column;
            }
            out += word;
            column += word.size();
        }
        out += QLatin1Char('\n');
    }
    out.chop(1);
    return out;
}

} // namespace

QString explanation(const QString& id, QString& problem)
{
    if (const report::FindingEntry* entry = report::findingNamed(id))
        return wrapped(QString::fromUtf8(entry->text));
    problem = QStringLiteral("no finding has the ID '%1'").arg(id);
    if (const report::FindingEntry* nearest = nearestFinding(id))
        problem += QStringLiteral("; did you mean %1?").arg(report::nameText(nearest->id));
    else
        problem += QStringLiteral(" (--list-findings lists them)");
    return {};
}

QByteArray findingList(bool json)
{
    qsizetype width = 0;
    for (const report::FindingEntry& entry : report::kFindingEntries)
        width = std::max(width, report::nameText(entry.id).size());
    QByteArray out;
    for (const report::FindingEntry& entry : report::kFindingEntries) {
        const QString id = report::nameText(entry.id);
        const QString severity = report::severityName(entry.severity);
        const QString title = QString::fromUtf8(entry.title);
        if (json) {
            out += QJsonDocument(QJsonObject{{QStringLiteral("id"), id},
                                             {QStringLiteral("severity"), severity},
                                             {QStringLiteral("title"), title}})
                       .toJson(QJsonDocument::Compact);
            out += '\n';
        } else {
            out +=
                QStringLiteral("%1  %2  %3\n").arg(id, -static_cast<int>(width)).arg(severity, -7).arg(title).toUtf8();
        }
    }
    return out;
}

} // namespace cli
