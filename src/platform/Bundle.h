// The application's resources and localized strings.
//
// Resources are embedded through Qt's resource system (":/NAME"). A directory
// set with setResourceDirectory (the --resources option, the OSTREL_RESOURCES
// environment variable) stands in front: a file there wins over the embedded
// one. Strings come from "<lang>.lproj/Localizable.strings", the language
// following the user's locale and falling back to "en"; a key the table lacks
// takes the built-in English text.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <optional>

namespace platform {

class Bundle {
public:
    static Bundle& main();

    // The path of a named resource, extension included, or an empty string.
    QString pathForResource(const QString& name) const;
    // The path of a localized resource in the first "<lang>.lproj" that has it.
    QString pathForLocalizedResource(const QString& name) const;

    // The text of a message key: from the table in use, else the built-in
    // English one, else the key itself.
    // Safe to call from several threads while no setter runs.
    QString localizedString(const QString& key) const;
    // The built-in English text of a message key, or the key itself.
    static QString builtInString(const QString& key);
    // Whether the strings table in use is one of those built in.
    bool stringsBuiltIn() const;

    void setResourceDirectory(const QString& directory);
    // Use this file for the resource of that name (--rules); a path that is
    // no file makes the resource missing.
    void setResourcePath(const QString& name, const QString& path);
    QString resourceDirectory() const { return mResourceDirectory; }
    // Use this strings table instead of the localized ones (tests, --strings).
    void setStringsFile(const QString& path);
    // Languages in order of preference; empty means the user's locale.
    void setPreferredLanguages(const QStringList& languages);
    // Changes whenever the strings table may have: who keeps texts from it
    // looks it up again then.
    int stringsGeneration() const { return mStringsGeneration.load(std::memory_order_acquire); }

private:
    Bundle();
    QStringList languageOrder() const;
    void loadStringsIfNeeded() const;

    QString mResourceDirectory;
    QHash<QString, QString> mResourcePaths;
    QString mStringsFile;
    QStringList mPreferredLanguages;
    mutable std::mutex mStringsMutex; // the table is loaded on first use, by whichever thread asks
    mutable std::optional<QHash<QString, QString>> mStrings;
    std::atomic<int> mStringsGeneration = 0;
};

} // namespace platform
