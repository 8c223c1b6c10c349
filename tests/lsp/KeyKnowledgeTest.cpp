// Completion and hover at places of a text being typed, against the
// built-in rules: "|" marks the place.
#include "lsp/KeyKnowledge.h"
#include "CaseRows.h"
#include "lsp/DocumentCheck.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

TEST(KeyKnowledge, AnswersAtThePlace)
{
    const lsp::DocumentCheck checker; // the rules as the checker loaded them
    const lsp::KeyKnowledge knowledge(checker.rules(), "https://example.org/f.md");
    const auto parts = [](const QString& field) { return field.isEmpty() ? QStringList() : field.split(" ;; "); };
    for (const QStringList& row : caseRows("key-knowledge.tsv")) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[0].toStdString());
        const bool hover = row[1] == "hover";
        const QString marked = QString::fromUtf8(unescaped(row[2]));
        const QStringList present = parts(row[3]);
        const qsizetype place = marked.indexOf('|');
        const QString text = QString(marked).remove(place, 1);
        QString answer;
        if (hover) {
            answer = knowledge.hover(text, place).value_or(QString());
            EXPECT_EQ(answer.isEmpty(), present.isEmpty()) << answer.toStdString();
        } else {
            QStringList labels;
            const QJsonArray items = knowledge.completion(text, place, [](qsizetype at) {
                return QJsonObject{{"offset", at}};
            });
            // Each replaces the element's whole text, up to the next tag.
            const qsizetype next = text.indexOf('<', place);
            for (const QJsonValue& item : items) {
                labels << item["label"].toString();
                EXPECT_EQ(item["textEdit"]["range"]["start"]["offset"].toInteger(),
                          text.lastIndexOf('>', place - 1) + 1);
                EXPECT_LE(item["textEdit"]["range"]["end"]["offset"].toInteger(), next < 0 ? text.size() : next);
            }
            EXPECT_EQ(labels.isEmpty(), present.isEmpty());
            answer = "\n" + labels.join('\n') + "\n";
        }
        for (const QString& part : present)
            EXPECT_TRUE(answer.contains(hover ? part : "\n" + part + "\n")) << part.toStdString();
        for (const QString& part : parts(row[4]))
            EXPECT_FALSE(answer.contains("\n" + part + "\n")) << part.toStdString();
    }
}

} // namespace
