#include "check/PlistValidator.h"

#include "check/HistogramDistance.h"
#include "check/MessageFormat.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"
#include "plist/Parse.h"

#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <limits>
#include <optional>

namespace check {

using report::FindingId;

namespace {

// Names, made once: every lookup needs a QString.
const QString kBundleIdentifierKey = QStringLiteral("CFBundleIdentifier");
const QString kVendorPrefix = QStringLiteral("com.apple.");

// A distance of at most this makes an unknown key a typing error.
constexpr std::int32_t kNearMissLimit = 2;

// The device and platform qualifiers a key may carry ("UISupportedInterfaceOrientations~ipad",
// "LSRequiresIPhoneOS-iphoneos") and the architecture qualifiers of kernel-extension keys
// ("OSBundleCompatibleVersion_x86_64", only on keys that begin with "OS" or "IO").
const QLatin1StringView kDeviceSuffixes[] = {QLatin1StringView("~ipad"), QLatin1StringView("~iphone"),
                                             QLatin1StringView("~ipod")};
const QLatin1StringView kPlatformSuffixes[] = {QLatin1StringView("-iphoneos"), QLatin1StringView("-macos")};
const QLatin1StringView kArchitectureSuffixes[] = {QLatin1StringView("_i386"), QLatin1StringView("_x86_64"),
                                                   QLatin1StringView("_ppc"), QLatin1StringView("_arm64"),
                                                   QLatin1StringView("_arm64e")};

// key without the qualifier it ends with, or an empty view when it has none.
QStringView withoutQualifier(QStringView key)
{
    for (const QLatin1StringView suffix : kDeviceSuffixes)
        if (key.size() > suffix.size() && key.endsWith(suffix)) {
            key.chop(suffix.size());
            // "Key-iphoneos~ipad": the platform comes before the device.
            for (const QLatin1StringView platform : kPlatformSuffixes)
                if (key.size() > platform.size() && key.endsWith(platform))
                    key.chop(platform.size());
            return key;
        }
    for (const QLatin1StringView platform : kPlatformSuffixes)
        if (key.size() > platform.size() && key.endsWith(platform))
            return key.chopped(platform.size());
    if (key.startsWith(u"OS") || key.startsWith(u"IO"))
        for (const QLatin1StringView architecture : kArchitectureSuffixes)
            if (key.size() > architecture.size() && key.endsWith(architecture))
                return key.chopped(architecture.size());
    return {};
}

} // namespace

bool containsBuildSettingReference(const QString& value)
{
    if (!value.contains(QLatin1Char('$')))
        return false;
    static const QRegularExpression reference(QStringLiteral(R"(\$\([A-Za-z0-9_]+(:[A-Za-z0-9_]+(=[^):]*)?)*\))"
                                                             R"(|\$\{[A-Za-z0-9_]+(:[A-Za-z0-9_]+(=[^}:]*)?)*\})"));
    return reference.match(value).hasMatch();
}

namespace {

// "MM_VERSION", "BUILD_STRING_INFOPLIST": a whole value that is a macro name in capitals
// with underscores, which Xcode's Info.plist preprocessing replaces.
bool isPreprocessorMacro(const QString& value)
{
    static const QRegularExpression macro(QStringLiteral(R"(^[A-Z][A-Z0-9]*(_[A-Z0-9]+)+$)"));
    return macro.match(value).hasMatch();
}

} // namespace

// Character sets

PlistValidator::CharacterSet PlistValidator::CharacterSet::withCharacters(QStringView characters)
{
    CharacterSet set;
    for (const QChar c : characters)
        if (c.unicode() < 128)
            set.mAscii.set(c.unicode());
    return set;
}

PlistValidator::CharacterSet PlistValidator::CharacterSet::asciiRange()
{
    CharacterSet set;
    set.mAscii.set();
    return set;
}

PlistValidator::CharacterSet PlistValidator::CharacterSet::inverted() const
{
    CharacterSet set;
    set.mAscii = ~mAscii;
    set.mBeyondAscii = !mBeyondAscii;
    return set;
}

PlistValidator::CharacterSet PlistValidator::CharacterSet::intersected(const CharacterSet& other) const
{
    CharacterSet set;
    set.mAscii = mAscii & other.mAscii;
    set.mBeyondAscii = mBeyondAscii && other.mBeyondAscii;
    return set;
}

// The sets the string checks reject, made once for every validator.

const PlistValidator::CharacterSet& PlistValidator::nonDigitSet()
{
    static const CharacterSet set = CharacterSet::withCharacters(u"0123456789").inverted();
    return set;
}

const PlistValidator::CharacterSet& PlistValidator::nonBundleIDSet()
{
    static const CharacterSet set =
        CharacterSet::withCharacters(u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456789").inverted();
    return set;
}

const PlistValidator::CharacterSet& PlistValidator::nonUTISet()
{
    static const CharacterSet set = nonBundleIDSet().intersected(CharacterSet::asciiRange());
    return set;
}

// Construction

PlistValidator::PlistValidator(MessageLogger& client, KeyRulesCache::Mode cacheMode)
    : mClient(client), mKeyRules(cacheMode)
{
}

template <typename... Args> void PlistValidator::finding(report::FindingId id, const Args&... args)
{
    mClient.addFinding(id, mPath, args...);
}

template <typename... Args>
void PlistValidator::findingAbout(const QString& member, report::FindingId id, const Args&... args)
{
    mClient.addFinding(id, plist::memberKeyPath(mPath, member), args...);
}

// The walk

void PlistValidator::validateInfoDict(const plist::Dictionary& infoDict, const plist::Value* rules,
                                      const QString& bundleName)
{
    mBundleName = bundleName;
    mPackageType = packageTypeOf(bundleName);
    ValidationContext context;
    if (const plist::Value* bundleID = infoDict.find(kBundleIdentifierKey); bundleID && bundleID->isString())
        context.bundleID = &bundleID->toString();
    const platform::UserDefaults& defaults = platform::UserDefaults::standard();
    mDeprecationNotes = defaults.boolForKey(platform::DeprecationNotesKey);
    mNoteUnknownKeys = defaults.boolForKey(platform::NoteUnknownKeysKey);
    mAllowBuildSettings = defaults.boolForKey(platform::AllowBuildSettingsKey);
    mKeyRules.useRules(rules);
    mDepth = 0;
    mPath.clear();
    validateDictionary(infoDict, rules, mPath, context);
}

std::optional<QString> PlistValidator::packageTypeOf(const QString& bundleName)
{
    static const std::pair<QLatin1StringView, QLatin1StringView> kTypes[] = {
        {QLatin1StringView(".app"), QLatin1StringView("APPL")},
        {QLatin1StringView(".framework"), QLatin1StringView("FMWK")},
        {QLatin1StringView(".bundle"), QLatin1StringView("BNDL")},
        {QLatin1StringView(".plugin"), QLatin1StringView("BNDL")},
        {QLatin1StringView(".qlgenerator"), QLatin1StringView("BNDL")},
        {QLatin1StringView(".mdimporter"), QLatin1StringView("BNDL")},
        {QLatin1StringView(".appex"), QLatin1StringView("XPC!")},
        {QLatin1StringView(".xpc"), QLatin1StringView("XPC!")},
        {QLatin1StringView(".kext"), QLatin1StringView("KEXT")},
    };
    for (const auto& [extension, type] : kTypes)
        if (bundleName.size() > extension.size() && bundleName.endsWith(extension, Qt::CaseInsensitive))
            return QString(type);
    return std::nullopt;
}

const plist::Value* PlistValidator::memberRuleOf(const plist::Dictionary& keyRules, const QString& key)
{
    if (const plist::Value* rule = keyRules.find(key))
        return rule;
    const QStringView base = withoutQualifier(key);
    return base.isEmpty() ? nullptr : keyRules.find(base);
}

void PlistValidator::validateDictionary(const plist::Dictionary& dict, const plist::Value* rules,
                                        const QString& keyPath, const ValidationContext& context)
{
    const RuleFields fields = mKeyRules.fieldsOf(rules);
    const plist::Dictionary* keyRules = fields.keys;
    // Members keyed by names the bundle chooses (domains, personalities, ...) all follow one rule.
    const plist::Value* otherMembers = fields.memberRule;
    if (!keyRules && !otherMembers)
        return;
    // The parsers refuse deeper nesting, so only a tree built by other means
    // gets here; it is reported rather than walked into a stack overflow.
    if (mDepth >= plist::kMaxNestingDepth) {
        finding(FindingId::NestingTooDeep, keyPath);
        return;
    }
    ++mDepth;
    static const plist::Dictionary noKeyRules;
    if (keyRules) {
        // Used before checkValues walks deeper, which may ask for other summaries.
        KeyRulesSummary& summary = mKeyRules.summaryOf(*keyRules);
        // With a rule for other members, no member is unknown.
        if (!otherMembers)
            checkForUnexpectedKeysAmong(dict.keys(), *keyRules, summary, keyPath);
        checkForRecommendedKeysInDict(dict, *keyRules, summary, keyPath);
    }
    checkValues(dict, keyRules ? *keyRules : noKeyRules, otherMembers, keyPath, context);
    --mDepth;
}

void PlistValidator::checkValues(const plist::Dictionary& dict, const plist::Dictionary& keyRules,
                                 const plist::Value* otherMembers, const QString& keyPath,
                                 const ValidationContext& context)
{
    Q_ASSERT(&keyPath == &mPath);
    const qsizetype parentLength = mPath.size();
    for (int i = 0; i < dict.size(); ++i) {
        const QString& key = dict.keyAt(i);
        const plist::Value* memberRule = memberRuleOf(keyRules, key);
        if (!memberRule)
            memberRule = otherMembers;
        if (!memberRule)
            continue; // unknown: already reported, and its value is not examined
        const RuleFields fields = mKeyRules.fieldsOf(memberRule);
        // "in "CFBundleDocumentTypes[0]"", or "at the top level".
        const auto where = [&] {
            return parentLength > 0 ? formatMessage(mClient.messageText("Hint-InDictionary"), {arg(keyPath)})
                                    : mClient.messageText("Hint-AtTopLevel");
        };
        if (mDeprecationNotes && fields.deprecated)
            findingAbout(key, FindingId::DeprecKey, key, where(), *fields.deprecated);
        if (fields.apple) {
            if (!context.bundleID || !context.bundleID->startsWith(kVendorPrefix))
                findingAbout(key, FindingId::AppleKey, key, where());
        }
        // "%@.%@", or the key alone at the top, made in place and cut back after.
        if (parentLength > 0)
            mPath += QLatin1Char('.');
        mPath += key;
        validatePropertyListItem(dict.valueAt(i), memberRule, mPath, context);
        mPath.truncate(parentLength);
    }
}

void PlistValidator::validatePropertyListItem(const plist::Value& value, const plist::Value* rules,
                                              const QString& keyPath, const ValidationContext& context)
{
    // "type" names one type, or lists the types a value may have.
    const RuleFields fields = mKeyRules.fieldsOf(rules);
    const plist::Value* type = fields.type;
    const auto typeNames = fields.knownTypes.begin();
    const auto typeNamesEnd = typeNames + fields.knownTypeCount;
    for (auto typeName = typeNames; typeName != typeNamesEnd; ++typeName)
        if (validateAs(*typeName, value, rules, keyPath, context))
            return;
    // A lone value in place of a one-element array, once no type took it as it is.
    const bool arrayAllowed = std::find(typeNames, typeNamesEnd, u"array") != typeNamesEnd;
    if (arrayAllowed && fields.allowSingle) {
        validateSingletonArray(value, rules, keyPath, context);
        return;
    }
    // A rules file of someone else's may list any number of names: the first few say enough.
    constexpr qsizetype kNamesShown = 16;
    QStringList names;
    if (type && type->isArray()) {
        for (const plist::Value& name : type->toArray()) {
            if (!name.isString())
                continue;
            if (names.size() == kNamesShown) {
                names.append(QStringLiteral("…"));
                break;
            }
            names.append(name.toString());
        }
    }
    const QString found = QString::fromLatin1(plist::kindName(value.kind()));
    if (!names.isEmpty())
        finding(FindingId::BadType, keyPath, names.join(QLatin1StringView(" or ")), found);
    else
        finding(FindingId::BadType, keyPath, type && type->isString() ? type : nullptr, found);
}

// Takes the value when it is of the named type: checks it and returns true.
bool PlistValidator::validateAs(QStringView typeName, const plist::Value& value, const plist::Value* rules,
                                const QString& keyPath, const ValidationContext& context)
{
    if (typeName == u"dictionary" && value.isDictionary())
        validateDictionary(value.toDictionary(), rules, keyPath, context);
    else if (typeName == u"array" && value.isArray())
        validateArray(value.toArray(), rules, keyPath, context);
    else if (typeName == u"string" && value.isString())
        validateString(value.toString(), rules, keyPath);
    else if ((typeName == u"boolean" || typeName == u"booleanOrYN" || typeName == u"booleanOr01") && value.isBoolean())
        return true;
    else if (typeName == u"booleanOrYN" && value.isString())
        validateYN(value.toString(), keyPath);
    else if (typeName == u"booleanOr01" && value.isString())
        validate01(value.toString(), keyPath);
    else if (typeName == u"integer" && value.isInteger())
        return true;
    else if (typeName == u"float" && value.isReal())
        return true;
    else if (typeName == u"number" && (value.isInteger() || value.isReal()))
        return true;
    else if ((typeName == u"data" && value.isData()) || (typeName == u"date" && value.isDate()))
        return true;
    else
        return false;
    return true;
}

void PlistValidator::validateArray(const std::vector<plist::Value>& array, const plist::Value* rules,
                                   const QString& keyPath, const ValidationContext& context)
{
    if (mDepth >= plist::kMaxNestingDepth) {
        finding(FindingId::NestingTooDeep, keyPath);
        return;
    }
    ++mDepth;
    const plist::Value* itemRule = mKeyRules.fieldsOf(rules).arrayItem;
    // Indexes print as signed 32-bit numbers; no parsed array comes near that many elements.
    const int count = static_cast<int>(std::min<std::size_t>(array.size(), std::numeric_limits<int>::max()));
    Q_ASSERT(&keyPath == &mPath);
    const qsizetype parentLength = mPath.size();
    for (int i = 0; i < count; ++i) {
        // "%@[%d]", made in place and cut back after.
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, i).ptr;
        mPath += QLatin1Char('[');
        mPath += QLatin1StringView(digits, end - digits);
        mPath += QLatin1Char(']');
        validatePropertyListItem(array[static_cast<std::size_t>(i)], itemRule, mPath, context);
        mPath.truncate(parentLength);
    }
    --mDepth;
}

void PlistValidator::validateSingletonArray(const plist::Value& value, const plist::Value* rules,
                                            const QString& keyPath, const ValidationContext& context)
{
    validatePropertyListItem(value, mKeyRules.fieldsOf(rules).arrayItem, keyPath, context);
}

// String contents

void PlistValidator::validateString(const QString& value, const plist::Value* rules, const QString& keyPath)
{
    // A source Info.plist: the build replaces the reference, so its format and value are unknown here.
    if (mAllowBuildSettings && (containsBuildSettingReference(value) || isPreprocessorMacro(value)))
        return;

    const RuleFields fields = mKeyRules.fieldsOf(rules);
    bool formatOK = true;
    if (const QString* subtype = fields.subtype) {
        if (*subtype == QLatin1StringView("FourCharCode"))
            formatOK = validateFourCharCode(value, keyPath);
        else if (*subtype == QLatin1StringView("version"))
            formatOK = validateVersion(value, keyPath);
        else if (*subtype == QLatin1StringView("bundleID"))
            formatOK = validateBundleID(value, keyPath);
        else if (*subtype == QLatin1StringView("UTI"))
            formatOK = validateUTI(value, keyPath);
        else if (*subtype == QLatin1StringView("char"))
            formatOK = validateChar(value, keyPath);
        else if (*subtype == QLatin1StringView("httpsURL"))
            formatOK = validateHttpsURL(value, keyPath);
        else if (*subtype == QLatin1StringView("ed25519Key"))
            formatOK = validateEd25519Key(value, keyPath);
    }

    if (const std::vector<plist::Value>* values = fields.values) {
        const std::vector<plist::Value>& accepted = *values;
        const bool found = std::any_of(accepted.begin(), accepted.end(), [&value](const plist::Value& entry) {
            return entry.isString() && entry.toString() == value;
        });
        if (!found)
            reportBadEnumeratedValue(value, accepted, keyPath);
        return;
    }

    if (formatOK && value.isEmpty() && !fields.allowEmpty)
        finding(FindingId::EmptyString, keyPath);
}

bool PlistValidator::validateFourCharCode(const QString& value, const QString& keyPath)
{
    if (value.size() == 4)
        return true;
    // A bundle's package type: the one its extension calls for is the fix (the
    // walk's comparison with it stays silent for a code that is none).
    if (mPackageType && keyPath == QLatin1StringView("CFBundlePackageType"))
        finding(FindingId::PackageTypeNot4Char, value, mBundleName.mid(mBundleName.lastIndexOf(QLatin1Char('.')) + 1),
                *mPackageType);
    else
        finding(FindingId::Not4Char, value, keyPath);
    return false;
}

void PlistValidator::reportBadEnumeratedValue(const QString& value, const std::vector<plist::Value>& accepted,
                                              const QString& keyPath)
{
    // The near miss: the same letters in another case, else the value whose
    // letters (of either case) are nearest, when at most a third of them are off.
    const auto lowerHistogram = [](const QString& text) { return HistogramOfKey(text.toLower()); };
    const KeyHistogram histogram = lowerHistogram(value);
    const QString* nearest = nullptr;
    std::int32_t distance = std::max<std::int32_t>(kNearMissLimit, static_cast<std::int32_t>(value.size() * 2 / 3)) + 1;
    QStringList names;
    for (const plist::Value& entry : accepted) {
        if (!entry.isString() || entry.toString().isEmpty())
            continue;
        const QString& name = entry.toString();
        names.append(name);
        const std::int32_t d =
            name.compare(value, Qt::CaseInsensitive) == 0 ? -1 : HistogramDistance(lowerHistogram(name), histogram);
        if (d < distance) { // strict: among equals the first listed wins
            distance = d;
            nearest = &name;
        }
    }
    FindingLine line;
    if (nearest)
        line.hints = mClient.hint("Hint-NearMiss", {arg(*nearest)});
    constexpr qsizetype kMostListed = 12;
    if (!names.isEmpty() && names.size() <= kMostListed)
        line.hints += mClient.hint("Hint-AcceptedValues", {arg(names.join(QLatin1StringView(", ")))});
    mClient.addFinding(report::makeFinding(FindingId::BadEnumeratedValue, keyPath, {arg(value), arg(keyPath)}), line);
}

bool PlistValidator::validateChar(const QString& value, const QString& keyPath)
{
    if (value.size() == 1)
        return true;
    finding(FindingId::Not1Char, value, keyPath);
    return false;
}

bool PlistValidator::validateHttpsURL(const QString& value, const QString& keyPath)
{
    const QUrl url(value, QUrl::StrictMode);
    if (url.isValid() && url.scheme() == QLatin1StringView("https") && !url.host().isEmpty())
        return true;
    finding(FindingId::NotHttpsURL, value, keyPath);
    return false;
}

bool PlistValidator::validateEd25519Key(const QString& value, const QString& keyPath)
{
    constexpr qsizetype kEd25519KeySize = 32;
    const bool ascii = std::all_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 128; });
    if (ascii) {
        const auto decoded = QByteArray::fromBase64Encoding(value.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (decoded && decoded.decoded.size() == kEd25519KeySize)
            return true;
    }
    finding(FindingId::NotEd25519Key, value, keyPath);
    return false;
}

