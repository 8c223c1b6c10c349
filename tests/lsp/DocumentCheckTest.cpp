// A finding's fix, byte-range edits of the file as read, as the protocol's
// quick fix: ranges in UTF-16 units of the text, whatever its encoding; and
// the comments that ignore a finding, as quick fixes too.
#include "lsp/DocumentCheck.h"
#include "CaseRows.h"

#include <QJsonObject>

#include <optional>

#include <gtest/gtest.h>

namespace {

// The first edit of an action.
QJsonValue editOf(const QJsonValue& action)
{
    return action["edit"]["changes"]["file:///a.plist"][0];
}

// In UTF-8 a safe fix, in UTF-16 an unsafe one.
TEST(DocumentCheckFix, BecomesAQuickFixInEitherEncoding)
{
    for (const bool utf16 : {false, true}) {
        SCOPED_TRACE(utf16);
        const QString text = QString("<?xml version=\"1.0\" encoding=\"%1\"?>\n<key>\u00e9\U0001F600</key><string>"
                                     "APPLE</string>\n")
                                 .arg(utf16 ? "UTF-16" : "UTF-8");
        const QByteArray bytes = lsp::bytesToCheck(text);
        // The bytes of "APPLE" in the file as read, replaced by "APPL\u00e9"; UTF-16 text is
        // checked as UTF-16 little-endian after a byte-order mark.
        const qsizetype at = text.indexOf("APPLE");
        const QString replacement = "APPL\u00e9";
        const QByteArray replacementBytes = utf16 ? QByteArray("A\0P\0P\0L\0\xe9\0", 10) : replacement.toUtf8();
        report::Finding finding;
        finding.messageKey = "Not4Char";
        finding.position = {2, 22, -1};
        finding.fix =
            report::Fix{!utf16,
                        "Write APPL",
                        {{utf16 ? 2 + 2 * at : text.left(at).toUtf8().size(), utf16 ? 10 : 5, replacementBytes}}};
        const QJsonArray actions =
            lsp::codeActionsOf("file:///a.plist", lsp::diagnosticsOf({finding}, bytes, text, "https://example.org/f"));
        // The fix comes first, then the comments that would ignore the finding.
        ASSERT_EQ(actions.size(), 3);
        EXPECT_EQ(actions[1]["title"].toString(), "Ignore Not4Char here");
        EXPECT_EQ(actions[0]["isPreferred"].toBool(), !utf16);
        const QJsonValue edit = editOf(actions[0]);
        EXPECT_EQ(edit["newText"].toString(), replacement);
        // Line 1: <key> 5, é 1, the emoji 2, </key> 6, <string> 8: 22 UTF-16 units.
        EXPECT_EQ(edit["range"]["start"]["line"].toInt(), 1);
        EXPECT_EQ(edit["range"]["start"]["character"].toInt(), 22);
        EXPECT_EQ(edit["range"]["end"]["character"].toInt(), 27);
    }
}

// The text with the one edit of the action titled so made, or nothing when there is no such action.
std::optional<QString> applied(const QJsonArray& actions, const QString& title, const QString& text)
{
    for (const QJsonValue& action : actions) {
        if (action["title"].toString() != title)
            continue;
        const QJsonValue edit = editOf(action);
        const QJsonValue start = edit["range"]["start"];
        const qsizetype at = lsp::offsetOf(text, {start["line"].toInt(), start["character"].toInt()});
        return QString(text).insert(at, edit["newText"].toString());
    }
    return std::nullopt;
}

// The IDs of the findings in a check of text, those of id left out.
QStringList findingsOf(lsp::DocumentCheck& checker, const QString& text, const QString& id = {})
{
    QStringList ids;
    for (const report::Finding& f :
         checker.check("/p/Info.plist", lsp::DocumentKind::InfoPlist, lsp::bytesToCheck(text)))
        if (f.messageKey != id)
            ids.append(f.messageKey);
    return ids;
}

// Each action's comment, once in the text, silences its finding in the next
// check, and nothing else; where no comment can go, none is offered.
TEST(DocumentCheckIgnore, TheCommentSilencesTheFinding)
{
    lsp::DocumentCheck checker;
    for (const QStringList& row : caseRows("ignore-comments.tsv")) {
        ASSERT_EQ(row.size(), 4);
        SCOPED_TRACE(row[0].toStdString());
        const QString text = QString::fromUtf8(unescaped(row[1]));
        const QString& title = row[2];
        const QString inserted = QString::fromUtf8(unescaped(row[3]));
        const QByteArray bytes = lsp::bytesToCheck(text);
        const QList<report::Finding> before = checker.check("/p/Info.plist", lsp::DocumentKind::InfoPlist, bytes);
        const QString id = title.section(' ', 1, 1);
        ASSERT_TRUE(findingsOf(checker, text).contains(id));
        const QJsonArray actions =
            lsp::codeActionsOf("file:///a.plist", lsp::diagnosticsOf(before, bytes, text, "https://x/"));
        const std::optional<QString> after = applied(actions, title, text);
        if (inserted.isEmpty()) {
            EXPECT_FALSE(after.has_value());
            continue;
        }
        ASSERT_TRUE(after.has_value());
        EXPECT_TRUE(after->contains(inserted)) << after->toStdString();
        EXPECT_EQ(findingsOf(checker, *after).join(' ').toStdString(),
                  findingsOf(checker, text, id).join(' ').toStdString());
    }
}

} // namespace
