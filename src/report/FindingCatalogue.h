// The catalogue of findings: for each ID the program can report, its default
// severity, a title, and what it means, why it matters, how to fix it and what
// turns it on or off. Compiled from resources/findings.plist at build time
// (tools/finding-catalogue); the report's own sentences stay those of the
// strings table.
#pragma once

#include "report/Finding.h"
#include "report/FindingId.h"

#include <QSet>
#include <QString>
#include <QStringView>

namespace report {

struct FindingEntry {
    FindingId id;
    Severity severity;
    const char* title;       // one line
    const char* description; // what it means and why it matters
    const char* text;        // the whole entry, as --explain prints it
    const char* markdown;    // the same as Markdown: its section of docs/findings.md, without the heading
};

// In the order of the enumeration.
extern const FindingEntry kFindingEntries[kFindingIdCount];

inline const FindingEntry& entryOf(FindingId id)
{
    return kFindingEntries[static_cast<int>(id)];
}

inline QString nameText(FindingId id)
{
    const std::string_view name = nameOf(id);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// The entry of the ID so named; none for any other text.
const FindingEntry* findingNamed(QStringView name);
// Every ID, as an ignore list takes them.
QSet<QString> findingIds();

// A finding of the ID as a check makes it, with the catalogue's severity for
// the ID; its text and files are the reporter's to fill in.
Finding makeFinding(FindingId id, QString keyPath = {}, QList<std::optional<plist::Value>> arguments = {},
                    Position position = {});

// Where the ID's section of docs/findings.md is, when the page is at pageUrl.
QString helpUri(const QString& pageUrl, FindingId id);

} // namespace report
