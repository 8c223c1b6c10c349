#include "report/Escaping.h"

#include "platform/FileUrl.h"

#include <algorithm>

namespace report {

QString escapeControlCharacters(const QString& text)
{
    auto isControl = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u < 0x7F)
            return false; // printable ASCII, most of any text: decided at once
        // Also the line and paragraph separators, the bidirectional overrides
        // and isolates (they can make text read differently from what it is),
        // U+FFFC, which stands for an icon in the report, and the bytes of
        // file names that are not UTF-8.
        return u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E) ||
               (u >= 0x2066 && u <= 0x2069) || u == 0xFFFC || platform::undecodableByte(c);
    };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        if (!isControl(c)) {
            out += c;
            continue;
        }
        switch (c.unicode()) {
        case '\n': out += QLatin1String("\\n"); break;
        case '\t': out += QLatin1String("\\t"); break;
        case '\r': out += QLatin1String("\\r"); break;
        default:
            // Upper-case digits after a lower-case marker: "\\x1B", "\\u2028".
            if (const std::optional<unsigned char> byte = platform::undecodableByte(c))
                out += QLatin1String("\\x") + QString::number(*byte, 16).toUpper();
            else if (c.unicode() > 0xFF)
                out += QLatin1String("\\u") +
                       QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0')).toUpper();
            else
                out += QLatin1String("\\x") +
                       QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
        }
    }
    return out;
}

QString escapedExcerpt(const QString& text, qsizetype maxLength)
{
    if (text.size() <= maxLength)
        return escapeControlCharacters(text);
    // Not between the two halves of a surrogate pair.
    const qsizetype cut = maxLength > 0 && text[maxLength - 1].isHighSurrogate() ? maxLength - 1 : maxLength;
    return escapeControlCharacters(text.left(cut)) + QChar(0x2026);
}

} // namespace report
