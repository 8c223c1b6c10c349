// The validator: whole checks from the case tables (key paths at depth, the
// order of findings, deprecated and vendor-reserved keys, type lists, missing,
// unknown and qualified keys), the nesting bound, the type dispatch and string
// contents.
#include "CaseRows.h"
#include "Support.h"

#include "platform/Bundle.h"
#include "plist/Parse.h"

namespace validator_test {
namespace {

using Walk = ValidatorTest;

// A table of whole checks (tests/data/cases/validator-walks.tsv describes it), by
// one validator that reads the settings afresh for each check.
void checkTable(const QString& name)
{
    plist::Value rules;
    Recorder recorder;
    check::PlistValidator validator(recorder);
    for (const QStringList& row : caseRows(name)) {
        if (row[0] == "rules" || row[0] == "whole-rules") {
            rules = row[0] == "rules"        ? D({{"keys", testsupport::parsedXml(row.value(1))}})
                    : row.value(1).isEmpty() ? plist::Value()
                                             : testsupport::parsedXml(row[1]);
            continue;
        }
        ASSERT_EQ(row.size(), 3);
        SCOPED_TRACE(row.mid(0, 2).join(' ').toStdString());
        const QStringList settings = row[0].split(',', Qt::SkipEmptyParts);
        ValidatorTest::set(platform::NoteUnknownKeysKey, !settings.contains("no-unknown-notes"));
        ValidatorTest::set(platform::DeprecationNotesKey, !settings.contains("no-deprecation-notes"));
        ValidatorTest::set(platform::AllowBuildSettingsKey, settings.contains("build-settings"));
        const QString report = QString::fromUtf8(unescaped(row[2]));
        recorder.report.clear();
        validator.validateInfoDict(testsupport::parsedXml(row[1]).toDictionary(), rules.isNull() ? nullptr : &rules,
                                   settings.filter("bundle=").value(0).mid(7));
        EXPECT_EQ(recorder.report, report.isEmpty() ? report : report + '\n');
    }
}

TEST_F(Walk, Tables)
{
    checkTable("validator-walks.tsv");
}

TEST_F(Walk, NestingIsBoundedByTheParsersLimit)
{
    // Arrays in arrays, or dictionaries in dictionaries, under "K" with rules
    // as deep; the innermost value is of the wrong type, so a complete walk
    // reports it at the deepest path.
    const auto walk = [](int levels, bool dictionaries) {
        plist::Value value = plist::Value::integer(0), itemRule = rule("string");
        QStringList path = {"K"};
        for (int i = 0; i < levels; ++i) {
            value = dictionaries ? D({{"d", value}}) : A({value});
            itemRule = dictionaries ? rule("dictionary", {{"keys", D({{"d", itemRule}})}})
                                    : rule("array", {{"arrayitem", itemRule}});
            path << (dictionaries ? ".d" : "[0]");
        }
        return std::pair(check(D({{"K", value}}), root({{"K", itemRule}})), path);
    };
    for (bool dictionaries : {false, true}) {
        // The information dictionary and the nested ones together as deep as a parser accepts.
        const auto [deepest, fullPath] = walk(plist::kMaxNestingDepth - 1, dictionaries);
        EXPECT_EQ(deepest, QStringLiteral("[error] BadType(%1|string)\n").arg(fullPath.join("")));
        auto [tooDeep, path] = walk(plist::kMaxNestingDepth, dictionaries);
        path.removeLast();
        EXPECT_EQ(tooDeep, QStringLiteral("[error] NestingTooDeep(%1)\n").arg(path.join("")));
        EXPECT_TRUE(walk(5000, dictionaries).first.startsWith("[error] NestingTooDeep(K")) << dictionaries;
    }
}

using Strings = ValidatorTest;

TEST_F(Strings, FormatsValuesAndEmptiness)
{
    for (const QStringList& row : caseRows("string-values.tsv")) {
        ASSERT_GE(row.size(), 3);
        const plist::Value memberRule = row[0].startsWith('<') ? testsupport::parsedXml(row[0])
                                                               : rule("string", {{"subtype", plist::Value(row[0])}});
        const QString expected =
            row[2].isEmpty()
                ? QString()
                : QStringLiteral("%1(%2|K)\n").arg(row[2], row[1]).replace("EmptyString(|K)", "EmptyString(K)");
        set(platform::AllowBuildSettingsKey, row.value(3) == "build-settings");
        EXPECT_EQ(check(D({{"K", plist::Value(row[1])}}), root({{"K", memberRule}})), expected)
            << "'" << row[1].toStdString() << "' under " << row[0].toStdString() << " " << row.value(3).toStdString();
    }
}

// The messages that go on to the fix, in the words of the built-in strings table.
class Messages : public ValidatorTest {
public:
    static void SetUpTestSuite()
    {
        ValidatorTest::SetUpTestSuite();
        platform::Bundle::main().setStringsFile(QString());
    }
};

TEST_F(Messages, Tables)
{
    checkTable("validator-messages.tsv");
}

} // namespace
} // namespace validator_test
