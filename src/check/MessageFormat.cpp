#include "check/MessageFormat.h"

#include "report/Escaping.h"

#include <QVarLengthArray>

namespace check {

namespace {

QString describe(const FormatArgs& args, qsizetype index)
{
    if (index < 0 || index >= args.size() || !args[index])
        return QStringLiteral("(null)");
    return report::escapeControlCharacters(args[index]->description());
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
    return report::escapeControlCharacters(v.description());
}

} // namespace

QString formatMessage(const QString& format, const FormatArgs& args)
{
    // Put together in a buffer of our own and made a string once: a string
    // appended to piece by piece costs far more per piece.
    QVarLengthArray<QChar, 256> out;
    const auto append = [&out](QStringView piece) { out.append(piece.data(), piece.size()); };
    qsizetype next = 0; // the argument that the next "%@" or "%d" takes
    for (qsizetype i = 0; i < format.size() && out.size() <= kMaxMessageLength; ++i) {
        const QChar c = format[i];
        if (c != QLatin1Char('%') || i + 1 >= format.size()) {
            // The text up to the next '%', as one piece.
            qsizetype end = format.indexOf(QLatin1Char('%'), i + 1);
            if (end < 0)
                end = format.size();
            append(QStringView(format).sliced(i, end - i));
            i = end - 1;
            continue;
        }
        qsizetype j = i + 1;
        bool positional = false;
        qsizetype position = -1; // stays -1 (no argument) for "%0$" or a number too large
        // "%N$": a 1-based position.
        qsizetype k = j;
        while (k < format.size() && format[k].isDigit())
            ++k;
        if (k > j && k < format.size() && format[k] == QLatin1Char('$')) {
            positional = true;
            bool ok = false;
            const long long n = format.mid(j, k - j).toLongLong(&ok);
            if (ok && n >= 1)
                position = static_cast<qsizetype>(n - 1);
            j = k + 1;
        }
        if (j >= format.size()) {
            append(QStringView(format).sliced(i));
            break;
        }
        const QChar conversion = format[j];
        if (conversion == QLatin1Char('%') && !positional) {
            out.append(QLatin1Char('%'));
            i = j;
        } else if (conversion == QLatin1Char('@') || conversion == QLatin1Char('d')) {
            const qsizetype index = positional ? position : next++;
            append(conversion == QLatin1Char('@') ? describe(args, index) : number(args, index));
            i = j;
        } else {
            out.append(c); // not a placeholder we know: keep the text as it stands
        }
    }
    if (out.size() > kMaxMessageLength) {
        // Cut short, not within a surrogate pair, and still ending its line where the format does.
        qsizetype keep = kMaxMessageLength;
        if (out[keep - 1].isHighSurrogate())
            --keep;
        out.resize(keep);
        out.append(QChar(0x2026));
        if (format.endsWith(QLatin1Char('\n')))
            out.append(QLatin1Char('\n'));
    }
    return QString(out.constData(), out.size());
}

QString messageLine(const QString& text, const FormatArgs& args)
{
    const QString line = text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text;
    return args.isEmpty() ? line : formatMessage(line, args);
}

} // namespace check
