// What is worked out once from the rules (the summaries, each rule's fields,
// the near misses found), reused across dictionaries and files, must give the
// same report as when it is worked out afresh for every dictionary.
#include "check/KeyRulesCache.h"
#include "Support.h"
#include "plist/Parse.h"

#include <QDir>

namespace {

using namespace validator_test;

class KeyRulesCacheTest : public ValidatorTest {};

TEST_F(KeyRulesCacheTest, RealCorpusReportsAsWithSummariesPerCall)
{
    const QDir corpus(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/real"));
    const QStringList names = corpus.entryList({QStringLiteral("*.plist"), QStringLiteral("*.in")}, QDir::Files);
    ASSERT_GT(names.size(), 140) << "no real corpus at " << corpus.path().toStdString();
    const plist::Value rules = testsupport::readPlist(testsupport::sourceFile("resources/rules.plist"));
    ASSERT_TRUE(rules.isDictionary());

    // One validator for the whole corpus, so that later files meet summaries
    // made for earlier ones.
    Recorder reused, perCall;
    check::PlistValidator reusing(reused);
    check::PlistValidator fresh(perCall, check::KeyRulesCache::Mode::PerCall);
    int checked = 0;
    for (const QString& name : names) {
        // Some of the corpus does not parse, which RulesCorpusTest looks at.
        const plist::ParseResult parsed = plist::parse(testsupport::readFile(corpus.filePath(name)));
        if (!parsed.ok() || !parsed.value->isDictionary())
            continue;
        const plist::Value& info = *parsed.value;
        reused.report.clear();
        perCall.report.clear();
        reusing.validateInfoDict(info.toDictionary(), &rules);
        fresh.validateInfoDict(info.toDictionary(), &rules);
        ASSERT_EQ(reused.report, perCall.report) << name.toStdString();
        ++checked;
    }
    EXPECT_GT(checked, 130);
}

// A validator that summarized one rules tree must not apply its summaries to
// the next, even when the next takes the memory of one before: trees of one
// shape that differ in a flag are made and freed in turn.
TEST_F(KeyRulesCacheTest, NewRulesAreSummarizedAnew)
{
    const plist::Value info = D({{"Nmae", S("x")}, {"Key", S("x")}});
    Recorder reused;
    check::PlistValidator reusing(reused);
    for (int round = 0; round < 3; ++round) {
        // Flags of the summaries, and of the fields of a member's rule.
        for (const char* flag : {"required", "recommended", "documented", "deprecated", "apple"}) {
            const plist::Value rules =
                root({{"Name", rule("string", {{flag, B(true)}})}, {"Key", rule("string", {{flag, B(true)}})}});
            reused.report.clear();
            reusing.validateInfoDict(info.toDictionary(), &rules);
            EXPECT_EQ(reused.report, check(info, rules)) << flag << " in round " << round;
        }
    }
}

} // namespace
