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

// The rules as the checker loaded them.
const plist::Value* rules()
{
    static const lsp::DocumentCheck checker;
    return checker.rules();
}

TEST(KeyKnowledge, AnswersAtThePlace)
{
    const lsp::KeyKnowledge knowledge(rules(), QStringLiteral("https://example.org/f.md"));
    const auto parts = [](const QString& field) {
        return field.isEmpty() ? QStringList() : field.split(QStringLiteral(" ;; "));
    };
    for (const QStringList& row : caseRows(QStringLiteral("key-knowledge.tsv"))) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[0].toStdString());
        const bool hover = row[1] == QLatin1String("hover");
        const QString marked = QString::fromUtf8(unescaped(row[2]));
        const QStringList present = parts(row[3]);
        const qsizetype place = marked.indexOf(QLatin1Char('|'));
        const QString text = QString(marked).remove(place, 1);
        QString answer;
        if (hover) {
            answer = knowledge.hover(text, place).value_or(QString());
            EXPECT_EQ(answer.isEmpty(), present.isEmpty()) << answer.toStdString();
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
                          text.indexOf(QLatin1Char('<'), place) < 0 ? text.size()
                                                                    : text.indexOf(QLatin1Char('<'), place));
            }
            EXPECT_EQ(labels.isEmpty(), present.isEmpty());
            answer = QLatin1Char('\n') + labels.join(QLatin1Char('\n')) + QLatin1Char('\n');
        }
        for (const QString& part : present)
            EXPECT_TRUE(answer.contains(hover ? part : QLatin1Char('\n') + part + QLatin1Char('\n')))
                << part.toStdString();
        for (const QString& part : parts(row[4]))
            EXPECT_FALSE(answer.contains(QLatin1Char('\n') + part + QLatin1Char('\n'))) << part.toStdString();
    }
}

} // namespace
