// The findings a team has accepted for now, so that only new ones fail a run:
// each entry holds the ID, the file (relative to the baseline's folder), the
// key path and how many such findings there were, and no line numbers, so
// that edits elsewhere in the file keep it valid.
#pragma once

#include "report/Finding.h"

#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>

namespace report {

class Baseline {
public:
    struct Entry {
        QString id;
        QString file;
        QString keyPath;
        int count = 0;
        bool operator==(const Entry&) const = default;
    };

    // An empty baseline whose files are relative to folder.
    explicit Baseline(QString folder);
    // A baseline file's entries; none and the reason when it cannot be used.
    static std::unique_ptr<Baseline> read(const QString& path, QString& error);

    // Whether the baseline still holds such a finding; each one it holds is taken once.
    // Safe to ask from several threads at once.
    bool takes(const Finding& finding);
    // The entries (with what is left of their counts) that did not match all their findings.
    QList<Entry> stale() const;

    void add(const Finding& finding);
    // Replaces the file whole, or leaves it as it was and says why.
    bool write(const QString& path, QString& error) const;
    QList<Entry> entries() const;

private:
    using Key = std::tuple<QString, QString, QString>; // id, file, key path
    Key keyOf(const Finding& finding) const;

    QString mFolder;
    std::map<Key, int> mCounts;
    mutable std::mutex mMutex;
};

} // namespace report
