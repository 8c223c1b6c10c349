#include "check/ProductWalk.h"

#include "check/OstrelAppDelegate.h"
#include "check/PlistValidator.h"
#include "check/ProgramCheck.h"
#include "platform/AppleDouble.h"
#include "platform/ArchiveReader.h"
#include "platform/Bundle.h"
#include "platform/FileManager.h"
#include "platform/MachO.h"
#include "platform/ResourceFile.h"
#include "platform/UserDefaults.h"
#include "plist/Parse.h"

#include <QVersionNumber>

#include <algorithm>
#include <cstring>
#include <span>

namespace check {

namespace {

QString localized(const QString& key)
{
    return platform::Bundle::main().localizedString(key);
}

QString lastComponent(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool hasExtension(const QString& name, const QString& extension)
{
    return name.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive);
}

// True when path is within (or is) the folder.
bool isWithin(const QString& path, const QString& folder)
{
    return folder.isEmpty() || path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// Where a bundle of each layout may hold other bundles: a folder, the
// extension its bundles have (any when empty), and whether an entry counts
// only when it holds a dictionary.
struct NestedPlace {
    const char* folder;
    const char* extension;
    bool onlyWithInfoPlist;
};

const NestedPlace kContentsPlaces[] = {
    {"Contents/Frameworks", "framework", false},      {"Contents/PlugIns", "", false},
    {"Contents/XPCServices", "xpc", false},           {"Contents/Library/LoginItems", "", false},
    {"Contents/Library/QuickLook", "", false},        {"Contents/Library/Spotlight", "", false},
    {"Contents/Library/SystemExtensions", "", false}, {"Contents/Helpers", "", false},
    {"Contents/Library/Automator", "", false},        {"Contents/Resources", "bundle", true},
};

// A framework's bundles live in its current version; a flat framework has them at its top.
const NestedPlace kFrameworkPlaces[] = {
    {"Versions/Current/Frameworks", "framework", false},
    {"Versions/A/Frameworks", "framework", false},
    {"Frameworks", "framework", false},
    {"Versions/Current/XPCServices", "xpc", false},
    {"XPCServices", "xpc", false},
};

// iOS applications.
const NestedPlace kFlatPlaces[] = {
    {"PlugIns", "", false},
    {"Frameworks", "framework", false},
    {"Watch", "", false},
};

// Places whose bundles the platform holds to their application's identifier.
bool identifierHeldToApplication(const QString& place, const QString& name)
{
    return hasExtension(name, QStringLiteral("appex")) || hasExtension(name, QStringLiteral("xpc")) ||
           place == QLatin1String("Contents/Library/LoginItems") || place == QLatin1String("Watch");
}

const QString kInfoPlistStrings = QStringLiteral("InfoPlist.strings");
const QString kPrivacyManifest = QStringLiteral("PrivacyInfo.xcprivacy");
// Where an application keeps the helper tools that the system installs for it.
const QString kHelperToolsFolder = QStringLiteral("Contents/Library/LaunchServices");

// Parts of an application that carry its versions: extensions, Watch
// applications and XPC services; all but the Watch applications run on the
// application's own system.
bool versionsHeldToApplication(const QString& place, const QString& name)
{
    return hasExtension(name, QStringLiteral("appex")) || hasExtension(name, QStringLiteral("xpc")) ||
           place == QLatin1String("Watch");
}

} // namespace

ProductWalk::ProductWalk(OstrelAppDelegate& controller, const ProductTree& tree, QString headingPrefix,
                         QString productTop, bool nested)
    : mController(controller), mTree(tree), mHeadingPrefix(std::move(headingPrefix)),
      mProductTop(std::move(productTop)), mNested(nested),
      mAllowBuildSettings(platform::UserDefaults::standard().boolForKey(platform::AllowBuildSettingsKey))
{
}

ProductTree::Resolved ProductWalk::find(const QString& path) const
{
    return mTree.resolve(path, mProductTop);
}

QStringList ProductWalk::folderEntries(const Bundle& bundle, const QString& inBundle)
{
    const ProductTree::Resolved folder = find(joinPath(bundle.path, inBundle));
    if (folder.resolution != ProductTree::Resolution::Found || folder.node.kind != ProductTree::Kind::Directory)
        return {};
    return listFolder(folder.path, joinPath(bundle.found, inBundle));
}

QStringList ProductWalk::listFolder(const QString& path, const QString& found)
{
    QStringList names = mTree.children(path);
    const int error = mTree.childrenError(path);
    if (error != 0 && !mUnreadable.contains(path)) {
        mUnreadable.insert(path);
        mController.addFinding(report::FindingId::FolderUnreadable, QString(), shown(found),
                               QString::fromLocal8Bit(std::strerror(error)));
    }
    return names;
}

QString ProductWalk::shown(const QString& path) const
{
    return joinPath(mHeadingPrefix, path);
}

ProductWalk::Bundle ProductWalk::locate(const QString& found, const QString& path) const
{
    const QList<InfoPlistPlace>& places = infoPlistPlaces();
    Bundle bundle{found, path, joinPath(path, places.first().inside), Layout::Contents, QString()};
    for (const auto& [inside, layout] : places) {
        const ProductTree::Resolved resolved = find(joinPath(path, inside));
        if (resolved.resolution == ProductTree::Resolution::Outside) {
            // The dictionary is there, and what the link names is not read.
            bundle.plist = joinPath(path, inside);
            bundle.layout = layout;
            bundle.leadsOut = inside;
            break;
        }
        if (resolved.resolution == ProductTree::Resolution::Found && resolved.node.kind == ProductTree::Kind::File) {
            bundle.plist = resolved.path;
            bundle.layout = layout;
            break;
        }
    }
    return bundle;
}

void ProductWalk::checkContents(const plist::Dictionary* infoDict)
{
    const Bundle bundle = locate(mProductTop, mProductTop);
    mChecked.insert(bundle.path);
    if (infoDict)
        checkAgainstFiles(bundle, *infoDict, Container{});
    checkNested(bundle, infoDict, 0);
}

void ProductWalk::checkProduct()
{
    mChecked.insert(mProductTop);
    checkBundle(locate(mProductTop, mProductTop), Container{}, 0);
}

void ProductWalk::checkBundle(const Bundle& bundle, const Container& container, int depth)
{
    mController.appendHeading(shown(bundle.found), mTree.displayPath(bundle.plist));
    if (!bundle.leadsOut.isEmpty()) {
        mController.addFinding(report::FindingId::NestedLinkOutside, QString(),
                               shown(joinPath(bundle.found, bundle.leadsOut)));
        return;
    }
    platform::Error error;
    const std::optional<QByteArray> bytes = mTree.read(bundle.plist, &error);
    if (!bytes) {
        mController.appendReadError(error);
        return;
    }
    const std::optional<plist::Value> value =
        mController.checkPlistData(*bytes, 0, 0, lastComponent(shown(bundle.found)));
    if (!mNested)
        return;
    const plist::Dictionary* infoDict = value ? &value->toDictionary() : nullptr;
    if (infoDict)
        checkAgainstFiles(bundle, *infoDict, container);
    checkNested(bundle, infoDict, depth);
}

void ProductWalk::checkNested(const Bundle& bundle, const plist::Dictionary* infoDict, int depth)
{
    Container inner;
    if (infoDict) {
        const plist::Value* type = infoDict->find(QStringLiteral("CFBundlePackageType"));
        const bool application = hasExtension(lastComponent(shown(bundle.found)), QStringLiteral("app")) ||
                                 (type && type->isString() && type->toString() == QLatin1String("APPL"));
        const plist::Value* identifier = infoDict->find(QStringLiteral("CFBundleIdentifier"));
        if (application && identifier && identifier->isString())
            inner.applicationIdentifier = identifier->toString();
        if (application)
            inner.application = infoDict;
    }

    std::span<const NestedPlace> places;
    switch (bundle.layout) {
    case Layout::Contents: places = kContentsPlaces; break;
    case Layout::Framework: places = kFrameworkPlaces; break;
    case Layout::Flat: places = kFlatPlaces; break;
    }
    for (const NestedPlace& place : places) {
        const QString folderName = QString::fromLatin1(place.folder);
        const QString extension = QString::fromLatin1(place.extension);
        const ProductTree::Resolved folder = find(joinPath(bundle.path, folderName));
        if (folder.resolution != ProductTree::Resolution::Found || folder.node.kind != ProductTree::Kind::Directory)
            continue;
        // Bundles themselves before links to them, so that headings name where a bundle is.
        QStringList names = listFolder(folder.path, joinPath(bundle.found, folderName));
        std::stable_partition(names.begin(), names.end(), [&](const QString& name) {
            return mTree.node(joinPath(folder.path, name)).kind != ProductTree::Kind::Link;
        });
        for (const QString& name : names) {
            if (name.startsWith(QLatin1Char('.')) || (!extension.isEmpty() && !hasExtension(name, extension)))
                continue;
            const QString found = joinPath(bundle.found, folderName + QLatin1Char('/') + name);
            const ProductTree::Resolved item = find(joinPath(folder.path, name));
            const bool leadsBackUp =
                item.resolution == ProductTree::Resolution::Loop ||
                (item.resolution == ProductTree::Resolution::Found && isWithin(folder.path, item.path));
            if (item.resolution == ProductTree::Resolution::Outside) {
                mController.addFinding(report::FindingId::NestedLinkOutside, QString(), shown(found));
                continue;
            }
            if (leadsBackUp) {
                mController.addFinding(report::FindingId::NestedLinkLoop, QString(), shown(found));
                continue;
            }
            if (item.resolution != ProductTree::Resolution::Found || item.node.kind != ProductTree::Kind::Directory ||
                mChecked.contains(item.path))
                continue;
            const Bundle inside = locate(found, item.path);
            if (place.onlyWithInfoPlist && inside.leadsOut.isEmpty() &&
                mTree.node(inside.plist).kind != ProductTree::Kind::File)
                continue;
            if (depth + 1 > kMaxBundleDepth) {
                mController.addFinding(report::FindingId::NestedTooDeep, QString(), shown(bundle.found),
                                       kMaxBundleDepth);
                return;
            }
            mChecked.insert(item.path);
            Container container = inner;
            container.heldToPrefix = identifierHeldToApplication(folderName, name);
            container.versionsHeld = versionsHeldToApplication(folderName, name);
            container.minimumHeld = container.versionsHeld && folderName != QLatin1String("Watch");
            checkBundle(inside, container, depth + 1);
        }
    }
}

// The dictionary against the bundle's files

std::optional<QString> ProductWalk::namedValue(const plist::Dictionary& infoDict, const QString& key) const
{
    const plist::Value* value = infoDict.find(key);
    if (!value || !value->isString() || value->toString().isEmpty())
        return std::nullopt;
    if (mAllowBuildSettings && containsBuildSettingReference(value->toString()))
        return std::nullopt;
    return value->toString();
}

QString ProductWalk::resourcesFolder(const Bundle& bundle)
{
    switch (bundle.layout) {
    case Layout::Contents: return QStringLiteral("Contents/Resources");
    case Layout::Framework: return QStringLiteral("Resources");
    case Layout::Flat: break;
    }
    return QString();
}

void ProductWalk::checkAgainstFiles(const Bundle& bundle, const plist::Dictionary& infoDict, const Container& container)
{
    mProgram.reset();
    checkExecutable(bundle, infoDict);
    checkIcon(bundle, infoDict);
    checkMainNibs(bundle, infoDict);
    checkIdentifier(infoDict, container);
    checkPartAgreesWithApplication(bundle, infoDict, container);
    checkPackageType(bundle, infoDict);
    checkLocalizedStrings(bundle, infoDict);
    // Each under a heading of its own, after the bundle's findings.
    checkPrivacyManifest(bundle, infoDict);
    checkHelperTools(bundle);
    mProgram.reset();
}

void ProductWalk::checkExecutable(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const std::optional<QString> name = namedValue(infoDict, QStringLiteral("CFBundleExecutable"));
    if (!name)
        return;
    const QString folder = bundle.layout == Layout::Contents ? QStringLiteral("Contents/MacOS") : QString();
    QString inBundle = joinPath(folder, *name);
    ProductTree::Resolved executable = find(joinPath(bundle.path, inBundle));
    // A versioned framework without the link at its top still has its program in its current version.
    if (bundle.layout == Layout::Framework && executable.resolution == ProductTree::Resolution::Missing) {
        const QString current = joinPath(QStringLiteral("Versions/Current"), *name);
        const ProductTree::Resolved inCurrent = find(joinPath(bundle.path, current));
        if (inCurrent.resolution == ProductTree::Resolution::Found) {
            inBundle = current;
            executable = inCurrent;
        }
    }
    const bool isFile = !name->contains(QLatin1Char('/')) && executable.resolution == ProductTree::Resolution::Found &&
                        executable.node.kind == ProductTree::Kind::File;
    if (!isFile) {
        mController.addFinding(report::FindingId::NoExecutable, QStringLiteral("CFBundleExecutable"), *name,
                               shown(joinPath(bundle.found, inBundle)));
        return;
    }
    if (!mTree.isExecutable(executable.path)) {
        mController.addFinding(report::FindingId::ExecutableNotExecutable, QStringLiteral("CFBundleExecutable"),
                               shown(joinPath(bundle.found, inBundle)));
    }
    checkProgram(bundle, infoDict, executable.path, shown(joinPath(bundle.found, inBundle)));
}

void ProductWalk::checkProgram(const Bundle& bundle, const plist::Dictionary& infoDict, const QString& path,
                               const QString& where)
{
    // A file too large to keep from an archive is not looked into.
    const std::unique_ptr<platform::ByteSource> source = mTree.open(path);
    if (!source)
        return;
    QByteArray start;
    if (source->read(0, std::min<std::uint64_t>(8, source->size()), start) != platform::noErr)
        return;
    if (start.startsWith("#!"))
        return;
    if (!platform::looksLikeMachO(start)) {
        mController.addFinding(report::FindingId::ExecutableNotProgram, QStringLiteral("CFBundleExecutable"), where);
        return;
    }
    mProgram = platform::readMachO(*source);
    mProgramShown = where;
    QString damage = mProgram->error;
    for (const platform::MachOSlice& slice : mProgram->slices) {
        if (damage.isEmpty() && !slice.error.isEmpty())
            damage =
                mProgram->fat ? QStringLiteral("%1 slice: %2").arg(slice.architecture(), slice.error) : slice.error;
    }
    if (!damage.isEmpty()) {
        mController.addFinding(report::FindingId::ExecutableDamaged, QStringLiteral("CFBundleExecutable"), where,
                               damage);
    }
    checkProgramAgainstDictionary(mController, *mProgram, infoDict,
                                  bundleSystemOf(infoDict, bundle.layout != Layout::Flat), where);
}

void ProductWalk::checkIcon(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const std::optional<QString> name = namedValue(infoDict, QStringLiteral("CFBundleIconFile"));
    if (!name)
        return;
    const QString resources = joinPath(bundle.path, resourcesFolder(bundle));
    for (const QString& candidate : {*name, *name + QStringLiteral(".icns")}) {
        const ProductTree::Resolved icon = find(joinPath(resources, candidate));
        if (icon.resolution == ProductTree::Resolution::Found && icon.node.kind == ProductTree::Kind::File)
            return;
    }
    mController.addFinding(report::FindingId::NoIconFile, QStringLiteral("CFBundleIconFile"), *name,
                           shown(joinPath(bundle.found, resourcesFolder(bundle))));
}

void ProductWalk::checkMainNibs(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const QString resources = joinPath(bundle.path, resourcesFolder(bundle));
    // The resources folder itself, then each localization in it.
    QStringList folders{resources};
    for (const QString& entry : folderEntries(bundle, resourcesFolder(bundle))) {
        if (hasExtension(entry, QStringLiteral("lproj")))
            folders.append(joinPath(resources, entry));
    }
    const std::pair<QString, QString> keys[] = {
        {QStringLiteral("NSMainNibFile"), QStringLiteral(".nib")},
        {QStringLiteral("NSMainStoryboardFile"), QStringLiteral(".storyboardc")}};
    for (const auto& [key, extension] : keys) {
        const std::optional<QString> name = namedValue(infoDict, key);
        if (!name)
            continue;
        const QString fileName = name->endsWith(extension) ? *name : *name + extension;
        const bool present = std::any_of(folders.begin(), folders.end(), [&](const QString& folder) {
            const ProductTree::Resolved nib = find(joinPath(folder, fileName));
            return nib.resolution == ProductTree::Resolution::Found;
        });
        if (present)
            continue;
        mController.addFinding(report::FindingId::NoMainNib, key, key, *name, fileName,
                               shown(joinPath(bundle.found, resourcesFolder(bundle))));
    }
}

void ProductWalk::checkIdentifier(const plist::Dictionary& infoDict, const Container& container)
{
    if (!container.heldToPrefix || container.applicationIdentifier.isEmpty())
        return;
    if (mAllowBuildSettings && containsBuildSettingReference(container.applicationIdentifier))
        return;
    const std::optional<QString> identifier = namedValue(infoDict, QStringLiteral("CFBundleIdentifier"));
    if (!identifier || identifier->startsWith(container.applicationIdentifier + QLatin1Char('.')))
        return;
    mController.addFinding(report::FindingId::IdentifierNotUnderApp, QStringLiteral("CFBundleIdentifier"), *identifier,
                           container.applicationIdentifier);
}

void ProductWalk::checkPartAgreesWithApplication(const Bundle& bundle, const plist::Dictionary& infoDict,
                                                 const Container& container)
{
    if (!container.versionsHeld || !container.application)
        return;
    const struct {
        const char* key;
        report::FindingId id;
    } versions[] = {
        {"CFBundleShortVersionString", report::FindingId::PartShortVersionDiffers},
        {"CFBundleVersion", report::FindingId::PartVersionDiffers},
    };
    for (const auto& version : versions) {
        const QString key = QString::fromLatin1(version.key);
        const std::optional<QString> own = namedValue(infoDict, key);
        const std::optional<QString> application = namedValue(*container.application, key);
        if (!own || !application || *own == *application)
            continue;
        mController.addFinding(version.id, key, *own, *application);
    }
    if (!container.minimumHeld)
        return;
    const QString key =
        bundle.layout == Layout::Flat ? QStringLiteral("MinimumOSVersion") : QStringLiteral("LSMinimumSystemVersion");
    const std::optional<QString> own = namedValue(infoDict, key);
    const std::optional<QString> application = namedValue(*container.application, key);
    if (!own || !application)
        return;
    qsizetype ownEnd = 0;
    qsizetype applicationEnd = 0;
    const QVersionNumber ownVersion = QVersionNumber::fromString(*own, &ownEnd);
    const QVersionNumber applicationVersion = QVersionNumber::fromString(*application, &applicationEnd);
    if (ownEnd != own->size() || applicationEnd != application->size() || ownVersion.isNull() ||
        applicationVersion.isNull() || ownVersion.normalized() >= applicationVersion.normalized())
        return;
    mController.addFinding(report::FindingId::PartMinimumBelowApplication, key, key, *own, *application);
}

void ProductWalk::checkPrivacyManifest(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const QString inBundle = joinPath(resourcesFolder(bundle), kPrivacyManifest);
    const ProductTree::Resolved file = find(joinPath(bundle.path, inBundle));
    const QList<RequiredReasonUse> uses =
        mProgram ? requiredReasonUses(*mProgram, mController.requiredReasonTable()) : QList<RequiredReasonUse>();
    if (file.resolution != ProductTree::Resolution::Found || file.node.kind != ProductTree::Kind::File) {
        // Only the App Store's other systems ask every program for its reasons; a Mac's that has a manifest is held to
        // it.
        if (bundleSystemOf(infoDict, bundle.layout != Layout::Flat) != BundleSystem::Embedded)
            return;
        for (const RequiredReasonUse& use : uses) {
            mController.addFinding(report::FindingId::RequiredReasonNoManifest, QString(), mProgramShown, use.category,
                                   use.symbols.join(QLatin1String(", ")), shown(joinPath(bundle.found, inBundle)));
        }
        return;
    }
    const QString where = shown(joinPath(bundle.found, inBundle));
    mController.appendHeading(where, mTree.displayPath(file.path));
    platform::Error error;
    const std::optional<QByteArray> bytes = mTree.read(file.path, &error);
    if (!bytes) {
        mController.appendReadError(error);
        return;
    }
    const std::optional<plist::Value> manifest = mController.checkPrivacyManifestData(*bytes);
    if (!manifest)
        return;
    const QStringList declared = declaredCategories(manifest->toDictionary());
    for (const RequiredReasonUse& use : uses) {
        if (declared.contains(use.category))
            continue;
        mController.addFinding(report::FindingId::RequiredReasonUndeclared, QStringLiteral("NSPrivacyAccessedAPITypes"),
                               mProgramShown, use.category, use.symbols.join(QLatin1String(", ")));
    }
}

void ProductWalk::checkHelperTools(const Bundle& bundle)
{
    if (bundle.layout != Layout::Contents)
        return;
    const QString folder = joinPath(bundle.path, kHelperToolsFolder);
    for (const QString& name : folderEntries(bundle, kHelperToolsFolder)) {
        const ProductTree::Resolved tool = find(joinPath(folder, name));
        if (name.startsWith(QLatin1Char('.')) || tool.resolution != ProductTree::Resolution::Found ||
            tool.node.kind != ProductTree::Kind::File)
            continue;
        const std::unique_ptr<platform::ByteSource> source = mTree.open(tool.path);
        QByteArray start;
        if (!source || source->read(0, std::min<std::uint64_t>(8, source->size()), start) != platform::noErr ||
            !platform::looksLikeMachO(start))
            continue;
        mController.appendHeading(shown(joinPath(bundle.found, kHelperToolsFolder + QLatin1Char('/') + name)),
                                  mTree.displayPath(tool.path));
        const platform::MachOFile program = platform::readMachO(*source);
        if (const std::optional<QByteArray> bytes = platform::machOInfoPlist(*source, program)) {
            mController.readFromSection();
            (void)mController.checkPlistData(*bytes, 0, 0);
        } else {
            mController.appendReadError(platform::Error{platform::MachOErrorDomain, platform::kNoInfoPlistSection, {}});
        }
    }
}

void ProductWalk::checkPackageType(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const QString name = lastComponent(shown(bundle.found));
    const std::optional<QString> expected = PlistValidator::packageTypeOf(name);
    const std::optional<QString> type = namedValue(infoDict, QStringLiteral("CFBundlePackageType"));
    // A type that is no four-character code was told with the expected one already.
    if (!expected || !type || *type == *expected || type->size() != 4)
        return;
    mController.addFinding(report::FindingId::PackageTypeMismatch, QStringLiteral("CFBundlePackageType"), *type,
                           name.mid(name.lastIndexOf(QLatin1Char('.')) + 1), *expected);
}

void ProductWalk::checkLocalizedStrings(const Bundle& bundle, const plist::Dictionary& infoDict)
{
    const QString resources = resourcesFolder(bundle);
    for (const QString& entry : folderEntries(bundle, resources)) {
        if (!hasExtension(entry, QStringLiteral("lproj")))
            continue;
        const QString inBundle = joinPath(resources, entry + QLatin1Char('/') + kInfoPlistStrings);
        const ProductTree::Resolved file = find(joinPath(bundle.path, inBundle));
        if (file.resolution != ProductTree::Resolution::Found || file.node.kind != ProductTree::Kind::File)
            continue;
        const QString where = shown(joinPath(bundle.found, inBundle));
        platform::Error error;
        const std::optional<QByteArray> bytes = mTree.read(file.path, &error);
        QString problem;
        plist::ParseResult parsed;
        if (!bytes) {
            problem = error.localizedDescription();
        } else {
            parsed = plist::parse(*bytes);
            if (!parsed.ok())
                problem = parsed.errorText();
            else if (!parsed.value->isDictionary())
                problem = localized(QStringLiteral("NotDict")).trimmed();
        }
        if (!problem.isEmpty()) {
            mController.addFinding(report::FindingId::InfoPlistStringsUnreadable, QString(), where, problem);
            continue;
        }
        for (const QString& key : parsed.value->toDictionary().keys()) {
            if (infoDict.contains(key))
                continue;
            mController.addFinding(report::FindingId::InfoPlistStringsUnusedKey, key, key, where);
        }
    }
}

// Archives

namespace {

const QString kMacArchiverFolder = QStringLiteral("__MACOSX");

// Folders looked through for bundles at an archive's top ("Payload", a release folder).
constexpr int kMaxArchiveFolderDepth = 4;
// A file at the top that is no property list is kept only this large, in case
// it carries its property list as a resource in its data fork.
constexpr std::uint64_t kMaxKeptDataFork = 16 * 1024 * 1024;

bool isAppleDoubleName(const QString& name)
{
    return name.startsWith(QStringLiteral("._"));
}

// The entries the checks may read: dictionaries, localized strings, and at
// the top, loose files and the AppleDouble files that carry their forks.
bool mayBeRead(const QString& path, std::uint64_t size)
{
    const QString name = lastComponent(path);
    if (name == QLatin1String("Info.plist") || name == QLatin1String("Info-macos.plist"))
        return true;
    if (name == kInfoPlistStrings && hasExtension(parentPath(path), QStringLiteral("lproj")))
        return true;
    const qsizetype depth = path.count(QLatin1Char('/'));
    if (depth == 1 && path.startsWith(kMacArchiverFolder + QLatin1Char('/')))
        return isAppleDoubleName(name);
    if (depth != 0)
        return false;
    return isAppleDoubleName(name) || hasExtension(name, QStringLiteral("plist")) || size <= kMaxKeptDataFork;
}

// The folders that hold nested bundles, by their own name.
bool holdsBundles(const QString& name)
{
    static const QSet<QString> names = [] {
        QSet<QString> all;
        for (const std::span<const NestedPlace> places :
             {std::span<const NestedPlace>(kContentsPlaces), std::span<const NestedPlace>(kFrameworkPlaces),
              std::span<const NestedPlace>(kFlatPlaces)}) {
            for (const NestedPlace& place : places)
                all.insert(lastComponent(QString::fromLatin1(place.folder)));
        }
        return all;
    }();
    return names.contains(name);
}

// Whether the walk takes the entry at path for a bundle's dictionary or
// localized strings: by where it lies, so that an Info.plist that no bundle
// uses is never read.
bool usedByABundle(const ProductTree& tree, const QString& path)
{
    const QString name = lastComponent(path);
    const QString folder = parentPath(path);
    const QString folderName = lastComponent(folder);
    if (name == QLatin1String("Info.plist") || name == QLatin1String("Info-macos.plist")) {
        if (folderName == QLatin1String("Contents"))
            return true;
        if (name == QLatin1String("Info-macos.plist"))
            return false;
        return folderName == QLatin1String("Resources") || hasBundleExtension(folderName) ||
               holdsBundles(lastComponent(parentPath(folder)));
    }
    if (name != kInfoPlistStrings || !hasExtension(folderName, QStringLiteral("lproj")))
        return false;
    const QString resources = parentPath(folder);
    return lastComponent(resources) == QLatin1String("Resources") ||
           tree.node(joinPath(resources, QStringLiteral("Info.plist"))).kind != ProductTree::Kind::Missing;
}

// Where the program checks look: a bundle's program (Contents/MacOS/NAME, a
// flat bundle's or a framework's NAME, Versions/A/NAME), helper tools, and
// privacy manifests.
bool readByTheProgramChecks(const QString& path)
{
    const QString name = lastComponent(path);
    const QString folder = parentPath(path);
    const QString folderName = lastComponent(folder);
    const QString above = lastComponent(parentPath(folder));
    if (name == kPrivacyManifest)
        return true;
    if ((folderName == QLatin1String("MacOS") && above == QLatin1String("Contents")) ||
        (folderName == QLatin1String("LaunchServices") && above == QLatin1String("Library")))
        return true;
    return !name.contains(QLatin1Char('.')) && (hasBundleExtension(folderName) || above == QLatin1String("Versions"));
}

// The files the program checks read, added to those the other checks read
// (files) as long as all of them fit in what an archive may keep, so that a
// program never takes the room of a dictionary.
void addFilesTheProgramChecksRead(const platform::ArchiveContents& contents, QSet<QString>& files)
{
    std::uint64_t kept = 0;
    for (const QString& file : files) {
        if (const platform::ArchiveEntry* entry = contents.find(file))
            kept += entry->size;
    }
    const std::uint64_t room = platform::ArchiveLimits{}.maxKeptBytes;
    for (const platform::ArchiveEntry& entry : contents.entries) {
        // A size the archive does not state could be anything.
        if (entry.kind != platform::ArchiveEntryKind::File || entry.size == 0 || files.contains(entry.path) ||
            !readByTheProgramChecks(entry.path) || entry.size > room - std::min(room, kept))
            continue;
        kept += entry.size;
        files.insert(entry.path);
    }
}

// The files the checks read, links resolved: the dictionaries and strings of
// bundles, and at the top what mayBeRead names (a file's data fork only when
// an AppleDouble file gives it one).
QSet<QString> filesTheChecksRead(const ProductTree& tree, const platform::ArchiveContents& contents)
{
    QSet<QString> files;
    for (const platform::ArchiveEntry& entry : contents.entries) {
        if (entry.kind == platform::ArchiveEntryKind::Directory || entry.kind == platform::ArchiveEntryKind::Other)
            continue;
        if (usedByABundle(tree, entry.path)) {
            const ProductTree::Resolved file = tree.resolve(entry.path);
            if (file.resolution == ProductTree::Resolution::Found && file.node.kind == ProductTree::Kind::File)
                files.insert(file.path);
            continue;
        }
        if (entry.path.contains(QLatin1Char('/')) && !entry.path.startsWith(kMacArchiverFolder + QLatin1Char('/')))
            continue;
        const QString name = lastComponent(entry.path);
        const bool forked = isAppleDoubleName(name) || hasExtension(name, QStringLiteral("plist")) ||
                            contents.find(kMacArchiverFolder + QStringLiteral("/._") + entry.path) ||
                            contents.find(QStringLiteral("._") + entry.path);
        if (forked && mayBeRead(entry.path, entry.size))
            files.insert(entry.path);
    }
    return files;
}

bool isBundleFolder(const ProductTree& tree, const QString& path)
{
    if (hasBundleExtension(lastComponent(path)))
        return true;
    // A folder with a dictionary at its top is not taken for a bundle: only the layouts that nest it.
    const QList<InfoPlistPlace>& places = infoPlistPlaces();
    return std::any_of(places.begin(), places.end(), [&](const InfoPlistPlace& place) {
        return place.layout != BundleLayout::Flat &&
               tree.node(joinPath(path, place.inside)).kind == ProductTree::Kind::File;
    });
}

// The 'plst' resource of a file in an archive, from its AppleDouble file's
// resource fork, else from the file's own bytes as a resource file; the
// Finder's type and creator when the AppleDouble file holds them.
std::optional<QByteArray> plstResource(const QByteArray* appleDouble, const QByteArray* dataFork,
                                       platform::Error& error, std::uint32_t& fileType, std::uint32_t& creator)
{
    using namespace platform;
    std::unique_ptr<ByteSource> fork;
    OSStatus status = resFNotFound;
    if (appleDouble) {
        MemorySource sidecar(*appleDouble);
        AppleDouble header;
        status = readAppleDouble(sidecar, header);
        if (status == noErr)
            status = openAppleDoubleEntry(sidecar, header, kEntryResourceFork, fork);
    }
    if (status == resFNotFound && dataFork) {
        fork = std::make_unique<MemorySource>(*dataFork);
        status = noErr;
    }
    std::unique_ptr<ResourceFile> file;
    if (status == noErr)
        status = ResourceFile::open(std::move(fork), file);
    QByteArray bytes;
    if (status == noErr)
        status = file->get1Resource(fourCharCode("plst"), 0, bytes);
    if (status != noErr) {
        error = Error::osStatus(status);
        return std::nullopt;
    }
    if (appleDouble) {
        if (const std::optional<FinderInfo> info = finderInfoFromAppleDouble(MemorySource(*appleDouble))) {
            fileType = info->fileType;
            creator = info->creator;
        }
    }
    return bytes;
}

class ArchiveCheck {
public:
    // contents: what the archive holds, none for a folder on disk.
    ArchiveCheck(OstrelAppDelegate& controller, const ProductTree& tree, const platform::ArchiveContents* contents,
                 const QString& displayName, bool nested)
        : mController(controller), mTree(tree), mContents(contents), mDisplayName(displayName), mNested(nested)
    {
    }

