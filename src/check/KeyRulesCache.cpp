#include "check/KeyRulesCache.h"

namespace check {

namespace {

const QString kRequired = QStringLiteral("required");
const QString kRecommended = QStringLiteral("recommended");
const QString kBuildSupplied = QStringLiteral("buildsupplied");

// A flag of a member rule: true only when it is a boolean true.
bool memberFlag(const plist::Dictionary& fields, const QString& name)
{
    const plist::Value* flag = fields.find(name);
    return flag && flag->isBoolean() && flag->toBool();
}

} // namespace

KeyRulesSummary summarizeKeyRules(const plist::Dictionary& keyRules)
{
    KeyRulesSummary summary;
    summary.histograms.reserve(static_cast<std::size_t>(keyRules.size()));
    summary.lengths.reserve(static_cast<std::size_t>(keyRules.size()));
    for (int i = 0; i < keyRules.size(); ++i) {
        summary.histograms.push_back(HistogramOfKey(keyRules.keyAt(i)));
        summary.lengths.push_back(keyRules.keyAt(i).size());
        const plist::Value& rule = keyRules.valueAt(i);
        if (!rule.isDictionary())
            continue;
        const bool buildSupplied = memberFlag(rule.toDictionary(), kBuildSupplied);
        if (memberFlag(rule.toDictionary(), kRequired))
            summary.expected.push_back({i, true, buildSupplied});
        else if (memberFlag(rule.toDictionary(), kRecommended))
            summary.expected.push_back({i, false, buildSupplied});
    }
    return summary;
}

void KeyRulesCache::useRules(const plist::Value* rules)
{
    const bool same = rules && mRules && rules->isDictionary() && mRules->isDictionary() &&
                      &rules->toDictionary() == &mRules->toDictionary();
    if (same)
        return;
    mSummaries.clear();
    if (rules)
        mRules = *rules;
    else
        mRules.reset();
}

KeyRulesSummary& KeyRulesCache::summaryOf(const plist::Dictionary& keyRules)
{
    if (mMode == Mode::PerCall) {
        mFresh = summarizeKeyRules(keyRules);
        return mFresh;
    }
    auto found = mSummaries.find(&keyRules);
    if (found == mSummaries.end())
        found = mSummaries.emplace(&keyRules, summarizeKeyRules(keyRules)).first;
    return found->second;
}

} // namespace check
