// Missing required and recommended keys, unknown keys and typo suggestions.
#include "validator_support.h"

namespace validator_test {
namespace {

using Keys = ValidatorTest;

TEST_F(Keys, RequiredAndRecommended)
{
    const plist::Value members = D({
        {"Req", rule("string", {{"required", B(true)}})},
        {"Rec", rule("string", {{"recommended", B(true)}})},
        {"Both", rule("string", {{"required", B(true)}, {"recommended", B(true)}})},
        {"Neither", rule("string", {{"required", B(false)}, {"recommended", B(false)}})},
        {"Plain", rule("string")},
        {"Odd", rule("string", {{"required", S("YES")}, {"recommended", I(1)}})},
    });
    const plist::Value rules = D({{"keys", members}, {"type", S("dictionary")}});
    const plist::Value topRules = D({{"keys", members}});
    // At the top, and inside the first element of an array of dictionaries.
    EXPECT_EQ(check(D({}), topRules),
              QStringLiteral("[error] NoReqTopKey(Req)\n[warning] NoRecTopKey(Rec)\n[error] NoReqTopKey(Both)\n"));
    EXPECT_EQ(check(D({{"L", A({D({{"Rec", S("")}})})}}), root({{"L", rule("array", {{"arrayitem", rules}})}})),
              QStringLiteral("[error] NoReqKey(Req|L[0])\n[error] NoReqKey(Both|L[0])\n"
                             "[warning] EmptyString(L[0].Rec)\n"));
    // Present keys count whatever their values; a key that differs in case is missing and unknown.
    EXPECT_EQ(check(D({{"Req", I(0)}, {"Rec", B(false)}, {"both", S("x")}}), topRules),
              QStringLiteral("[warning] UnknownTopKey(both) KeyTypo(Both)\n[error] NoReqTopKey(Both)\n"
                             "[error] BadType(Req|string)\n[error] BadType(Rec|string)\n"));
}

TEST_F(Keys, NearMissesAndNotes)
{
    const plist::Value rules = root({
        {"CFBundleSignature", rule("string")},
        {"LSUIElement", rule("boolean")},
        {"ab", rule("string")},
        {"Sub", rule("dictionary", {{"keys", D({{"CFBundleSignature", rule("string")}})}})},
    });
    const struct {
        const char* key;
        const char* report;
    } rows[] = {
        {"CFBundleSingature", "[warning] UnknownTopKey(CFBundleSingature) KeyTypo(CFBundleSignature)\n"}, // swapped
        {"CFBundleSignatures", "[warning] UnknownTopKey(CFBundleSignatures) KeyTypo(CFBundleSignature)\n"},
        {"CFBundleSgnature", "[warning] UnknownTopKey(CFBundleSgnature) KeyTypo(CFBundleSignature)\n"},
        {"CFBundleSignaturx", "[warning] UnknownTopKey(CFBundleSignaturx) KeyTypo(CFBundleSignature)\n"},
        {"cFBundleSignature", "[warning] UnknownTopKey(cFBundleSignature) KeyTypo(CFBundleSignature)\n"},
        {"CFBundleSignatureXY", "[warning] UnknownTopKey(CFBundleSignatureXY) KeyTypo(CFBundleSignature)\n"},
        {"LSUIElement.", "[warning] UnknownTopKey(LSUIElement.) KeyTypo(LSUIElement)\n"},
        {"CFBundleSignatureXYZ", "[note] UnknownTopKey(CFBundleSignatureXYZ)\n"},
        {"cfBundleSignature", "[note] UnknownTopKey(cfBundleSignature)\n"}, // two letters in the other case
        {"", "[warning] UnknownTopKey() KeyTypo(ab)\n"},                    // as far from "ab" as its length
        {"Unrelated", "[note] UnknownTopKey(Unrelated)\n"},
    };
    for (const auto& row : rows) {
        const plist::Value info = D({{row.key, I(1)}});
        set(platform::NoteUnknownKeysKey, true);
        EXPECT_EQ(check(info, rules), QString::fromUtf8(row.report)) << row.key;
        // Without notes only the near misses remain.
        set(platform::NoteUnknownKeysKey, false);
        const QString nearMissOnly = QString::fromUtf8(row.report).startsWith(QStringLiteral("[note]"))
                                         ? QString()
                                         : QString::fromUtf8(row.report);
        EXPECT_EQ(check(info, rules), nearMissOnly) << row.key;
    }
    // In a nested dictionary the key path comes after the key.
    set(platform::NoteUnknownKeysKey, true);
    EXPECT_EQ(check(D({{"Sub", D({{"CFBundleSingature", S("x")}, {"Nope", I(1)}})}}), rules),
              QStringLiteral("[warning] UnknownKey(CFBundleSingature|Sub) KeyTypo(CFBundleSignature)\n"
                             "[note] UnknownKey(Nope|Sub)\n"));
}

TEST_F(Keys, TiesNameTheFirstRuleKey)
{
    // "ac" is one letter away from both "ab" and "ad"; the rules' order decides.
    const plist::Value info = D({{"ac", I(1)}});
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ad", rule("integer")}})),
              QStringLiteral("[warning] UnknownTopKey(ac) KeyTypo(ab)\n"));
    EXPECT_EQ(check(info, root({{"ad", rule("integer")}, {"ab", rule("integer")}})),
              QStringLiteral("[warning] UnknownTopKey(ac) KeyTypo(ad)\n"));
    // A nearer key wins wherever it stands.
    EXPECT_EQ(check(info, root({{"ab", rule("integer")}, {"ca", rule("integer")}})),
              QStringLiteral("[warning] UnknownTopKey(ac) KeyTypo(ca)\n"));
}

} // namespace
} // namespace validator_test
