// The shipped rules (resources/rules.plist) through the real validator:
// correct bundles of every kind draw no error or warning, wrong ones draw
// the finding that names their fault, and the file keeps to its own format.
#include "CaseRows.h"
#include "Support.h"
#include "plist/Parse.h"

#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

namespace rules_test {
namespace {

using testsupport::readPlist;
using testsupport::sourceFile;
using validator_test::D;
using validator_test::Recorder;
using validator_test::S;

// The validator tests' strings table (each message as its key and
// arguments) and settings, with the shipped rules.
class Rules : public validator_test::ValidatorTest {
protected:
    static void SetUpTestSuite()
    {
        ValidatorTest::SetUpTestSuite();
        sRules = readPlist(sourceFile("resources/rules.plist"));
    }

    // The report as lines; a deprecation note loses its text, which the
    // structure test checks once for all keys.
    static QStringList findings(const plist::Value& info)
    {
        static const QRegularExpression deprecText(QStringLiteral(R"(^(\[note\] DeprecKey\([^|]*\|[^|]*)\|.*\)$)"));
        Recorder recorder;
        check::PlistValidator validator(recorder);
        validator.validateInfoDict(info.toDictionary(), &sRules);
        QStringList lines = recorder.report.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (QString& line : lines)
            line.replace(deprecText, QStringLiteral("\\1)"));
        return lines;
    }

    static QStringList findingsOfFile(const QString& relative) { return findings(readPlist(sourceFile(relative))); }

    static inline plist::Value sRules;
};

// Every rule, at every depth, as the validator reads it: a field that is
// misspelt, misplaced or of the wrong kind silently changes what is checked.
void checkRule(const plist::Value& rule, const QString& where, bool isMember)
{
    // "type:NAME", "subtype:NAME", "field:NAME": the row of tests/data/cases/check-rule-fields.tsv.
    static const QHash<QString, QStringList> known = [] {
        QHash<QString, QStringList> known;
        for (const QStringList& row : caseRows("check-rule-fields.tsv"))
            known.insert(row[0] + ':' + row[1], row);
        return known;
    }();
    const std::string at = where.toStdString();
    ASSERT_TRUE(rule.isDictionary()) << at;
    const plist::Dictionary& dict = rule.toDictionary();
    const plist::Value* type = dict.find(QStringLiteral("type"));
    ASSERT_NE(type, nullptr) << at;
    // One type name, or a list of two or more different ones.
    QSet<QString> ruleTypes;
    if (type->isString()) {
        ruleTypes.insert(type->toString());
    } else {
        ASSERT_TRUE(type->isArray() && type->toArray().size() >= 2) << at;
        for (const plist::Value& name : type->toArray()) {
            ASSERT_TRUE(name.isString()) << at;
            EXPECT_FALSE(ruleTypes.contains(name.toString())) << at;
            ruleTypes.insert(name.toString());
        }
    }
    for (const QString& t : ruleTypes)
        EXPECT_TRUE(known.contains("type:" + t)) << at << ": unknown type " << t.toStdString();

    for (const QString& field : dict.keys()) {
        const plist::Value& value = *dict.find(field);
        const QStringList row = known.value("field:" + field);
        ASSERT_EQ(row.size(), 5) << at << ": unknown field " << field.toStdString();
        EXPECT_TRUE(row[2].isEmpty() || ruleTypes.contains(row[2]))
            << at << ": " << field.toStdString() << " needs the type " << row[2].toStdString();
        EXPECT_TRUE(isMember || row[3] != "member")
            << at << ": " << field.toStdString() << " has no effect in an item rule";
        EXPECT_TRUE(row[4] != "flag" || (value.isBoolean() && value.toBool())) << at << ": " << field.toStdString();
        EXPECT_TRUE(row[4] != "sentence" || (value.isString() && value.toString().endsWith(QLatin1Char('.')))) << at;
    }
    if (const plist::Value* keys = dict.find(QStringLiteral("keys"))) {
        ASSERT_TRUE(keys->isDictionary()) << at;
        const plist::Dictionary& members = keys->toDictionary();
        for (int i = 0; i < members.size(); ++i) {
            // Sorted, so that a reviewer finds a key and a duplicate stands out.
            EXPECT_TRUE(i == 0 || members.keyAt(i - 1) < members.keyAt(i))
                << at << ": " << members.keyAt(i).toStdString();
            checkRule(members.valueAt(i), plist::memberKeyPath(where, members.keyAt(i)), true);
        }
    }
    if (const plist::Value* members = dict.find(QStringLiteral("memberrule")))
        checkRule(*members, plist::memberKeyPath(where, QStringLiteral("<member>")), true);
    if (ruleTypes.contains("array")) {
        const plist::Value* item = dict.find(QStringLiteral("arrayitem"));
        ASSERT_NE(item, nullptr) << at << ": an array rule without arrayitem rejects every element";
        checkRule(*item, where + QStringLiteral("[]"), false);
    }
    const plist::Value* subtype = dict.find(QStringLiteral("subtype"));
    EXPECT_TRUE(!subtype || (subtype->isString() && known.contains("subtype:" + subtype->toString()))) << at;
    if (const plist::Value* values = dict.find(QStringLiteral("values"))) {
        ASSERT_TRUE(values->isArray()) << at;
        EXPECT_FALSE(values->toArray().empty()) << at;
        for (const plist::Value& v : values->toArray())
            EXPECT_TRUE(v.isString() && !v.toString().isEmpty()) << at;
    }
}

TEST_F(Rules, FileKeepsToTheRuleFormat)
{
    ASSERT_TRUE(sRules.isDictionary());
    const plist::Value* keys = sRules.toDictionary().find(QStringLiteral("keys"));
    ASSERT_TRUE(keys && keys->isDictionary());
    EXPECT_GT(keys->toDictionary().size(), 150);
    checkRule(plist::Value(D({{"type", S("dictionary")}, {"keys", *keys}})), QString(), true);
}

// Whole files: correct bundles of every kind draw no error or warning (the
// notes they draw are true: deprecated keys), wrong ones one finding per
// fault, and a source file's references are clean only while allowed.
TEST_F(Rules, FilesDrawTheirFindings)
{
    const std::vector<QStringList> files = caseRows("rules-files.tsv");
    EXPECT_GE(files.size(), 12u);
    for (const QStringList& row : files) {
        ASSERT_EQ(row.size(), 3);
        set(platform::AllowBuildSettingsKey, row[1] == "on");
        EXPECT_EQ(findingsOfFile(row[0]).join(QLatin1Char('\n')), QString::fromUtf8(unescaped(row[2])))
            << row.mid(0, 2).join(' ').toStdString();
    }
}

// One key at a time, on top of a minimal correct bundle: the kind, format and
// accepted values that the documentation gives.
TEST_F(Rules, KeysDrawTheDocumentedFinding)
{
    for (const QStringList& row : caseRows("rules-keys.tsv")) {
        ASSERT_EQ(row.size(), 3);
        SCOPED_TRACE(row.join(' ').toStdString());
        plist::Dictionary info = D({{"CFBundleIdentifier", S("com.example.app")},
                                    {"CFBundleInfoDictionaryVersion", S("6.0")},
                                    {"CFBundlePackageType", S("APPL")},
                                    {"CFBundleVersion", S("1")}})
                                     .toDictionary();
        info.insert(row[0], testsupport::parsedXml(row[1]));
        EXPECT_EQ(findings(plist::Value::dictionary(info)), row[2].isEmpty() ? QStringList() : QStringList{row[2]});
    }
}

} // namespace
} // namespace rules_test
