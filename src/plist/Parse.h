// Reading property lists: XML, binary ("bplist00") and old-style text.
#pragma once

#include "plist/Value.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace plist {

// Deeper nesting than this is an error in every format, never a stack overflow.
constexpr int kMaxNestingDepth = 512;

enum class Format { Xml, Binary, OldStyle };

// A key that stood more than once in one dictionary; the later value won.
struct DuplicateKey {
    QString key;
    QString keyPath;  // the dictionary's key path: "" at the top, "a.b", "a[2]"
    int line = 0;     // 1-based; 0 where the format has no lines (binary)
    bool operator==(const DuplicateKey&) const = default;
};

struct ParseResult {
    std::optional<Value> value;  // set on success
    QString error;               // set on failure: what is wrong, and where
    Format format = Format::OldStyle;
    QList<DuplicateKey> duplicates;

    bool ok() const { return value.has_value(); }
};

// Recognises the format from the bytes and parses them.
ParseResult parse(const QByteArray& bytes);

// The key path of a dictionary member and of an array element, as findings print them.
QString memberKeyPath(const QString& parentPath, const QString& key);
QString elementKeyPath(const QString& parentPath, int index);

}  // namespace plist