    // How many items were checked.
    int checkFolder(const QString& folder, int depth)
    {
        // Links lead to the same folders and files again and again: each is walked once.
        mWalked.insert(folder);
        int checked = 0;
        for (const QString& name : mTree.children(folder)) {
            if (name.startsWith(QLatin1Char('.')) || (folder.isEmpty() && name == kMacArchiverFolder))
                continue;
            const ProductTree::Resolved item = mTree.resolve(joinPath(folder, name));
            if (item.resolution == ProductTree::Resolution::Outside &&
                (hasBundleExtension(name) || (folder.isEmpty() && hasExtension(name, QStringLiteral("plist"))))) {
                // What would have been checked, had it been here, is told under
                // its own heading; the archive is not empty for that.
                const QString path = joinPath(folder, name);
                mController.appendHeading(joinPath(mDisplayName, path), mTree.displayPath(path));
                mController.addFinding(report::FindingId::NestedLinkOutside, QString(), joinPath(mDisplayName, path));
                ++checked;
                continue;
            }
            if (item.resolution != ProductTree::Resolution::Found)
                continue;
            if (mWalked.contains(item.path))
                continue;
            if (item.node.kind == ProductTree::Kind::Directory) {
                if (isBundleFolder(mTree, item.path)) {
                    mWalked.insert(item.path);
                    ProductWalk(mController, mTree, mDisplayName, item.path, mNested).checkProduct();
                    ++checked;
                } else if (depth < kMaxArchiveFolderDepth) {
                    checked += checkFolder(item.path, depth + 1);
                }
            } else if (item.node.kind == ProductTree::Kind::File && folder.isEmpty()) {
                mWalked.insert(item.path);
                checked += checkLooseFile(item.path) ? 1 : 0;
            }
        }
        return checked;
    }

private:
    // A property list, or a file whose AppleDouble file gives it a resource fork.
    bool checkLooseFile(const QString& path)
    {
        std::optional<QByteArray> appleDouble = kept(kMacArchiverFolder + QStringLiteral("/._") + path);
        if (!appleDouble)
            appleDouble = kept(QStringLiteral("._") + path);
        const bool propertyList = hasExtension(path, QStringLiteral("plist"));
        if (!propertyList && !appleDouble)
            return false;

        mController.appendHeading(joinPath(mDisplayName, path), mTree.displayPath(path));
        platform::Error error;
        std::uint32_t fileType = 0;
        std::uint32_t creator = 0;
        std::optional<QByteArray> bytes;
        if (propertyList) {
            bytes = mTree.read(path, &error);
        } else {
            const std::optional<QByteArray> dataFork = kept(path);
            bytes = plstResource(&*appleDouble, dataFork ? &*dataFork : nullptr, error, fileType, creator);
        }
        if (!bytes)
            mController.appendReadError(error);
        else
            (void)mController.checkPlistData(*bytes, fileType, creator);
        return true;
    }

