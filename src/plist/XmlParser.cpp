// The XML property-list format, read with QXmlStreamReader. The tree is
// built with an explicit stack, so deep documents cannot exhaust the C++ stack.
#include "plist/Parsers.h"
#include "plist/TextPosition.h"

#include <QXmlStreamReader>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace plist::detail {

namespace {

// Internal entities may expand to this many characters in all; more is an
// attack (nested "billion laughs" entities), not a property list.
constexpr int kEntityExpansionLimit = 4096;

enum class Tag { Plist, Dict, Array, Key, String, Integer, Real, True, False, Data, Date, Unknown };

Tag tagOf(QStringView name)
{
    switch (name.size()) {
    case 3:
        if (name == u"key")
            return Tag::Key;
        break;
    case 4:
        if (name == u"dict")
            return Tag::Dict;
        if (name == u"real")
            return Tag::Real;
        if (name == u"true")
            return Tag::True;
        if (name == u"data")
            return Tag::Data;
        if (name == u"date")
            return Tag::Date;
        break;
    case 5:
        if (name == u"plist")
            return Tag::Plist;
        if (name == u"array")
            return Tag::Array;
        if (name == u"false")
            return Tag::False;
        break;
    case 6:
        if (name == u"string")
            return Tag::String;
        break;
    case 7:
        if (name == u"integer")
            return Tag::Integer;
        break;
    default: break;
    }
    return Tag::Unknown;
}

QString tagText(Tag tag)
{
    static constexpr const char* kNames[] = {"plist", "dict", "array", "key",  "string", "integer",
                                             "real",  "true", "false", "data", "date"};
    const auto index = static_cast<std::size_t>(tag);
    return index < std::size(kNames) ? QStringLiteral("<%1>").arg(QLatin1String(kNames[index])) : QString();
}

bool isXmlSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
}

QStringView trimmed(QStringView s)
{
    qsizetype begin = 0, end = s.size();
    while (begin < end && isXmlSpace(s[begin]))
        ++begin;
    while (end > begin && isXmlSpace(s[end - 1]))
        --end;
    return s.sliced(begin, end - begin);
}

