// The dictionary against the program it describes: the Mach-O file that
// CFBundleExecutable names, slice by slice (platform, deployment target,
// architectures); and the privacy manifest against the APIs the program
// imports.
#pragma once

#include "check/MessageLogger.h"
#include "platform/MachO.h"
#include "plist/Value.h"

#include <QString>
#include <QStringList>

namespace check {

// The systems a bundle is for: macOS, or the others (iOS, iPadOS, tvOS, watchOS, visionOS).
enum class BundleSystem { Unknown, MacOS, Embedded };

// From CFBundleSupportedPlatforms, else the minimum-system keys, else the
// layout (a Contents/ or Resources/ bundle is a Mac's).
BundleSystem bundleSystemOf(const plist::Dictionary& infoDict, bool macLayout);

// The program's platform, deployment target and architectures against the
// dictionary; where: the program's path as the report names it.
void checkProgramAgainstDictionary(MessageLogger& log, const platform::MachOFile& program,
                                   const plist::Dictionary& infoDict, BundleSystem system, const QString& where);

// A category of required-reason APIs that a program imports, and the symbols that tell it.
struct RequiredReasonUse {
    QString category;
    QStringList symbols;
};

// The categories of the table (rules' "requiredreasonapis") whose symbols the program imports.
QList<RequiredReasonUse> requiredReasonUses(const platform::MachOFile& program, const plist::Value* table);

// The checks of a privacy manifest beyond its rules: tracking domains, and
// each category's reasons from the table.
void checkPrivacyManifest(MessageLogger& log, const plist::Dictionary& manifest, const plist::Value* table);

// The categories of NSPrivacyAccessedAPITypes that give at least one reason.
QStringList declaredCategories(const plist::Dictionary& manifest);

} // namespace check
