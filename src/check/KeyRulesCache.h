// What the checks need of the rules, worked out once and reused by every
// checked dictionary and file: the fields of each rule, and of each rules
// dictionary's "keys" the letter histograms of the rule keys (for near
// misses) and the keys that must or should be present. Rule fields are read
// here and nowhere else.
#pragma once

#include "check/HistogramOfKey.h"
#include "plist/Value.h"

#include <QHash>
#include <QStringView>

#include <array>
#include <optional>
#include <unordered_map>
#include <vector>

namespace check {

// The fields of one rule as the checks take them. A field of the wrong kind
// (a "type" that is no string or array, "keys" that are no dictionary, a
// flag that is no boolean, ...) counts as absent, and so does every field of
// a rule that is null or no dictionary.
struct RuleFields {
    const plist::Value* type = nullptr; // a string, or an array of names
    // Of those names, the ones of types the checks know, each once, in the
    // order given: another name takes no value, and a list may be long.
    static constexpr int kKnownTypes = 11;
    std::array<QStringView, kKnownTypes> knownTypes{};
    int knownTypeCount = 0;
    bool allowSingle = false;
    const plist::Value* arrayItem = nullptr; // a dictionary
    const QString* subtype = nullptr;
    const std::vector<plist::Value>* values = nullptr;
    bool allowEmpty = false;
    const plist::Value* deprecated = nullptr; // of any kind
    bool apple = false;
    bool required = false;
    bool recommended = false;
    const plist::Dictionary* keys = nullptr;
    const plist::Value* memberRule = nullptr; // a dictionary
};

RuleFields readRuleFields(const plist::Value* rule);

struct KeyRulesSummary {
    // A key that must (required) or else should (recommended) be present.
    struct Expected {
        int index; // in the rule keys
        bool required;
        bool buildSupplied; // the build adds it to a source Info.plist
    };
    std::vector<KeyHistogram> histograms; // one per rule key, in the rules' order
    std::vector<qsizetype> lengths;       // of each rule key, in UTF-16 code units
    std::vector<Expected> expected;       // in the rules' order
    // The near-miss search's answers so far, by unknown key (-1: none near).
    // The same unknown keys come back file after file; emptied when full.
    QHash<QString, std::int32_t> nearestRuleKeys;
    static constexpr qsizetype kMostRemembered = 4096;
};

KeyRulesSummary summarizeKeyRules(const plist::Dictionary& keyRules);

class KeyRulesCache {
public:
    // PerCall works each summary out afresh on every request, as a reference
    // to compare the reused ones with.
    enum class Mode { Reuse, PerCall };
    explicit KeyRulesCache(Mode mode = Mode::Reuse) : mMode(mode) {}

    // Keeps the summaries while rules is the tree they were made from, and
    // forgets them when it is another.
    void useRules(const plist::Value* rules);
    // keyRules must belong to the rules last given to useRules. The reference
    // stays valid until the next call.
    KeyRulesSummary& summaryOf(const plist::Dictionary& keyRules);
    // rule must be null or belong to the rules last given to useRules.
    RuleFields fieldsOf(const plist::Value* rule);

private:
    Mode mMode;
    // Held so that the summarized dictionaries stay alive: no other rules
    // tree can then reuse their addresses.
    std::optional<plist::Value> mRules;
    std::unordered_map<const plist::Dictionary*, KeyRulesSummary> mSummaries;
    KeyRulesSummary mFresh;
    std::unordered_map<const plist::Dictionary*, RuleFields> mFields;
    // A value's rule is asked for several times in a row: the last answer.
    const plist::Value* mLastRule = nullptr;
    RuleFields mLastFields;
};

} // namespace check
