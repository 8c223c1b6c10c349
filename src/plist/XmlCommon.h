// What the two XML readers share: element names, the conversions of element
// text to values, and the tree under construction. Both readers use these, so
// a document they both accept gives the same value and the same duplicates.
#pragma once

#include "plist/Parse.h"

#include <QByteArray>

#include <optional>
#include <string_view>
#include <vector>

namespace plist::detail::xml {

enum class Tag { Plist, Dict, Array, Key, String, Integer, Real, True, False, Data, Date, Unknown };

// Char is char (UTF-8 bytes) or char16_t (UTF-16).
template <typename Char> Tag tagOf(std::basic_string_view<Char> name);

template <typename Char> bool isXmlSpace(Char c)
{
    return c == Char(' ') || c == Char('\t') || c == Char('\n') || c == Char('\r');
}

template <typename Char> std::basic_string_view<Char> trimmed(std::basic_string_view<Char> s)
{
    while (!s.empty() && isXmlSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isXmlSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

enum class NumberStatus { Ok, NotANumber, OutOfRange };

// Decimal or "0x" hexadecimal, with an optional sign: every signed 64-bit
// value and unsigned values up to 2^64-1.
template <typename Char> NumberStatus parseInteger(std::basic_string_view<Char> s, Integer& out);

// A real as the platform writes it: decimal with an optional exponent, or
// "nan", "inf", "infinity" in any case, with an optional sign.
template <typename Char> NumberStatus parseReal(std::basic_string_view<Char> s, double& out);

// "YYYY-MM-DDTHH:MM:SSZ", optionally with a fraction of a second before the Z.
template <typename Char> bool parseDate(std::basic_string_view<Char> s, Date& out);

enum class DataStatus { Ok, NotAscii, NotBase64 };

// Base64 with white space anywhere.
template <typename Char> DataStatus decodeData(std::basic_string_view<Char> s, QByteArray& out);

// The containers open at the reading position, the top-level value, the
// duplicate keys seen so far, and where each value starts.
class TreeBuilder {
public:
    struct Container {
        bool isDict = false;
        std::vector<Value> items;
        Dictionary dict;
        QString key; // the dictionary's pending key
        bool hasKey = false;
        qint64 keyLine = 0;
        qint64 openLine = 0;
        qint64 keyAt = -1; // where the pending key starts (on keyLine where the reader counts lines)
        int entry = -1;    // the container's entry in the positions
    };

    explicit TreeBuilder(bool recordPositions) : mRecord(recordPositions) {}

    bool atTop() const { return mStack.empty(); }
    std::size_t depth() const { return mStack.size(); }
    Container& top() { return mStack.back(); }
    const Container& top() const { return mStack.back(); }
    bool hasRoot() const { return mRoot.has_value(); }

    // Where the element about to be opened or added starts, as an offset in
    // the reader's units; the readers set it at each start tag.
    void setLocation(qint64 offset, int line = 0)
    {
        mHere = offset;
        mHereLine = line;
    }
    qint64 location() const { return mHere; }
    // Room for about this many values.
    void reservePositions(qsizetype values)
    {
        if (mRecord)
            mPositions.reserve(values);
    }

    void open(bool isDict, qint64 line);
    // Pops the innermost container and returns it as a value.
    Value close();
    // Adds a value to the innermost container (under its pending key), or
    // makes it the top-level value.
    void add(Value value);
    // The value, the duplicates and the positions (whose source the reader
    // sets); call once, with a top-level value.
    ParseResult takeResult();

private:
    QString containerPath(std::size_t depth) const;

    std::vector<Container> mStack;
    std::optional<Value> mRoot;
    bool mRecord;
    qint64 mHere = -1;
    int mHereLine = 0;     // the line of mHere where the reader counts lines, else 0
    int mClosedEntry = -1; // the entry of the container just closed, until it is added
    Positions mPositions;
    QList<DuplicateKey> mDuplicates;
};

} // namespace plist::detail::xml

namespace plist::detail {

// The two readers behind parseXml. The fast one reads the common subset of
// XML straight from UTF-8 bytes and gives up (nullopt) on anything else,
// errors included; the full one, on QXmlStreamReader, reads every document
// and words every error.
std::optional<ParseResult> parseXmlFast(const QByteArray& bytes, const ParseOptions& options = {});
ParseResult parseXmlFull(const QByteArray& bytes, const ParseOptions& options = {});

} // namespace plist::detail
