// Reading property lists: XML, binary ("bplist00") and old-style text.
#pragma once

#include "plist/Value.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace plist {

// Deeper nesting than this is an error in every format, never a stack overflow.
constexpr int kMaxNestingDepth = 512;

enum class Format { Xml, Binary, OldStyle };

// A key that stood more than once in one dictionary; the later value won.
struct DuplicateKey {
    QString key;
    QString keyPath; // the dictionary's key path: "" at the top, "a.b", "a[2]"
    int line = 0;    // 1-based; 0 where the format has no lines (binary)
    bool operator==(const DuplicateKey&) const = default;
};

// Where something starts in the text of a file: line and column count from 1,
// in characters; 0 where unknown. The byte offset is -1 where unknown.
struct Location {
    int line = 0;
    int column = 0;
    qint64 offset = -1;
    bool operator==(const Location&) const = default;
};

// Where each value of a parsed tree starts, and for a dictionary's member
// where its key does: a tree beside the values, in the file's order. A key
// that stood twice has two members here; the later one is found.
struct PositionNode {
    QString key;
    Location keyAt;
    Location valueAt;
    bool isDictionary = false;
    std::vector<PositionNode> children;
};

// The node of the value at keyPath ("a.b[2].c"), or null when the tree has
// none there. Keys holding full stops or brackets are tried at each split.
const PositionNode* findPosition(const PositionNode& root, QStringView keyPath);

// Why a document could not be read, and where: a value that callers and
// tests look at by its parts; errorText() words it for the report.
struct ParseError {
    enum class Code {
        None,
        EmptyFile,       // zero bytes
        BadEncoding,     // not valid UTF-8 or UTF-16, or not the declared encoding
        MalformedXml,    // the XML itself is broken (QXmlStreamReader's verdict)
        UnexpectedToken, // the text breaks the format's grammar at this place
        UnexpectedEnd,   // the text ends inside a value, string, comment or element
        BadValue,        // a scalar's text or bytes make no value of its kind
        TooDeep,         // containers nested more than kMaxNestingDepth levels
        BadHeader,       // binary: the header, version or trailer cannot be used
        BadReference,    // binary: an object, offset or length outside the file, or a cycle
        UnknownMarker,   // binary: an object marker the format does not define
        TooLarge,        // binary: shared objects unfold to too many values
    };

    Code code = Code::None;
    // Where: bytes from the start of the file for binary documents and for
    // text that does not decode, else characters of the decoded text; -1 when
    // no one place is at fault.
    qint64 offset = -1;
    int line = 0;   // 1-based; 0 where the format has no lines (binary) or no place is known
    int column = 0; // 1-based, in characters
    QString detail; // what is wrong, in words

    bool operator==(const ParseError&) const = default;
};

struct ParseResult {
    std::optional<Value> value; // set on success
    ParseError error;           // set on failure
    Format format = Format::OldStyle;
    QList<DuplicateKey> duplicates;
    // Set by the readers of text formats (XML, old-style) on success.
    std::optional<PositionNode> positions;

    bool ok() const { return value.has_value(); }
    // The error as the report words it: "line 3, column 7: what is wrong",
    // "binary property list: what is wrong", or only what is wrong.
    QString errorText() const;
};

// Recognises the format from the bytes and parses them.
[[nodiscard]] ParseResult parse(const QByteArray& bytes);

// The key path of a dictionary member and of an array element, as findings print them.
QString memberKeyPath(const QString& parentPath, const QString& key);
QString elementKeyPath(const QString& parentPath, int index);

} // namespace plist
