// The shipped rules against the reference of documented keys: every key it
// documents, at every level, is known at its documented place (the validator's
// table knows the architecture variants of kernel-extension keys as their base).
#include "Support.h"

#include "check/PlistValidator.h"
#include "plist/Parse.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// One step of a documented place: a named member, each element of an array,
// or a member keyed by a name the bundle chooses ("<domain>").
struct Step {
    enum Kind { Key, Item, Chosen } kind;
    QString name;
};

struct DocumentedKey {
    QString level; // as the reference writes it
    QList<Step> place;
};

using testsupport::readFile;

// The rows of the reference's key tables: "| `key` | level | type | ...".
QList<DocumentedKey> readReference()
{
    const QString text = QString::fromUtf8(
        readFile(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/reference/info-plist-keys.md")));
    static const QRegularExpression stepPattern(QStringLiteral(R"(<[^>]*>|\[\]|[^.\[\]<>]+)"));
    static const QRegularExpression note(QStringLiteral(R"(\s*\(.*\)$)"));
    QList<DocumentedKey> keys;
    for (const QString& line : text.section(QStringLiteral("## Values of closed lists"), 0, 0).split(u'\n')) {
        if (!line.startsWith(QStringLiteral("| `")))
            continue;
        const QStringList cells = line.mid(1).split(QStringLiteral(" | "));
        // "CFBundleTypeRole = QLGenerator" documents a value of the key.
        const QString key = cells[0].trimmed().remove(u'`').section(QStringLiteral(" = "), 0, 0);
        QString level = cells[1].trimmed().remove(u'`');
        level.remove(note);
        DocumentedKey documented{cells[1].trimmed(), {}};
        if (level == QStringLiteral("top")) {
            if (key.startsWith(u'<'))
                continue; // the pattern of architecture variants
            documented.place = {{Step::Key, key}};
            keys.append(documented);
            continue;
        }
        const bool chosen = key.startsWith(u'<');
        if (!chosen && !level.endsWith(key)) {
            ADD_FAILURE() << "the level does not end with its key: " << line.toStdString();
            continue;
        }
        const QString parent = chosen ? level.left(level.lastIndexOf(u'<')) : level.chopped(key.size());
        auto it = stepPattern.globalMatch(parent);
        while (it.hasNext()) {
            const QString token = it.next().captured();
            documented.place.append(token == QStringLiteral("[]") ? Step{Step::Item, {}}
                                    : token.startsWith(u'<')      ? Step{Step::Chosen, {}}
                                                                  : Step{Step::Key, token});
        }
        documented.place.append(chosen ? Step{Step::Chosen, {}} : Step{Step::Key, key});
        keys.append(documented);
    }
    return keys;
}

const plist::Value* field(const plist::Value* rule, const char* name)
{
    if (!rule || !rule->isDictionary())
        return nullptr;
    return rule->toDictionary().find(QString::fromLatin1(name));
}

// Whether the rules know the rest of a place below rule, as the validator walks it.
bool knows(const plist::Value* rule, QList<Step> place)
{
    if (place.isEmpty())
        return rule && rule->isDictionary();
    const Step step = place.takeFirst();
    const plist::Value* keys = field(rule, "keys");
    const plist::Value* members = field(rule, "memberrule");
    const plist::Value* item = field(rule, "arrayitem");
    if (step.kind == Step::Item)
        return knows(item, place);
    // A lone dictionary may stand for a one-element array of dictionaries.
    if (!keys && !members && item)
        return knows(item, QList<Step>{step} + place);
    if (step.kind == Step::Chosen) {
        if (members)
            return knows(members, place);
        // Chosen among the names the rules list: each of them must know the rest.
        if (!keys || !keys->isDictionary() || keys->toDictionary().isEmpty())
            return false;
        for (int i = 0; i < keys->toDictionary().size(); ++i)
            if (!knows(&keys->toDictionary().valueAt(i), place))
                return false;
        return true;
    }
    const plist::Value* member =
        keys && keys->isDictionary() ? check::PlistValidator::memberRuleOf(keys->toDictionary(), step.name) : nullptr;
    return knows(member ? member : members, place);
}

TEST(RulesReference, EveryDocumentedKeyIsKnownAtItsPlace)
{
    const plist::Value rules = testsupport::readPlist(testsupport::sourceFile("resources/rules.plist"));
    const QList<DocumentedKey> documented = readReference();
    // The reference holds 635 rows; one is the pattern of architecture variants.
    EXPECT_EQ(documented.size(), 634);
    for (const DocumentedKey& key : documented)
        EXPECT_TRUE(knows(&rules, key.place)) << key.level.toStdString();
}

} // namespace