    // The bytes of a file that is there to be read: in an archive, one the
    // reading kept.
    std::optional<QByteArray> kept(const QString& path) const
    {
        if (mContents) {
            const platform::ArchiveEntry* entry = mContents->find(path);
            return entry ? entry->bytes : std::nullopt;
        }
        if (mTree.node(path).kind != ProductTree::Kind::File)
            return std::nullopt;
        return mTree.read(path, nullptr);
    }

    OstrelAppDelegate& mController;
    const ProductTree& mTree;
    const platform::ArchiveContents* mContents;
    const QString& mDisplayName;
    bool mNested;
    QSet<QString> mWalked; // folders, bundles and loose files, links resolved
};

} // namespace

int CheckArchiveTop(OstrelAppDelegate& controller, const QString& path, const QString& shownAs,
                    const QString& displayName, bool nested)
{
    // The list first; then the files that the bundles in it use.
    platform::ArchiveContents contents = platform::readArchive(path, {});
    const auto everyFileThatMayBeRead = [&] {
        QSet<QString> files;
        for (const platform::ArchiveEntry& entry : contents.entries) {
            if (entry.kind == platform::ArchiveEntryKind::File && mayBeRead(entry.path, entry.size))
                files.insert(entry.path);
        }
        (void)platform::readArchiveAgain(path, contents, files);
    };
    // A bundle reached in a way the first choice did not foresee has its files read then.
    const ArchiveTree tree(shownAs, contents, everyFileThatMayBeRead);
    if (contents.error.isEmpty()) {
        QSet<QString> files = filesTheChecksRead(tree, contents);
        if (nested)
            addFilesTheProgramChecksRead(contents, files);
        (void)platform::readArchiveAgain(path, contents, files);
    }
    if (!contents.error.isEmpty()) {
        controller.addFinding(report::FindingId::ArchiveErr, QString(), contents.error);
        return -1;
    }
    for (const auto& [entry, why] : contents.leftOut) {
        controller.addFinding(report::FindingId::ArchiveEntryLeftOut, QString(), entry, why);
    }
    return ArchiveCheck(controller, tree, &contents, displayName, nested).checkFolder(QString(), 0) +
           int(contents.leftOut.size());
}

bool CheckArchive(OstrelAppDelegate& controller, const QString& path, const QString& displayName, bool nested)
{
    controller.appendHeading(displayName, path);
    const int checked = CheckArchiveTop(controller, path, path, displayName, nested);
    if (checked == 0) {
        controller.addFinding(report::FindingId::ArchiveEmpty, QString());
    }
    return checked >= 0;
}

int CheckTreeTop(OstrelAppDelegate& controller, const ProductTree& tree, const QString& displayName, bool nested)
{
    return ArchiveCheck(controller, tree, nullptr, displayName, nested).checkFolder(QString(), 0);
}

} // namespace check
