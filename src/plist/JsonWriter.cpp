#include "plist/JsonWriter.h"

#include "plist/Utf8.h"

#include <charconv>
#include <cmath>

namespace plist {

namespace {

using detail::appendUtf8;

void appendHexEscape(QByteArray& out, char16_t unit)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(unit >> shift) & 0xF];
}

// A JSON string. Unpaired surrogates cannot be UTF-8, so they stay escapes.
void appendString(QByteArray& out, const QString& text)
{
    out += '"';
    const char16_t* s = reinterpret_cast<const char16_t*>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        switch (c) {
        case u'"': out += "\\\""; continue;
        case u'\\': out += "\\\\"; continue;
        case u'\b': out += "\\b"; continue;
        case u'\f': out += "\\f"; continue;
        case u'\n': out += "\\n"; continue;
        case u'\r': out += "\\r"; continue;
        case u'\t': out += "\\t"; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            appendHexEscape(out, c);
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(s[i + 1]) - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            appendHexEscape(out, c);
        } else {
            appendUtf8(out, c);
        }
    }
    out += '"';
}

// The shortest text that reads back as the same double.
QByteArray realText(double d)
{
    if (std::isnan(d))
        return "nan";
    if (std::isinf(d))
        return d < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
    return ec == std::errc() ? QByteArray(buffer, static_cast<qsizetype>(end - buffer)) : QByteArray("nan");
}

void newline(QByteArray& out, int level)
{
    out += '\n';
    out.append(2 * level, ' ');
}

void appendTagged(QByteArray& out, const char* tag, const QByteArray& quotedText)
{
    out += "{\"";
    out += tag;
    out += "\": ";
    out += quotedText;
    out += '}';
}

void appendValue(QByteArray& out, const Value& value, int level)
{
    switch (value.kind()) {
    case Kind::Null: out += "null"; return;
    case Kind::Boolean: out += value.toBool() ? "true" : "false"; return;
    case Kind::String: appendString(out, value.toString()); return;
    case Kind::Integer: appendTagged(out, "integer", '"' + value.toInteger().toString().toLatin1() + '"'); return;
    case Kind::Real: appendTagged(out, "real", '"' + realText(value.toReal()) + '"'); return;
    case Kind::Data: appendTagged(out, "data", '"' + value.toData().toBase64() + '"'); return;
    case Kind::Date: appendTagged(out, "date", '"' + value.toDate().toIsoString().toLatin1() + '"'); return;
    case Kind::Uid: appendTagged(out, "uid", QByteArray::number(value.toUid().value)); return;
    case Kind::Set: out += "{\"set\": "; [[fallthrough]];
    case Kind::Array: {
        const std::vector<Value>& items = value.toArray();
        if (items.empty()) {
            out += "[]";
        } else {
            out += '[';
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (i > 0)
                    out += ',';
                newline(out, level + 1);
                appendValue(out, items[i], level + 1);
            }
            newline(out, level);
            out += ']';
        }
        if (value.isSet())
            out += '}';
        return;
    }
    case Kind::Dictionary: {
        const Dictionary& dict = value.toDictionary();
        if (dict.isEmpty()) {
            out += "{}";
            return;
        }
        out += '{';
        for (int i = 0; i < dict.size(); ++i) {
            if (i > 0)
                out += ',';
            newline(out, level + 1);
            appendString(out, dict.keyAt(i));
            out += ": ";
            appendValue(out, dict.valueAt(i), level + 1);
        }
        newline(out, level);
        out += '}';
        return;
    }
    }
}

} // namespace

QByteArray toJson(const Value& value)
{
    QByteArray out;
    appendValue(out, value, 0);
    out += '\n';
    return out;
}

} // namespace plist
