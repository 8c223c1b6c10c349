// The fast path of the XML reader: the part of XML that property lists use,
// read straight from UTF-8 bytes without a general tokenizer. Anything
// outside that part, and anything wrong, is left to the full reader
// (nullopt), so the two cannot disagree on what a document holds and every
// error is worded in one place.
#include "plist/HashBytes.h"
#include "plist/Utf8.h"
#include "plist/XmlCommon.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace plist::detail {

namespace {

using xml::Tag;

// Sixteen bytes at a time, in the processor's vector registers where it has
// them (the compiler picks the instructions). A comparison sets each byte of
// its result where it holds: all ones, else zero.
using Bytes16 = unsigned char __attribute__((vector_size(16)));
using Lanes16 = signed char __attribute__((vector_size(16)));

Bytes16 load16(const unsigned char* p)
{
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Where the first set byte of a comparison's result is, or 16 when none is.
int firstSet(Lanes16 lanes)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &lanes, sizeof halves);
    // The byte first in memory is the lowest of a word, or on some processors the highest.
    const auto first = [](std::uint64_t half) {
        return (std::endian::native == std::endian::little ? std::countr_zero(half) : std::countl_zero(half)) / 8;
    };
    if (halves[0] != 0)
        return first(halves[0]);
    if (halves[1] != 0)
        return 8 + first(halves[1]);
    return 16;
}

// The length of the UTF-8 sequence at p if it encodes a character XML
// allows, else 0. Overlong forms, surrogates, U+FFFE and U+FFFF are refused.
int sequenceLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned b = p[0];
    const auto continuation = [&](std::ptrdiff_t i, unsigned lo, unsigned hi) {
        return end - p > i && p[i] >= lo && p[i] <= hi;
    };
    if (b >= 0xC2 && b <= 0xDF)
        return continuation(1, 0x80, 0xBF) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (!continuation(1, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF) || !continuation(2, 0x80, 0xBF))
            return 0;
        return b == 0xEF && p[1] == 0xBF && p[2] >= 0xBE ? 0 : 3;
    }
    if (b >= 0xF0 && b <= 0xF4)
        return continuation(1, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF) && continuation(2, 0x80, 0xBF) &&
                       continuation(3, 0x80, 0xBF)
                   ? 4
                   : 0;
    return 0;
}

// True when the bytes are UTF-8 of characters XML allows, with no carriage
// return. Checked once up front, so the reader below may take any byte as it
// comes.
bool isPlainText(const char* begin, const char* end)
{
    const auto* p = reinterpret_cast<const unsigned char*>(begin);
    const auto* last = reinterpret_cast<const unsigned char*>(end);
    while (p < last) {
        if (last - p >= 16) {
            const Bytes16 v = load16(p);
            const Lanes16 beyondAscii = v >= 0x80;
            if (firstSet(beyondAscii) == 16) {
                if (firstSet((v < 0x20) & (v != '\t') & (v != '\n')) != 16)
                    return false;
                p += 16;
                continue;
            }
        }
        if (*p < 0x80) {
            if (*p < 0x20 && *p != '\t' && *p != '\n')
                return false;
            ++p;
            continue;
        }
        const int length = sequenceLength(p, last);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

// XML reads "\r\n" and a lone '\r' as '\n', in text and in counting lines.
// collapsed: where in the result each "\r\n" became one '\n'.
std::string withLineFeeds(QByteArrayView bytes, std::vector<qint64>& collapsed)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(bytes.size()));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            out += bytes[i];
            continue;
        }
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            collapsed.push_back(static_cast<qint64>(out.size()));
            ++i;
        }
        out += '\n';
    }
    return out;
}

