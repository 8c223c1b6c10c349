#include "check/InstallerPackageCheck.h"

#include "check/OstrelAppDelegate.h"
#include "check/ProductTree.h"
#include "check/ProductWalk.h"
#include "platform/ArchiveReader.h"
#include "platform/DiskImage.h"
#include "platform/InstallerPackage.h"
#include "platform/Interruption.h"
#include "plist/Parse.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace check {

namespace {

const QString kPackageInfo = QStringLiteral("PackageInfo");
const QString kInfoPlistInBundle = QStringLiteral("/Contents/Info.plist");
// A payload is unpacked to disk (not kept in memory) within the archive limits.
constexpr std::uint64_t kMaxPayloadBytes = platform::ArchiveLimits{}.maxTotalBytes;

QString stringIn(const plist::Dictionary& dictionary, const char* key)
{
    const plist::Value* value = dictionary.find(QString::fromLatin1(key));
    return value && value->isString() ? value->toString() : QString();
}

class PackageCheck {
public:
    PackageCheck(OstrelAppDelegate& controller, const QString& path, const QString& displayName, bool nested)
        : mController(controller), mPath(path), mDisplayName(displayName), mNested(nested)
    {
    }

    bool run()
    {
        mController.appendHeading(mDisplayName, mPath);
        const auto wanted = [](const QString& entry, std::uint64_t) {
            return entry == kPackageInfo || entry.endsWith(QLatin1Char('/') + kPackageInfo);
        };
        const platform::ArchiveContents contents = platform::readArchive(mPath, wanted);
        if (!contents.error.isEmpty()) {
            mController.addFinding(report::FindingId::ArchiveErr, QString(), contents.error);
            return false;
        }
        int checked = 0;
        for (const platform::ArchiveEntry& entry : contents.entries) {
            if (entry.kind != platform::ArchiveEntryKind::File || !wanted(entry.path, 0) ||
                entry.path.count(QLatin1Char('/')) > 1)
                continue;
            checked += checkComponent(parentPath(entry.path), entry, contents);
        }
        if (checked == 0) {
            // A xar archive that is no installer package: its files as they are.
            checked = CheckArchiveTop(mController, mPath, mPath, mDisplayName, mNested);
            if (checked < 0)
                return false;
        }
        if (checked == 0) {
            mController.addFinding(report::FindingId::ArchiveEmpty, QString());
        }
        return true;
    }

private:
    // How many items were checked (the component itself counts).
    int checkComponent(const QString& component, const platform::ArchiveEntry& packageInfo,
                       const platform::ArchiveContents& contents)
    {
        const QString shownComponent = joinPath(mDisplayName, component);
        QString why;
        std::optional<platform::PackageInfo> info =
            packageInfo.bytes ? platform::parsePackageInfo(*packageInfo.bytes, &why) : std::nullopt;
        const QString payload = joinPath(component, QStringLiteral("Payload"));
        if (!contents.find(payload)) {
            reportPackageInfo(shownComponent, packageInfo, info, why, {});
            return 1;
        }

        const platform::InterruptionGuard guard; // the folder goes before a signal ends the run
        QTemporaryDir temporary(QDir(QDir::tempPath()).filePath(QStringLiteral("ostrel-package-XXXXXX")));
        const QString cpio = temporary.filePath(QStringLiteral("payload"));
        const QString error = unpackPayload(payload, temporary, cpio);
        if (!error.isEmpty()) {
            reportPackageInfo(shownComponent, packageInfo, info, why, {});
            mController.addFinding(report::FindingId::ArchiveErr, QString(),
                                   joinPath(component, QStringLiteral("Payload: ")) + error);
            return 1;
        }
        reportPackageInfo(shownComponent, packageInfo, info, why, cpio);
        const int checked = CheckArchiveTop(mController, cpio, joinPath(mPath, payload),
                                            joinPath(shownComponent, QStringLiteral("Payload")), mNested);
        platform::removeFolder(temporary.path());
        return 1 + std::max(checked, 0);
    }

    // The payload as a cpio archive at cpio; empty, or why it could not be had.
    QString unpackPayload(const QString& payload, const QTemporaryDir& temporary, const QString& cpio)
    {
        if (!temporary.isValid())
            return QStringLiteral("no temporary folder could be made: %1").arg(temporary.errorString());
        QFile stored(temporary.filePath(QStringLiteral("stored")));
        if (!stored.open(QIODevice::ReadWrite))
            return stored.errorString();
        QString error = platform::copyArchiveEntry(mPath, payload, stored, kMaxPayloadBytes);
        if (!error.isEmpty())
            return error;
        stored.seek(0);
        if (!platform::isPbzx(stored.peek(4))) {
            stored.close();
            return stored.rename(cpio) ? QString() : stored.errorString();
        }
        QFile unpacked(cpio);
        if (!unpacked.open(QIODevice::WriteOnly))
            return unpacked.errorString();
        error = platform::decodePbzx(stored, unpacked, kMaxPayloadBytes);
        stored.remove();
        return error;
    }

