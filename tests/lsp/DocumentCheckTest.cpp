// A finding's fix, byte-range edits of the file as read, as the protocol's
// quick fix: ranges in UTF-16 units of the text, whatever its encoding; and
// the comments that ignore a finding, as quick fixes too.
#include "lsp/DocumentCheck.h"
#include "CaseRows.h"

#include <QJsonObject>

#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

namespace {

// In UTF-8 a safe fix, in UTF-16 an unsafe one.
TEST(DocumentCheckFix, BecomesAQuickFixInEitherEncoding)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16);
        const bool safe = !utf16;
        const QString text =
            QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n<key>\u00e9\U0001F600</key><string>"
                           "APPLE</string>\n")
                .arg(utf16 ? QStringLiteral("UTF-16") : QStringLiteral("UTF-8"));
        const QByteArray bytes = lsp::bytesToCheck(text);
        // The bytes of "APPLE" in the file as read, replaced by "APPL\u00e9".
        const QString value = QStringLiteral("APPLE");
        const QByteArray valueBytes = text.left(text.indexOf(value)).toUtf8();
        report::Finding finding;
        finding.messageKey = QStringLiteral("Not4Char");
        finding.position = {2, 22, -1};
        // UTF-16 text is checked as UTF-16 little-endian after a byte-order mark.
        const QString replacement = QStringLiteral("APPL\u00e9");
        const QByteArray replacementBytes =
            utf16 ? QByteArray(reinterpret_cast<const char*>(replacement.utf16()), replacement.size() * 2)
                  : replacement.toUtf8();
        finding.fix =
            report::Fix{safe,
                        QStringLiteral("Write APPL"),
                        {{utf16 ? 2 + 2 * text.indexOf(value) : valueBytes.size(), utf16 ? 10 : 5, replacementBytes}}};
        const QJsonArray diagnostics =
            lsp::diagnosticsOf({finding}, bytes, text, QStringLiteral("https://example.org/f"));
        const QJsonArray actions = lsp::codeActionsOf(QStringLiteral("file:///a.plist"), diagnostics);
        // The fix comes first, then the comments that would ignore the finding.
        ASSERT_EQ(actions.size(), 3);
        EXPECT_EQ(actions[1][QStringLiteral("title")].toString(), QStringLiteral("Ignore Not4Char here"));
        const QJsonObject action = actions[0].toObject();
        EXPECT_EQ(action[QStringLiteral("isPreferred")].toBool(), safe);
        const QJsonObject edit =
            action[QStringLiteral("edit")][QStringLiteral("changes")][QStringLiteral("file:///a.plist")][0].toObject();
        EXPECT_EQ(edit[QStringLiteral("newText")].toString(), QStringLiteral("APPL\u00e9"));
        // Line 1: <key> 5, é 1, the emoji 2, </key> 6, <string> 8: 22 UTF-16 units.
        const QJsonObject range = edit[QStringLiteral("range")].toObject();
        EXPECT_EQ(range[QStringLiteral("start")][QStringLiteral("line")].toInt(), 1);
        EXPECT_EQ(range[QStringLiteral("start")][QStringLiteral("character")].toInt(), 22);
        EXPECT_EQ(range[QStringLiteral("end")][QStringLiteral("character")].toInt(), 27);
    }
}

// The text with the one edit of the action titled so made, or nothing when there is no such action.
std::optional<QString> applied(const QJsonArray& actions, const QString& title, const QString& text)
{
    for (const QJsonValue& action : actions) {
        if (action[QStringLiteral("title")].toString() != title)
            continue;
        const QJsonObject edit =
            action[QStringLiteral("edit")][QStringLiteral("changes")][QStringLiteral("file:///a.plist")][0].toObject();
        const QJsonObject start = edit[QStringLiteral("range")][QStringLiteral("start")].toObject();
        const qsizetype at =
            lsp::offsetOf(text, {start[QStringLiteral("line")].toInt(), start[QStringLiteral("character")].toInt()});
        return QString(text).insert(at, edit[QStringLiteral("newText")].toString());
    }
    return std::nullopt;
}

// Each action's comment, once in the text, silences its finding in the next
// check, and nothing else; where no comment can go, none is offered.
TEST(DocumentCheckIgnore, TheCommentSilencesTheFinding)
{
    lsp::DocumentCheck checker;
    for (const QStringList& row : caseRows(QStringLiteral("ignore-comments.tsv"))) {
        ASSERT_EQ(row.size(), 4);
        SCOPED_TRACE(row[0].toStdString());
        const QString text = QString::fromUtf8(unescaped(row[1]));
        const QString& title = row[2];
        const QString inserted = QString::fromUtf8(unescaped(row[3]));
        const QByteArray bytes = lsp::bytesToCheck(text);
        const QList<report::Finding> before =
            checker.check(QStringLiteral("/p/Info.plist"), lsp::DocumentKind::InfoPlist, bytes);
        const QString id = title.section(QLatin1Char(' '), 1, 1);
        ASSERT_TRUE(
            std::any_of(before.begin(), before.end(), [&](const report::Finding& f) { return f.messageKey == id; }));
        const QJsonArray actions = lsp::codeActionsOf(
            QStringLiteral("file:///a.plist"), lsp::diagnosticsOf(before, bytes, text, QStringLiteral("https://x/")));
        const std::optional<QString> after = applied(actions, title, text);
        if (inserted.isEmpty()) {
            EXPECT_FALSE(after.has_value());
            continue;
        }
        ASSERT_TRUE(after.has_value());
        EXPECT_TRUE(after->contains(inserted)) << after->toStdString();
        QStringList left;
        for (const report::Finding& f :
             checker.check(QStringLiteral("/p/Info.plist"), lsp::DocumentKind::InfoPlist, lsp::bytesToCheck(*after)))
            left.append(f.messageKey);
        QStringList expected;
        for (const report::Finding& f : before)
            if (f.messageKey != id)
                expected.append(f.messageKey);
        EXPECT_EQ(left.join(' ').toStdString(), expected.join(' ').toStdString());
    }
}

} // namespace
