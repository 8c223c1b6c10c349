#include "plist/XmlCommon.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace plist::detail::xml {

namespace {

// A code unit as a number; char may be signed.
inline std::uint32_t unit(char c)
{
    return static_cast<unsigned char>(c);
}

inline std::uint32_t unit(char16_t c)
{
    return c;
}

int digitValue(std::uint32_t c, int base)
{
    int d = -1;
    if (c >= '0' && c <= '9')
        d = static_cast<int>(c - '0');
    else if (c >= 'a' && c <= 'f')
        d = static_cast<int>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        d = static_cast<int>(c - 'A' + 10);
    return d < base ? d : -1;
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

template <typename Char> bool equals(std::basic_string_view<Char> s, const char* ascii)
{
    for (Char c : s) {
        if (*ascii == 0 || unit(c) != static_cast<unsigned char>(*ascii))
            return false;
        ++ascii;
    }
    return *ascii == 0;
}

} // namespace

template <typename Char> Tag tagOf(std::basic_string_view<Char> name)
{
    switch (name.size()) {
    case 3:
        if (equals(name, "key"))
            return Tag::Key;
        break;
    case 4:
        if (equals(name, "dict"))
            return Tag::Dict;
        if (equals(name, "real"))
            return Tag::Real;
        if (equals(name, "true"))
            return Tag::True;
        if (equals(name, "data"))
            return Tag::Data;
        if (equals(name, "date"))
            return Tag::Date;
        break;
    case 5:
        if (equals(name, "plist"))
            return Tag::Plist;
        if (equals(name, "array"))
            return Tag::Array;
        if (equals(name, "false"))
            return Tag::False;
        break;
    case 6:
        if (equals(name, "string"))
            return Tag::String;
        break;
    case 7:
        if (equals(name, "integer"))
            return Tag::Integer;
        break;
    default: break;
    }
    return Tag::Unknown;
}

template <typename Char> NumberStatus parseInteger(std::basic_string_view<Char> s, Integer& out)
{
    bool negative = false;
    if (!s.empty() && (s[0] == Char('-') || s[0] == Char('+'))) {
        negative = s[0] == Char('-');
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == Char('0') && (s[1] == Char('x') || s[1] == Char('X'))) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return NumberStatus::NotANumber;
    std::uint64_t value = 0;
    bool overflow = false;
    for (Char c : s) {
        const int d = digitValue(unit(c), base);
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

template <typename Char> NumberStatus parseReal(std::basic_string_view<Char> s, double& out)
{
    char buffer[128] = {};
    if (s.empty() || s.size() >= sizeof buffer)
        return NumberStatus::NotANumber;
    std::size_t n = 0;
    for (Char c : s) {
        if (unit(c) > 0x7f)
            return NumberStatus::NotANumber;
        buffer[n++] = static_cast<char>(unit(c));
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

template <typename Char> bool parseDate(std::basic_string_view<Char> s, Date& out)
{
    auto number = [&](std::size_t at, std::size_t digits, int& value) {
        value = 0;
        for (std::size_t i = at; i < at + digits; ++i) {
            const int d = digitValue(unit(s[i]), 10);
            if (d < 0)
                return false;
            value = value * 10 + d;
        }
        return true;
    };
    if (s.size() < 20 || s[4] != Char('-') || s[7] != Char('-') || s[10] != Char('T') || s[13] != Char(':') ||
        s[16] != Char(':') || s.back() != Char('Z'))
        return false;
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || !number(5, 2, month) || !number(8, 2, day) || !number(11, 2, hour) ||
        !number(14, 2, minute) || !number(17, 2, second))
        return false;
    // Year 0 has no ISO 8601 text the binary format accepts either.
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    double fraction = 0;
    if (s.size() > 20) {
        // ".digits" between the seconds and the Z.
        if (s[19] != Char('.') || s.size() == 21)
            return false;
        double scale = 0.1;
        for (std::size_t i = 20; i < s.size() - 1; ++i) {
            const int d = digitValue(unit(s[i]), 10);
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

template <typename Char> DataStatus decodeData(std::basic_string_view<Char> s, QByteArray& out)
{
    QByteArray base64(static_cast<qsizetype>(s.size()), Qt::Uninitialized);
    char* const start = base64.data();
    char* end = start;
    qsizetype digits = 0;
    for (Char c : s) {
        if (isXmlSpace(c))
            continue;
        if (unit(c) > 0x7f)
            return DataStatus::NotAscii;
        *end++ = static_cast<char>(unit(c));
        if (unit(c) != '=')
            ++digits;
    }
    base64.truncate(end - start);
    // Each base64 digit holds six bits: one left over in a group of four
    // cannot make a byte (a lone "A" is no data, not empty data).
    if (digits % 4 == 1)
        return DataStatus::NotBase64;
    auto decoded = QByteArray::fromBase64Encoding(std::move(base64), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return DataStatus::NotBase64;
    out = std::move(decoded.decoded);
    return DataStatus::Ok;
}

template Tag tagOf(std::basic_string_view<char>);
template Tag tagOf(std::basic_string_view<char16_t>);
template NumberStatus parseInteger(std::basic_string_view<char>, Integer&);
template NumberStatus parseInteger(std::basic_string_view<char16_t>, Integer&);
template NumberStatus parseReal(std::basic_string_view<char>, double&);
template NumberStatus parseReal(std::basic_string_view<char16_t>, double&);
template bool parseDate(std::basic_string_view<char>, Date&);
template bool parseDate(std::basic_string_view<char16_t>, Date&);
template DataStatus decodeData(std::basic_string_view<char>, QByteArray&);
template DataStatus decodeData(std::basic_string_view<char16_t>, QByteArray&);

void TreeBuilder::open(bool isDict, qint64 line)
{
    Container& c = mStack.emplace_back();
    c.isDict = isDict;
    c.openLine = line;
    if (mRecord)
        c.entry = mPositions.begin(mHere, mHereLine);
    // Room for a common size up front spares the first few reallocations.
    if (isDict)
        c.dict.reserve(8);
    else
        c.items.reserve(4);
}

Value TreeBuilder::close()
{
    Container& c = mStack.back();
    Value value = c.isDict ? Value::dictionary(std::move(c.dict)) : Value::array(std::move(c.items));
    if (mRecord)
        mPositions.close(c.entry);
    mClosedEntry = c.entry;
    mStack.pop_back();
    return value;
}

void TreeBuilder::add(Value value)
{
    // A closed container has its entry; a scalar starts one here.
    int entry = mClosedEntry;
    mClosedEntry = -1;
    if (mRecord && entry < 0)
        entry = mPositions.begin(mHere, mHereLine);
    if (mStack.empty()) {
        mRoot = std::move(value);
        return;
    }
    Container& top = mStack.back();
    if (!top.isDict) {
        if (mRecord)
            mPositions.setMember(entry, static_cast<int>(top.items.size()));
        top.items.push_back(std::move(value));
        return;
    }
    int member = top.dict.size();
    // The key is taken over when it is new, and stays for the message when it is not.
    if (!top.dict.insert(std::move(top.key), std::move(value))) {
        mDuplicates.append(DuplicateKey{top.key, containerPath(mStack.size() - 1), static_cast<int>(top.keyLine)});
        // The repeated key keeps its first place in the dictionary.
        member = 0;
        while (top.dict.keyAt(member) != top.key)
            ++member;
    }
    if (mRecord)
        mPositions.setMember(entry, member, top.keyAt, mHereLine > 0 ? static_cast<int>(top.keyLine) : 0);
    top.hasKey = false;
}

// The key path of the container at the given depth of the stack, made from
// where each enclosing container stands in its parent.
QString TreeBuilder::containerPath(std::size_t depth) const
{
    QString path;
    for (std::size_t i = 1; i <= depth; ++i) {
        const Container& parent = mStack[i - 1];
        path = parent.isDict ? memberKeyPath(path, parent.key)
                             : elementKeyPath(path, static_cast<int>(parent.items.size()));
    }
    return path;
}

ParseResult TreeBuilder::takeResult()
{
    ParseResult result;
    result.format = Format::Xml;
    result.value = std::move(mRoot);
    result.duplicates = std::move(mDuplicates);
    if (result.value && mRecord)
        result.positions = std::move(mPositions);
    return result;
}

} // namespace plist::detail::xml
