// Reading property lists: XML, binary ("bplist00") and old-style text.
#pragma once

#include "plist/Positions.h"
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
    // Where the values start: set on success unless left out by the options.
    std::optional<Positions> positions;

    bool ok() const { return value.has_value(); }
    // The error as the report words it: "line 3, column 7: what is wrong",
    // "binary property list: what is wrong", or only what is wrong.
    QString errorText() const;
};

struct ParseOptions {
    // Whether to note where each value starts; only a measurement of what
    // that costs leaves it out.
    bool positions = true;
};

// Recognises the format from the bytes and parses them.
[[nodiscard]] ParseResult parse(const QByteArray& bytes, const ParseOptions& options = {});

// The key path of a dictionary member and of an array element, as findings print them.
QString memberKeyPath(const QString& parentPath, const QString& key);
QString elementKeyPath(const QString& parentPath, int index);

} // namespace plist
