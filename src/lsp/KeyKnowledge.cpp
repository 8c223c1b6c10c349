#include "lsp/KeyKnowledge.h"

#include "check/KeyRulesCache.h"
#include "check/PlistValidator.h"
#include "report/FindingCatalogue.h"

#include <vector>

namespace lsp {

namespace {

// The protocol's CompletionItemKind values used here.
constexpr int kPropertyItem = 10;
constexpr int kEnumMemberItem = 20;
constexpr int kMarkdown = 1;

QStringView tagName(QStringView tag)
{
    qsizetype end = 0;
    while (end < tag.size() && !tag[end].isSpace() && tag[end] != u'/')
        ++end;
    return tag.left(end);
}

// The end of an element's text on its line: the next tag or line end.
qsizetype textEndFrom(QStringView text, qsizetype from)
{
    qsizetype end = from;
    while (end < text.size() && text[end] != u'<' && text[end] != u'\n' && text[end] != u'\r')
        ++end;
    return end;
}

QString subtypeText(const QString& subtype)
{
    static const QHash<QString, QString> words{
        {QStringLiteral("FourCharCode"), QStringLiteral("four-character code")},
        {QStringLiteral("version"), QStringLiteral("dotted version")},
        {QStringLiteral("bundleID"), QStringLiteral("bundle identifier")},
        {QStringLiteral("UTI"), QStringLiteral("uniform type identifier")},
        {QStringLiteral("char"), QStringLiteral("one character")},
        {QStringLiteral("httpsURL"), QStringLiteral("https URL")},
        {QStringLiteral("ed25519Key"), QStringLiteral("Ed25519 public key")},
    };
    return words.value(subtype, subtype);
}

QString typeNameText(QStringView name)
{
    if (name == u"booleanOrYN")
        return QStringLiteral("boolean or the string YES or NO");
    if (name == u"booleanOr01")
        return QStringLiteral("boolean or the string 1 or 0");
    return name.toString();
}

QString catalogueLine(const QString& page, report::FindingId id)
{
    return QStringLiteral("[%1](%2): %3")
        .arg(report::nameText(id), report::helpUri(page, id), QString::fromUtf8(report::entryOf(id).title));
}

} // namespace

XmlContext xmlContextAt(QStringView text, qsizetype offset)
{
    struct Frame {
        bool dictionary;
        QString lastKey;
    };
    std::vector<Frame> frames;
    QStringList containers;
    offset = std::clamp<qsizetype>(offset, 0, text.size());
    qsizetype at = 0;
    while (at < offset) {
        const qsizetype open = text.indexOf(u'<', at);
        if (open < 0 || open >= offset)
            break;
        const QStringView rest = text.mid(open);
        if (rest.startsWith(u"<!--")) {
            const qsizetype end = text.indexOf(u"-->", open + 4);
            if (end < 0 || end + 3 > offset)
                return {}; // in a comment
            at = end + 3;
            continue;
        }
        const qsizetype close = text.indexOf(u'>', open);
        if (close < 0 || close >= offset)
            return {}; // in a tag
        at = close + 1;
        const QStringView tag = text.mid(open + 1, close - open - 1).trimmed();
        if (tag.startsWith(u'?') || tag.startsWith(u'!') || tag.endsWith(u'/'))
            continue;
        if (tag.startsWith(u'/')) {
            const QStringView name = tagName(tag.mid(1));
            if ((name == u"dict" || name == u"array") && !frames.empty()) {
                frames.pop_back();
                if (!containers.isEmpty() && containers.size() >= static_cast<qsizetype>(frames.size()))
                    containers.removeLast();
            }
            continue;
        }
        const QStringView name = tagName(tag);
        if (name == u"dict" || name == u"array") {
            if (!frames.empty())
                containers.append(frames.back().dictionary ? frames.back().lastKey : kArrayElement);
            frames.push_back({name == u"dict", QString()});
            continue;
        }
        if (name != u"key" && name != u"string")
            continue;
        const qsizetype textStart = close + 1;
        const qsizetype nextTag = text.indexOf(u'<', textStart);
        if (nextTag >= 0 && nextTag < offset) {
            if (name == u"key" && !frames.empty())
                frames.back().lastKey = text.mid(textStart, nextTag - textStart).toString();
            at = nextTag;
            continue;
        }
        // The place is in this element's text.
        if (frames.empty())
            return {};
        XmlContext context;
        context.containers = containers;
        context.textStart = textStart;
        context.textEnd = textEndFrom(text, textStart);
        if (name == u"key") {
            context.kind = XmlContext::Kind::KeyText;
            context.key = text.mid(textStart, context.textEnd - textStart).toString();
        } else {
            context.kind = XmlContext::Kind::StringText;
            if (frames.back().dictionary)
                context.key = frames.back().lastKey;
            else
                context.containers.append(kArrayElement);
        }
        return context;
    }
    return {};
}

KeyKnowledge::KeyKnowledge(const plist::Value* rules, QString findingsPage)
    : mRules(rules), mFindingsPage(std::move(findingsPage))
{
}

const plist::Value* KeyKnowledge::memberRule(const plist::Value* container, const QString& key)
{
    const check::RuleFields fields = check::readRuleFields(container);
    if (key == kArrayElement)
        return fields.arrayItem;
    if (fields.keys)
        if (const plist::Value* rule = check::PlistValidator::memberRuleOf(*fields.keys, key))
            return rule;
    return fields.memberRule;
}

const plist::Value* KeyKnowledge::containerRule(const QStringList& containers) const
{
    const plist::Value* rule = mRules;
    for (const QString& key : containers) {
        if (!rule)
            return nullptr;
        rule = memberRule(rule, key);
    }
    return rule;
}

QString KeyKnowledge::typeText(const plist::Value* rule)
{
    const check::RuleFields fields = check::readRuleFields(rule);
    QStringList names;
    for (int i = 0; i < fields.knownTypeCount; ++i)
        names.append(typeNameText(fields.knownTypes[static_cast<std::size_t>(i)]));
    QString text = names.isEmpty() ? QStringLiteral("any value") : names.join(QLatin1String(" or "));
    if (fields.subtype)
        text += QStringLiteral(" (%1)").arg(subtypeText(*fields.subtype));
    if (fields.arrayItem && fields.knownTypeCount > 0)
        text += QStringLiteral(" of %1").arg(typeText(fields.arrayItem));
    return text;
}

// One line: required or not, deprecated, vendor-only, the values.
QString KeyKnowledge::summary(const plist::Value* rule) const
{
    const check::RuleFields fields = check::readRuleFields(rule);
    QStringList parts;
    if (fields.required)
        parts << QStringLiteral("Required");
    else if (fields.recommended)
        parts << QStringLiteral("Recommended");
    if (fields.deprecated)
        parts << QStringLiteral("Deprecated");
    if (fields.apple)
        parts << QStringLiteral("Reserved for Apple's own bundles");
    if (fields.values) {
        QStringList values;
        for (const plist::Value& value : *fields.values)
            if (value.isString())
                values << value.toString();
        parts << QStringLiteral("One of: %1").arg(values.join(QLatin1String(", ")));
    }
    return parts.isEmpty() ? QStringLiteral("Optional.") : parts.join(QLatin1String(". ")) + QLatin1Char('.');
}

QJsonArray KeyKnowledge::completion(const QString& text, qsizetype offset,
                                    const std::function<QJsonObject(qsizetype)>& placeOf) const
{
    const XmlContext context = xmlContextAt(text, offset);
    QJsonArray items;
    if (context.kind == XmlContext::Kind::Other)
        return items;
    const QJsonObject range{{QStringLiteral("start"), placeOf(context.textStart)},
                            {QStringLiteral("end"), placeOf(context.textEnd)}};
    const plist::Value* container = containerRule(context.containers);
    if (context.kind == XmlContext::Kind::KeyText) {
        const check::RuleFields fields = check::readRuleFields(container);
        if (!fields.keys)
            return items;
        for (int i = 0; i < fields.keys->size(); ++i) {
            const QString& key = fields.keys->keyAt(i);
            const plist::Value* rule = &fields.keys->valueAt(i);
            items.append(QJsonObject{
                {QStringLiteral("label"), key},
                {QStringLiteral("kind"), kPropertyItem},
                {QStringLiteral("detail"), typeText(rule)},
                {QStringLiteral("documentation"), summary(rule)},
                {QStringLiteral("textEdit"),
                 QJsonObject{{QStringLiteral("range"), range}, {QStringLiteral("newText"), key}}},
            });
        }
        return items;
    }
    const plist::Value* rule = context.key.isEmpty() ? container : memberRule(container, context.key);
    const check::RuleFields fields = check::readRuleFields(rule);
    if (!fields.values)
        return items;
    for (const plist::Value& value : *fields.values) {
        if (!value.isString())
            continue;
        items.append(QJsonObject{
            {QStringLiteral("label"), value.toString()},
            {QStringLiteral("kind"), kEnumMemberItem},
            {QStringLiteral("textEdit"),
             QJsonObject{{QStringLiteral("range"), range}, {QStringLiteral("newText"), value.toString()}}},
        });
    }
    return items;
}

std::optional<QString> KeyKnowledge::hover(const QString& text, qsizetype offset) const
{
    const XmlContext context = xmlContextAt(text, offset);
    if (context.kind != XmlContext::Kind::KeyText || context.key.isEmpty())
        return std::nullopt;
    const plist::Value* container = containerRule(context.containers);
    const plist::Value* rule = container ? memberRule(container, context.key) : nullptr;
    if (!rule)
        return QStringLiteral("**%1**: a key the rules do not know here.").arg(context.key);
    const check::RuleFields fields = check::readRuleFields(rule);
    QStringList lines{QStringLiteral("**%1**: %2").arg(context.key, typeText(rule)), summary(rule)};
    if (fields.deprecated) {
        if (fields.deprecated->isString())
            lines << fields.deprecated->toString();
        lines << catalogueLine(mFindingsPage, report::FindingId::DeprecKey);
    }
    if (fields.apple)
        lines << catalogueLine(mFindingsPage, report::FindingId::AppleKey);
    if (fields.keys)
        lines << QStringLiteral("Holds a dictionary of %1 known keys.").arg(fields.keys->size());
    return lines.join(QLatin1String("\n\n"));
}

} // namespace lsp
