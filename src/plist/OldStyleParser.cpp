// The old-style text format: { key = value; }, ( a, b ), "strings", <hex data>,
// and the brace-less `key = value;` form of .strings files. Every scalar is a
// string. Read by recursive descent over the UTF-16 text, with a depth bound.
#include "plist/Parsers.h"
#include "plist/TextPosition.h"

#include <vector>

namespace plist::detail {

namespace {

using Code = ParseError::Code;

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0xFEFF;
}

bool isUnquotedChar(char16_t c)
{
    if (c < 0x80) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' ||
               c == u'$' || c == u'+' || c == u'/' || c == u':' || c == u'.' || c == u'-';
    }
    // Letters and digits of other scripts, also outside the basic plane.
    return QChar::isLetterOrNumber(c) || QChar::isSurrogate(c);
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// A character as an error shows it: printable ones quoted, others by code.
QString describeChar(char16_t c)
{
    if (c > 0x20 && c != 0x7f && !QChar::isSurrogate(c) && QChar::isPrint(c))
        return QStringLiteral("'%1'").arg(QChar(c));
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

class OldStyleParser {
public:
    OldStyleParser(const QString& text, const ParseOptions& options)
        : mText(text), mData(reinterpret_cast<const char16_t*>(text.utf16())), mSize(text.size()),
          mRecord(options.positions)
    {
    }

    ParseResult run();

private:
    // Where the value being read sits in its parent: a key or an index.
    struct Segment {
        const QString* key = nullptr;
        int index = 0;
    };

    bool atEnd() const { return mPos >= mSize; }
    char16_t peek() const { return mData[mPos]; }
    bool skipSpace();
    // entry: the value's entry in the positions, -1 when they are not noted.
    bool parseValue(Value& out, int& entry);
    bool parseDictionary(Dictionary& dict, bool braced);
    bool parseArray(std::vector<Value>& items);
    bool parseData(QByteArray& out);
    bool parseString(QString& out, const char* expected);
    bool parseQuoted(QString& out);
    void parseUnquoted(QString& out);
    bool enter(qsizetype at);
    QString currentPath() const;
    int lineAt(qsizetype pos);
    bool fail(qsizetype at, ParseError::Code code, const QString& problem);

    int beginEntry(qsizetype at) { return mRecord ? mPositions.begin(at) : -1; }
    void closeEntry(int entry)
    {
        if (mRecord)
            mPositions.close(entry);
    }
    void setMember(int entry, int member, qint64 keyAt = -1)
    {
        if (mRecord)
            mPositions.setMember(entry, member, keyAt);
    }

    const QString& mText;
    const char16_t* mData;
    qsizetype mSize;
    bool mRecord;
    Positions mPositions;
    qsizetype mPos = 0;
    int mDepth = 0;
    std::vector<Segment> mPath;
    QList<DuplicateKey> mDuplicates;
    ParseError mError;
    qsizetype mLineScanPos = 0; // where lineAt last counted to
    int mLineScanLine = 1;
};

ParseResult OldStyleParser::run()
{
    ParseResult result;
    result.format = Format::OldStyle;
    Value root;
    if (!skipSpace()) {
        result.error = mError;
        return result;
    }
    // An empty document is an empty strings file.
    bool ok = true;
    if (atEnd()) {
        beginEntry(mPos);
        root = Value::dictionary(Dictionary());
    } else {
        // `key = value;` or `key;` at the top is a strings file: a dictionary without braces.
        bool stringsFile = false;
        const qsizetype start = mPos;
        if (peek() == u'"' || peek() == u'\'' || isUnquotedChar(peek())) {
            QString first;
            ok = parseString(first, "a value") && skipSpace();
            stringsFile = ok && !atEnd() && (peek() == u'=' || peek() == u';');
            mPos = start;
        }
        if (ok && stringsFile) {
            const int entry = beginEntry(start);
            Dictionary dict;
            ok = parseDictionary(dict, false);
            closeEntry(entry);
            root = Value::dictionary(std::move(dict));
        } else if (ok) {
            int entry = -1;
            ok = parseValue(root, entry) && skipSpace();
            if (ok && !atEnd())
                ok = fail(mPos, Code::UnexpectedToken,
                          QStringLiteral("unexpected %1 after the end of the property list").arg(describeChar(peek())));
        }
    }
    if (!ok) {
        result.error = mError;
        return result;
    }
    if (mRecord) {
        mPositions.setSource(Positions::Source::Text, QByteArray(), mText, root);
        result.positions = std::move(mPositions);
    }
    result.value = std::move(root);
    result.duplicates = std::move(mDuplicates);
    return result;
}

int OldStyleParser::lineAt(qsizetype pos)
{
    const auto endsLine = [this](qsizetype i) {
        const char16_t c = mData[i];
        return c == u'\n' || (c == u'\r' && (i + 1 >= mSize || mData[i + 1] != u'\n'));
    };
    // Counted on from the last place asked for, back or forth.
    for (; mLineScanPos < pos; ++mLineScanPos)
        mLineScanLine += endsLine(mLineScanPos) ? 1 : 0;
    for (; mLineScanPos > pos; --mLineScanPos)
        mLineScanLine -= endsLine(mLineScanPos - 1) ? 1 : 0;
    return mLineScanLine;
}

bool OldStyleParser::fail(qsizetype at, ParseError::Code code, const QString& problem)
{
    const int line = lineAt(at);
    qsizetype lineStart = at;
    while (lineStart > 0 && mData[lineStart - 1] != u'\n' && mData[lineStart - 1] != u'\r')
        --lineStart;
    mError = errorAt(code, at, line, at - lineStart + 1, problem);
    return false;
}

// Skips white space and comments; false only for a comment left open.
bool OldStyleParser::skipSpace()
{
    while (mPos < mSize) {
        const char16_t c = mData[mPos];
        if (isSpace(c)) {
            ++mPos;
        } else if (c == u'/' && mPos + 1 < mSize && mData[mPos + 1] == u'/') {
            mPos += 2;
            while (mPos < mSize && mData[mPos] != u'\n' && mData[mPos] != u'\r')
                ++mPos;
        } else if (c == u'/' && mPos + 1 < mSize && mData[mPos + 1] == u'*') {
            const qsizetype start = mPos;
            mPos += 2;
            while (mPos + 1 < mSize && !(mData[mPos] == u'*' && mData[mPos + 1] == u'/'))
                ++mPos;
            if (mPos + 1 >= mSize) {
                mPos = mSize;
                return fail(start, Code::UnexpectedEnd, QStringLiteral("the comment is not closed"));
            }
            mPos += 2;
        } else {
            break;
        }
    }
    return true;
}

bool OldStyleParser::enter(qsizetype at)
{
    if (++mDepth > kMaxNestingDepth)
        return fail(at, Code::TooDeep,
                    QStringLiteral("containers are nested more than %1 levels deep").arg(kMaxNestingDepth));
    return true;
}

bool OldStyleParser::parseValue(Value& out, int& entry)
{
    if (!skipSpace())
        return false;
    if (atEnd())
        return fail(mPos, Code::UnexpectedEnd, QStringLiteral("the text ends where a value should be"));
    const qsizetype start = mPos;
    entry = beginEntry(start);
    switch (peek()) {
    case u'{': {
        if (!enter(start))
            return false;
        ++mPos;
        Dictionary dict;
        if (!parseDictionary(dict, true))
            return false;
        closeEntry(entry);
        --mDepth;
        out = Value::dictionary(std::move(dict));
        return true;
    }
    case u'(': {
        if (!enter(start))
            return false;
        ++mPos;
        std::vector<Value> items;
        if (!parseArray(items))
            return false;
        closeEntry(entry);
        --mDepth;
        out = Value::array(std::move(items));
        return true;
    }
    case u'<': {
        QByteArray bytes;
        if (!parseData(bytes))
            return false;
        out = Value::data(std::move(bytes));
        return true;
    }
    default: {
        QString s;
        if (!parseString(s, "a value"))
            return false;
        out = Value(std::move(s));
        return true;
    }
    }
}

// Members up to '}' (braced) or to the end of the text (a strings file).
bool OldStyleParser::parseDictionary(Dictionary& dict, bool braced)
{
    for (;;) {
        if (!skipSpace())
            return false;
        if (atEnd()) {
            if (braced)
                return fail(mPos, Code::UnexpectedEnd,
                            QStringLiteral("the text ends inside a dictionary; '}' is missing"));
            return true;
        }
        if (braced && peek() == u'}') {
            ++mPos;
            return true;
        }
        const qsizetype keyStart = mPos;
        QString key;
        if (!parseString(key, braced ? "a key or '}'" : "a key"))
            return false;
        if (!skipSpace())
            return false;
        if (atEnd())
            return fail(mPos, Code::UnexpectedEnd,
                        QStringLiteral("the text ends after the key \"%1\"; '=' is missing").arg(key));
        Value value;
        int entry = -1;
        if (peek() == u';') {
            // `"key";` alone stands for `"key" = "key";`.
            value = Value(key);
            entry = beginEntry(keyStart);
        } else if (peek() == u'=') {
            ++mPos;
            mPath.push_back(Segment{&key, 0});
            const bool ok = parseValue(value, entry);
            mPath.pop_back();
            if (!ok || !skipSpace())
                return false;
            if (atEnd() || peek() != u';')
                return fail(mPos, Code::UnexpectedToken,
                            QStringLiteral("';' is missing after the value of the key \"%1\"").arg(key));
        } else {
            return fail(mPos, Code::UnexpectedToken,
                        QStringLiteral("expected '=' after the key \"%1\", found %2").arg(key, describeChar(peek())));
        }
        ++mPos; // the ';'
        int member = dict.size();
        if (!dict.insert(key, std::move(value))) {
            mDuplicates.append(DuplicateKey{key, currentPath(), lineAt(keyStart)});
            // The repeated key keeps its first place in the dictionary.
            member = 0;
            while (dict.keyAt(member) != key)
                ++member;
        }
        setMember(entry, member, keyStart);
    }
}

// Elements up to ')', separated by commas; a comma may follow the last one.
bool OldStyleParser::parseArray(std::vector<Value>& items)
{
    for (;;) {
        if (!skipSpace())
            return false;
        if (atEnd())
            return fail(mPos, Code::UnexpectedEnd, QStringLiteral("the text ends inside an array; ')' is missing"));
        if (peek() == u')') {
            ++mPos;
            return true;
        }
        Value value;
        int entry = -1;
        mPath.push_back(Segment{nullptr, static_cast<int>(items.size())});
        const bool ok = parseValue(value, entry);
        mPath.pop_back();
        if (!ok || !skipSpace())
            return false;
        setMember(entry, static_cast<int>(items.size()));
        items.push_back(std::move(value));
        if (atEnd())
            return fail(mPos, Code::UnexpectedEnd, QStringLiteral("the text ends inside an array; ')' is missing"));
        if (peek() == u',') {
            ++mPos;
        } else if (peek() != u')') {
            return fail(mPos, Code::UnexpectedToken,
                        QStringLiteral("expected ',' or ')' in an array, found %1").arg(describeChar(peek())));
        }
    }
}

// <0fbd 7777>: pairs of hex digits, white space allowed between them.
bool OldStyleParser::parseData(QByteArray& out)
{
    const qsizetype start = mPos;
    ++mPos; // the '<'
    int high = -1;
    for (; mPos < mSize; ++mPos) {
        const char16_t c = mData[mPos];
        if (c == u'>') {
            if (high >= 0)
                return fail(mPos, Code::BadValue, QStringLiteral("data has an odd number of hex digits"));
            ++mPos;
            return true;
        }
        if (isSpace(c))
            continue;
        const int digit = hexValue(c);
        if (digit < 0)
            return fail(mPos, Code::BadValue, QStringLiteral("%1 is not a hex digit in data").arg(describeChar(c)));
        if (high < 0) {
            high = digit;
        } else {
            out.append(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    return fail(start, Code::UnexpectedEnd, QStringLiteral("the data is not closed with '>'"));
}

bool OldStyleParser::parseString(QString& out, const char* expected)
{
    if (atEnd())
        return fail(mPos, Code::UnexpectedEnd,
                    QStringLiteral("the text ends where %1 should be").arg(QLatin1String(expected)));
    const char16_t c = peek();
    if (c == u'"' || c == u'\'')
        return parseQuoted(out);
    if (isUnquotedChar(c)) {
        parseUnquoted(out);
        return true;
    }
    return fail(mPos, Code::UnexpectedToken,
                QStringLiteral("expected %1, found %2").arg(QLatin1String(expected), describeChar(c)));
}

void OldStyleParser::parseUnquoted(QString& out)
{
    const qsizetype start = mPos;
    while (mPos < mSize && isUnquotedChar(mData[mPos]))
        ++mPos;
    out = QString(reinterpret_cast<const QChar*>(mData + start), mPos - start);
}

bool OldStyleParser::parseQuoted(QString& out)
{
    const qsizetype start = mPos;
    const char16_t quote = mData[mPos++];
    // The common case, no escapes: one copy of the range.
    qsizetype end = mPos;
    while (end < mSize && mData[end] != quote && mData[end] != u'\\')
        ++end;
    if (end < mSize && mData[end] == quote) {
        out = QString(reinterpret_cast<const QChar*>(mData + mPos), end - mPos);
        mPos = end + 1;
        return true;
    }
    out.reserve(end - mPos + 16);
    out.append(reinterpret_cast<const QChar*>(mData + mPos), end - mPos);
    mPos = end;
    bool surrogateEscape = false;
    while (mPos < mSize) {
        const char16_t c = mData[mPos];
        if (c == quote) {
            ++mPos;
            if (surrogateEscape) {
                // \U escapes may spell a surrogate pair, but never half of one.
                for (qsizetype i = 0; i < out.size(); ++i) {
                    const QChar ch = out[i];
                    if (ch.isHighSurrogate() && i + 1 < out.size() && out[i + 1].isLowSurrogate())
                        ++i;
                    else if (ch.isSurrogate())
                        return fail(start, Code::BadValue, QStringLiteral("the string holds half of a surrogate pair"));
                }
            }
            return true;
        }
        if (c != u'\\') {
            out.append(QChar(c));
            ++mPos;
            continue;
        }
        const qsizetype escape = mPos;
        if (++mPos >= mSize)
            break;
        const char16_t e = mData[mPos++];
        switch (e) {
        case u'a': out.append(QChar(0x07)); break;
        case u'b': out.append(QChar(0x08)); break;
        case u'f': out.append(QChar(0x0C)); break;
        case u'n': out.append(QChar(0x0A)); break;
        case u'r': out.append(QChar(0x0D)); break;
        case u't': out.append(QChar(0x09)); break;
        case u'v': out.append(QChar(0x0B)); break;
        case u'U': {
            // Up to four hex digits.
            char16_t value = 0;
            int digits = 0;
            while (digits < 4 && mPos < mSize && hexValue(mData[mPos]) >= 0) {
                value = static_cast<char16_t>(value * 16 + hexValue(mData[mPos++]));
                ++digits;
            }
            if (digits == 0)
                return fail(escape, Code::BadValue, QStringLiteral("\\U must be followed by hex digits"));
            surrogateEscape = surrogateEscape || QChar::isSurrogate(value);
            out.append(QChar(value));
            break;
        }
        default:
            if (e >= u'0' && e <= u'7') {
                // Up to three octal digits: one byte, read as Latin-1.
                int value = e - u'0';
                for (int digits = 1; digits < 3 && mPos < mSize && mData[mPos] >= u'0' && mData[mPos] <= u'7'; ++digits)
                    value = value * 8 + (mData[mPos++] - u'0');
                if (value > 0xFF)
                    return fail(
                        escape, Code::BadValue,
                        QStringLiteral("the octal escape \\%1 is larger than one byte").arg(QString::number(value, 8)));
                out.append(QChar(static_cast<char16_t>(value)));
            } else {
                // \" \' \\ and any other character stand for themselves.
                out.append(QChar(e));
            }
        }
    }
    return fail(start, Code::UnexpectedEnd, QStringLiteral("the quoted string is not closed"));
}

QString OldStyleParser::currentPath() const
{
    QString path;
    for (const Segment& s : mPath)
        path = s.key ? memberKeyPath(path, *s.key) : elementKeyPath(path, s.index);
    return path;
}

} // namespace

ParseResult parseOldStyle(const QString& text, const ParseOptions& options)
{
    return OldStyleParser(text, options).run();
}

} // namespace plist::detail
