#include "check/BundleLayout.h"

#include <algorithm>

namespace check {

const QList<InfoPlistPlace>& infoPlistPlaces()
{
    static const QList<InfoPlistPlace> places = {
        {QStringLiteral("Contents/Info.plist"), BundleLayout::Contents},
        {QStringLiteral("Contents/Info-macos.plist"), BundleLayout::Contents},
        {QStringLiteral("Resources/Info.plist"), BundleLayout::Framework},
        {QStringLiteral("Info.plist"), BundleLayout::Flat},
    };
    return places;
}

const QStringList& bundleExtensions()
{
    static const QStringList extensions = {
        QStringLiteral("app"),         QStringLiteral("framework"),  QStringLiteral("bundle"),
        QStringLiteral("plugin"),      QStringLiteral("appex"),      QStringLiteral("kext"),
        QStringLiteral("qlgenerator"), QStringLiteral("mdimporter"), QStringLiteral("prefPane"),
        QStringLiteral("saver"),       QStringLiteral("xpc"),        QStringLiteral("component"),
    };
    return extensions;
}

bool hasBundleExtension(const QString& name)
{
    const QStringList& extensions = bundleExtensions();
    return std::any_of(extensions.begin(), extensions.end(), [&](const QString& extension) {
        return name.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive);
    });
}

} // namespace check
