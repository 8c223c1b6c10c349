// A finding's fix, byte-range edits of the file as read, as the protocol's
// quick fix: ranges in UTF-16 units of the text, whatever its encoding.
#include "lsp/DocumentCheck.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    QString declaration; // of the encoding the text is checked in
    bool safe;
};

const Case kCases[] = {
    {"Utf8Safe", QStringLiteral("UTF-8"), true},
    {"Utf16Unsafe", QStringLiteral("UTF-16"), false},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class DocumentCheckFix : public ::testing::TestWithParam<Case> {};

TEST_P(DocumentCheckFix, BecomesAQuickFix)
{
    const Case& c = GetParam();
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n<key>\u00e9\U0001F600</key><string>"
                                        "APPLE</string>\n")
                             .arg(c.declaration);
    const QByteArray bytes = lsp::bytesToCheck(text);
    // The bytes of "APPLE" in the file as read, replaced by "APPL\u00e9".
    const QString value = QStringLiteral("APPLE");
    const QByteArray valueBytes = text.left(text.indexOf(value)).toUtf8();
    const bool utf16 = c.declaration == QLatin1String("UTF-16");
    report::Finding finding;
    finding.messageKey = QStringLiteral("Not4Char");
    finding.position = {2, 22, -1};
    // UTF-16 text is checked as UTF-16 little-endian after a byte-order mark.
    const QString replacement = QStringLiteral("APPL\u00e9");
    const QByteArray replacementBytes =
        utf16 ? QByteArray(reinterpret_cast<const char*>(replacement.utf16()), replacement.size() * 2)
              : replacement.toUtf8();
    finding.fix =
        report::Fix{c.safe,
                    QStringLiteral("Write APPL"),
                    {{utf16 ? 2 + 2 * text.indexOf(value) : valueBytes.size(), utf16 ? 10 : 5, replacementBytes}}};
    const QJsonArray diagnostics = lsp::diagnosticsOf({finding}, bytes, text, QStringLiteral("https://example.org/f"));
    const QJsonArray actions = lsp::codeActionsOf(QStringLiteral("file:///a.plist"), diagnostics);
    ASSERT_EQ(actions.size(), 1);
    const QJsonObject action = actions[0].toObject();
    EXPECT_EQ(action[QStringLiteral("isPreferred")].toBool(), c.safe);
    const QJsonObject edit =
        action[QStringLiteral("edit")][QStringLiteral("changes")][QStringLiteral("file:///a.plist")][0].toObject();
    EXPECT_EQ(edit[QStringLiteral("newText")].toString(), QStringLiteral("APPL\u00e9"));
    // Line 1: <key> 5, é 1, the emoji 2, </key> 6, <string> 8: 22 UTF-16 units.
    const QJsonObject range = edit[QStringLiteral("range")].toObject();
    EXPECT_EQ(range[QStringLiteral("start")][QStringLiteral("line")].toInt(), 1);
    EXPECT_EQ(range[QStringLiteral("start")][QStringLiteral("character")].toInt(), 22);
    EXPECT_EQ(range[QStringLiteral("end")][QStringLiteral("character")].toInt(), 27);
}

INSTANTIATE_TEST_SUITE_P(Cases, DocumentCheckFix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