bool PlistValidator::validateVersion(const QString& value, const QString& keyPath)
{
    if (!doesAStringOf(QStringView(value).split(u'.'), nonDigitSet()))
        return true;
    finding(FindingId::BadVers, value, keyPath);
    return false;
}

bool PlistValidator::validateBundleID(const QString& value, const QString& keyPath)
{
    return validateDottedName(value, keyPath, nonBundleIDSet(), FindingId::BIDBadChar, FindingId::BIDNoDot,
                              FindingId::BIDEmptyPart);
}

bool PlistValidator::validateUTI(const QString& value, const QString& keyPath)
{
    return validateDottedName(value, keyPath, nonUTISet(), FindingId::UTIBadChar, FindingId::UTINoDot,
                              FindingId::UTIEmptyPart);
}

bool PlistValidator::validateDottedName(const QString& value, const QString& keyPath, const CharacterSet& forbidden,
                                        FindingId badChar, FindingId noDot, FindingId emptyPart)
{
    const QList<QStringView> components = QStringView(value).split(u'.');
    std::optional<FindingId> found;
    if (doesAStringOf(components, forbidden))
        found = badChar;
    else if (components.size() == 1)
        found = noDot;
    else if (std::any_of(components.begin(), components.end(), [](QStringView c) { return c.isEmpty(); }))
        found = emptyPart;
    if (!found)
        return true;
    finding(*found, value, keyPath);
    return false;
}

