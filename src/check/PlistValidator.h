// Walks a parsed information dictionary against the rules and writes every
// deviation to its client.
#pragma once

#include "check/HistogramOfKey.h"
#include "check/KeyRulesCache.h"
#include "check/MessageLogger.h"
#include "plist/Value.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

namespace check {

// "$(NAME)" or "${NAME}", with optional ":modifier" parts ("$(PRODUCT_NAME:rfc1034identifier)",
// "$(NAME:default=text)"): a value that the build fills in.
bool containsBuildSettingReference(const QString& value);

class PlistValidator {
public:
    // The client is not owned; it outlives the validator. What depends only
    // on the rules is worked out once and reused (cacheMode: see KeyRulesCache).
    explicit PlistValidator(MessageLogger& client, KeyRulesCache::Mode cacheMode = KeyRulesCache::Mode::Reuse);
    PlistValidator(const PlistValidator&) = delete;
    PlistValidator& operator=(const PlistValidator&) = delete;

    // rules: the root rule; null rules check nothing. The settings are read
    // once for each information dictionary. bundleName: the bundle's folder
    // name when the dictionary is a bundle's, whose extension may call for a
    // package type.
    void validateInfoDict(const plist::Dictionary& infoDict, const plist::Value* rules,
                          const QString& bundleName = QString());

    // The package type a bundle's extension calls for ("Mistakes.app": APPL), if any.
    static std::optional<QString> packageTypeOf(const QString& bundleName);

    // The rule of a member key in a key-rules dictionary: the key's own, else that of
    // the key it qualifies with a device, platform or architecture suffix
    // ("CFBundleIcons~ipad" follows "CFBundleIcons"); null for an unknown key.
    static const plist::Value* memberRuleOf(const plist::Dictionary& keyRules, const QString& key);

private:
    // A set of characters as the string checks use them: each ASCII character
    // in or out on its own, everything beyond ASCII in or out as one.
    class CharacterSet {
    public:
        // Only ASCII characters may be given; others are ignored.
        static CharacterSet withCharacters(QStringView characters);
        static CharacterSet asciiRange(); // U+0000 to U+007F
        CharacterSet inverted() const;
        CharacterSet intersected(const CharacterSet& other) const;
        bool contains(QChar c) const { return c.unicode() < 128 ? mAscii.test(c.unicode()) : mBeyondAscii; }

    private:
        std::bitset<128> mAscii;
        bool mBeyondAscii = false;
    };
    static const CharacterSet& nonDigitSet();
    static const CharacterSet& nonBundleIDSet();
    static const CharacterSet& nonUTISet();

    // What the whole information dictionary tells the checks of its members.
    struct ValidationContext {
        // The top-level CFBundleIdentifier when it is a string, else null.
        const QString* bundleID = nullptr;
    };

    void validatePropertyListItem(const plist::Value& value, const plist::Value* rules, const QString& keyPath,
                                  const ValidationContext& context);
    void validateDictionary(const plist::Dictionary& dict, const plist::Value* rules, const QString& keyPath,
                            const ValidationContext& context);
    void validateArray(const std::vector<plist::Value>& array, const plist::Value* rules, const QString& keyPath,
                       const ValidationContext& context);
    void validateSingletonArray(const plist::Value& value, const plist::Value* rules, const QString& keyPath,
                                const ValidationContext& context);
    // otherMembers: the rule of the members keyRules does not name, or null.
    void checkValues(const plist::Dictionary& dict, const plist::Dictionary& keyRules, const plist::Value* otherMembers,
                     const QString& keyPath, const ValidationContext& context);
    bool validateAs(QStringView typeName, const plist::Value& value, const plist::Value* rules, const QString& keyPath,
                    const ValidationContext& context);

    // String contents.
    void validateString(const QString& value, const plist::Value* rules, const QString& keyPath);
    bool validateFourCharCode(const QString& value, const QString& keyPath);
    // A value outside the accepted ones: the nearest of them, and all of them when few.
    void reportBadEnumeratedValue(const QString& value, const std::vector<plist::Value>& accepted,
                                  const QString& keyPath);
    bool validateChar(const QString& value, const QString& keyPath);
    bool validateVersion(const QString& value, const QString& keyPath);
    bool validateHttpsURL(const QString& value, const QString& keyPath);
    bool validateEd25519Key(const QString& value, const QString& keyPath);
    bool validateBundleID(const QString& value, const QString& keyPath);
    bool validateUTI(const QString& value, const QString& keyPath);
    // The steps both take: foreign characters, then no full stop, then an empty part.
    bool validateDottedName(const QString& value, const QString& keyPath, const CharacterSet& forbidden,
                            report::FindingId badChar, report::FindingId noDot, report::FindingId emptyPart);
    void validateYN(const QString& value, const QString& keyPath);
    void validate01(const QString& value, const QString& keyPath);
    bool doesAStringOf(const QList<QStringView>& strings, const CharacterSet& set) const;

    // Missing keys.
    void checkForRecommendedKeysInDict(const plist::Dictionary& dict, const plist::Dictionary& ruleKeys,
                                       const KeyRulesSummary& summary, const QString& keyPath);

    // Unknown keys and near misses.
    void checkForUnexpectedKeysAmong(const std::vector<QString>& keys, const plist::Dictionary& keyRules,
                                     KeyRulesSummary& summary, const QString& keyPath);
    // The first rule key nearest to key's histogram when it is at most
    // kNearMissLimit away, or -1; remembered in the summary.
    static std::int32_t nearestRuleKey(KeyRulesSummary& summary, const QString& key);

    // One finding of the ID, with the catalogue's severity: about the value
    // under check (mPath), or with ...About about a member of the dictionary under check.
    template <typename... Args> void finding(report::FindingId id, const Args&... args);
    template <typename... Args> void findingAbout(const QString& member, report::FindingId id, const Args&... args);

    MessageLogger& mClient;
    KeyRulesCache mKeyRules;
    // The settings, as they were when the information dictionary's check began.
    bool mDeprecationNotes = true;
    bool mNoteUnknownKeys = true;
    bool mAllowBuildSettings = false;
    // The bundle under check's folder name, and the package type it calls for.
    QString mBundleName;
    std::optional<QString> mPackageType;
    // Containers entered so far on the way down; the information dictionary is 1.
    int mDepth = 0;
    // The key path of the value under check: each step of the walk gets it as
    // its keyPath, and a member or element extends it in place and cuts it
    // back after, so that values without findings cost no path of their own.
    QString mPath;
};

} // namespace check
