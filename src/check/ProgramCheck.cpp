#include "check/ProgramCheck.h"

#include "plist/Parse.h"

#include <QSet>
#include <QVersionNumber>

#include <algorithm>
#include <optional>

namespace check {

namespace {

using platform::MachOPlatform;
using platform::MachOSlice;

const QString kMinimumSystemKey = QStringLiteral("LSMinimumSystemVersion");
const QString kMinimumOSKey = QStringLiteral("MinimumOSVersion");

const plist::Value* stringValue(const plist::Dictionary& dict, const QString& key)
{
    const plist::Value* value = dict.find(key);
    return value && value->isString() ? value : nullptr;
}

// Which system a slice runs on; Mac Catalyst and DriverKit programs run on macOS.
BundleSystem systemOf(MachOPlatform platform)
{
    switch (platform) {
    case MachOPlatform::MacOS:
    case MachOPlatform::MacCatalyst:
    case MachOPlatform::DriverKit: return BundleSystem::MacOS;
    case MachOPlatform::IOS:
    case MachOPlatform::TvOS:
    case MachOPlatform::WatchOS:
    case MachOPlatform::VisionOS:
    case MachOPlatform::IOSSimulator:
    case MachOPlatform::TvOSSimulator:
    case MachOPlatform::WatchOSSimulator:
    case MachOPlatform::VisionOSSimulator: return BundleSystem::Embedded;
    case MachOPlatform::BridgeOS:
    case MachOPlatform::Unknown: break;
    }
    return BundleSystem::Unknown;
}

// A version written with digits and full stops only, as the system reads it.
std::optional<QVersionNumber> numericVersion(const QString& text)
{
    qsizetype end = 0;
    const QVersionNumber version = QVersionNumber::fromString(text, &end);
    if (version.isNull() || end != text.size())
        return std::nullopt;
    return version;
}

// As the vendor's tools write a deployment target: 10.13, 11.0, 10.13.4.
QString shownVersion(const QVersionNumber& version)
{
    const QString shown = QStringLiteral("%1.%2").arg(version.majorVersion()).arg(version.minorVersion());
    return version.microVersion() == 0 ? shown : shown + QStringLiteral(".%1").arg(version.microVersion());
}

// Whether a slice of this architecture serves the name a dictionary gives.
bool serves(const QString& architecture, const QString& name)
{
    return architecture == name || (name == QLatin1String("arm64") && architecture == QLatin1String("arm64e")) ||
           (name == QLatin1String("x86_64") && architecture == QLatin1String("x86_64h"));
}

QString architectures(const platform::MachOFile& program)
{
    QStringList names;
    for (const MachOSlice& slice : program.slices)
        names << slice.architecture();
    return names.join(QLatin1String(", "));
}

void checkPlatform(MessageLogger& log, const platform::MachOFile& program, BundleSystem system, const QString& where)
{
    for (const MachOSlice& slice : program.slices) {
        const BundleSystem sliceSystem = systemOf(slice.platform);
        if (sliceSystem == BundleSystem::Unknown || sliceSystem == system)
            continue;
        log.addFinding(report::FindingId::ExecutablePlatformMismatch, QString(),
                       system == BundleSystem::MacOS ? QStringLiteral("macOS")
                                                     : QStringLiteral("iOS, tvOS, watchOS or visionOS"),
                       where, platform::machOPlatformName(slice.platform));
        return;
    }
}

void checkMinimumSystem(MessageLogger& log, const platform::MachOFile& program, const plist::Dictionary& infoDict,
                        BundleSystem system, const QString& where)
{
    const QString& key = system == BundleSystem::MacOS ? kMinimumSystemKey : kMinimumOSKey;
    const plist::Value* value = stringValue(infoDict, key);
    const std::optional<QVersionNumber> claimed = value ? numericVersion(value->toString()) : std::nullopt;
    if (!claimed)
        return;
    // The lowest system any slice runs on: an Intel slice may reach further back than an Apple silicon one.
    const MachOSlice* lowest = nullptr;
    for (const MachOSlice& slice : program.slices) {
        const bool counts = system == BundleSystem::MacOS ? slice.platform == MachOPlatform::MacOS
                                                          : systemOf(slice.platform) == BundleSystem::Embedded;
        if (counts && !slice.minos.isNull() && (!lowest || slice.minos < lowest->minos))
            lowest = &slice;
    }
    if (!lowest || claimed->normalized() >= lowest->minos.normalized())
        return;
    log.addFinding(report::FindingId::MinimumSystemBelowProgram, key, key, value->toString(), where,
                   shownVersion(lowest->minos), lowest->architecture(), key, shownVersion(lowest->minos));
}

void checkArchitecturePriority(MessageLogger& log, const platform::MachOFile& program,
                               const plist::Dictionary& infoDict, const QString& where)
{
    const QString key = QStringLiteral("LSArchitecturePriority");
    const plist::Value* priority = infoDict.find(key);
    if (!priority || !priority->isArray())
        return;
    for (const plist::Value& item : priority->toArray()) {
        if (!item.isString())
            continue;
        const bool present = std::any_of(program.slices.begin(), program.slices.end(), [&](const MachOSlice& slice) {
            return serves(slice.architecture(), item.toString());
        });
        if (present)
            continue;
        log.addFinding(report::FindingId::ArchitectureNotInProgram, key, item.toString(), where,
                       architectures(program));
    }
}

void checkArmv7Capability(MessageLogger& log, const platform::MachOFile& program, const plist::Dictionary& infoDict,
                          const QString& where)
{
    const QString key = QStringLiteral("UIRequiredDeviceCapabilities");
    const QString armv7 = QStringLiteral("armv7");
    const plist::Value* capabilities = infoDict.find(key);
    if (!capabilities || program.slices.isEmpty())
        return;
    bool named = false;
    if (capabilities->isArray()) {
        named = std::any_of(capabilities->toArray().begin(), capabilities->toArray().end(),
                            [&](const plist::Value& item) { return item.isString() && item.toString() == armv7; });
    } else if (capabilities->isDictionary()) {
        const plist::Value* required = capabilities->toDictionary().find(armv7);
        named = required && required->isBoolean() && required->toBool();
    }
    const bool only64 = std::all_of(program.slices.begin(), program.slices.end(), [](const MachOSlice& slice) {
        return slice.architecture().startsWith(QLatin1String("arm64"));
    });
    if (!named || !only64)
        return;
    log.addFinding(report::FindingId::Armv7NotInProgram, key, where, architectures(program));
}

} // namespace

BundleSystem bundleSystemOf(const plist::Dictionary& infoDict, bool macLayout)
{
    if (const plist::Value* platforms = infoDict.find(QStringLiteral("CFBundleSupportedPlatforms"));
        platforms && platforms->isArray() && !platforms->toArray().empty() && platforms->toArray().front().isString()) {
        const QString& first = platforms->toArray().front().toString();
        if (first == QLatin1String("MacOSX"))
            return BundleSystem::MacOS;
        static const QSet<QString> embedded = {QStringLiteral("iPhoneOS"),  QStringLiteral("iPhoneSimulator"),
                                               QStringLiteral("AppleTVOS"), QStringLiteral("AppleTVSimulator"),
                                               QStringLiteral("WatchOS"),   QStringLiteral("WatchSimulator"),
                                               QStringLiteral("XROS"),      QStringLiteral("XRSimulator")};
        if (embedded.contains(first))
            return BundleSystem::Embedded;
    }
    if (infoDict.find(kMinimumOSKey) || infoDict.find(QStringLiteral("LSRequiresIPhoneOS")))
        return BundleSystem::Embedded;
    if (infoDict.find(kMinimumSystemKey) || macLayout)
        return BundleSystem::MacOS;
    return BundleSystem::Unknown;
}

void checkProgramAgainstDictionary(MessageLogger& log, const platform::MachOFile& program,
                                   const plist::Dictionary& infoDict, BundleSystem system, const QString& where)
{
    if (system != BundleSystem::Unknown) {
        checkPlatform(log, program, system, where);
        checkMinimumSystem(log, program, infoDict, system, where);
    }
    checkArchitecturePriority(log, program, infoDict, where);
    checkArmv7Capability(log, program, infoDict, where);
}

QList<RequiredReasonUse> requiredReasonUses(const platform::MachOFile& program, const plist::Value* table)
{
    QList<RequiredReasonUse> uses;
    if (!table || !table->isDictionary())
        return uses;
    QSet<QByteArray> imported;
    for (const MachOSlice& slice : program.slices) {
        for (const QByteArray& symbol : slice.undefinedSymbols)
            imported.insert(symbol);
    }
    const plist::Dictionary& categories = table->toDictionary();
    for (const QString& category : categories.keys()) {
        const plist::Value& entry = *categories.find(category);
        const plist::Value* symbols =
            entry.isDictionary() ? entry.toDictionary().find(QStringLiteral("symbols")) : nullptr;
        if (!symbols || !symbols->isArray())
            continue;
        RequiredReasonUse use{category, {}};
        for (const plist::Value& symbol : symbols->toArray()) {
            if (symbol.isString() && imported.contains(symbol.toString().toUtf8()))
                use.symbols << symbol.toString();
        }
        if (!use.symbols.isEmpty())
            uses.append(use);
    }
    return uses;
}

void checkPrivacyManifest(MessageLogger& log, const plist::Dictionary& manifest, const plist::Value* table)
{
    const plist::Value* tracking = manifest.find(QStringLiteral("NSPrivacyTracking"));
    const plist::Value* domains = manifest.find(QStringLiteral("NSPrivacyTrackingDomains"));
    if (tracking && tracking->isBoolean() && tracking->toBool() &&
        (!domains || (domains->isArray() && domains->toArray().empty()))) {
        log.addFinding(report::FindingId::PrivacyTrackingWithoutDomains, QStringLiteral("NSPrivacyTrackingDomains"));
    }

    const plist::Value* accessed = manifest.find(QStringLiteral("NSPrivacyAccessedAPITypes"));
    if (!accessed || !accessed->isArray() || !table || !table->isDictionary())
        return;
    const auto& items = accessed->toArray();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!items[i].isDictionary())
            continue;
        const plist::Dictionary& item = items[i].toDictionary();
        const plist::Value* category = stringValue(item, QStringLiteral("NSPrivacyAccessedAPIType"));
        const plist::Value* reasons = item.find(QStringLiteral("NSPrivacyAccessedAPITypeReasons"));
        const plist::Value* entry = category ? table->toDictionary().find(category->toString()) : nullptr;
        const plist::Value* allowed =
            entry && entry->isDictionary() ? entry->toDictionary().find(QStringLiteral("reasons")) : nullptr;
        if (!allowed || !allowed->isArray() || !reasons || !reasons->isArray())
            continue; // an unknown category or a value of the wrong type: the rules told it
        QStringList codes;
        for (const plist::Value& code : allowed->toArray())
            codes << code.toString();
        const QString path =
            plist::memberKeyPath(plist::elementKeyPath(QStringLiteral("NSPrivacyAccessedAPITypes"), int(i)),
                                 QStringLiteral("NSPrivacyAccessedAPITypeReasons"));
        for (const plist::Value& reason : reasons->toArray()) {
            if (!reason.isString() || codes.contains(reason.toString()))
                continue;
            log.addFinding(report::FindingId::PrivacyReasonNotForCategory, path, reason.toString(),
                           category->toString(), codes.join(QLatin1String(", ")));
        }
    }
}

QStringList declaredCategories(const plist::Dictionary& manifest)
{
    QStringList declared;
    const plist::Value* accessed = manifest.find(QStringLiteral("NSPrivacyAccessedAPITypes"));
    if (!accessed || !accessed->isArray())
        return declared;
    for (const plist::Value& item : accessed->toArray()) {
        if (!item.isDictionary())
            continue;
        const plist::Value* category = stringValue(item.toDictionary(), QStringLiteral("NSPrivacyAccessedAPIType"));
        const plist::Value* reasons = item.toDictionary().find(QStringLiteral("NSPrivacyAccessedAPITypeReasons"));
        if (category && reasons && reasons->isArray() && !reasons->toArray().empty())
            declared << category->toString();
    }
    return declared;
}

} // namespace check