void PlistValidator::validateYN(const QString& value, const QString& keyPath)
{
    if (value.compare(QLatin1StringView("YES"), Qt::CaseInsensitive) == 0 ||
        value.compare(QLatin1StringView("NO"), Qt::CaseInsensitive) == 0)
        return;
    finding(FindingId::NotYNBool, value, keyPath);
}

void PlistValidator::validate01(const QString& value, const QString& keyPath)
{
    if (value == QLatin1StringView("0") || value == QLatin1StringView("1"))
        return;
    finding(FindingId::Not01Bool, value, keyPath);
}

bool PlistValidator::doesAStringOf(const QList<QStringView>& strings, const CharacterSet& set) const
{
    for (QStringView s : strings)
        for (const QChar c : s)
            if (set.contains(c))
                return true;
    return false;
}

// Missing keys

void PlistValidator::checkForRecommendedKeysInDict(const plist::Dictionary& dict, const plist::Dictionary& ruleKeys,
                                                   const KeyRulesSummary& summary, const QString& keyPath)
{
    for (const KeyRulesSummary::Expected& expected : summary.expected) {
        const QString& key = ruleKeys.keyAt(expected.index);
        if (dict.contains(key))
            continue;
        // Xcode adds such a key to a source Info.plist when it builds the bundle.
        if (expected.buildSupplied && mAllowBuildSettings)
            continue;
        const bool top = keyPath.isEmpty();
        const FindingId id = expected.required ? (top ? FindingId::NoReqTopKey : FindingId::NoReqKey)
                                               : (top ? FindingId::NoRecTopKey : FindingId::NoRecKey);
        FormatArgs args{arg(key)};
        if (!top)
            args.append(arg(keyPath));
        // Where the rules allow one value only, it is what to add.
        FindingLine line;
        const std::vector<plist::Value>* values = mKeyRules.fieldsOf(&ruleKeys.valueAt(expected.index)).values;
        if (values && values->size() == 1 && values->front().isString())
            line.hints = mClient.hint("Hint-OnlyValue", {arg(values->front())});
        mClient.addFinding(report::makeFinding(id, plist::memberKeyPath(keyPath, key), std::move(args)), line);
    }
}

