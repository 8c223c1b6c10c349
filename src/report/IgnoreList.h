// Findings a team has accepted: "--ignore ID" drops every finding with that
// message key, "--ignore ID:KEYPATH" only the one at that key path. The same
// entries can stand in a file, one a line, "#" starting a comment, and there
// "GLOB: ID[:KEYPATH]" limits an entry to the files the glob matches.
#pragma once

#include "platform/Error.h"
#include "report/Finding.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <utility>

namespace report {

// "*" and "?" within one path component, "**" across any number of them
// ("**/" also none), "[...]" one of the characters.
QRegularExpression globExpression(const QString& glob);

// Where an entry stands, for the note about one that left nothing out.
struct IgnoreOrigin {
    QString file; // empty for the command line
    int line = 0;
};

// Entries are asked from several threads at once; each remembers whether it
// left something out.
class IgnoreList {
public:
    using Origin = IgnoreOrigin;
    struct Unused {
        Origin origin;
        QString entry;
    };

    // knownKeys: the message keys a finding can have; an entry naming another is refused.
    explicit IgnoreList(QSet<QString> knownKeys) : mKnownKeys(std::move(knownKeys)) {}
    IgnoreList(const IgnoreList&) = delete;
    IgnoreList& operator=(const IgnoreList&) = delete;

    // Adds one entry, or tells why it was refused. globs (relative to base,
    // the folder they were written for) limit it to those files.
    platform::Result<void> add(const QString& entry, const Origin& origin = {}, const QStringList& globs = {},
                               const QString& base = {});
    // Adds the entries of a file's text, its globs relative to base; else the
    // first refusal, with its line as the place.
    platform::Result<void> addLines(const QString& text, const QString& file = {}, const QString& base = {});

    bool ignores(const Finding& finding) const;
    bool isEmpty() const { return mEntries.empty(); }
    // The entries that have left out nothing so far.
    QList<Unused> unused() const;

private:
    struct Entry {
        QString key;
        std::optional<QString> keyPath;
        QList<QRegularExpression> globs;
        QString base;
        Origin origin;
        QString text;
        mutable std::atomic<bool> used{false};
    };
    bool matches(const Entry& entry, const Finding& finding) const;

    QSet<QString> mKnownKeys;
    std::deque<Entry> mEntries;
    QHash<QString, QList<const Entry*>> mByKey;
};

} // namespace report