bool isXmlChar(std::uint32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Names of attributes and of the document type: ASCII only, no colon (the
// full reader judges the rest).
bool isNameStart(char c)
{
    return isLetter(c) || c == '_';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// Bytes where a run of character data stops or needs a look.
constexpr std::array<bool, 256> kTextStops = [] {
    std::array<bool, 256> stops{};
    stops['<'] = stops['&'] = stops[']'] = stops['\n'] = true;
    return stops;
}();

QString fromUtf8(std::string_view s)
{
    // QString::fromUtf8 drops a byte-order mark at the start; in text it is a character.
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (s.substr(0, 3) == kBom) {
        qsizetype marks = 0;
        while (s.substr(0, 3) == kBom) {
            s.remove_prefix(3);
            ++marks;
        }
        return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    }
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Keys repeat throughout a document and from one document to the next: equal
// keys share one string, made once. An open-addressing table, one per thread,
// small enough to stay in the processor's cache (values, mostly unique, would
// only push keys out), emptied when full so that keys seen once give way to
// those that come back.
class KeyTable {
public:
    // The table of this thread.
    static KeyTable& local();
    QString intern(std::string_view text);

private:
    static constexpr std::size_t kMaxKeys = 1024;
    static constexpr std::size_t kMaxLength = 128;

    struct Slot {
        std::string text;
        std::uint64_t hash = 0;
        QString key; // null while the slot is free
    };

    void grow();

    std::vector<Slot> mSlots;
    std::size_t mUsed = 0;
};

KeyTable& KeyTable::local()
{
    static thread_local KeyTable table;
    return table;
}

QString KeyTable::intern(std::string_view text)
{
    if (text.size() > kMaxLength)
        return fromUtf8(text);
    if (mUsed >= kMaxKeys) {
        mSlots.clear();
        mUsed = 0;
    }
    if (mSlots.empty())
        mSlots.resize(64);
    const std::uint64_t hash = hashBytes(text.data(), text.size());
    const std::size_t mask = mSlots.size() - 1;
    std::size_t i = hash & mask;
    for (; !mSlots[i].key.isNull(); i = (i + 1) & mask) {
        if (mSlots[i].hash == hash && mSlots[i].text == text)
            return mSlots[i].key;
    }
    QString key = fromUtf8(text);
    if (key.isNull()) // the empty key; a null QString marks a free slot
        return key;
    mSlots[i] = Slot{std::string(text), hash, key};
    if (++mUsed * 2 > mSlots.size())
        grow();
    return key;
}

void KeyTable::grow()
{
    std::vector<Slot> old(mSlots.size() * 2);
    old.swap(mSlots);
    const std::size_t mask = mSlots.size() - 1;
    for (Slot& slot : old) {
        if (slot.key.isNull())
            continue;
        std::size_t i = slot.hash & mask;
        while (!mSlots[i].key.isNull())
            i = (i + 1) & mask;
        mSlots[i] = std::move(slot);
    }
}

class FastReader {
public:
    FastReader(const QByteArray& bytes, const ParseOptions& options)
        : mBytes(bytes), mP(bytes.data()), mEnd(bytes.data() + bytes.size()), mTree(options.positions)
    {
        if (!bytes.isEmpty() && std::memchr(bytes.data(), '\r', static_cast<std::size_t>(bytes.size()))) {
            mLineFeeds = withLineFeeds(bytes, mCollapsed);
            mP = mLineFeeds.data();
            mEnd = mP + mLineFeeds.size();
        }
        mBegin = mP;
        // About one value in this many bytes of a typical document, keys and indentation included.
        constexpr qsizetype kBytesPerValue = 40;
        mTree.reservePositions(bytes.size() / kBytesPerValue + 8);
    }

    std::optional<ParseResult> run();

private:
    bool at(std::string_view s) const
    {
        return static_cast<std::size_t>(mEnd - mP) >= s.size() && std::memcmp(mP, s.data(), s.size()) == 0;
    }
    bool skipSpace();
    bool attributeValueStart(char& quote);
    void advanceTo(const char* p);
    bool declaration();
    bool doctype();
    bool quotedLiteral();
    bool comment();
    bool cdata();
    bool reference();
    bool startTag();
    bool endTag();
    bool attributes(bool& empty);
    bool text(std::string_view name, std::string_view& out);
    bool scanRun();
    bool endOfText(std::string_view name);
    bool placeValue() const;
    bool scalar(Tag tag, std::string_view text);

    const QByteArray& mBytes;
    std::string mLineFeeds;         // the document with its line ends made '\n', if it had others
    std::vector<qint64> mCollapsed; // where in mLineFeeds each CR LF became one LF
    const char* mP;
    const char* mEnd;
    qint64 mLine = 1;
    const char* mBegin = nullptr;
    xml::TreeBuilder mTree;
    bool mInPlist = false;
    bool mSawPlist = false;
    std::string mBuffer; // text that had references, CDATA sections or comments
};

std::optional<ParseResult> FastReader::run()
{
    if (!isPlainText(mP, mEnd))
        return std::nullopt;
    if (at("\xEF\xBB\xBF"))
        mP += 3;
    if (at("<?xml") && !declaration())
        return std::nullopt;
    bool sawDoctype = false;
    for (;;) {
        skipSpace();
        if (at("<!--")) {
            if (!comment())
                return std::nullopt;
        } else if (at("<!DOCTYPE")) {
            if (sawDoctype || !doctype())
                return std::nullopt;
            sawDoctype = true;
        } else {
            break;
        }
    }
    // The root element, up to its end.
    for (;;) {
        if (!at("<"))
            return std::nullopt;
        if (at("</")) {
            if (!endTag())
                return std::nullopt;
        } else if (at("<!--")) {
            if (!comment())
                return std::nullopt;
        } else if (!startTag()) {
            return std::nullopt;
        }
        if (!mInPlist && mTree.atTop() && mTree.hasRoot())
            break;
        skipSpace();
    }
    for (;;) {
        skipSpace();
        if (mP == mEnd)
            break;
        if (!at("<!--") || !comment())
            return std::nullopt;
    }
    ParseResult result = mTree.takeResult();
    if (result.positions) {
        // The offsets were noted in the bytes read; the positions count in the file's.
        if (!mCollapsed.empty())
            result.positions->restoreCarriageReturns(mCollapsed);
        result.positions->setSource(Positions::Source::Utf8, mBytes, QString(), *result.value);
    }
    return result;
}

// Skips white space; true when there was some.
bool FastReader::skipSpace()
{
    const char* start = mP;
    for (; mP < mEnd; ++mP) {
        if (*mP == '\n')
            ++mLine;
        else if (*mP != ' ' && *mP != '\t')
            break;
    }
    return mP != start;
}

void FastReader::advanceTo(const char* p)
{
    mLine += std::count(mP, p, '\n');
    mP = p;
}

// <?xml version="1.0" encoding="UTF-8" standalone="yes"?>, the last two optional.
// After an attribute's name: "=", then the opening quote of its value.
bool FastReader::attributeValueStart(char& quote)
{
    skipSpace();
    if (!at("="))
        return false;
    ++mP;
    skipSpace();
    if (mP == mEnd || (*mP != '"' && *mP != '\''))
        return false;
    quote = *mP++;
    return true;
}

bool FastReader::declaration()
{
    mP += 5;
    static constexpr std::string_view kNames[] = {"version", "encoding", "standalone"};
    std::size_t next = 0;
    for (;;) {
        const bool space = skipSpace();
        if (at("?>")) {
            mP += 2;
            return next > 0;
        }
        if (!space)
            return false;
        std::size_t which = next;
        while (which < std::size(kNames) && !at(kNames[which]))
            ++which;
        if (which == std::size(kNames) || (next == 0 && which != 0))
            return false;
        mP += kNames[which].size();
        next = which + 1;
        char quote = 0;
        if (!attributeValueStart(quote))
            return false;
        const char* start = mP;
        while (mP < mEnd && *mP != quote && (isNameChar(*mP)))
            ++mP;
        if (mP == mEnd || *mP != quote)
            return false;
        const QLatin1StringView value(start, mP - start);
        ++mP;
        const bool good = which == 0   ? value == QLatin1StringView("1.0")
                          : which == 1 ? value.compare(QLatin1StringView("UTF-8"), Qt::CaseInsensitive) == 0
                                       : value == QLatin1StringView("yes") || value == QLatin1StringView("no");
        if (!good)
            return false;
    }
}

// <!DOCTYPE name>, <!DOCTYPE name SYSTEM "uri">, <!DOCTYPE name PUBLIC "id" "uri">;
// an internal subset is left to the full reader.
bool FastReader::doctype()
{
    mP += 9;
    if (!skipSpace() || mP == mEnd || !isNameStart(*mP))
        return false;
    while (mP < mEnd && isNameChar(*mP))
        ++mP;
    bool space = skipSpace();
    if (space && at("SYSTEM")) {
        mP += 6;
        if (!skipSpace() || !quotedLiteral())
            return false;
    } else if (space && at("PUBLIC")) {
        mP += 6;
        if (!skipSpace() || !quotedLiteral() || !skipSpace() || !quotedLiteral())
            return false;
    }
    skipSpace();
    if (!at(">"))
        return false;
    ++mP;
    return true;
}

// A public identifier or system literal, of the characters such names use.
bool FastReader::quotedLiteral()
{
    if (mP == mEnd || (*mP != '"' && *mP != '\''))
        return false;
    const char quote = *mP++;
    for (; mP < mEnd && *mP != quote; ++mP) {
        const char c = *mP;
        if (!isNameChar(c) && c != ' ' && c != '/' && c != ':')
            return false;
    }
    if (mP == mEnd)
        return false;
    ++mP;
    return true;
}

// <!-- ... -->, with no "--" inside.
bool FastReader::comment()
{
    const std::string_view rest(mP + 4, static_cast<std::size_t>(mEnd - mP - 4));
    const std::size_t dashes = rest.find("--");
    if (dashes == std::string_view::npos || dashes + 2 >= rest.size() || rest[dashes + 2] != '>')
        return false;
    advanceTo(rest.data() + dashes + 3);
    return true;
}

// <![CDATA[ ... ]]>, its content taken as it stands.
bool FastReader::cdata()
{
    const std::string_view rest(mP + 9, static_cast<std::size_t>(mEnd - mP - 9));
    const std::size_t close = rest.find("]]>");
    if (close == std::string_view::npos)
        return false;
    mBuffer.append(rest.data(), close);
    advanceTo(rest.data() + close + 3);
    return true;
}

// &amp; &lt; &gt; &quot; &apos; &#N; &#xH; into mBuffer.
bool FastReader::reference()
{
    constexpr std::ptrdiff_t kLongest = 12; // "&#x" and eight digits and ';'
    const char* semicolon = static_cast<const char*>(std::memchr(mP, ';', std::min(mEnd - mP, kLongest)));
    if (!semicolon)
        return false;
    const std::string_view name(mP + 1, static_cast<std::size_t>(semicolon - mP - 1));
    if (name == "amp")
        mBuffer += '&';
    else if (name == "lt")
        mBuffer += '<';
    else if (name == "gt")
        mBuffer += '>';
    else if (name == "quot")
        mBuffer += '"';
    else if (name == "apos")
        mBuffer += '\'';
    else if (name.size() < 2 || name[0] != '#')
        return false;
    else {
        const bool hex = name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty())
            return false;
        std::uint32_t c = 0;
        for (char d : digits) {
            int v = -1;
            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (hex && d >= 'a' && d <= 'f')
                v = d - 'a' + 10;
            else if (hex && d >= 'A' && d <= 'F')
                v = d - 'A' + 10;
            if (v < 0)
                return false;
            c = c * (hex ? 16 : 10) + static_cast<std::uint32_t>(v); // at most eight digits: no overflow
        }
        if (!isXmlChar(c))
            return false;
        appendUtf8(mBuffer, c);
    }
    mP = semicolon + 1;
    return true;
}

bool FastReader::startTag()
{
    const qint64 line = mLine;
    mTree.setLocation(mP - mBegin, static_cast<int>(mLine));
    const char* nameStart = ++mP;
    while (mP < mEnd && isLetter(*mP))
        ++mP;
    const std::string_view name(nameStart, static_cast<std::size_t>(mP - nameStart));
    const Tag tag = xml::tagOf(name);
    bool empty = false;
    if (tag == Tag::Unknown || !attributes(empty))
        return false;
    switch (tag) {
    case Tag::Plist:
        if (empty || mSawPlist || !mTree.atTop() || mTree.hasRoot())
            return false;
        mInPlist = mSawPlist = true;
        return true;
    case Tag::Dict:
    case Tag::Array:
        if (!placeValue() || mTree.depth() >= static_cast<std::size_t>(kMaxNestingDepth))
            return false;
        mTree.open(tag == Tag::Dict, line);
        if (empty)
            mTree.add(mTree.close());
        return true;
    case Tag::Key: {
        if (mTree.atTop() || !mTree.top().isDict || mTree.top().hasKey)
            return false;
        std::string_view content;
        if (!empty && !text(name, content))
            return false;
        xml::TreeBuilder::Container& dict = mTree.top();
        dict.key = KeyTable::local().intern(content);
        dict.hasKey = true;
        dict.keyLine = line;
        dict.keyAt = mTree.location();
        return true;
    }
    default: {
        if (!placeValue())
            return false;
        std::string_view content;
        if (!empty && !text(name, content))
            return false;
        return scalar(tag, content);
    }
    }
}

// The attributes of a start tag, checked and set aside (the full reader
// ignores them too), up to '>' or "/>".
bool FastReader::attributes(bool& empty)
{
    constexpr int kMostAttributes = 8;
    // Left uninitialised: clearing the array would cost more than reading most tags.
    const char* nameStarts[kMostAttributes];
    std::size_t nameSizes[kMostAttributes];
    int count = 0;
    for (;;) {
        const bool space = skipSpace();
        if (at(">")) {
            ++mP;
            empty = false;
            return true;
        }
        if (at("/>")) {
            mP += 2;
            empty = true;
            return true;
        }
        if (!space || count == kMostAttributes || mP == mEnd || !isNameStart(*mP))
            return false;
        const char* nameStart = mP;
        while (mP < mEnd && isNameChar(*mP))
            ++mP;
        const std::string_view name(nameStart, static_cast<std::size_t>(mP - nameStart));
        if (QLatin1StringView(name.data(), 3 <= name.size() ? 3 : static_cast<qsizetype>(name.size()))
                .compare(QLatin1StringView("xml"), Qt::CaseInsensitive) == 0)
            return false; // reserved names
        for (int i = 0; i < count; ++i) {
            if (name == std::string_view(nameStarts[i], nameSizes[i]))
                return false;
        }
        nameStarts[count] = name.data();
        nameSizes[count] = name.size();
        ++count;
        char quote = 0;
        if (!attributeValueStart(quote))
            return false;
        const char* close = mP;
        while (close < mEnd && *close != quote && *close != '<' && *close != '&')
            ++close;
        if (close == mEnd || *close != quote)
            return false;
        advanceTo(close + 1);
    }
}

// An element's text up to its end tag: a piece of the document, or, when it
// held references, CDATA sections or comments, put together in mBuffer.
bool FastReader::text(std::string_view name, std::string_view& out)
{
    const char* start = mP;
    if (!scanRun())
        return false;
    if (at("</")) {
        out = std::string_view(start, static_cast<std::size_t>(mP - start));
        return endOfText(name);
    }
    mBuffer.assign(start, mP);
    for (;;) {
        if (at("&")) {
            if (!reference())
                return false;
        } else if (at("</")) {
            out = mBuffer;
            return endOfText(name);
        } else if (at("<!--")) {
            if (!comment())
                return false;
        } else if (at("<![CDATA[")) {
            if (!cdata())
                return false;
        } else {
            return false;
        }
        const char* run = mP;
        if (!scanRun())
            return false;
        mBuffer.append(run, mP);
    }
}

// Advances over character data up to the next '<' or '&' (or the end);
// false at "]]>", which XML does not allow in text.
bool FastReader::scanRun()
{
    const char* p = mP;
    while (p < mEnd) {
        // Past the plain characters sixteen at a time.
        if (mEnd - p >= 16) {
            const Bytes16 v = load16(reinterpret_cast<const unsigned char*>(p));
            const int stop = firstSet((v == '<') | (v == '&') | (v == ']') | (v == '\n'));
            p += stop;
            if (stop == 16)
                continue;
        }
        const auto c = static_cast<unsigned char>(*p);
        if (!kTextStops[c]) {
            ++p;
        } else if (c == '\n') {
            ++mLine;
            ++p;
        } else if (c == ']') {
            if (mEnd - p >= 3 && p[1] == ']' && p[2] == '>')
                return false;
            ++p;
        } else {
            break;
        }
    }
    mP = p;
    return true;
}

// "</name>" with optional white space before the '>'.
bool FastReader::endOfText(std::string_view name)
{
    mP += 2;
    if (!at(name))
        return false;
    mP += name.size();
    skipSpace();
    if (!at(">"))
        return false;
    ++mP;
    return true;
}

bool FastReader::endTag()
{
    mP += 2;
    const char* nameStart = mP;
    while (mP < mEnd && isLetter(*mP))
        ++mP;
    const std::string_view name(nameStart, static_cast<std::size_t>(mP - nameStart));
    skipSpace();
    if (!at(">"))
        return false;
    ++mP;
    if (!mTree.atTop()) {
        const xml::TreeBuilder::Container& top = mTree.top();
        if (name != (top.isDict ? "dict" : "array") || top.hasKey)
            return false;
        mTree.add(mTree.close());
        return true;
    }
    if (!mInPlist || name != "plist" || !mTree.hasRoot())
        return false;
    mInPlist = false;
    return true;
}

// Whether a value may start here: at the top before any other, in an array,
// or in a dictionary after a key.
bool FastReader::placeValue() const
{
    if (mTree.atTop())
        return !mTree.hasRoot();
    const xml::TreeBuilder::Container& top = mTree.top();
    return !top.isDict || top.hasKey;
}

bool FastReader::scalar(Tag tag, std::string_view text)
{
    switch (tag) {
    case Tag::String: mTree.add(Value(fromUtf8(text))); return true;
    case Tag::True:
    case Tag::False:
        if (!xml::trimmed(text).empty())
            return false;
        mTree.add(Value(tag == Tag::True));
        return true;
    case Tag::Integer: {
        Integer i;
        if (xml::parseInteger(xml::trimmed(text), i) != xml::NumberStatus::Ok)
            return false;
        mTree.add(Value(i));
        return true;
    }
    case Tag::Real: {
        double d = 0;
        if (xml::parseReal(xml::trimmed(text), d) != xml::NumberStatus::Ok)
            return false;
        mTree.add(Value(d));
        return true;
    }
    case Tag::Data: {
        QByteArray bytes;
        if (xml::decodeData(text, bytes) != xml::DataStatus::Ok)
            return false;
        mTree.add(Value::data(std::move(bytes)));
        return true;
    }
    case Tag::Date: {
        Date date;
        if (!xml::parseDate(xml::trimmed(text), date))
            return false;
        mTree.add(Value(date));
        return true;
    }
    default: return false;
    }
}

} // namespace

std::optional<ParseResult> parseXmlFast(const QByteArray& bytes, const ParseOptions& options)
{
    return FastReader(bytes, options).run();
}

} // namespace plist::detail
