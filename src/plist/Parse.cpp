#include "plist/Parse.h"

#include "plist/Parsers.h"

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

namespace {

bool startsWithBom16(const QByteArray& bytes)
{
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF");
}

// Decodes text: UTF-16 with a byte-order mark, else UTF-8 (a mark is skipped).
std::optional<QString> decodeText(const QByteArray& bytes, QString& error)
{
    if (startsWithBom16(bytes)) {
        if (bytes.size() % 2 != 0) {
            error = QStringLiteral("UTF-16 text has an odd number of bytes (%1)").arg(bytes.size());
            return std::nullopt;
        }
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless);
        QString text = decoder.decode(bytes.mid(2));
        if (decoder.hasError()) {
            error = QStringLiteral("the text is not valid UTF-16");
            return std::nullopt;
        }
        return text;
    }
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError()) {
        error = QStringLiteral("the text is not valid UTF-8");
        return std::nullopt;
    }
    return text;
}

bool looksLikeXml(const QString& text)
{
    qsizetype i = 0;
    if (i < text.size() && text[i] == QChar(0xFEFF))
        ++i;
    while (i < text.size() && text[i].isSpace())
        ++i;
    const QStringView rest = QStringView(text).mid(i);
    return rest.startsWith(QLatin1String("<?xml")) || rest.startsWith(QLatin1String("<!DOCTYPE")) ||
           rest.startsWith(QLatin1String("<plist"));
}

}  // namespace

ParseResult parse(const QByteArray& bytes)
{
    if (bytes.startsWith("bplist"))
        return detail::parseBinary(bytes);

    ParseResult failed;
    const std::optional<QString> text = decodeText(bytes, failed.error);
    // Undecodable bytes may still be XML in another declared encoding.
    if (!text) {
        const QByteArray head = bytes.left(64).trimmed();
        if (head.startsWith("<?xml") || head.startsWith("<!DOCTYPE") || head.startsWith("<plist"))
            return detail::parseXml(bytes);
        return failed;
    }
    if (looksLikeXml(*text))
        return detail::parseXml(bytes);
    return detail::parseOldStyle(*text);
}

}  // namespace plist
