#include "check/MessageFormat.h"

#include <algorithm>

namespace check {

QString escapeControlCharacters(const QString& text)
{
    auto isControl = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029;
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
            out += c.unicode() > 0xFF ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper()
                                      : QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        }
    }
    // "\\X" and "\\U" read better with a lower-case marker.
    out.replace(QLatin1String("\\X"), QLatin1String("\\x")).replace(QLatin1String("\\U"), QLatin1String("\\u"));
    return out;
}

namespace {

QString describe(const FormatArgs& args, qsizetype index)
{
    if (index < 0 || index >= args.size() || !args[index])
        return QStringLiteral("(null)");
    return escapeControlCharacters(args[index]->description());
}

QString number(const FormatArgs& args, qsizetype index)
{
    if (index < 0 || index >= args.size() || !args[index])
        return QStringLiteral("(null)");
    const plist::Value& v = *args[index];
    if (v.isInteger())
        return v.toInteger().toString();
    if (v.isReal())
        return QString::number(static_cast<long long>(v.toReal()));
    if (v.isBoolean())
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return escapeControlCharacters(v.description());
}

}  // namespace

QString formatMessage(const QString& format, const FormatArgs& args)
{
    QString out;
    out.reserve(format.size() + 32);
    qsizetype next = 0;  // the argument that the next "%@" or "%d" takes
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            out += c;
            continue;
        }
        qsizetype j = i + 1;
        qsizetype position = -1;
        // "%N$": a 1-based position.
        qsizetype k = j;
        while (k < format.size() && format[k].isDigit())
            ++k;
        if (k > j && k < format.size() && format[k] == QLatin1Char('$')) {
            position = format.mid(j, k - j).toLongLong() - 1;
            j = k + 1;
        }
        if (j >= format.size()) {
            out += format.mid(i);
            break;
        }
        const QChar spec = format[j];
        if (spec == QLatin1Char('%') && position < 0) {
            out += QLatin1Char('%');
            i = j;
        } else if (spec == QLatin1Char('@') || spec == QLatin1Char('d')) {
            const qsizetype index = position >= 0 ? position : next++;
            out += spec == QLatin1Char('@') ? describe(args, index) : number(args, index);
            i = j;
        } else {
            out += c;  // not a placeholder we know: keep the text as it stands
        }
    }
    return out;
}

}  // namespace check
