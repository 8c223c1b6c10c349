// What is worked out once from the rules (the summaries, each rule's fields,
// the near misses found) must not outlive the rules (RulesCorpusTest compares
// it, reused across the real corpus, with summaries made afresh).
#include "check/KeyRulesCache.h"
#include "Support.h"

namespace {

using namespace validator_test;

class KeyRulesCacheTest : public ValidatorTest {};

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
            const plist::Value rules = root({{"Name", rule("string", {{flag, plist::Value(true)}})},
                                             {"Key", rule("string", {{flag, plist::Value(true)}})}});
            reused.report.clear();
            reusing.validateInfoDict(info.toDictionary(), &rules);
            EXPECT_EQ(reused.report, check(info, rules)) << flag << " in round " << round;
        }
    }
}

} // namespace
