// Completion and hover at places of a text being typed, against the
// built-in rules: "|" marks the place.
#include "lsp/KeyKnowledge.h"
#include "lsp/DocumentCheck.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

const char kTypes[] = "<plist><dict><key>CFBundleDocumentTypes</key><array><dict>";

struct Case {
    const char* name;
    bool hover; // else completion
    QString text;
    QStringList present; // completion labels, or parts of the hover text
    QStringList absent = {};
};

const Case kCases[] = {
    {"HoverTopKey",
     true,
     "<plist><dict>\n<key>CFBundleIdent|ifier</key>",
     {"**CFBundleIdentifier**: string (bundle identifier)", "Required."}},
    {"HoverDeprecatedKey",
     true,
     "<dict><key>CFBundleGetInfoString|</key>",
     {"since Mac OS X 10.5", "(https://example.org/f.md#DeprecKey)"}},
    {"HoverNestedKeyWithValues",
     true,
     QString(kTypes) + "<key>CFBundleType|Role</key>",
     {"One of: Editor, MDImporter, None"}},
    {"HoverUnknownKey", true, "<dict><key>MyKe|y</key>", {"a key the rules do not know"}},
    {"HoverOnAValue", true, "<dict><key>CFBundleName</key><string>N|</string>", {}},
    {"HoverInAComment", true, "<dict><!-- <key>CFBundleName|</key> -->", {}},
    {"CompleteTopKeys",
     false,
     "<plist><dict>\n\t<key>CFBu|",
     {"CFBundleIdentifier", "LSUIElement"},
     {"CFBundleTypeRole"}},
    {"CompleteNestedKeys", false, QString(kTypes) + "<key>|</key>", {"CFBundleTypeRole"}, {"CFBundleIdentifier"}},
    {"CompleteValues",
     false,
     QString(kTypes) + "<key>CFBundleTypeRole</key><string>V|</string>",
     {"Editor", "Viewer"},
     {"CFBundleTypeRole"}},
    {"CompleteAfterNestedContainersClose",
     false,
     QString(kTypes) + "<key>CFBundleTypeRole</key><string>Editor</string></dict></array>\n<key>|",
     {"CFBundleIdentifier"},
     {"CFBundleTypeRole"}},
    {"CompleteInsideATag", false, "<plist><dict><ke|", {}, {"CFBundleIdentifier"}},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class KeyKnowledgeTest : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { sChecker = new lsp::DocumentCheck; }
    static void TearDownTestSuite() { delete sChecker; }
    static lsp::DocumentCheck* sChecker;
};
lsp::DocumentCheck* KeyKnowledgeTest::sChecker = nullptr;

TEST_P(KeyKnowledgeTest, Answers)
{
    const Case& c = GetParam();
    const qsizetype place = c.text.indexOf(QLatin1Char('|'));
    const QString text = QString(c.text).remove(place, 1);
    const lsp::KeyKnowledge knowledge(sChecker->rules(), QStringLiteral("https://example.org/f.md"));
    QString answer;
    if (c.hover) {
        answer = knowledge.hover(text, place).value_or(QString());
        EXPECT_EQ(answer.isEmpty(), c.present.isEmpty()) << answer.toStdString();
    } else {
        QStringList labels;
        const QJsonArray items = knowledge.completion(text, place, [](qsizetype at) {
            return QJsonObject{{QStringLiteral("offset"), at}};
        });
        for (const QJsonValue& item : items) {
            labels << item[QStringLiteral("label")].toString();
            // Each replaces the element's whole text, up to the next tag.
            const QJsonObject range = item[QStringLiteral("textEdit")][QStringLiteral("range")].toObject();
            EXPECT_EQ(range[QStringLiteral("start")][QStringLiteral("offset")].toInteger(),
                      text.lastIndexOf(QLatin1Char('>'), place - 1) + 1);
            EXPECT_LE(range[QStringLiteral("end")][QStringLiteral("offset")].toInteger(),
                      text.indexOf(QLatin1Char('<'), place) < 0 ? text.size() : text.indexOf(QLatin1Char('<'), place));
        }
        EXPECT_EQ(labels.isEmpty(), c.present.isEmpty());
        answer = QLatin1Char('\n') + labels.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    for (const QString& part : c.present)
        EXPECT_TRUE(answer.contains(c.hover ? part : QLatin1Char('\n') + part + QLatin1Char('\n')))
            << part.toStdString();
    for (const QString& part : c.absent)
        EXPECT_FALSE(answer.contains(QLatin1Char('\n') + part + QLatin1Char('\n'))) << part.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyKnowledgeTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
