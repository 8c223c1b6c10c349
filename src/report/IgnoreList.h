// Findings a team has accepted: "--ignore ID" drops every finding with that
// message key, "--ignore ID:KEYPATH" only the one at that key path. The same
// entries can stand in a file, one a line, with "#" comment lines.
#pragma once

#include "report/Finding.h"

#include <QSet>
#include <QString>

#include <utility>

namespace report {

class IgnoreList {
public:
    // knownKeys: the message keys a finding can have; an entry naming another is refused.
    explicit IgnoreList(QSet<QString> knownKeys) : mKnownKeys(std::move(knownKeys)) {}

    // Adds one entry; an empty string, or the reason it was refused.
    QString add(const QString& entry);
    // Adds the entries of a file's text; the first refusal, with its line.
    QString addLines(const QString& text);

    bool ignores(const Finding& finding) const;
    bool isEmpty() const { return mKeys.isEmpty() && mKeyPaths.isEmpty(); }

private:
    QSet<QString> mKnownKeys;
    QSet<QString> mKeys;
    QSet<std::pair<QString, QString>> mKeyPaths;
};

} // namespace report
