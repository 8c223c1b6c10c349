// The user's settings: what the user stored (QSettings), over values set for
// this run only (command-line overrides), over the registered defaults.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <mutex>

namespace platform {

// Safe to use from several threads at once.
class UserDefaults {
public:
    static UserDefaults& standard();

    // Defaults that apply where nothing is stored; never written to the store.
    void registerDefaults(const QVariantMap& defaults);
    // Values that hold for this run only, in front of the stored ones.
    void setVolatile(const QString& key, const QVariant& value);
    void clearVolatile();

    bool boolForKey(const QString& key) const;
    QVariant valueForKey(const QString& key) const;
    void setBool(const QString& key, bool value); // stored

    // Tests and tools can point the store elsewhere (the default is the
    // user's configuration folder, organisation and application "Ostrel").
    void useStore(std::unique_ptr<QSettings> store);
    QSettings& store();

private:
    UserDefaults() = default;
    QSettings& storeLocked();

    mutable std::mutex mMutex;
    std::unique_ptr<QSettings> mStore;
    QVariantMap mVolatile;
    QVariantMap mRegistered;
};

// The setting names.
inline const QString DeprecationNotesKey = QStringLiteral("DeprecationNotes");
inline const QString NoteUnknownKeysKey = QStringLiteral("NoteUnknownKeys");
// On unless set: the bundles inside a bundle, and its files, are checked too.
inline const QString CheckNestedBundlesKey = QStringLiteral("CheckNestedBundles");
// Off unless set: "$(NAME)" and "${NAME}" references stand for values filled in at build time.
inline const QString AllowBuildSettingsKey = QStringLiteral("AllowBuildSettings");
// Empty unless set: the 7-Zip program that reads disk images ("7zz", or a path).
inline const QString SevenZipProgramKey = QStringLiteral("SevenZipProgram");

} // namespace platform
