// Flat installer packages (.pkg, a xar archive): each component's payload is
// checked as an archive, under headings such as
// "Installer.pkg/App.pkg/Payload/Applications/App.app", and what its
// PackageInfo says of the bundles it installs is held against them.
#pragma once

#include <QString>

namespace check {

class CheckSink;

// False when the package could not be read.
bool CheckInstallerPackage(CheckSink& sink, const QString& path, const QString& displayName, bool nested);

} // namespace check
