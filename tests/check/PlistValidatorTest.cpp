// The validator: whole checks from the case tables (key paths at depth, the
// order of findings, deprecated and vendor-reserved keys, type lists, missing,
// unknown and qualified keys), the nesting bound, the type dispatch and string
// contents.
#include "CaseRows.h"
#include "Support.h"

#include "platform/Bundle.h"
#include "plist/Parse.h"

#include <string_view>

namespace validator_test {
namespace {

using Walk = ValidatorTest;

// A value written as XML property-list text.
// A table of whole checks (tests/data/cases/validator-walks.tsv describes it).
void checkTable(const QString& name)
{
    plist::Value rules;
    for (const QStringList& row : caseRows(name)) {
        if (row[0] == "rules") {
            rules = D({{"keys", testsupport::parsedXml(row.value(1))}});
            continue;
        }
        ASSERT_EQ(row.size(), 3);
        SCOPED_TRACE(row.mid(0, 2).join(' ').toStdString());
        const QStringList settings = row[0].split(',', Qt::SkipEmptyParts);
        ValidatorTest::set(platform::NoteUnknownKeysKey, !settings.contains("no-unknown-notes"));
        ValidatorTest::set(platform::DeprecationNotesKey, !settings.contains("no-deprecation-notes"));
        ValidatorTest::set(platform::AllowBuildSettingsKey, settings.contains("build-settings"));
        const QString bundleName = settings.filter("bundle=").value(0).mid(7);
        const QString report = QString::fromUtf8(unescaped(row[2]));
        EXPECT_EQ(ValidatorTest::check(testsupport::parsedXml(row[1]), rules, bundleName),
                  report.isEmpty() ? report : report + '\n');
    }
}

TEST_F(Walk, Tables)
{
    checkTable("validator-walks.tsv");
}

TEST_F(Walk, OneValidatorFollowsTheSettingsFromCheckToCheck)
{
    const plist::Value rules = root(
        {{"Old", rule("boolean", {{"deprecated", S("x")}})}, {"Id", rule("string", {{"subtype", S("bundleID")}})}});
    const plist::Value info = D({{"Unrelated", I(1)}, {"Old", B(true)}, {"Id", S("$(ID)")}});
    Recorder recorder;
    check::PlistValidator validator(recorder);
    validator.validateInfoDict(info.toDictionary(), &rules);
    EXPECT_EQ(recorder.report, "[note] UnknownTopKey(Unrelated)\n[note] DeprecKey(Old||x)\n"
                               "[warning] BIDBadChar($(ID)|Id)\n");
    set(platform::NoteUnknownKeysKey, false);
    set(platform::DeprecationNotesKey, false);
    set(platform::AllowBuildSettingsKey, true);
    recorder.report.clear();
    validator.validateInfoDict(info.toDictionary(), &rules);
    EXPECT_EQ(recorder.report, "");
}

TEST_F(Walk, NestingIsBoundedByTheParsersLimit)
{
    // Arrays in arrays, or dictionaries in dictionaries, under "K" with rules
    // as deep; the innermost value is of the wrong type, so a complete walk
    // reports it at the deepest path.
    const auto walk = [](int levels, bool dictionaries) {
        plist::Value value = I(0), itemRule = rule("string");
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

using Dispatch = ValidatorTest;

TEST_F(Dispatch, EachTypeNameAcceptsItsKindsOnly)
{
    const plist::Value values[] = {D({}),
                                   A({}),
                                   S("x"),
                                   B(false),
                                   I(7),
                                   plist::Value(1.5),
                                   plist::Value::data("ab"),
                                   plist::Value(plist::Date{0})};
    // Per value above: '.' accepted, 'T' "BadType", 'Y' "NotYNBool", '0' "Not01Bool".
    const std::pair<const char*, const char*> rows[] = {
        {"dictionary", ".TTTTTTT"},  {"array", "T.TTTTTT"},       {"string", "TT.TTTTT"},  {"boolean", "TTT.TTTT"},
        {"booleanOrYN", "TTY.TTTT"}, {"booleanOr01", "TT0.TTTT"}, {"integer", "TTTT.TTT"}, {"float", "TTTTT.TT"},
        {"number", "TTTT..TT"},      {"data", "TTTTTT.T"},        {"date", "TTTTTTT."},    {"String", "TTTTTTTT"},
        {nullptr, "TTTTTTTT"},
    };
    for (const auto& [type, outcomes] : rows) {
        const QString typeText = type ? QString::fromLatin1(type) : QStringLiteral("(null)");
        const QString expected[] = {QString(), QStringLiteral("[error] BadType(K|%1)\n").arg(typeText),
                                    QStringLiteral("[error] NotYNBool(x|K)\n"),
                                    QStringLiteral("[error] Not01Bool(x|K)\n")};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(check(D({{"K", values[i]}}), root({{"K", type ? rule(type) : D({})}})),
                      expected[std::string_view(".TY0").find(outcomes[i])])
                << typeText.toStdString() << " / " << values[i].description().toStdString();
    }
}

TEST_F(Dispatch, WithoutUsableRulesNothingIsReported)
{
    const plist::Value info = D({{"CFBundleIdentifier", I(3)}, {"Other", S("")}});
    for (const plist::Value& rules : {plist::Value(), D({}), D({{"keys", S("x")}}), A({})})
        EXPECT_EQ(check(info, rules), QString()) << rules.description().toStdString();
    // Empty key rules know nothing, so every key is unknown and no near miss.
    EXPECT_EQ(check(info, root({})), "[note] UnknownTopKey(CFBundleIdentifier)\n[note] UnknownTopKey(Other)\n");
}

using Strings = ValidatorTest;

plist::Value sub(const char* subtype)
{
    return rule("string", {{"subtype", S(subtype)}});
}

TEST_F(Strings, FormatsValuesAndEmptiness)
{
    for (const QStringList& row : caseRows("string-values.tsv")) {
        ASSERT_EQ(row.size(), 3);
        const plist::Value memberRule =
            row[0].startsWith('<') ? testsupport::parsedXml(row[0]) : sub(row[0].toUtf8().constData());
        const QString& value = row[1];
        QString expected;
        if (!row[2].isEmpty())
            expected = QStringLiteral("%1(%2|K)\n").arg(row[2], value).replace("EmptyString(|K)", "EmptyString(K)");
        EXPECT_EQ(check(D({{"K", plist::Value(value)}}), root({{"K", memberRule}})), expected)
            << "'" << value.toStdString() << "' under " << row[0].toStdString();
    }
}

TEST_F(Strings, BuildSettingReferencesWhenAllowed)
{
    const QString finding[] = {"[warning] BIDBadChar(%1|K)\n", "[warning] BadVers(%1|K)\n"};
    for (const QStringList& row : caseRows("build-settings.tsv")) {
        ASSERT_EQ(row.size(), 3);
        const plist::Value rules = root({{"K", sub(row[1].toUtf8().constData())}});
        const QString strict = finding[row[1] == "version"].arg(row[0]);
        set(platform::AllowBuildSettingsKey, false);
        EXPECT_EQ(check(D({{"K", plist::Value(row[0])}}), rules), strict) << row[0].toStdString();
        set(platform::AllowBuildSettingsKey, true);
        EXPECT_EQ(check(D({{"K", plist::Value(row[0])}}), rules), row[2] == "skipped" ? QString() : strict)
            << row[0].toStdString();
    }
    const plist::Value id = sub("bundleID");
    // It holds for "values" and in nested dictionaries too, but not for the YES/NO strings.
    const plist::Value list = rule("array", {{"arrayitem", rule("dictionary", {{"keys", D({{"Id", id}})}})}});
    const plist::Value rules =
        root({{"L", list}, {"R", rule("string", {{"values", A({})}})}, {"Y", rule("booleanOrYN")}});
    EXPECT_EQ(check(D({{"L", A({D({{"Id", S("$(ID)")}})})}, {"R", S("$(R)")}, {"Y", S("$(Y)")}}), rules),
              "[error] NotYNBool($(Y)|Y)\n");
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