// Unknown keys

void PlistValidator::checkForUnexpectedKeysAmong(const std::vector<QString>& keys, const plist::Dictionary& keyRules,
                                                 KeyRulesSummary& summary, const QString& keyPath)
{
    const std::vector<QString>& ruleKeys = keyRules.keys();
    for (const QString& key : keys) {
        if (memberRuleOf(keyRules, key))
            continue;
        const std::int32_t nearest = nearestRuleKey(summary, key);
        const bool nearMiss = nearest >= 0;
        if (!nearMiss && !mNoteUnknownKeys)
            continue;
        const FindingId unknown = keyPath.isEmpty() ? FindingId::UnknownTopKey : FindingId::UnknownKey;
        FormatArgs unknownArgs{arg(key)};
        if (!keyPath.isEmpty())
            unknownArgs.append(arg(keyPath));
        const QString memberPath = plist::memberKeyPath(keyPath, key);
        if (!nearMiss) {
            mClient.addFinding(report::makeFinding(unknown, memberPath, std::move(unknownArgs)));
            continue;
        }
        // The near miss goes on the unknown key's line, and gives the finding its ID.
        mClient.addFinding(
            report::makeFinding(FindingId::KeyTypo, memberPath, {arg(ruleKeys[static_cast<std::size_t>(nearest)])}),
            FindingLine{unknown, std::move(unknownArgs), QString()});
    }
}

