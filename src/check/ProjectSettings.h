// A project's own settings (.ostrel.toml) and suppressions (.ostrel-ignore),
// found by walking up from each checked path, so that a developer's run, CI
// and the window agree on what is checked and what is accepted.
#pragma once

#include "report/Finding.h"
#include "report/IgnoreList.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>

namespace check {

inline const QString kProjectFileName = QStringLiteral(".ostrel.toml");
inline const QString kIgnoreFileName = QStringLiteral(".ostrel-ignore");

// One entry of an ignore list with the line it stands on.
struct IgnoreEntry {
    QString text; // ID or ID:KEYPATH
    int line = 0;
};

struct PerPath {
    QStringList paths; // globs relative to the settings file's folder
    QList<IgnoreEntry> ignore;
};

// What a settings file says; a setting it does not name is left empty, so
// that the command line and the defaults can fill it.
struct ProjectSettings {
    QString file; // absolute; empty when no file was read
    std::optional<report::Severity> failOn;
    std::optional<bool> nested;
    std::optional<bool> buildSettings;
    std::optional<bool> deprecationNotes;
    std::optional<bool> unknownKeyNotes;
    std::optional<QString> rules; // absolute, as the file's folder makes it
    QList<IgnoreEntry> ignore;
    QList<PerPath> perPath;
    // Carried for the fixes, the baseline and the disk images.
    std::optional<bool> fix;
    std::optional<bool> unsafeFixes;
    QStringList unfixable;
    std::optional<QString> baseline; // absolute
    std::optional<QString> sevenZip; // the 7-Zip program

    QString folder() const;
    // The user defaults this file sets, by their names in platform/UserDefaults.h.
    QVariantMap defaults() const;
};

// Parses a settings file's text. On failure, error names the file, the line
// and, where there is one, the setting.
std::optional<ProjectSettings> parseProjectSettings(const QByteArray& text, const QString& file, QString& error);

// The file named `name` in the folder of path or the nearest one above it,
// stopping at a folder that holds .git, or at the root; empty for none.
QString findUpwards(const QString& path, const QString& name);

// The settings and suppressions of every checked path, each project's files
// read once. Safe to ask from the checking threads once every path is loaded.
class Projects {
public:
    // isolated: read no file; config: the one settings file for every path;
    // ignoreFile: the one ignore file in place of any .ostrel-ignore.
    Projects(QSet<QString> knownKeys, bool isolated, QString config = {}, QString ignoreFile = {});

    // Finds and reads what applies to path; the first problem, or empty.
    QString load(const QString& path);

    // The settings for a checked path (an empty value for none).
    const ProjectSettings& settingsFor(const QString& path) const;
    // Whether a project's ignore entries, or its per-path ones, leave out the finding.
    bool ignores(const report::Finding& finding) const;
    // The entries of every project that left out nothing, with where they stand.
    QList<report::IgnoreList::Unused> unused() const;
    // The same as notes of the report, each at the file and line of its entry.
    QList<report::Finding> unusedFindings() const;

private:
    struct Project {
        ProjectSettings settings;
        std::unique_ptr<report::IgnoreList> ignored;
    };
    QString loadProject(const QString& settingsFile, const QString& ignoreFile, Project& project);
    const Project* projectFor(const QString& path) const;

    QSet<QString> mKnownKeys;
    bool mIsolated;
    QString mConfig;
    QString mIgnoreFile;
    // By the pair of files found; each path names its project.
    QHash<QString, std::shared_ptr<Project>> mProjects;
    QHash<QString, std::shared_ptr<Project>> mByPath;
    ProjectSettings mNone;
};

} // namespace check