    // Under the component's own heading: the PackageInfo could not be read,
    // or what it says disagrees with the bundles the payload installs.
    void reportPackageInfo(const QString& shownComponent, const platform::ArchiveEntry& packageInfo,
                           const std::optional<platform::PackageInfo>& info, const QString& why, const QString& cpio)
    {
        // A package of one component has it at its top, under the package's own heading.
        if (packageInfo.path != kPackageInfo)
            mController.appendHeading(shownComponent, joinPath(mPath, packageInfo.path));
        if (!info) {
            mController.addFinding(report::FindingId::PackageInfoUnreadable, QString(),
                                   joinPath(shownComponent, kPackageInfo),
                                   packageInfo.bytes ? why : QStringLiteral("it is too large"));
            return;
        }
        if (cpio.isEmpty())
            return;
        // The dictionaries of the bundles at the payload's top, or in folders there.
        const auto topBundle = [](const QString& entry, std::uint64_t) {
            return entry.endsWith(kInfoPlistInBundle) && entry.count(QLatin1Char('/')) <= 4;
        };
        const platform::ArchiveContents payload = platform::readArchive(cpio, topBundle);
        QList<std::pair<QString, plist::Dictionary>> bundles; // path, dictionary
        for (const platform::ArchiveEntry& entry : payload.entries) {
            if (!entry.bytes)
                continue;
            const plist::ParseResult parsed = plist::parse(*entry.bytes, plist::ParseOptions{.positions = false});
            if (parsed.ok() && parsed.value->isDictionary())
                bundles.append({entry.path.chopped(kInfoPlistInBundle.size()), parsed.value->toDictionary()});
        }
        const auto bundleAt = [&](const QString& path) -> const plist::Dictionary* {
            for (const auto& [found, dictionary] : bundles)
                if (found == path)
                    return &dictionary;
            return nullptr;
        };
        const QString packageInfoName = joinPath(shownComponent, kPackageInfo);
        // A bundle's path is relative to the install location, as the payload's are.
        for (const platform::PackageInfo::BundleRef& bundle : info->bundles) {
            const plist::Dictionary* dictionary = bundleAt(bundle.path);
            if (!dictionary) {
                mController.addFinding(report::FindingId::PackageInfoBundleMissing, QString(), packageInfoName,
                                       bundle.path, info->installLocation);
                continue;
            }
            const QString shown = joinPath(joinPath(shownComponent, QStringLiteral("Payload")), bundle.path);
            compare(packageInfoName, QStringLiteral("id"), bundle.identifier, *dictionary, "CFBundleIdentifier", shown);
            compare(packageInfoName, QStringLiteral("CFBundleShortVersionString"), bundle.shortVersion, *dictionary,
                    "CFBundleShortVersionString", shown);
        }
        // The package as a whole against the one bundle at the payload's top.
        qsizetype top = -1;
        for (qsizetype i = 0; i < bundles.size(); ++i)
            if (top < 0 || bundles[i].first.count(QLatin1Char('/')) < bundles[top].first.count(QLatin1Char('/')))
                top = i;
        if (top < 0)
            return;
        const auto& [topPath, topDictionary] = bundles[top];
        const QString shown = joinPath(joinPath(shownComponent, QStringLiteral("Payload")), topPath);
        const QString identifier = stringIn(topDictionary, "CFBundleIdentifier");
        // pkgbuild names a component after its bundle, often with a suffix of its own.
        if (!identifier.isEmpty() && !info->identifier.isEmpty() && info->identifier != identifier &&
            !info->identifier.startsWith(identifier + QLatin1Char('.'))) {
            mController.addFinding(report::FindingId::PackageInfoMismatch, QString(), packageInfoName,
                                   QStringLiteral("identifier"), info->identifier, shown,
                                   QStringLiteral("CFBundleIdentifier"), identifier);
        }
        compare(packageInfoName, QStringLiteral("version"), info->version, topDictionary, "CFBundleShortVersionString",
                shown);
    }

    void compare(const QString& packageInfoName, const QString& attribute, const QString& value,
                 const plist::Dictionary& dictionary, const char* key, const QString& shown)
    {
        const QString bundleValue = stringIn(dictionary, key);
        if (value.isEmpty() || bundleValue.isEmpty() || value == bundleValue)
            return;
        mController.addFinding(report::FindingId::PackageInfoMismatch, QString(), packageInfoName, attribute, value,
                               shown, QString::fromLatin1(key), bundleValue);
    }

    OstrelAppDelegate& mController;
    const QString& mPath;
    const QString& mDisplayName;
    bool mNested;
};

} // namespace

bool CheckInstallerPackage(OstrelAppDelegate& controller, const QString& path, const QString& displayName, bool nested)
{
    return PackageCheck(controller, path, displayName, nested).run();
}

} // namespace check
