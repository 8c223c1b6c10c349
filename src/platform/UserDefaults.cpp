#include "platform/UserDefaults.h"

namespace platform {

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults;
    return defaults;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        mRegistered.insert(it.key(), it.value());
}

void UserDefaults::setVolatile(const QString& key, const QVariant& value) { mVolatile.insert(key, value); }

void UserDefaults::clearVolatile() { mVolatile.clear(); }

QVariant UserDefaults::valueForKey(const QString& key) const
{
    if (mVolatile.contains(key))
        return mVolatile.value(key);
    // One lookup in the store: an invalid value means the user stored nothing.
    const QVariant stored = const_cast<UserDefaults*>(this)->store().value(key);
    return stored.isValid() ? stored : mRegistered.value(key);
}

bool UserDefaults::boolForKey(const QString& key) const
{
    const QVariant v = valueForKey(key);
    // QSettings' INI store gives booleans back as the texts "true"/"false".
    if (v.typeId() == QMetaType::QString)
        return v.toString() == QLatin1String("true") || v.toString() == QLatin1String("1");
    return v.toBool();
}

void UserDefaults::setBool(const QString& key, bool value)
{
    store().setValue(key, value);
    store().sync();
}

void UserDefaults::useStore(std::unique_ptr<QSettings> settings) { mStore = std::move(settings); }

QSettings& UserDefaults::store()
{
    if (!mStore)
        mStore = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Ostrel"),
                                             QStringLiteral("Ostrel"));
    return *mStore;
}

}  // namespace platform
