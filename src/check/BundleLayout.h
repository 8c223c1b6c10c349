// What makes a folder a bundle, written once for the walk, the controller and
// the window: the extensions bundles carry and the places a bundle keeps its
// information property list.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace check {

// Where a bundle keeps its dictionary, and so its executable and resources.
enum class BundleLayout { Contents, Framework, Flat };

struct InfoPlistPlace {
    QString inside; // relative to the bundle's folder
    BundleLayout layout;
};

// In the order they are tried: the two macOS layouts, frameworks' Resources/,
// and flat bundles (iOS applications) with the dictionary at the top.
const QList<InfoPlistPlace>& infoPlistPlaces();

// "app", "framework", "bundle", ... without the dot.
const QStringList& bundleExtensions();
// True when the name ends in one of them, in any case.
bool hasBundleExtension(const QString& name);

} // namespace check
