#include "platform/UserDefaults.h"

namespace platform {

UserDefaults& UserDefaults::standard()
{
    static UserDefaults defaults;
    return defaults;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    std::lock_guard lock(mMutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        mRegistered.insert(it.key(), it.value());
}

void UserDefaults::setVolatile(const QString& key, const QVariant& value)
{
    std::lock_guard lock(mMutex);
    mVolatile.insert(key, value);
}

void UserDefaults::clearVolatile()
{
    std::lock_guard lock(mMutex);
    mVolatile.clear();
}

namespace {
thread_local QVariantMap threadValues;
} // namespace

void UserDefaults::setThreadValues(const QVariantMap& values)
{
    threadValues = values;
}

void UserDefaults::ignoreStore()
{
    std::lock_guard lock(mMutex);
    mReadStore = false;
}

QVariant UserDefaults::valueForKey(const QString& key) const
{
    std::lock_guard lock(mMutex);
    if (mVolatile.contains(key))
        return mVolatile.value(key);
    if (const auto found = threadValues.constFind(key); found != threadValues.cend())
        return *found;
    if (!mReadStore)
        return mRegistered.value(key);
    // One lookup in the store: an invalid value means the user stored nothing.
    const QVariant stored = const_cast<UserDefaults*>(this)->storeLocked().value(key);
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
    std::lock_guard lock(mMutex);
    storeLocked().setValue(key, value);
    storeLocked().sync();
}

void UserDefaults::useStore(std::unique_ptr<QSettings> settings)
{
    std::lock_guard lock(mMutex);
    mStore = std::move(settings);
}

QSettings& UserDefaults::store()
{
    std::lock_guard lock(mMutex);
    return storeLocked();
}

QSettings& UserDefaults::storeLocked()
{
    if (!mStore)
        mStore = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Ostrel"),
                                             QStringLiteral("Ostrel"));
    return *mStore;
}

} // namespace platform
