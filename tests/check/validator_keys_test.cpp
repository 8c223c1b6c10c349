// Missing required and recommended keys, unknown keys and typo suggestions.
#include "validator_support.h"

namespace validator_test {
namespace {

using Keys = ValidatorTest;

TEST_F(Keys, RequiredAndRecommended)
{
    const plist::Value members = D({{"Req", rule("string", {{"required", B(true)}})},
                                    {"Rec", rule("string", {{"recommended", B(true)}})},
                                    {"Both", rule("string", {{"required", B(true)}, {"recommended", B(true)}})},
                                    {"Neither", rule("string", {{"required", B(false)}})},
                                    {"Odd", rule("string", {{"required", S("YES")}, {"recommended", I(1)}})}});
    EXPECT_EQ(check(D({}), D({{"keys", members}})),
              "[error] NoReqTopKey(Req)\n[warning] NoRecTopKey(Rec)\n[error] NoReqTopKey(Both)\n");
    // Inside the first element of an array of dictionaries.
    const plist::Value list = rule("array", {{"arrayitem", rule("dictionary", {{"keys", members}})}});
    EXPECT_EQ(check(D({{"L", A({D({{"Rec", S("")}})})}}), root({{"L", list}})),
              "[error] NoReqKey(Req|L[0])\n[error] NoReqKey(Both|L[0])\n[warning] EmptyString(L[0].Rec)\n");
    // Any value counts as present; a key in the other letter case is unknown, and the rules' key missing.
    EXPECT_EQ(check(D({{"Req", I(0)}, {"Rec", B(false)}, {"both", S("x")}}), D({{"keys", members}})),
              "[warning] UnknownTopKey(both) KeyTypo(Both)\n[error] NoReqTopKey(Both)\n"
              "[error] BadType(Req|string)\n[error] BadType(Rec|string)\n");
}

TEST_F(Keys, NearMissesAndNotes)
{
    const plist::Value rules = root({{"CFBundleSignature", rule("string")},
                                     {"ab", rule("string")},
                                     {"Sub", rule("dictionary", {{"keys", D({{"LSUIElement", rule("boolean")}})}})}});
    const std::pair<const char*, const char*> rows[] = {
        {"CFBundleSingature", "CFBundleSignature"}, // letters swapped
        {"CFBundleSignatures", "CFBundleSignature"},
        {"CFBundleSgnature", "CFBundleSignature"},
        {"CFBundleSignaturx", "CFBundleSignature"},
        {"cFBundleSignature", "CFBundleSignature"},
        {"CFBundleSignatureXY", "CFBundleSignature"},
        {"", "ab"}, // as far from a key as its length
        {"CFBundleSignatureXYZ", nullptr},
        {"cfBundleSignature", nullptr},
        {"Unrelated", nullptr},
    };
    for (const auto& [key, nearest] : rows) {
        const QString k = QString::fromUtf8(key);
        for (bool notes : {true, false}) {
            set(platform::NoteUnknownKeysKey, notes);
            // Near misses are warnings whatever the setting; other unknown keys are notes while it is on.
            const QString expected = nearest
                                         ? QStringLiteral("[warning] UnknownTopKey(%1) KeyTypo(%2)\n").arg(k, nearest)
                                     : notes ? QStringLiteral("[note] UnknownTopKey(%1)\n").arg(k)
                                             : QString();
            EXPECT_EQ(check(D({{key, I(1)}}), rules), expected) << key << (notes ? " with notes" : "");
        }
    }
    set(platform::NoteUnknownKeysKey, true);
    EXPECT_EQ(check(D({{"Sub", D({{"LSUIElements", B(true)}, {"Nope", I(1)}})}}), rules),
              "[warning] UnknownKey(LSUIElements|Sub) KeyTypo(LSUIElement)\n[note] UnknownKey(Nope|Sub)\n");
}

TEST_F(Keys, TiesNameTheFirstRuleKey)
{
    // "ac" is one letter from both "ab" and "ad": the rules' order decides; a nearer key wins anywhere.
    const plist::Value info = D({{"ac", I(1)}});
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ad", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ab)\n");
    EXPECT_EQ(check(info, root({{"ad", rule("integer")}, {"ab", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ad)\n");
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ca", rule("integer")}})),
              "[warning] UnknownTopKey(ac) KeyTypo(ca)\n");
}

} // namespace
} // namespace validator_test
