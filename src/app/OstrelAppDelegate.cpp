#include "app/OstrelAppDelegate.h"

#include "check/BundleLayout.h"
#include "check/CreateImageString.h"
#include "check/DiskImageCheck.h"
#include "check/InstallerPackageCheck.h"
#include "check/MessageFormat.h"
#include "check/PlistDataReader.h"
#include "check/ProductTree.h"
#include "check/ProductWalk.h"
#include "check/ProgramCheck.h"
#include "platform/AppleDouble.h"
#include "platform/ArchiveReader.h"
#include "platform/Bundle.h"
#include "platform/Error.h"
#include "platform/FileFormat.h"
#include "platform/FileUrl.h"
#include "platform/FourCharCode.h"
#include "platform/Log.h"
#include "platform/MachO.h"
#include "platform/OSStatus.h"
#include "platform/PlatformException.h"
#include "platform/UserDefaults.h"
#include "report/Escaping.h"
#include "report/SaveTarget.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>

namespace app {

using namespace check;

namespace {

QString localized(const QString& key)
{
    return platform::Bundle::main().localizedString(key);
}

const QString kCaughtFormat = QStringLiteral("safeOpenURL: Caught %@: %@");

// The bundle folder whose check reads the file at path as its Info.plist;
// empty when there is none. A folder that holds Info.plist at its top counts
// only when it is named as a bundle is (Shop.app), not a project's folder.
QString bundleReading(const QString& path)
{
    for (const InfoPlistPlace& place : infoPlistPlaces()) {
        if (!path.endsWith(QLatin1Char('/') + place.inside))
            continue;
        const QString bundle = path.chopped(place.inside.size() + 1);
        if (place.layout == BundleLayout::Flat &&
            !hasBundleExtension(platform::lastPathComponent(platform::fileURLWithPath(bundle))))
            return {};
        for (const InfoPlistPlace& first : infoPlistPlaces())
            if (QFileInfo::exists(bundle + QLatin1Char('/') + first.inside))
                return first.inside == place.inside ? bundle : QString();
        return {};
    }
    return {};
}

} // namespace

void OstrelAppDelegate::initialize()
{
    static std::once_flag once;
    std::call_once(once, [] {
        platform::UserDefaults::standard().registerDefaults({
            {platform::DeprecationNotesKey, true},
            {platform::NoteUnknownKeysKey, true},
            {platform::CheckNestedBundlesKey, true},
        });
    });
}

OstrelAppDelegate::OstrelAppDelegate()
{
    initialize();
    mFont = report::FontDescription::userFontOfSize(14.0);
    mBoldFont = report::convertFontToHaveTrait(mFont, report::kBoldFontMask);
    mShared = sharedResources();
    mValidator = std::make_unique<PlistValidator>(*this);
}

OstrelAppDelegate::~OstrelAppDelegate()
{
    mValidator.reset();
}

struct OstrelAppDelegate::SharedResources {
    std::unique_ptr<report::StyledString> noteIcon;
    std::unique_ptr<report::StyledString> warningIcon;
    std::unique_ptr<report::StyledString> errorIcon;
    // A missing or unparsable rules file leaves the rules null, without a word.
    std::unique_ptr<plist::Value> rules;
};

std::shared_ptr<const OstrelAppDelegate::SharedResources> OstrelAppDelegate::sharedResources()
{
    // Made anew when the resource files are others, or the rules file was
    // changed since, and kept while any controller holds them.
    const platform::Bundle& bundle = platform::Bundle::main();
    const QString rulesPath = bundle.pathForResource(QStringLiteral("rules.plist"));
    const QFileInfo rulesInfo(rulesPath);
    const QString key = QStringList{rulesPath,
                                    QString::number(rulesInfo.exists() ? rulesInfo.size() : -1),
                                    QString::number(rulesInfo.lastModified().toMSecsSinceEpoch()),
                                    bundle.pathForResource(QStringLiteral("note16x16.png")),
                                    bundle.pathForResource(QStringLiteral("warning16x16.png")),
                                    bundle.pathForResource(QStringLiteral("error16x16.png"))}
                            .join(QLatin1Char('\n'));
    static std::mutex mutex;
    static QHash<QString, std::weak_ptr<const SharedResources>> made;
    std::lock_guard lock(mutex);
    if (std::shared_ptr<const SharedResources> existing = made.value(key).lock())
        return existing;

    auto resources = std::make_shared<SharedResources>();
    resources->noteIcon = CreateImageString(QStringLiteral("note16x16.png"));
    resources->warningIcon = CreateImageString(QStringLiteral("warning16x16.png"));
    resources->errorIcon = CreateImageString(QStringLiteral("error16x16.png"));
    if (QFile file(rulesPath); !rulesPath.isEmpty() && file.open(QIODevice::ReadOnly)) {
        plist::ParseResult parsed = plist::parse(file.readAll());
        if (parsed.ok())
            resources->rules = std::make_unique<plist::Value>(std::move(*parsed.value));
    }
    for (auto it = made.begin(); it != made.end();)
        it = it->expired() ? made.erase(it) : std::next(it);
    made.insert(key, resources);
    return resources;
}

const report::StyledString* OstrelAppDelegate::noteIcon() const
{
    return mShared->noteIcon.get();
}

const report::StyledString* OstrelAppDelegate::warningIcon() const
{
    return mShared->warningIcon.get();
}

const report::StyledString* OstrelAppDelegate::errorIcon() const
{
    return mShared->errorIcon.get();
}

const plist::Value* OstrelAppDelegate::rulesDict() const
{
    return mShared->rules.get();
}

void OstrelAppDelegate::setWindow(ReportWindow* window)
{
    oWindow = window;
    oTextView = window ? &window->textStorage() : nullptr;
}

void OstrelAppDelegate::awakeFromNib()
{
    appendString(localized(QStringLiteral("IntroText")));
}

// Opening files

bool OstrelAppDelegate::applicationOpenFile(const QString& path)
{
    return safeOpenURL(platform::fileURLWithPath(path));
}

void OstrelAppDelegate::openFiles()
{
    if (!oWindow)
        return;
    QList<QUrl> urls;
    if (oWindow->runOpenPanel(OpenPanelOptions{}, urls) != kPanelOK)
        return;
    if (oWindow->checkBatch(urls))
        return;
    const int total = static_cast<int>(urls.size());
    for (int i = 0; i < total; ++i) {
        if (urls[i].isLocalFile())
            safeOpenURL(urls[i]);
        oWindow->batchProgress(i + 1, total);
    }
}

bool OstrelAppDelegate::safeOpenURL(const QUrl& url)
{
    try {
        return openURL(url);
    } catch (const std::exception& e) {
        appendCaughtException(e);
        return false;
    }
}

bool OstrelAppDelegate::safeCheckStandardInput(const QString& name)
{
    const QString shown = name == QLatin1String("-") ? QStringLiteral("(standard input)")
                                                     : platform::lastPathComponent(platform::fileURLWithPath(name));
    return checkLoose(shown, name, QUrl(), [] { return readStandardInput(); });
}

bool OstrelAppDelegate::safeCheckUnsaved(const QString& path, const QByteArray& bytes)
{
    mUnsaved = Unsaved{path, bytes};
    const QString bundle = bundleReading(path);
    bool opened = false;
    if (!bundle.isEmpty()) {
        opened = safeOpenURL(platform::fileURLWithPath(bundle));
    } else {
        const QUrl url = platform::fileURLWithPath(path);
        opened = checkLoose(platform::lastPathComponent(url), path, url, [&bytes] {
            PlistData data;
            data.bytes = bytes;
            return data;
        });
    }
    mUnsaved.reset();
    return opened;
}

bool OstrelAppDelegate::checkLoose(const QString& name, const QString& pathGiven, const QUrl& urlRead,
                                   const std::function<PlistData()>& read)
{
    try {
        mPathGiven = pathGiven;
        mURLRead = urlRead;
        appendHeading(name, mPathGiven);
        const PlistData data = read();
        if (data.ok())
            checkPlistData(*data.bytes, 0, 0);
        else
            appendReadError(data.error);
        closeFindings();
        return data.ok();
    } catch (const std::exception& e) {
        appendCaughtException(e);
        return false;
    }
}

void OstrelAppDelegate::appendCaughtException(const std::exception& e)
{
    closeFindings();
    report::Finding finding = report::makeFinding(report::FindingId::CaughtException, QString(),
                                                  {arg(platform::exceptionName(e)), arg(platform::exceptionReason(e))});
    // Not of the strings table: the words are the guard's own.
    finding.text = formatMessage(kCaughtFormat, finding.arguments);
    platform::Log(finding.text);
    setFiles(finding);
    // The line has no icon and no line end of its own.
    showFinding(std::move(finding), true);
}

OstrelAppDelegate::ToRead OstrelAppDelegate::infoPlistToRead(const QUrl& bundle, const ProductTree& tree)
{
    for (const auto& [inside, layout] : infoPlistPlaces()) {
        // As the walk finds its bundles' dictionaries: links only within the bundle.
        const ProductTree::Resolved found = tree.resolve(inside);
        if (found.resolution == ProductTree::Resolution::Missing)
            continue;
        return {platform::appendingPathComponent(bundle, inside), inside,
                found.resolution == ProductTree::Resolution::Outside};
    }
    return {QUrl(), QString(), false};
}

bool OstrelAppDelegate::openURL(const QUrl& url)
{
    const bool opened = checkURL(url);
    closeFindings();
    return opened;
}

bool OstrelAppDelegate::checkURL(const QUrl& url)
{
    const QString displayName = platform::lastPathComponent(url);
    mPathGiven = platform::fileSystemPath(url);
    mCheckedPaths << mPathGiven;
    const bool nested = platform::UserDefaults::standard().boolForKey(platform::CheckNestedBundlesKey);
    // Told alike for every kind of path: nothing there to read, as a file, a bundle or an archive.
    if (!platform::fileExists(mPathGiven)) {
        mURLRead = url;
        appendHeading(displayName, mPathGiven);
        appendReadError(platform::Error::osStatus(platform::fnfErr));
        return false;
    }
    if (!platform::isDirectoryURL(url) && platform::isArchiveName(displayName)) {
        mURLRead = url;
        return CheckArchive(*this, mPathGiven, displayName, nested);
    }
    if (!platform::isDirectoryURL(url)) {
        const platform::FileFormat format = platform::fileFormatOfFile(mPathGiven);
        if (displayName.endsWith(QStringLiteral(".dmg"), Qt::CaseInsensitive)) {
            mURLRead = url;
            return CheckDiskImage(*this, mPathGiven, displayName, nested);
        }
        // Named .pkg, or a xar archive by any other name.
        if (displayName.endsWith(QStringLiteral(".pkg"), Qt::CaseInsensitive) || format == platform::FileFormat::Xar) {
            mURLRead = url;
            return CheckInstallerPackage(*this, mPathGiven, displayName, nested);
        }
        // A file of a kind that holds no resource fork, unless an AppleDouble file gives it one.
        // A Mach-O program is read for its __TEXT,__info_plist section instead.
        if (format != platform::FileFormat::Unknown && format != platform::FileFormat::MachO &&
            platform::pathExtension(url) != QLatin1String("plist") &&
            !platform::fileExists(platform::appleDoublePath(mPathGiven))) {
            mURLRead = url;
            appendHeading(displayName, mPathGiven);
            const QByteArray name = platform::fileFormatName(format);
            addFinding(report::FindingId::FileFormatUnread, QString(), messageText(("Hint-Format-" + name).constData()),
                       messageText(("Hint-FormatFix-" + name).constData()));
            return false;
        }
    }
    if (!platform::isDirectoryURL(url) && platform::pathExtension(url) == QLatin1String("xcprivacy")) {
        mURLRead = url;
        appendHeading(displayName, mPathGiven);
        const PlistData data = readWholeFile(mPathGiven);
        if (!data.ok()) {
            appendReadError(data.error);
            return false;
        }
        (void)checkPrivacyManifestData(*data.bytes);
        return true;
    }
    std::optional<DiskTree> tree;
    ToRead toRead{url, QString(), false};
    if (platform::isDirectoryURL(url)) {
        tree.emplace(mPathGiven);
        tree->setReadThrough(mReadThrough);
        // The walk looks for a dozen names in a bundle's Contents; read it
        // once, before looking for the Info.plist in it.
        if (nested)
            tree->expectLookupsIn(QStringLiteral("Contents"));
        toRead = infoPlistToRead(url, *tree);
        if (toRead.url.isEmpty()) {
            mURLRead = url;
            appendHeading(displayName, mPathGiven);
            QStringList places;
            for (const InfoPlistPlace& place : infoPlistPlaces())
                places.append(place.inside);
            addFinding(report::FindingId::NotABundle, QString(), places.join(QLatin1String(", ")));
            return false;
        }
    }
    mURLRead = toRead.url;
    const QString pathRead = platform::fileSystemPath(mURLRead);
    mCheckedPaths << pathRead;
    appendHeading(displayName, pathRead);
    // readURL reads any other file's 'plst' resource.
    mInResource = platform::pathExtension(mURLRead) != QLatin1String("plist");

    if (toRead.leadsOut) {
        addFinding(report::FindingId::NestedLinkOutside, QString(), displayName + QLatin1Char('/') + toRead.inside);
        return false;
    }
    PlistData data;
    if (mUnsaved && mUnsaved->path == pathRead)
        data.bytes = mUnsaved->bytes;
    else if (tree)
        data = plistData(tree->read(toRead.inside));
    else
        data = mReadThrough ? mReadThrough(pathRead, [&] { return readURL(mURLRead); }) : readURL(mURLRead);
    if (!data.ok()) {
        appendReadError(data.error);
        return false;
    }
    const std::optional<plist::Value> infoDict =
        checkPlistData(*data.bytes, data.fileType, data.creator, tree ? displayName : QString());
    if (nested && tree)
        ProductWalk(*this, *tree, displayName, QString()).checkContents(infoDict ? &infoDict->toDictionary() : nullptr);
    return true;
}

void OstrelAppDelegate::appendHeading(const QString& name, const QString& pathRead)
{
    // The findings that follow are about this file.
    reportUnusedSuppressions();
    mPathRead = pathRead;
    mInResource = false;
    mPositions.reset();
    mFixSource = FixSource();
    mReadFromSection = false;
    appendString(messageText("CheckingPrefix"));
    appendBoldString(report::escapeControlCharacters(name));
    appendFormat(QStringLiteral("\n%@\n"), pathRead);
}

void OstrelAppDelegate::appendReadError(const platform::Error& error)
{
    // "Could not read the property list: " and why.
    const FindingLine line{report::FindingId::NoData, {}, QString()};
    if (error.code == platform::osStatusCode(platform::resNotFound))
        addFinding(report::makeFinding(report::FindingId::NoPlstRes), line);
    else if (error.code == platform::noInfoPlistSection().code)
        addFinding(report::makeFinding(report::FindingId::NoInfoPlistSection), line);
    else
        addFinding(report::makeFinding(report::FindingId::NoData),
                   {std::nullopt, {}, report::escapeControlCharacters(error.localizedDescription())});
}

bool OstrelAppDelegate::reportParsed(const plist::ParseResult& parsed)
{
    if (!parsed.ok()) {
        // The record carries the place the parser named; the text, as always, its words.
        const plist::ParseError& error = parsed.error;
        report::Finding finding = report::makeFinding(report::FindingId::ParseErr, QString(), {arg(parsed.errorText())},
                                                      report::Position{error.line, error.column, error.offset});
        completeFinding(finding, {});
        addPlacedFinding(std::move(finding));
        return false;
    }
    reportDuplicateKeys(parsed.duplicates);
    if (!parsed.value->isDictionary()) {
        addFinding(report::FindingId::NotDict, QString());
        return false;
    }
    return true;
}

std::optional<plist::Value> OstrelAppDelegate::checkPlistData(const QByteArray& bytes, std::uint32_t fileType,
                                                              std::uint32_t creator, const QString& bundleName)
{
    plist::ParseResult parsed = plist::parse(bytes);
    mPositions = std::move(parsed.positions);
    mFixSource = mReadFromSection ? FixSource() : FixSource{bytes, nullptr, parsed.format, nullptr, false};
    mSuppressions = findInlineSuppressions(bytes);
    if (!reportParsed(parsed))
        return std::nullopt;

    const plist::Dictionary& infoDict = parsed.value->toDictionary();
    if (creator != 0)
        checkFileCreator(creator, infoDict);
    if (fileType != 0)
        checkFileType(fileType, infoDict);
    mValidator->validateInfoDict(infoDict, rulesDict(), bundleName);
    return std::move(*parsed.value);
}

std::optional<plist::Value> OstrelAppDelegate::checkPrivacyManifestData(const QByteArray& bytes)
{
    plist::ParseResult parsed = plist::parse(bytes);
    mPositions = std::move(parsed.positions);
    if (!reportParsed(parsed))
        return std::nullopt;
    const plist::Value* all = rulesDict();
    const plist::Value* rules =
        all && all->isDictionary() ? all->toDictionary().find(QStringLiteral("privacymanifest")) : nullptr;
    if (rules)
        mValidator->validateInfoDict(parsed.value->toDictionary(), rules);
    checkPrivacyManifest(*this, parsed.value->toDictionary(), requiredReasonTable());
    return std::move(*parsed.value);
}

const plist::Value* OstrelAppDelegate::requiredReasonTable() const
{
    const plist::Value* all = rulesDict();
    if (!all || !all->isDictionary())
        return nullptr;
    return all->toDictionary().find(QStringLiteral("requiredreasonapis"));
}

void OstrelAppDelegate::reportDuplicateKeys(const QList<plist::DuplicateKey>& duplicates)
{
    // The later value won; say where each entry is, so that the developer keeps one.
    QSet<QString> told; // the key paths told already: a key thrice is one finding
    for (const plist::DuplicateKey& duplicate : duplicates) {
        const bool top = duplicate.keyPath.isEmpty();
        const QString path = plist::memberKeyPath(duplicate.keyPath, duplicate.key);
        if (told.contains(path))
            continue;
        told.insert(path);
        if (duplicate.line <= 0) {
            if (top)
                addFinding(report::FindingId::DuplicateTopKeyNoLine, path, duplicate.key);
            else
                addFinding(report::FindingId::DuplicateKeyNoLine, path, duplicate.key, duplicate.keyPath);
            continue;
        }
        QStringList lines;
        int last = 0;
        for (const plist::Positions::Place& place :
             mPositions ? mPositions->findEach(path) : std::vector<plist::Positions::Place>()) {
            if (place.key.line > 0) {
                lines << QString::number(place.key.line);
                last = place.key.line;
            }
        }
        if (lines.size() < 2) { // only the later entries' lines are known
            lines.clear();
            for (const plist::DuplicateKey& later : duplicates)
                if (later.keyPath == duplicate.keyPath && later.key == duplicate.key)
                    lines << QString::number(later.line);
            last = lines.constLast().toInt();
        }
        // The record points at the last entry, the one that counts.
        const report::Position position{last, 0, -1};
        const QString at = lines.join(QLatin1String(", "));
        report::Finding finding =
            top ? report::makeFinding(report::FindingId::DuplicateTopKey, path,
                                      {arg(duplicate.key), arg(at), arg(last)}, position)
                : report::makeFinding(report::FindingId::DuplicateKey, path,
                                      {arg(duplicate.key), arg(duplicate.keyPath), arg(at), arg(last)}, position);
        completeFinding(finding, {});
        addPlacedFinding(std::move(finding));
    }
}

namespace {

// Equal only when the dictionary holds exactly the code's text under key.
bool codeMatches(std::uint32_t code, const plist::Dictionary& infoDict, const QString& key)
{
    const plist::Value* value = infoDict.find(key);
    return value && value->isString() && value->toString() == platform::stringFromFourCharCode(code);
}

} // namespace

void OstrelAppDelegate::checkFileCreator(std::uint32_t creator, const plist::Dictionary& infoDict)
{
    if (codeMatches(creator, infoDict, QStringLiteral("CFBundleSignature")))
        return;
    addFinding(report::FindingId::CreatorMismatch, QStringLiteral("CFBundleSignature"));
}

void OstrelAppDelegate::checkFileType(std::uint32_t fileType, const plist::Dictionary& infoDict)
{
    if (codeMatches(fileType, infoDict, QStringLiteral("CFBundlePackageType")))
        return;
    addFinding(report::FindingId::TypeMismatch, QStringLiteral("CFBundlePackageType"));
}

// Print and save

void OstrelAppDelegate::printText()
{
    if (!oWindow)
        return;
    PrintOptions options;
    options.jobTitle = localized(QStringLiteral("Ostrel Log"));
    options.verticallyCentered = false;
    oWindow->beginPrintSheet(options, [this](bool success) { printDidRun(success); });
}

void OstrelAppDelegate::printDidRun(bool)
{
}

void OstrelAppDelegate::saveDocumentAs()
{
    if (!oWindow)
        return;
    SavePanelOptions options;
    options.requiredFileType = QStringLiteral("rtfd");
    options.nameFieldStringValue = QStringLiteral("Ostrel Log.rtfd");
    oWindow->beginSaveSheet(options, [this](int returnCode, const QUrl& url) { saveDone(returnCode, url); });
}

void OstrelAppDelegate::saveDone(int returnCode, const QUrl& url)
{
    if (returnCode != kPanelOK || !oWindow)
        return;
    const QString path = platform::fileSystemPath(url);
    // A refused or failed save is told to the user; the report stays as it was.
    QString reason = report::saveTargetRefusal(path, report::DocumentKind::Rtfd, mCheckedPaths);
    if (reason.isEmpty()) {
        if (const platform::Result<void> saved = oWindow->writeRTFDToFile(path, true); !saved)
            reason = saved.error().localizedDescription();
    }
    if (!reason.isEmpty())
        oWindow->presentError(formatMessage(localized(QStringLiteral("SaveFailed")), {arg(path), arg(reason)}));
}

// The report log

void OstrelAppDelegate::appendAttributedString(const report::StyledString& run)
{
    if (oTextView)
        oTextView->appendAttributedString(run);
}

void OstrelAppDelegate::recordFinding(report::Finding finding)
{
    finding.position = positionOf(finding.messageKey, finding.keyPath);
    addPlacedFinding(std::move(finding));
}

void OstrelAppDelegate::addPlacedFinding(report::Finding finding)
{
    if (finding.severity == report::Severity::Error)
        ++mErrorCount; // counted even when left out: it decides the exit status
    setFiles(finding);
    if ((!mSuppressions.isEmpty() && suppresses(mSuppressions, finding)) || (mIgnored && mIgnored(finding))) {
        ++mIgnoredCount;
        return;
    }
    if (mFindingsInFile >= kMaxFindingsPerFile) {
        ++mFindingsLeftOut;
        mGravestLeftOut = std::min(mGravestLeftOut, finding.severity);
        return;
    }
    ++mFindingsInFile;
    if (oTextView && mPositions && !mFixSource.bytes.isEmpty()) {
        mFixSource.positions = &*mPositions;
        finding.fix = fixFor(finding, mFixSource);
    }
    showFinding(std::move(finding));
}

void OstrelAppDelegate::setFiles(report::Finding& finding) const
{
    finding.fileGiven = mPathGiven;
    finding.fileRead = mPathRead;
    finding.inResource = mInResource;
}

void OstrelAppDelegate::showFinding(report::Finding finding, bool bare)
{
    if (!oTextView)
        return;
    const report::StyledString* icon = finding.severity == report::Severity::Error     ? errorIcon()
                                       : finding.severity == report::Severity::Warning ? warningIcon()
                                                                                       : noteIcon();
    oTextView->appendFinding(std::move(finding), mFont, icon, bare);
}

void OstrelAppDelegate::reportUnusedSuppressions()
{
    const QList<InlineSuppression> suppressions = std::exchange(mSuppressions, {});
    for (const InlineSuppression& suppression : suppressions) {
        if (suppression.used)
            continue;
        report::Finding finding =
            report::makeFinding(report::FindingId::UnusedSuppression, QString(), {arg(suppression.text)},
                                report::Position{suppression.line, 0, -1});
        completeFinding(finding, {});
        addPlacedFinding(std::move(finding));
    }
}

void OstrelAppDelegate::closeFindings()
{
    reportUnusedSuppressions();
    if (mFindingsLeftOut > 0) {
        report::Finding finding = report::makeFinding(report::FindingId::FindingsLeftOut, QString(),
                                                      {arg(mFindingsLeftOut), arg(kMaxFindingsPerFile)},
                                                      positionOf(QStringLiteral("FindingsLeftOut"), QString()));
        // As grave as the gravest left out, so that errors there still fail the run.
        finding.severity = mGravestLeftOut;
        completeFinding(finding, {});
        setFiles(finding);
        showFinding(std::move(finding));
    }
    mFindingsInFile = 0;
    mFindingsLeftOut = 0;
    mGravestLeftOut = report::Severity::Note;
}

void OstrelAppDelegate::appendString(const QString& text)
{
    appendAttributedString(report::StyledString{text, mFont, nullptr});
}

void OstrelAppDelegate::appendBoldString(const QString& text)
{
    appendAttributedString(report::StyledString{text, mBoldFont, nullptr});
}

void OstrelAppDelegate::appendWithFormat(const QString& format, const FormatArgs& args)
{
    appendString(formatMessage(format, args));
}

report::Position OstrelAppDelegate::positionOf(const QString& messageKey, const QString& keyPath) const
{
    if (!mPositions)
        return {};
    // A missing key has no place of its own: its dictionary's is the nearest.
    QStringView path(keyPath);
    std::optional<plist::Positions::Place> place = mPositions->find(path);
    while (!place && !path.isEmpty()) {
        const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('.')), path.lastIndexOf(QLatin1Char('[')));
        path = path.first(std::max<qsizetype>(cut, 0));
        place = mPositions->find(path);
    }
    if (!place)
        return {};
    // Findings about a key itself point at the key.
    static constexpr QLatin1StringView kAboutTheKey[] = {
        QLatin1StringView("UnknownTopKey"),     QLatin1StringView("UnknownKey"),
        QLatin1StringView("KeyTypo"),           QLatin1StringView("DeprecKey"),
        QLatin1StringView("AppleKey"),          QLatin1StringView("DuplicateTopKeyNoLine"),
        QLatin1StringView("DuplicateKeyNoLine")};
    const bool onKey = (place->key.line > 0 || place->key.offset >= 0) && path.size() == keyPath.size() &&
                       std::any_of(std::begin(kAboutTheKey), std::end(kAboutTheKey),
                                   [&](QLatin1StringView key) { return messageKey == key; });
    const plist::Location& at = onKey ? place->key : place->value;
    return report::Position{at.line, at.column, at.offset};
}

void PerformCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        platform::Log(formatMessage(QStringLiteral("Caught %@: %@"),
                                    {arg(platform::exceptionName(e)), arg(platform::exceptionReason(e))}));
    } catch (...) {
        platform::Log(QStringLiteral("Caught an exception that is not a std::exception"));
    }
}

} // namespace app
