// What the rules know of keys, for an editor: the keys and values it may
// complete at a place of an XML property list, and a key's documentation.
#pragma once

#include "plist/Value.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace lsp {

// Where in the XML text a place is.
struct XmlContext {
    enum class Kind { Other, KeyText, StringText } kind = Kind::Other;
    // The keys from the top dictionary to the container around the place;
    // an array's element is kArrayElement.
    QStringList containers;
    // KeyText: the key; StringText in a dictionary: the key of the value
    // (empty for an array's element).
    QString key;
    // The element's text on the place's line: [textStart, textEnd).
    qsizetype textStart = 0;
    qsizetype textEnd = 0;
};

inline const QString kArrayElement = QStringLiteral("[]");

// Reads the text up to offset (and the element there to its end) as far as
// it needs: a text being typed need not parse.
XmlContext xmlContextAt(QStringView text, qsizetype offset);

class KeyKnowledge {
public:
    // rules: the root rule, as the checker loaded it; null knows nothing.
    KeyKnowledge(const plist::Value* rules, QString findingsPage);

    // The protocol's CompletionItems for the place: keys inside <key>, a
    // key's values inside its <string>. placeOf turns an offset into the
    // protocol's position object.
    QJsonArray completion(const QString& text, qsizetype offset,
                          const std::function<QJsonObject(qsizetype)>& placeOf) const;
    // The documentation of the key at the place, as Markdown; none elsewhere.
    std::optional<QString> hover(const QString& text, qsizetype offset) const;

    // A rule's kind of value in words: "string (bundle identifier)".
    static QString typeText(const plist::Value* rule);

private:
    // The rule of the container the path leads to; null where none is known.
    const plist::Value* containerRule(const QStringList& containers) const;
    static const plist::Value* memberRule(const plist::Value* container, const QString& key);
    QString summary(const plist::Value* rule) const;

    const plist::Value* mRules;
    QString mFindingsPage;
};

} // namespace lsp
