#include "plist/Parse.h"

#include "plist/Parsers.h"
#include "plist/TextPosition.h"

#include <QStringDecoder>

namespace plist {

QString memberKeyPath(const QString& parentPath, const QString& key)
{
    return parentPath.isEmpty() ? key : parentPath + QLatin1Char('.') + key;
}

QString elementKeyPath(const QString& parentPath, int index)
{
    return parentPath + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

QString ParseResult::errorText() const
{
    if (format == Format::Binary)
        return QStringLiteral("binary property list: ") + error.detail;
    if (error.line > 0)
        return QStringLiteral("line %1, column %2: %3").arg(error.line).arg(error.column).arg(error.detail);
    return error.detail;
}

namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// Byte order of UTF-16 text: from its mark, or, without one, from a NUL in
// the first pair of bytes (no UTF-8 property list starts that way).
enum class Utf16 { No, LittleEndian, BigEndian };

Utf16 utf16Order(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE"))
        return Utf16::LittleEndian;
    if (bytes.startsWith("\xFE\xFF"))
        return Utf16::BigEndian;
    if (bytes.size() >= 2 && (bytes[0] == 0) != (bytes[1] == 0))
        return bytes[0] == 0 ? Utf16::BigEndian : Utf16::LittleEndian;
    return Utf16::No;
}

bool hasUtf16Bom(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

// The UTF-16 decoder passes half pairs through; they are not text.
bool hasUnpairedSurrogate(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

// Where the first byte that breaks UTF-8 stands, for the error message.
qsizetype firstInvalidUtf8(QByteArrayView bytes)
{
    const auto at = [&](qsizetype i) { return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u; };
    const auto continuation = [&](qsizetype i, unsigned lo = 0x80, unsigned hi = 0xBF) {
        return at(i) >= lo && at(i) <= hi;
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        const unsigned b = at(i);
        qsizetype length = 0;
        if (b < 0x80)
            length = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            length = continuation(i + 1) ? 2 : 0;
        else if (b >= 0xE0 && b <= 0xEF)
            length =
                continuation(i + 1, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF) && continuation(i + 2) ? 3 : 0;
        else if (b >= 0xF0 && b <= 0xF4)
            length = continuation(i + 1, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF) && continuation(i + 2) &&
                             continuation(i + 3)
                         ? 4
                         : 0;
        if (length == 0)
            return i;
        i += length;
    }
    return -1;
}

// skip: the bytes of a mark before the text, counted in the offset.
ParseError invalidUtf8Error(QByteArrayView bytes, qsizetype skip)
{
    const qsizetype bad = firstInvalidUtf8(bytes);
    if (bad < 0)
        return ParseError{ParseError::Code::BadEncoding, -1, 0, 0, QStringLiteral("the text is not valid UTF-8")};
    qsizetype line = 1, column = 1;
    for (qsizetype i = 0; i < bad; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\n') {
            ++line;
            column = 1;
        } else if ((b & 0xC0) != 0x80) {
            ++column;
        }
    }
    return detail::errorAt(ParseError::Code::BadEncoding, skip + bad, line, column,
                           QStringLiteral("the text is not valid UTF-8 (byte 0x%1)")
                               .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QLatin1Char('0')));
}

// UTF-32 by its byte-order mark, or by a first character of ASCII padded
// with three zero bytes.
bool isUtf32(const QByteArray& bytes)
{
    if (bytes.size() < 4)
        return false;
    const QByteArrayView head(bytes.constData(), 4);
    if (head == QByteArrayView("\xFF\xFE\0\0", 4) || head == QByteArrayView("\0\0\xFE\xFF", 4))
        return true;
    const bool littleEndian = head[0] != 0 && head[1] == 0 && head[2] == 0 && head[3] == 0;
    const bool bigEndian = head[0] == 0 && head[1] == 0 && head[2] == 0 && head[3] != 0;
    return littleEndian || bigEndian;
}

// Decodes text: UTF-16 (with a byte-order mark or recognised without), else
// UTF-8 (a mark is skipped).
std::optional<QString> decodeText(const QByteArray& bytes, Utf16 order, ParseError& error)
{
    if (order != Utf16::No) {
        if (bytes.size() % 2 != 0) {
            error = ParseError{ParseError::Code::BadEncoding, -1, 0, 0,
                               QStringLiteral("UTF-16 text has an odd number of bytes (%1)").arg(bytes.size())};
            return std::nullopt;
        }
        QStringDecoder decoder(order == Utf16::LittleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(hasUtf16Bom(bytes) ? bytes.mid(2) : bytes);
        if (decoder.hasError() || hasUnpairedSurrogate(text)) {
            error = ParseError{ParseError::Code::BadEncoding, -1, 0, 0, QStringLiteral("the text is not valid UTF-16")};
            return std::nullopt;
        }
        return text;
    }
    const qsizetype skip = bytes.startsWith(kUtf8Bom) ? 3 : 0;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes).sliced(skip));
    if (decoder.hasError()) {
        error = invalidUtf8Error(QByteArrayView(bytes).sliced(skip), skip);
        return std::nullopt;
    }
    return text;
}

// XML starts with a declaration, a document type, or an element of the
// format. "<" followed by anything else is old-style hex data.
template <typename Text> bool looksLikeXml(const Text& rest)
{
    static const char* const kStarts[] = {"<?xml",    "<!DOCTYPE", "<plist", "<dict",  "<array", "<string", "<key",
                                          "<integer", "<real",     "<true",  "<false", "<data",  "<date"};
    for (const char* start : kStarts) {
        const QLatin1String prefix(start);
        if (!rest.startsWith(prefix))
            continue;
        if (prefix.size() <= 2 || prefix[1] == QLatin1Char('?') || prefix[1] == QLatin1Char('!'))
            return true;
        // An element name must end here: "<dictionary" is not "<dict".
        if (rest.size() == prefix.size())
            return true;
        const auto next = rest[prefix.size()];
        if (next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\n' || next == '\r')
            return true;
    }
    return false;
}

bool isSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

bool looksLikeXmlText(const QString& text)
{
    qsizetype i = 0;
    if (i < text.size() && text[i] == QChar(0xFEFF))
        ++i;
    while (i < text.size() && isSpace(text[i].unicode()))
        ++i;
    return looksLikeXml(QStringView(text).sliced(i));
}

bool looksLikeXmlBytes(const QByteArray& bytes)
{
    qsizetype i = bytes.startsWith(kUtf8Bom) ? 3 : 0;
    while (i < bytes.size() && isSpace(static_cast<unsigned char>(bytes[i])))
        ++i;
    return looksLikeXml(QByteArrayView(bytes).sliced(i));
}

} // namespace

ParseResult parse(const QByteArray& bytes, const ParseOptions& options)
{
    // Zero bytes hold no property list (a file cut short, or never written);
    // only a text with white space or comments is an empty strings table.
    if (bytes.isEmpty()) {
        ParseResult empty;
        empty.error = ParseError{ParseError::Code::EmptyFile, -1, 0, 0,
                                 QStringLiteral("the file is empty (0 bytes): it holds no property list")};
        return empty;
    }
    if (bytes.startsWith("bplist"))
        return detail::parseBinary(bytes, options);
    // Read as UTF-16, UTF-32 would only show up as some stray character.
    if (isUtf32(bytes)) {
        ParseResult failed;
        failed.error =
            ParseError{ParseError::Code::BadEncoding, -1, 0, 0,
                       QStringLiteral("the text is UTF-32, which is not read: save the file as UTF-8 or UTF-16")};
        return failed;
    }

    const Utf16 order = utf16Order(bytes);
    // UTF-8 XML goes to the XML reader undecoded: it checks the encoding itself,
    // and a large document is not decoded twice.
    if (order == Utf16::No && looksLikeXmlBytes(bytes))
        return detail::parseXml(bytes, options);

    ParseResult failed;
    const std::optional<QString> text = decodeText(bytes, order, failed.error);
    if (!text)
        return failed;
    if (looksLikeXmlText(*text)) {
        // The reader recognises UTF-16 by its mark; give it one if missing.
        if (order != Utf16::No && !hasUtf16Bom(bytes))
            return detail::parseXml(
                (order == Utf16::LittleEndian ? QByteArray("\xFF\xFE", 2) : QByteArray("\xFE\xFF", 2)) + bytes,
                options);
        return detail::parseXml(bytes, options);
    }
    return detail::parseOldStyle(*text, options);
}

} // namespace plist