std::int32_t PlistValidator::nearestRuleKey(KeyRulesSummary& summary, const QString& key)
{
    const auto remembered = summary.nearestRuleKeys.constFind(key);
    if (remembered != summary.nearestRuleKeys.constEnd())
        return *remembered;
    const KeyHistogram histogram = HistogramOfKey(key);
    std::int32_t distance = kNearMissLimit + 1;
    std::int32_t best = -1;
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(summary.histograms.size(), std::numeric_limits<std::int32_t>::max()));
    for (std::int32_t i = 0; i < count; ++i) {
        // Two keys are at least as far apart as their lengths: most rule keys
        // are passed over without comparing their histograms.
        const qsizetype lengthApart = summary.lengths[static_cast<std::size_t>(i)] - key.size();
        if (lengthApart > kNearMissLimit || lengthApart < -kNearMissLimit)
            continue;
        const std::int32_t d = HistogramDistance(summary.histograms[static_cast<std::size_t>(i)], histogram);
        if (d < distance) { // strict: among equals the first listed wins
            distance = d;
            best = i;
        }
    }
    if (summary.nearestRuleKeys.size() >= KeyRulesSummary::kMostRemembered)
        summary.nearestRuleKeys.clear();
    summary.nearestRuleKeys.insert(key, best);
    return best;
}

} // namespace check
