#include "platform/Bundle.h"

#include "plist/Parse.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace platform {

Bundle& Bundle::main()
{
    static Bundle bundle;
    return bundle;
}

Bundle::Bundle()
{
    const QByteArray fromEnvironment = qgetenv("OSTREL_RESOURCES");
    if (!fromEnvironment.isEmpty())
        mResourceDirectory = QString::fromLocal8Bit(fromEnvironment);
}

QString Bundle::pathForResource(const QString& name) const
{
    if (name.isEmpty())
        return {};
    const auto given = mResourcePaths.constFind(name);
    if (given != mResourcePaths.constEnd())
        return QFileInfo(*given).isFile() ? *given : QString();
    if (!mResourceDirectory.isEmpty()) {
        const QString candidate = mResourceDirectory + QLatin1Char('/') + name;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    const QString embedded = QStringLiteral(":/") + name;
    return QFileInfo::exists(embedded) ? embedded : QString();
}

QStringList Bundle::languageOrder() const
{
    QStringList order;
    const QStringList wanted = mPreferredLanguages.isEmpty() ? QLocale::system().uiLanguages() : mPreferredLanguages;
    for (QString language : wanted) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // "de_CH" is tried as itself, then as "de".
        for (const QString& candidate : {language, language.section(QLatin1Char('_'), 0, 0)})
            if (!candidate.isEmpty() && !order.contains(candidate))
                order << candidate;
    }
    if (!order.contains(QLatin1String("en")))
        order << QStringLiteral("en");
    return order;
}

QString Bundle::pathForLocalizedResource(const QString& name) const
{
    for (const QString& language : languageOrder()) {
        const QString path = pathForResource(language + QLatin1String(".lproj/") + name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

namespace {

// The string entries of a strings table; none when it cannot be read.
QHash<QString, QString> readStringsTable(const QString& path)
{
    QHash<QString, QString> strings;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return strings;
    const plist::ParseResult parsed = plist::parse(file.readAll());
    if (!parsed.ok() || !parsed.value->isDictionary())
        return strings;
    const plist::Dictionary& table = parsed.value->toDictionary();
    for (int i = 0; i < table.size(); ++i)
        if (table.valueAt(i).isString())
            strings.insert(table.keyAt(i), table.valueAt(i).toString());
    return strings;
}

} // namespace

void Bundle::loadStringsIfNeeded() const
{
    if (mStrings)
        return;
    const QString path =
        mStringsFile.isEmpty() ? pathForLocalizedResource(QStringLiteral("Localizable.strings")) : mStringsFile;
    mStrings = readStringsTable(path);
}

QString Bundle::localizedString(const QString& key) const
{
    const std::lock_guard lock(mStringsMutex);
    loadStringsIfNeeded();
    if (const auto it = mStrings->constFind(key); it != mStrings->constEnd())
        return *it;
    // A table of one's own or a translation may lack newer keys: the built-in
    // English text keeps the report's lines apart and its arguments in place.
    return builtInString(key);
}

QString Bundle::builtInString(const QString& key)
{
    static const QHash<QString, QString> builtIn = readStringsTable(QStringLiteral(":/en.lproj/Localizable.strings"));
    return builtIn.value(key, key);
}

bool Bundle::stringsBuiltIn() const
{
    const QString path =
        mStringsFile.isEmpty() ? pathForLocalizedResource(QStringLiteral("Localizable.strings")) : mStringsFile;
    return path.startsWith(QLatin1String(":/"));
}

void Bundle::setResourceDirectory(const QString& directory)
{
    mResourceDirectory = directory;
    const std::lock_guard lock(mStringsMutex);
    mStrings.reset();
    ++mStringsGeneration;
}

void Bundle::setResourcePath(const QString& name, const QString& path)
{
    if (path.isNull())
        mResourcePaths.remove(name);
    else
        mResourcePaths.insert(name, path);
}

void Bundle::setStringsFile(const QString& path)
{
    mStringsFile = path;
    const std::lock_guard lock(mStringsMutex);
    mStrings.reset();
    ++mStringsGeneration;
}

void Bundle::setPreferredLanguages(const QStringList& languages)
{
    mPreferredLanguages = languages;
    const std::lock_guard lock(mStringsMutex);
    mStrings.reset();
    ++mStringsGeneration;
}

} // namespace platform
