#include "lsp/Documents.h"

#include <QRegularExpression>
#include <QStringEncoder>

namespace lsp {

qsizetype offsetOf(QStringView text, TextPlace place)
{
    qsizetype at = 0;
    for (int line = 0; line < place.line; ++line) {
        while (at < text.size() && text[at] != u'\n' && text[at] != u'\r')
            ++at;
        if (at == text.size())
            return at;
        at += text[at] == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n' ? 2 : 1;
    }
    for (int column = 0; column < place.character && at < text.size(); ++column, ++at)
        if (text[at] == u'\n' || text[at] == u'\r')
            break;
    return at;
}

TextPlace placeOf(QStringView text, qsizetype offset)
{
    TextPlace place;
    qsizetype lineStart = 0;
    offset = std::min(offset, text.size());
    for (qsizetype i = 0; i < offset; ++i) {
        if (text[i] == u'\n' || (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) {
            ++place.line;
            lineStart = i + 1;
        }
    }
    place.character = static_cast<int>(offset - lineStart);
    return place;
}

int utf16Column(QStringView text, qsizetype lineStart, int column)
{
    qsizetype at = lineStart;
    for (int counted = 1; counted < column && at < text.size(); ++counted) {
        if (text[at] == u'\n' || text[at] == u'\r')
            break;
        at += text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
    }
    return static_cast<int>(at - lineStart);
}

std::optional<DocumentKind> documentKindOf(const QString& fileName)
{
    if (fileName.endsWith(QLatin1String(".plist"), Qt::CaseInsensitive))
        return DocumentKind::InfoPlist;
    if (fileName.endsWith(QLatin1String(".xcprivacy"), Qt::CaseInsensitive) ||
        fileName == QLatin1String("InfoPlist.strings"))
        return DocumentKind::PropertyList;
    return std::nullopt;
}

QByteArray bytesToCheck(const QString& text)
{
    static const QRegularExpression utf16Declaration(QStringLiteral(R"(^\s*<\?xml[^>]*encoding\s*=\s*["']utf-16)"),
                                                     QRegularExpression::CaseInsensitiveOption);
    if (!utf16Declaration.match(QStringView(text).left(200)).hasMatch())
        return text.toUtf8();
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

Document& DocumentStore::open(const QString& uri, const QString& path, DocumentKind kind, QString text, int version)
{
    Document& document = mDocuments[uri];
    document = Document{path, kind, std::move(text), version};
    return document;
}

Document* DocumentStore::find(const QString& uri)
{
    const auto found = mDocuments.find(uri);
    return found == mDocuments.end() ? nullptr : &*found;
}

void DocumentStore::edit(Document& document, TextPlace start, TextPlace end, QStringView replacement)
{
    const qsizetype from = offsetOf(document.text, start);
    const qsizetype to = std::max(from, offsetOf(document.text, end));
    document.text.replace(from, to - from, replacement.toString());
}

} // namespace lsp