// Text quoted in an error, cut short so that a huge element stays readable.
QString quoted(QStringView s)
{
    constexpr qsizetype kShown = 40;
    QString shown = s.size() > kShown ? s.left(kShown).toString() + QStringLiteral("...") : s.toString();
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

int digitValue(char16_t c, int base)
{
    int d = -1;
    if (c >= u'0' && c <= u'9')
        d = c - u'0';
    else if (c >= u'a' && c <= u'f')
        d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        d = c - u'A' + 10;
    return d < base ? d : -1;
}

enum class NumberStatus { Ok, NotANumber, OutOfRange };

// Decimal or "0x" hexadecimal, with an optional sign: every signed 64-bit
// value and unsigned values up to 2^64-1.
NumberStatus parseInteger(QStringView s, Integer& out)
{
    bool negative = false;
    if (!s.isEmpty() && (s[0] == u'-' || s[0] == u'+')) {
        negative = s[0] == u'-';
        s = s.sliced(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
        base = 16;
        s = s.sliced(2);
    }
    if (s.isEmpty())
        return NumberStatus::NotANumber;
    std::uint64_t value = 0;
    bool overflow = false;
    for (QChar c : s) {
        const int d = digitValue(c.unicode(), base);
        if (d < 0)
            return NumberStatus::NotANumber;
        if (value > (std::numeric_limits<std::uint64_t>::max() - static_cast<std::uint64_t>(d)) /
                        static_cast<std::uint64_t>(base))
            overflow = true; // keep going: a later non-digit is the better message
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    }
    if (overflow)
        return NumberStatus::OutOfRange;
    if (negative) {
        constexpr std::uint64_t kMagnitudeOfMin = std::uint64_t{1} << 63;
        if (value > kMagnitudeOfMin)
            return NumberStatus::OutOfRange;
        out = Integer::fromSigned(static_cast<std::int64_t>(0 - value)); // wraps exactly to INT64_MIN
        return NumberStatus::Ok;
    }
    out = Integer::fromUnsigned(value);
    return NumberStatus::Ok;
}

// A real as the platform writes it: decimal with an optional exponent, or
// "nan", "inf", "infinity" in any case, with an optional sign.
NumberStatus parseReal(QStringView s, double& out)
{
    char buffer[128];
    if (s.isEmpty() || s.size() >= static_cast<qsizetype>(sizeof buffer))
        return NumberStatus::NotANumber;
    qsizetype n = 0;
    for (QChar c : s) {
        if (c.unicode() > 0x7f)
            return NumberStatus::NotANumber;
        buffer[n++] = static_cast<char>(c.unicode());
    }
    const char* begin = buffer;
    const char* end = buffer + n;
    bool negative = false;
    if (*begin == '+' || *begin == '-') {
        negative = *begin == '-';
        ++begin;
    }
    // from_chars takes no sign of its own here: a second one is an error.
    if (begin == end || *begin == '+' || *begin == '-')
        return NumberStatus::NotANumber;
    double value = 0;
    const auto [stop, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range)
        return NumberStatus::OutOfRange;
    if (ec != std::errc() || stop != end)
        return NumberStatus::NotANumber;
    out = negative ? -value : value;
    return NumberStatus::Ok;
}

// Days from 2001-01-01 to a day of the proleptic Gregorian calendar.
std::int64_t daysSince2001(std::int64_t year, int month, int day)
{
    // Years that start in March put the leap day last.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const int shiftedMonth = month > 2 ? month - 3 : month + 9;
    const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    constexpr std::int64_t kDaysFrom0000To2001 = 730791; // 0000-03-01 to 2001-01-01
    return era * 146097 + dayOfEra - kDaysFrom0000To2001;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// "YYYY-MM-DDTHH:MM:SSZ", optionally with a fraction of a second before the Z.
bool parseDate(QStringView s, Date& out)
{
    auto number = [&](qsizetype at, qsizetype digits, int& value) {
        value = 0;
        for (qsizetype i = at; i < at + digits; ++i) {
            const int d = digitValue(s[i].unicode(), 10);
            if (d < 0)
                return false;
            value = value * 10 + d;
        }
        return true;
    };
    if (s.size() < 20 || s[4] != u'-' || s[7] != u'-' || s[10] != u'T' || s[13] != u':' || s[16] != u':' ||
        s.back() != u'Z')
        return false;
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour) ||
        !number(14, 2, minute) || !number(17, 2, second))
        return false;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return false;
    double fraction = 0;
    if (s.size() > 20) {
        // ".digits" between the seconds and the Z.
        if (s[19] != u'.' || s.size() == 21)
            return false;
        double scale = 0.1;
        for (qsizetype i = 20; i < s.size() - 1; ++i) {
            const int d = digitValue(s[i].unicode(), 10);
            if (d < 0)
                return false;
            fraction += d * scale;
            scale /= 10;
        }
    }
    const std::int64_t days = daysSince2001(year, month, day);
    const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    out.secondsSince2001 = static_cast<double>(seconds) + fraction;
    return true;
}

QString tagText(QStringView name)
{
    return QLatin1Char('<') + name.toString() + QLatin1Char('>');
}

class XmlParser {
public:
    explicit XmlParser(const QByteArray& bytes) : mReader(bytes)
    {
        mReader.setNamespaceProcessing(false);
        mReader.setEntityExpansionLimit(kEntityExpansionLimit);
    }

    ParseResult run();

private:
    struct Container {
        bool isDict = false;
        std::vector<Value> items;
        Dictionary dict;
        QString key; // the dictionary's pending key
        bool hasKey = false;
        qint64 keyLine = 0;
        qint64 openLine = 0;
    };

    QXmlStreamReader::TokenType next();
    bool startElement();
    bool endElement();
    bool readText(Tag element);
    bool readScalar(Tag tag);
    bool placeValue(QStringView name);
    void addValue(Value value);
    QString containerPath(std::size_t depth) const;
    QString internedKey(QStringView text);
    bool fail(const QString& problem);
    bool failReader();

    QXmlStreamReader mReader;
    std::vector<Container> mStack;
    std::optional<Value> mRoot;
    bool mInPlist = false;
    bool mSawPlist = false;
    qint64 mLine = 1; // where the current token starts
    qint64 mColumn = 1;
    bool mAfterText = false;
    QString mText;
    QString mError;
    QList<DuplicateKey> mDuplicates;
    // Keys repeat throughout a document; equal keys share one string. The
    // views point into the strings held as values.
    std::unordered_map<std::u16string_view, QString> mKeys;
};

ParseResult XmlParser::run()
{
    ParseResult result;
    result.format = Format::Xml;
    bool ok = true;
    while (ok) {
        switch (next()) {
        case QXmlStreamReader::StartElement: ok = startElement(); break;
        case QXmlStreamReader::EndElement: ok = endElement(); break;
        case QXmlStreamReader::Characters:
            if (!mReader.isWhitespace())
                ok = fail(QStringLiteral("unexpected text %1").arg(quoted(trimmed(mReader.text()))));
            break;
        case QXmlStreamReader::EntityReference:
            ok = fail(QStringLiteral("unexpected entity reference &%1;").arg(mReader.name()));
            break;
        case QXmlStreamReader::DTD:
            // Property lists use no entities of their own; refusing declared
            // ones also shuts out entity-expansion attacks.
            if (!mReader.entityDeclarations().isEmpty())
                ok = fail(QStringLiteral("the document type declares entities, which property lists do not use"));
            break;
        case QXmlStreamReader::Invalid: ok = failReader(); break;
        case QXmlStreamReader::EndDocument: ok = false; break;
        default: break; // declarations, comments, processing instructions
        }
    }
    if (mError.isEmpty() && !mRoot)
        mError = errorAt(mLine, mColumn, QStringLiteral("the document holds no property-list value"));
    if (!mError.isEmpty()) {
        result.error = mError;
        return result;
    }
    result.value = std::move(mRoot);
    result.duplicates = std::move(mDuplicates);
    return result;
}

// Reads the next token and notes where it starts: where the previous one
// ended, except that the reader has already taken the '<' that ended a text.
QXmlStreamReader::TokenType XmlParser::next()
{
    mLine = mReader.lineNumber();
    mColumn = mReader.columnNumber() + (mAfterText ? 0 : 1);
    const QXmlStreamReader::TokenType token = mReader.readNext();
    mAfterText = token == QXmlStreamReader::Characters;
    return token;
}

bool XmlParser::fail(const QString& problem)
{
    mError = errorAt(mLine, mColumn, problem);
    return false;
}

bool XmlParser::failReader()
{
    const qint64 line = mReader.lineNumber();
    const qint64 column = mReader.columnNumber() + 1;
    if (mReader.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
        QString problem = QStringLiteral("the document ends too early");
        if (!mStack.empty())
            problem += QStringLiteral(": the %1 opened on line %2 is not closed")
                           .arg(tagText(mStack.back().isDict ? u"dict" : u"array"))
                           .arg(mStack.back().openLine);
        else if (mInPlist)
            problem += QStringLiteral(": <plist> is not closed");
        else if (!mRoot)
            problem = QStringLiteral("the document holds no property-list value");
        mError = errorAt(line, column, problem);
    } else {
        mError = errorAt(line, column, QStringLiteral("malformed XML: %1").arg(mReader.errorString()));
    }
    return false;
}

bool XmlParser::startElement()
{
    const QStringView name = mReader.name();
    const Tag tag = tagOf(name);
    switch (tag) {
    case Tag::Plist:
        if (mSawPlist || mInPlist || !mStack.empty() || mRoot)
            return fail(QStringLiteral("<plist> may only be the outermost element"));
        mInPlist = mSawPlist = true;
        return true;
    case Tag::Dict:
    case Tag::Array: {
        if (!placeValue(name))
            return false;
        if (mStack.size() >= static_cast<std::size_t>(kMaxNestingDepth))
            return fail(QStringLiteral("containers are nested more than %1 levels deep").arg(kMaxNestingDepth));
        Container c;
        c.isDict = tag == Tag::Dict;
        c.openLine = mLine;
        mStack.push_back(std::move(c));
        return true;
    }
    case Tag::Key: {
        if (mStack.empty() || !mStack.back().isDict)
            return fail(QStringLiteral("<key> outside a <dict>"));
        Container& dict = mStack.back();
        if (dict.hasKey)
            return fail(QStringLiteral("the key %1 has no value").arg(quoted(dict.key)));
        const qint64 line = mLine;
        if (!readText(Tag::Key))
            return false;
        dict.key = std::move(mText);
        dict.hasKey = true;
        dict.keyLine = line;
        return true;
    }
    case Tag::Unknown: return fail(QStringLiteral("unknown element %1").arg(tagText(name)));
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
        if (!mRoot)
            return fail(QStringLiteral("<plist> holds no value"));
        return true;
    case Tag::Dict:
    case Tag::Array: {
        Container& top = mStack.back();
        if (top.hasKey)
            return fail(QStringLiteral("the key %1 has no value").arg(quoted(top.key)));
        Value value = top.isDict ? Value::dictionary(std::move(top.dict)) : Value::array(std::move(top.items));
        mStack.pop_back();
        addValue(std::move(value));
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
    if (mStack.empty()) {
        if (mRoot)
            return fail(QStringLiteral("a second top-level value %1").arg(tagText(name)));
        return true;
    }
    const Container& top = mStack.back();
    if (top.isDict && !top.hasKey)
        return fail(QStringLiteral("%1 in a <dict> has no <key> before it").arg(tagText(name)));
    return true;
}

void XmlParser::addValue(Value value)
{
    if (mStack.empty()) {
        mRoot = std::move(value);
        return;
    }
    Container& top = mStack.back();
    if (!top.isDict) {
        top.items.push_back(std::move(value));
        return;
    }
    if (!top.dict.insert(top.key, std::move(value)))
        mDuplicates.append(DuplicateKey{top.key, containerPath(mStack.size() - 1), static_cast<int>(top.keyLine)});
    top.hasKey = false;
}

// The key path of the container at the given depth of the stack, made from
// where each enclosing container stands in its parent.
QString XmlParser::containerPath(std::size_t depth) const
{
    QString path;
    for (std::size_t i = 1; i <= depth; ++i) {
        const Container& parent = mStack[i - 1];
        path = parent.isDict ? memberKeyPath(path, parent.key)
                             : elementKeyPath(path, static_cast<int>(parent.items.size()));
    }
    return path;
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
            return fail(QStringLiteral("element %1 inside %2").arg(tagText(mReader.name()), tagText(element)));
        case QXmlStreamReader::EntityReference:
            return fail(QStringLiteral("unexpected entity reference &%1;").arg(mReader.name()));
        case QXmlStreamReader::Invalid: return failReader();
        default: break; // comments and processing instructions add nothing
        }
    }
}

bool XmlParser::readScalar(Tag tag)
{
    // A bad value is reported at its start tag.
    const qint64 line = mLine, column = mColumn;
    if (!readText(tag))
        return false;
    mLine = line;
    mColumn = column;
    switch (tag) {
    case Tag::String: addValue(Value(std::move(mText))); return true;
    case Tag::True:
    case Tag::False:
        if (!trimmed(mText).isEmpty())
            return fail(QStringLiteral("%1 must be empty").arg(tagText(tag)));
        addValue(Value(tag == Tag::True));
        return true;
    case Tag::Integer: {
        Integer i;
        switch (parseInteger(trimmed(mText), i)) {
        case NumberStatus::Ok: addValue(Value(i)); return true;
        case NumberStatus::OutOfRange:
            return fail(QStringLiteral("the integer %1 is out of range").arg(quoted(trimmed(mText))));
        case NumberStatus::NotANumber: return fail(QStringLiteral("%1 is not an integer").arg(quoted(trimmed(mText))));
        }
        return false;
    }
    case Tag::Real: {
        double d = 0;
        switch (parseReal(trimmed(mText), d)) {
        case NumberStatus::Ok: addValue(Value(d)); return true;
        case NumberStatus::OutOfRange:
            return fail(QStringLiteral("the real %1 is out of range").arg(quoted(trimmed(mText))));
        case NumberStatus::NotANumber:
            return fail(QStringLiteral("%1 is not a real number").arg(quoted(trimmed(mText))));
        }
        return false;
    }
    case Tag::Data: {
        QByteArray base64;
        base64.reserve(mText.size());
        for (QChar c : std::as_const(mText)) {
            if (isXmlSpace(c))
                continue;
            if (c.unicode() > 0x7f)
                return fail(QStringLiteral("<data> holds a character that is not base64"));
            base64.append(static_cast<char>(c.unicode()));
        }
        auto decoded = QByteArray::fromBase64Encoding(std::move(base64), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return fail(QStringLiteral("<data> is not valid base64"));
        addValue(Value::data(std::move(decoded.decoded)));
        return true;
    }
    case Tag::Date: {
        Date date;
        if (!parseDate(trimmed(mText), date))
            return fail(
                QStringLiteral("%1 is not a date of the form YYYY-MM-DDTHH:MM:SSZ").arg(quoted(trimmed(mText))));
        addValue(Value(date));
        return true;
    }
    default: return false;
    }
}

} // namespace

ParseResult parseXml(const QByteArray& bytes)
{
    return XmlParser(bytes).run();
}

} // namespace plist::detail
