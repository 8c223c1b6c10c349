// The XML property-list format. Most documents are read by the fast reader
// (XmlFastReader.cpp); the rest, and every error, by QXmlStreamReader here.
// The tree is built with an explicit stack, so deep documents cannot exhaust
// the C++ stack.
#include "plist/Parsers.h"
#include "plist/TextPosition.h"
#include "plist/XmlCommon.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <string_view>
#include <unordered_map>

namespace plist::detail {

namespace {

using Code = ParseError::Code;

using xml::NumberStatus;
using xml::Tag;

// Internal entities may expand to this many characters in all; more is an
// attack (nested "billion laughs" entities), not a property list.
constexpr int kEntityExpansionLimit = 4096;

QString tagText(Tag tag)
{
    static constexpr const char* kNames[] = {"plist", "dict", "array", "key",  "string", "integer",
                                             "real",  "true", "false", "data", "date"};
    const auto index = static_cast<std::size_t>(tag);
    return index < std::size(kNames) ? QStringLiteral("<%1>").arg(QLatin1String(kNames[index])) : QString();
}

std::u16string_view units(QStringView s)
{
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}

Tag tagOf(QStringView name)
{
    return xml::tagOf(units(name));
}

QStringView trimmed(QStringView s)
{
    const std::u16string_view t = xml::trimmed(units(s));
    return QStringView(t.data(), static_cast<qsizetype>(t.size()));
}

// Text quoted in an error, cut short so that a huge element stays readable.
QString quoted(QStringView s)
{
    constexpr qsizetype kShown = 40;
    QString shown = s.size() > kShown ? s.left(kShown).toString() + QStringLiteral("...") : s.toString();
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

QString tagText(QStringView name)
{
    return QLatin1Char('<') + name.toString() + QLatin1Char('>');
}

class XmlParser {
public:
    XmlParser(const QByteArray& bytes, const ParseOptions& options)
        : mBytes(bytes), mReader(bytes), mTree(options.positions)
    {
        mReader.setNamespaceProcessing(false);
        mReader.setEntityExpansionLimit(kEntityExpansionLimit);
    }

    ParseResult run();

private:
    QXmlStreamReader::TokenType next();
    bool startElement();
    bool endElement();
    bool readText(Tag element);
    bool readScalar(Tag tag);
    bool placeValue(QStringView name);
    QString internedKey(QStringView text);
    QString decodedText() const;
    qint64 leadingSpace() const;
    void skipSpaceBeforeToken();
    bool fail(Code code, const QString& problem);
    bool failReader();

    const QByteArray& mBytes;
    QXmlStreamReader mReader;
    xml::TreeBuilder mTree;
    bool mInPlist = false;
    bool mSawPlist = false;
    qint64 mLine = 1; // where the current token starts
    qint64 mColumn = 1;
    qint64 mOffset = 0;
    bool mAfterText = false;
    bool mAfterBareStart = false; // the last token opened a document without a declaration
    QString mText;
    QString mDecoded; // decodedText(), once it is needed
    ParseError mError;
    // Keys repeat throughout a document; equal keys share one string. The
    // views point into the strings held as values.
    std::unordered_map<std::u16string_view, QString> mKeys;
};

ParseResult XmlParser::run()
{
    bool ok = true;
    while (ok) {
        switch (next()) {
        case QXmlStreamReader::StartElement: ok = startElement(); break;
        case QXmlStreamReader::EndElement: ok = endElement(); break;
        case QXmlStreamReader::Characters:
            if (!mReader.isWhitespace())
                ok = fail(Code::UnexpectedToken,
                          QStringLiteral("unexpected text %1").arg(quoted(trimmed(mReader.text()))));
            break;
        case QXmlStreamReader::EntityReference:
            ok = fail(Code::UnexpectedToken, QStringLiteral("unexpected entity reference &%1;").arg(mReader.name()));
            break;
        case QXmlStreamReader::DTD:
            // Property lists use no entities of their own; refusing declared
            // ones also shuts out entity-expansion attacks.
            if (!mReader.entityDeclarations().isEmpty())
                ok = fail(Code::UnexpectedToken,
                          QStringLiteral("the document type declares entities, which property lists do not use"));
            break;
        case QXmlStreamReader::Invalid: ok = failReader(); break;
        case QXmlStreamReader::EndDocument: ok = false; break;
        default: break; // declarations, comments, processing instructions
        }
    }
    if (mError.code == Code::None && !mTree.hasRoot())
        mError = errorAt(Code::UnexpectedEnd, mOffset, mLine, mColumn,
                         QStringLiteral("the document holds no property-list value"));
    if (mError.code != Code::None) {
        ParseResult result;
        result.format = Format::Xml;
        result.error = mError;
        return result;
    }
    ParseResult result = mTree.takeResult();
    if (result.positions)
        result.positions->setSource(Positions::Source::Text, QByteArray(), decodedText(), *result.value);
    return result;
}

// The text as the reader decoded it, which its character offsets count in.
QString XmlParser::decodedText() const
{
    std::optional<QStringConverter::Encoding> encoding;
    if (mBytes.startsWith("\xFF\xFE"))
        encoding = QStringConverter::Utf16LE;
    else if (mBytes.startsWith("\xFE\xFF"))
        encoding = QStringConverter::Utf16BE;
    else if (!mReader.documentEncoding().isEmpty())
        encoding = QStringConverter::encodingForName(mReader.documentEncoding().toLatin1());
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder.decode(mBytes);
}

// Reads the next token and notes where it starts: where the previous one
// ended, except that the reader has already taken the '<' that ended a text,
// and that without an XML declaration it has looked a few characters into
// the first token; only white space can stand before that one.
QXmlStreamReader::TokenType XmlParser::next()
{
    mLine = mReader.lineNumber();
    mColumn = mReader.columnNumber() + (mAfterText ? 0 : 1);
    mOffset = mAfterBareStart ? leadingSpace() : mReader.characterOffset() - (mAfterText ? 1 : 0);
    // Before the first element the reader passes over white space without a
    // token of its own, so the next token starts after it.
    if (!mInPlist && mTree.atTop() && !mAfterText && !mAfterBareStart)
        skipSpaceBeforeToken();
    const QXmlStreamReader::TokenType token = mReader.readNext();
    mAfterText = token == QXmlStreamReader::Characters;
    mAfterBareStart = token == QXmlStreamReader::StartDocument && mReader.documentVersion().isEmpty();
    return token;
}

// The characters of white space the document starts with, after its byte-order mark.
qint64 XmlParser::leadingSpace() const
{
    const bool littleEndian = mBytes.startsWith("\xFF\xFE"), bigEndian = mBytes.startsWith("\xFE\xFF");
    const qsizetype width = littleEndian || bigEndian ? 2 : 1;
    qsizetype at = width == 2 ? 2 : mBytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qint64 count = 0;
    for (; at + width <= mBytes.size(); at += width, ++count) {
        const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(mBytes[i]); };
        const unsigned c = littleEndian ? byte(at) | byte(at + 1) << 8
                           : bigEndian  ? byte(at) << 8 | byte(at + 1)
                                        : byte(at);
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            break;
    }
    return count;
}

void XmlParser::skipSpaceBeforeToken()
{
    if (mDecoded.isNull())
        mDecoded = decodedText();
    const qsizetype size = mDecoded.size();
    qsizetype at = mOffset;
    for (; at < size; ++at) {
        const QChar c = mDecoded[at];
        // A line ends at LF, CR LF or a lone CR.
        if (c == QLatin1Char('\n') ||
            (c == QLatin1Char('\r') && (at + 1 == size || mDecoded[at + 1] != QLatin1Char('\n')))) {
            ++mLine;
            mColumn = 1;
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r')) {
            ++mColumn;
        } else {
            break;
        }
    }
    mOffset = at;
}

bool XmlParser::fail(Code code, const QString& problem)
{
    mError = errorAt(code, mOffset, mLine, mColumn, problem);
    return false;
}

bool XmlParser::failReader()
{
    const qint64 line = mReader.lineNumber();
    const qint64 column = mReader.columnNumber() + 1;
    const qint64 offset = mReader.characterOffset();
    if (mReader.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
        QString problem = QStringLiteral("the document ends too early");
        if (!mTree.atTop())
            problem += QStringLiteral(": the %1 opened on line %2 is not closed")
                           .arg(tagText(mTree.top().isDict ? u"dict" : u"array"))
                           .arg(mTree.top().openLine);
        else if (mInPlist)
            problem += QStringLiteral(": <plist> is not closed");
        else if (!mTree.hasRoot())
            problem = QStringLiteral("the document holds no property-list value");
        mError = errorAt(Code::UnexpectedEnd, offset, line, column, problem);
    } else {
        // Qt ends some of its messages with a full stop, and ours goes on after.
        QString detail = mReader.errorString();
        while (detail.endsWith(u'.'))
            detail.chop(1);
        mError = errorAt(Code::MalformedXml, offset, line, column, QStringLiteral("malformed XML: %1").arg(detail));
    }
    return false;
}

bool XmlParser::startElement()
{
    mTree.setLocation(mOffset);
    const QStringView name = mReader.name();
    const Tag tag = tagOf(name);
    switch (tag) {
    case Tag::Plist:
        if (mSawPlist || mInPlist || !mTree.atTop() || mTree.hasRoot())
            return fail(Code::UnexpectedToken, QStringLiteral("<plist> may only be the outermost element"));
        mInPlist = mSawPlist = true;
        return true;
    case Tag::Dict:
    case Tag::Array: {
        if (!placeValue(name))
            return false;
        if (mTree.depth() >= static_cast<std::size_t>(kMaxNestingDepth))
            return fail(Code::TooDeep,
                        QStringLiteral("containers are nested more than %1 levels deep").arg(kMaxNestingDepth));
        mTree.open(tag == Tag::Dict, mLine);
        return true;
    }
    case Tag::Key: {
        if (mTree.atTop() || !mTree.top().isDict)
            return fail(Code::UnexpectedToken, QStringLiteral("<key> outside a <dict>"));
        xml::TreeBuilder::Container& dict = mTree.top();
        if (dict.hasKey)
            return fail(Code::UnexpectedToken, QStringLiteral("the key %1 has no value").arg(quoted(dict.key)));
        const qint64 line = mLine;
        if (!readText(Tag::Key))
            return false;
        dict.key = std::move(mText);
        dict.hasKey = true;
        dict.keyLine = line;
        dict.keyAt = mTree.location();
        return true;
    }
    case Tag::Unknown: return fail(Code::UnexpectedToken, QStringLiteral("unknown element %1").arg(tagText(name)));
    default: {
        if (!placeValue(name))
            return false;
        return readScalar(tag);
    }
    }
}

bool XmlParser::endElement()
{
    switch (tagOf(mReader.name())) {
    case Tag::Plist:
        mInPlist = false;
        if (!mTree.hasRoot())
            return fail(Code::UnexpectedToken, QStringLiteral("<plist> holds no value"));
        return true;
    case Tag::Dict:
    case Tag::Array: {
        if (mTree.top().hasKey)
            return fail(Code::UnexpectedToken, QStringLiteral("the key %1 has no value").arg(quoted(mTree.top().key)));
        mTree.add(mTree.close());
        return true;
    }
    default:
        // Scalars are read whole by readScalar, unknown elements fail at their start.
        return true;
    }
}

// Where a value that starts now would go; false (with an error) when it has no place.
bool XmlParser::placeValue(QStringView name)
{
    if (mTree.atTop()) {
        if (mTree.hasRoot())
            return fail(Code::UnexpectedToken, QStringLiteral("a second top-level value %1").arg(tagText(name)));
        return true;
    }
    const xml::TreeBuilder::Container& top = mTree.top();
    if (top.isDict && !top.hasKey)
        return fail(Code::UnexpectedToken, QStringLiteral("%1 in a <dict> has no <key> before it").arg(tagText(name)));
    return true;
}

QString XmlParser::internedKey(QStringView text)
{
    // Bounded, so that a document of unique keys costs no more than without.
    constexpr std::size_t kMaxKeys = 4096;
    constexpr qsizetype kMaxLength = 128;
    if (text.size() > kMaxLength)
        return text.toString();
    const std::u16string_view view(text.utf16(), static_cast<std::size_t>(text.size()));
    const auto it = mKeys.find(view);
    if (it != mKeys.end())
        return it->second;
    QString key = text.toString();
    if (mKeys.size() < kMaxKeys)
        mKeys.emplace(
            std::u16string_view(reinterpret_cast<const char16_t*>(key.utf16()), static_cast<std::size_t>(key.size())),
            key);
    return key;
}

// Collects the text content of the current element into mText, up to its end tag.
bool XmlParser::readText(Tag element)
{
    mText.clear();
    bool first = true;
    for (;;) {
        switch (next()) {
        case QXmlStreamReader::Characters:
            if (first && element == Tag::Key)
                mText = internedKey(mReader.text());
            else if (first)
                mText = mReader.text().toString(); // the common case: one piece, one allocation
            else
                mText += mReader.text();
            first = false;
            break;
        case QXmlStreamReader::EndElement: return true;
        case QXmlStreamReader::StartElement:
            return fail(Code::UnexpectedToken,
                        QStringLiteral("element %1 inside %2").arg(tagText(mReader.name()), tagText(element)));
        case QXmlStreamReader::EntityReference:
            return fail(Code::UnexpectedToken, QStringLiteral("unexpected entity reference &%1;").arg(mReader.name()));
        case QXmlStreamReader::Invalid: return failReader();
        default: break; // comments and processing instructions add nothing
        }
    }
}

bool XmlParser::readScalar(Tag tag)
{
    // A bad value is reported at its start tag.
    const qint64 line = mLine, column = mColumn, offset = mOffset;
    if (!readText(tag))
        return false;
    mLine = line;
    mColumn = column;
    mOffset = offset;
    switch (tag) {
    case Tag::String: mTree.add(Value(std::move(mText))); return true;
    case Tag::True:
    case Tag::False:
        if (!trimmed(mText).isEmpty())
            return fail(Code::UnexpectedToken, QStringLiteral("%1 must be empty").arg(tagText(tag)));
        mTree.add(Value(tag == Tag::True));
        return true;
    case Tag::Integer: {
        Integer i;
        switch (xml::parseInteger(units(trimmed(mText)), i)) {
        case NumberStatus::Ok: mTree.add(Value(i)); return true;
        case NumberStatus::OutOfRange:
            return fail(Code::BadValue, QStringLiteral("the integer %1 is out of range").arg(quoted(trimmed(mText))));
        case NumberStatus::NotANumber:
            return fail(Code::BadValue, QStringLiteral("%1 is not an integer").arg(quoted(trimmed(mText))));
        }
        return false;
    }
    case Tag::Real: {
        double d = 0;
        switch (xml::parseReal(units(trimmed(mText)), d)) {
        case NumberStatus::Ok: mTree.add(Value(d)); return true;
        case NumberStatus::OutOfRange:
            return fail(Code::BadValue, QStringLiteral("the real %1 is out of range").arg(quoted(trimmed(mText))));
        case NumberStatus::NotANumber:
            return fail(Code::BadValue, QStringLiteral("%1 is not a real number").arg(quoted(trimmed(mText))));
        }
        return false;
    }
    case Tag::Data: {
        QByteArray bytes;
        switch (xml::decodeData(units(mText), bytes)) {
        case xml::DataStatus::Ok: mTree.add(Value::data(std::move(bytes))); return true;
        case xml::DataStatus::NotAscii:
            return fail(Code::BadValue, QStringLiteral("<data> holds a character that is not base64"));
        case xml::DataStatus::NotBase64: return fail(Code::BadValue, QStringLiteral("<data> is not valid base64"));
        }
        return false;
    }
    case Tag::Date: {
        Date date;
        if (!xml::parseDate(units(trimmed(mText)), date))
            return fail(
                Code::BadValue,
                QStringLiteral("%1 is not a date of the form YYYY-MM-DDTHH:MM:SSZ").arg(quoted(trimmed(mText))));
        mTree.add(Value(date));
        return true;
    }
    default: return false;
    }
}

} // namespace

ParseResult parseXmlFull(const QByteArray& bytes, const ParseOptions& options)
{
    return XmlParser(bytes, options).run();
}

ParseResult parseXml(const QByteArray& bytes, const ParseOptions& options)
{
    if (std::optional<ParseResult> fast = parseXmlFast(bytes, options))
        return std::move(*fast);
    return parseXmlFull(bytes, options);
}

} // namespace plist::detail
