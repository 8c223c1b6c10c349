#include "check/KeyRulesCache.h"

namespace check {

namespace {

// Field names, made once: every lookup needs a QString.
const QString kRequired = QStringLiteral("required");
const QString kRecommended = QStringLiteral("recommended");
const QString kBuildSupplied = QStringLiteral("buildsupplied");
const QString kKeys = QStringLiteral("keys");
const QString kType = QStringLiteral("type");
const QString kArrayItem = QStringLiteral("arrayitem");
const QString kAllowSingle = QStringLiteral("allowsingle");
const QString kSubtype = QStringLiteral("subtype");
const QString kValues = QStringLiteral("values");
const QString kAllowEmpty = QStringLiteral("allowempty");
const QString kDeprecated = QStringLiteral("deprecated");
const QString kApple = QStringLiteral("apple");
const QString kMemberRule = QStringLiteral("memberrule");

// The field of the given kind (any kind when none is given), or null.
const plist::Value* field(const plist::Dictionary& fields, const QString& name,
                          std::optional<plist::Kind> kind = std::nullopt)
{
    const plist::Value* value = fields.find(name);
    return value && (!kind || value->kind() == *kind) ? value : nullptr;
}

// A flag: true only when it is a boolean true.
bool memberFlag(const plist::Dictionary& fields, const QString& name)
{
    const plist::Value* flag = field(fields, name, plist::Kind::Boolean);
    return flag && flag->toBool();
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

RuleFields readRuleFields(const plist::Value* rule)
{
    RuleFields fields;
    if (!rule || !rule->isDictionary())
        return fields;
    const plist::Dictionary& dict = rule->toDictionary();
    fields.type = field(dict, kType);
    static constexpr std::u16string_view kTypeNames[RuleFields::kKnownTypes] = {
        u"dictionary", u"array", u"string", u"boolean", u"booleanOrYN", u"booleanOr01",
        u"integer",    u"float", u"number", u"data",    u"date"};
    const auto addType = [&fields](const plist::Value& name) {
        if (!name.isString())
            return;
        const QStringView view(name.toString());
        const auto end = fields.knownTypes.begin() + fields.knownTypeCount;
        if (std::find(std::begin(kTypeNames), std::end(kTypeNames), view) != std::end(kTypeNames) &&
            std::find(fields.knownTypes.begin(), end, view) == end)
            fields.knownTypes[static_cast<std::size_t>(fields.knownTypeCount++)] = view;
    };
    if (fields.type && fields.type->isArray()) {
        for (const plist::Value& name : fields.type->toArray())
            if (fields.knownTypeCount < RuleFields::kKnownTypes)
                addType(name);
    } else if (fields.type) {
        addType(*fields.type);
    }
    fields.allowSingle = memberFlag(dict, kAllowSingle);
    fields.arrayItem = field(dict, kArrayItem, plist::Kind::Dictionary);
    if (const plist::Value* subtype = field(dict, kSubtype, plist::Kind::String))
        fields.subtype = &subtype->toString();
    if (const plist::Value* values = field(dict, kValues, plist::Kind::Array))
        fields.values = &values->toArray();
    fields.allowEmpty = memberFlag(dict, kAllowEmpty);
    fields.deprecated = field(dict, kDeprecated);
    fields.apple = memberFlag(dict, kApple);
    fields.required = memberFlag(dict, kRequired);
    fields.recommended = memberFlag(dict, kRecommended);
    if (const plist::Value* keys = field(dict, kKeys, plist::Kind::Dictionary))
        fields.keys = &keys->toDictionary();
    fields.memberRule = field(dict, kMemberRule, plist::Kind::Dictionary);
    return fields;
}

void KeyRulesCache::useRules(const plist::Value* rules)
{
    const bool same = rules && mRules && rules->isDictionary() && mRules->isDictionary() &&
                      &rules->toDictionary() == &mRules->toDictionary();
    if (same)
        return;
    mSummaries.clear();
    mFields.clear();
    mLastRule = nullptr;
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

RuleFields KeyRulesCache::fieldsOf(const plist::Value* rule)
{
    if (mMode == Mode::PerCall || !rule || !rule->isDictionary())
        return readRuleFields(rule);
    if (rule != mLastRule) {
        const plist::Dictionary* dict = &rule->toDictionary();
        auto found = mFields.find(dict);
        if (found == mFields.end())
            found = mFields.emplace(dict, readRuleFields(rule)).first;
        mLastRule = rule;
        mLastFields = found->second;
    }
    return mLastFields;
}

} // namespace check
