// What the checks need of a rules dictionary's "keys", worked out once per
// rules dictionary and reused by every checked dictionary and file: the
// letter histograms of the rule keys (for near misses) and the keys that must
// or should be present.
#pragma once

#include "check/HistogramOfKey.h"
#include "plist/Value.h"

#include <QHash>

#include <optional>
#include <unordered_map>
#include <vector>

namespace check {

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

private:
    Mode mMode;
    // Held so that the summarized dictionaries stay alive: no other rules
    // tree can then reuse their addresses.
    std::optional<plist::Value> mRules;
    std::unordered_map<const plist::Dictionary*, KeyRulesSummary> mSummaries;
    KeyRulesSummary mFresh;
};

} // namespace check
