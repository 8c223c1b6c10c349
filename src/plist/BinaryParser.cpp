// Reader for binary property lists ("bplist00").
//
// Layout: an 8-byte header, the objects, an offset table (one big-endian
// offset per object) and a 32-byte trailer. Containers hold object
// references (indices into the offset table). Every number read from the file
// is checked against the bytes that exist before it is used, so a hostile
// file can neither make us read out of bounds nor allocate beyond its size.
#include "plist/Parsers.h"

#include <QDate>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace plist::detail {

namespace {

using Code = ParseError::Code;

// The header: "bplist", then a two-character version.
constexpr qsizetype kHeaderSize = 8;
constexpr char kMagic[] = "bplist";
constexpr qsizetype kMagicSize = 6;
constexpr qsizetype kVersionAt = 6;

// The trailer, the last 32 bytes: six unused bytes, the widths of an offset
// and of an object reference (one byte each), then three big-endian 8-byte
// numbers: the object count, the top object and where the offset table starts.
constexpr qsizetype kTrailerSize = 32;
constexpr qsizetype kTrailerOffsetSizeAt = 6;
constexpr qsizetype kTrailerRefSizeAt = 7;
constexpr qsizetype kTrailerObjectCountAt = 8;
constexpr qsizetype kTrailerTopObjectAt = 16;
constexpr qsizetype kTrailerTableStartAt = 24;
constexpr int kTrailerNumberSize = 8;
constexpr int kMaxWidth = 8; // of offsets, references and integers

// An object's first byte: what it is in the high nibble, and in the low one
// a size, a count (kCountFollows: an integer object with the count follows),
// or which simple value.
enum class Marker : unsigned char {
    Simple = 0x0,
    Integer = 0x1,
    Real = 0x2,
    Date = 0x3,
    Data = 0x4,
    AsciiString = 0x5,
    Utf16String = 0x6,
    Uid = 0x8,
    Array = 0xA,
    Set = 0xC,
    Dictionary = 0xD,
};
constexpr unsigned kCountFollows = 0xF;
constexpr unsigned kMaxCountWidthLog2 = 3; // a count integer has at most 8 bytes
// Low nibbles of Marker::Simple.
constexpr unsigned kNull = 0x0;
constexpr unsigned kFalse = 0x8;
constexpr unsigned kTrue = 0x9;
constexpr unsigned kFill = 0xF; // padding, no value of its own
// Low nibbles: an integer's width is 1 << n bytes (up to 16), a real's 4 or 8
// bytes, a date is always a double, a UID has n + 1 bytes.
constexpr unsigned kMaxIntegerWidthLog2 = 4;
constexpr unsigned kFloatInfo = 2;
constexpr unsigned kDoubleInfo = 3;
constexpr unsigned kDateInfo = 3;
constexpr unsigned kMaxUidInfo = 7;

Marker markerKind(unsigned char marker)
{
    return static_cast<Marker>(marker >> 4);
}

// The unfolded tree may hold this many values per byte of the file, and this
// many however small the file. Real Info.plists stay under one value for
// every four bytes; a few kilobytes of shared objects must not stand for
// millions of values (and as many findings).
constexpr std::uint64_t kUnfoldedPerByte = 8;
constexpr std::uint64_t kMinUnfoldedLimit = 4096;

// Where a container sits, built into a key path only when a report needs it.
struct PathNode {
    const PathNode* parent = nullptr;
    const QString* key = nullptr; // a dictionary member, else an array element
    int index = 0;
};

QString keyPathOf(const PathNode* node)
{
    if (!node)
        return QString();
    const QString parent = keyPathOf(node->parent);
    return node->key ? memberKeyPath(parent, *node->key) : elementKeyPath(parent, node->index);
}

// Dates outside years 1..9999 have no ISO 8601 text; they are also what a
// damaged double usually looks like.
double secondsFrom2001(int year)
{
    return static_cast<double>(QDate(2001, 1, 1).daysTo(QDate(year, 1, 1))) * 86400.0;
}

class BinaryReader {
public:
    explicit BinaryReader(const QByteArray& bytes)
        : mBytesArray(bytes), mBytes(reinterpret_cast<const unsigned char*>(bytes.constData())), mSize(bytes.size())
    {
    }

    ParseResult run(const ParseOptions& options);
    // In a file that was read whole: the place of the value the members lead
    // to, value being the top object's value as read.
    std::optional<Positions::Place> find(Value value, std::span<const int> members);

private:
    enum class State : unsigned char { Unread, Reading, Done };

    // Keeps the first error: later ones follow from it.
    bool fail(Code code, qsizetype offset, const QString& message)
    {
        if (mError.code == Code::None)
            mError = ParseError{code, offset, 0, 0, message};
        return false;
    }

    // Big-endian unsigned of 1..8 bytes at pos; the caller has checked bounds.
    std::uint64_t readUnsigned(qsizetype pos, int width) const
    {
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i)
            v = (v << 8) | mBytes[pos + i];
        return v;
    }

    // True when n bytes starting at pos lie inside the object area.
    bool inObjectArea(qsizetype pos, std::uint64_t n) const
    {
        return pos >= kHeaderSize && pos <= mObjectsEnd && n <= static_cast<std::uint64_t>(mObjectsEnd - pos);
    }

    bool readTrailer();
    bool readObject(std::uint64_t index, int depth, const PathNode* path);
    bool readCount(std::uint64_t index, qsizetype& pos, unsigned info, std::uint64_t& count);
    bool readReference(std::uint64_t owner, qsizetype pos, std::uint64_t& ref);
    bool readScalar(std::uint64_t index, qsizetype pos, unsigned char marker, Value& out);
    bool readString(std::uint64_t index, qsizetype pos, unsigned info, bool utf16, Value& out);
    bool readContainer(std::uint64_t index, qsizetype pos, unsigned char marker, int depth, const PathNode* path);

    QString where(std::uint64_t index, qsizetype pos) const
    {
        return QStringLiteral("object %1 (offset %2)").arg(index).arg(pos);
    }

    const QByteArray& mBytesArray;
    const unsigned char* mBytes;
    qsizetype mSize;
    ParseError mError;
    QList<DuplicateKey> mDuplicates;

    int mOffsetSize = 0;
    int mRefSize = 0;
    std::uint64_t mObjectCount = 0;
    std::uint64_t mTopObject = 0;
    qsizetype mTableStart = 0;
    qsizetype mObjectsEnd = 0; // objects lie in [kHeaderSize, mObjectsEnd)

    // Objects are immutable, so one referenced from many places is read
    // once; Reading marks the objects on the current path (a cycle).
    struct Slot {
        Value value;
        // Values in the object's tree once shared objects are unfolded, as every
        // reader of the result (validator, dump) walks it. Bounded, so that a few
        // hundred bytes of doubly referenced arrays cannot stand for 2^60 values.
        std::uint64_t unfolded = 1;
        std::uint16_t height = 0; // container levels at and below the object
        State state = State::Unread;
    };
    std::vector<Slot> mSlots;
    std::uint64_t mMaxUnfolded = 0;
};

ParseResult BinaryReader::run(const ParseOptions& options)
{
    ParseResult result;
    result.format = Format::Binary;
    if (readTrailer()) {
        mSlots.resize(static_cast<std::size_t>(mObjectCount));
        mMaxUnfolded = std::max<std::uint64_t>(kMinUnfoldedLimit, kUnfoldedPerByte * static_cast<std::uint64_t>(mSize));
        if (readObject(mTopObject, 0, nullptr)) {
            result.value = mSlots[static_cast<std::size_t>(mTopObject)].value;
            result.duplicates = mDuplicates;
            // Nothing is noted while reading: the objects are looked up in the file when asked.
            if (options.positions) {
                result.positions.emplace();
                result.positions->setSource(Positions::Source::Binary, mBytesArray, QString(), *result.value);
            }
            return result;
        }
    }
    result.error = mError;
    return result;
}

bool BinaryReader::readTrailer()
{
    if (mSize < kHeaderSize + kTrailerSize + 2)
        return fail(Code::BadHeader, 0, QStringLiteral("the file is too short (%1 bytes)").arg(mSize));
    if (std::memcmp(mBytes, kMagic, kMagicSize) != 0)
        return fail(Code::BadHeader, 0, QStringLiteral("the header is not \"bplist\""));
    if (mBytes[kVersionAt] != '0' || mBytes[kVersionAt + 1] != '0') {
        QString version;
        for (qsizetype i = kVersionAt; i < kHeaderSize; ++i)
            version += mBytes[i] >= 0x20 && mBytes[i] < 0x7F
                           ? QString(QChar(mBytes[i]))
                           : QStringLiteral("\\x%1").arg(mBytes[i], 2, 16, QLatin1Char('0'));
        return fail(Code::BadHeader, kVersionAt,
                    QStringLiteral("version \"%1\" is not supported (only \"00\" is)").arg(version));
    }

    const qsizetype trailer = mSize - kTrailerSize;
    mOffsetSize = mBytes[trailer + kTrailerOffsetSizeAt];
    mRefSize = mBytes[trailer + kTrailerRefSizeAt];
    mObjectCount = readUnsigned(trailer + kTrailerObjectCountAt, kTrailerNumberSize);
    mTopObject = readUnsigned(trailer + kTrailerTopObjectAt, kTrailerNumberSize);
    const std::uint64_t tableStart = readUnsigned(trailer + kTrailerTableStartAt, kTrailerNumberSize);

    if (mOffsetSize < 1 || mOffsetSize > kMaxWidth)
        return fail(Code::BadHeader, trailer + kTrailerOffsetSizeAt,
                    QStringLiteral("the trailer's offset size %1 is not 1 to 8").arg(mOffsetSize));
    if (mRefSize < 1 || mRefSize > kMaxWidth)
        return fail(Code::BadHeader, trailer + kTrailerRefSizeAt,
                    QStringLiteral("the trailer's object reference size %1 is not 1 to 8").arg(mRefSize));
    if (mObjectCount == 0)
        return fail(Code::BadHeader, trailer + kTrailerObjectCountAt,
                    QStringLiteral("the trailer declares no objects"));
    if (mTopObject >= mObjectCount)
        return fail(Code::BadHeader, trailer + kTrailerTopObjectAt,
                    QStringLiteral("the top object %1 is out of range (%2 objects)").arg(mTopObject).arg(mObjectCount));
    // At least one object byte lies between the header and the table.
    if (tableStart <= static_cast<std::uint64_t>(kHeaderSize) || tableStart > static_cast<std::uint64_t>(trailer))
        return fail(Code::BadHeader, trailer + kTrailerTableStartAt,
                    QStringLiteral("the offset table offset %1 is outside the file's body (%2..%3)")
                        .arg(tableStart)
                        .arg(kHeaderSize + 1)
                        .arg(trailer));
    mTableStart = static_cast<qsizetype>(tableStart);
    const std::uint64_t tableRoom = static_cast<std::uint64_t>(trailer - mTableStart);
    if (mObjectCount > tableRoom / static_cast<std::uint64_t>(mOffsetSize) ||
        mObjectCount * static_cast<std::uint64_t>(mOffsetSize) != tableRoom)
        return fail(
            Code::BadHeader, trailer + kTrailerTableStartAt,
            QStringLiteral("the offset table at %1 (%2 objects of %3 bytes) does not end at the trailer (offset %4)")
                .arg(mTableStart)
                .arg(mObjectCount)
                .arg(mOffsetSize)
                .arg(trailer));
    // The widths must be able to name every object and every object byte.
    if (mRefSize < kMaxWidth && mObjectCount - 1 > (std::uint64_t{1} << (8 * mRefSize)) - 1)
        return fail(
            Code::BadHeader, trailer + kTrailerRefSizeAt,
            QStringLiteral("%1 objects cannot be referenced with %2-byte references").arg(mObjectCount).arg(mRefSize));
    if (mOffsetSize < kMaxWidth && tableStart - 1 > (std::uint64_t{1} << (8 * mOffsetSize)) - 1)
        return fail(Code::BadHeader, trailer + kTrailerOffsetSizeAt,
                    QStringLiteral("objects up to offset %1 cannot be addressed with %2-byte offsets")
                        .arg(tableStart - 1)
                        .arg(mOffsetSize));
    mObjectsEnd = mTableStart;
    return true;
}

bool BinaryReader::readReference(std::uint64_t owner, qsizetype pos, std::uint64_t& ref)
{
    ref = readUnsigned(pos, mRefSize);
    if (ref >= mObjectCount)
        return fail(Code::BadReference, pos,
                    QStringLiteral("object %1 refers to object %2, which does not exist (%3 objects)")
                        .arg(owner)
                        .arg(ref)
                        .arg(mObjectCount));
    return true;
}

// The count in a marker's low nibble, or in the integer object that follows it.
bool BinaryReader::readCount(std::uint64_t index, qsizetype& pos, unsigned info, std::uint64_t& count)
{
    ++pos; // past the marker
    if (info != kCountFollows) {
        count = info;
        return true;
    }
    if (!inObjectArea(pos, 1) || markerKind(mBytes[pos]) != Marker::Integer ||
        (mBytes[pos] & 0x0F) > kMaxCountWidthLog2)
        return fail(Code::BadValue, pos,
                    QStringLiteral("%1: the length that follows the marker is not an integer of 1 to 8 bytes")
                        .arg(where(index, pos)));
    const int width = 1 << (mBytes[pos] & 0x0F);
    ++pos;
    if (!inObjectArea(pos, static_cast<std::uint64_t>(width)))
        return fail(Code::BadReference, pos,
                    QStringLiteral("%1: the length runs past the object area").arg(where(index, pos)));
    count = readUnsigned(pos, width);
    pos += width;
    return true;
}

bool BinaryReader::readObject(std::uint64_t index, int depth, const PathNode* path)
{
    const std::size_t slot = static_cast<std::size_t>(index);
    const qsizetype entry = mTableStart + static_cast<qsizetype>(index) * mOffsetSize;
    const std::uint64_t offset = readUnsigned(entry, mOffsetSize);
    // An object met before has a valid offset.
    if (mSlots[slot].state == State::Done) {
        if (depth + mSlots[slot].height > kMaxNestingDepth)
            return fail(
                Code::TooDeep, static_cast<qsizetype>(offset),
                QStringLiteral("object %1 is nested more than %2 levels deep").arg(index).arg(kMaxNestingDepth));
        return true;
    }
    if (mSlots[slot].state == State::Reading)
        return fail(Code::BadReference, static_cast<qsizetype>(offset),
                    QStringLiteral("object %1 contains itself (a reference cycle)").arg(index));

    if (offset < static_cast<std::uint64_t>(kHeaderSize) || offset >= static_cast<std::uint64_t>(mObjectsEnd))
        return fail(Code::BadReference, entry,
                    QStringLiteral("object %1 has offset %2, outside the object area (%3..%4)")
                        .arg(index)
                        .arg(offset)
                        .arg(kHeaderSize)
                        .arg(mObjectsEnd - 1));
    const qsizetype pos = static_cast<qsizetype>(offset);
    const unsigned char marker = mBytes[pos];
    switch (markerKind(marker)) {
    case Marker::Array:
    case Marker::Set:
    case Marker::Dictionary:
        if (depth >= kMaxNestingDepth)
            return fail(
                Code::TooDeep, pos,
                QStringLiteral("%1 is nested more than %2 levels deep").arg(where(index, pos)).arg(kMaxNestingDepth));
        mSlots[slot].state = State::Reading;
        if (!readContainer(index, pos, marker, depth, path))
            return false;
        break;
    default:
        if (!readScalar(index, pos, marker, mSlots[slot].value))
            return false;
        break;
    }
    mSlots[slot].state = State::Done;
    return true;
}

bool BinaryReader::readScalar(std::uint64_t index, qsizetype pos, unsigned char marker, Value& out)
{
    const unsigned info = marker & 0x0F;
    const qsizetype body = pos + 1;
    auto need = [&](std::uint64_t n) {
        return inObjectArea(body, n) ||
               fail(Code::BadReference, pos,
                    QStringLiteral("%1: the value's %2 bytes run past the object area").arg(where(index, pos)).arg(n));
    };
    switch (markerKind(marker)) {
    case Marker::Simple:
        switch (info) {
        case kNull:
        case kFill: out = Value(); return true;
        case kFalse: out = Value(false); return true;
        case kTrue: out = Value(true); return true;
        default: break;
        }
        break;
    case Marker::Integer: {
        if (info > kMaxIntegerWidthLog2)
            break;
        const int width = 1 << info;
        if (!need(static_cast<std::uint64_t>(width)))
            return false;
        if (width < 8) {
            out = Value(Integer::fromSigned(static_cast<std::int64_t>(readUnsigned(body, width))));
        } else if (width == 8) {
            out = Value(Integer::fromSigned(static_cast<std::int64_t>(readUnsigned(body, 8))));
        } else {
            // 128 bits: the range [-2^63, 2^64) is kept exactly, the rest is not representable.
            const std::uint64_t high = readUnsigned(body, 8);
            const std::uint64_t low = readUnsigned(body + 8, 8);
            if (high == 0)
                out = Value(Integer::fromUnsigned(low));
            else if (high == ~std::uint64_t{0} && (low >> 63) != 0)
                out = Value(Integer::fromSigned(static_cast<std::int64_t>(low)));
            else
                return fail(
                    Code::BadValue, pos,
                    QStringLiteral("%1: the 16-byte integer is outside the 64-bit range").arg(where(index, pos)));
        }
        return true;
    }
    case Marker::Real:
        if (info == kFloatInfo) {
            if (!need(4))
                return false;
            const auto bits = static_cast<std::uint32_t>(readUnsigned(body, 4));
            float f;
            std::memcpy(&f, &bits, sizeof f);
            out = Value(static_cast<double>(f));
            return true;
        }
        if (info == kDoubleInfo) {
            if (!need(8))
                return false;
            const std::uint64_t bits = readUnsigned(body, 8);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            out = Value(d);
            return true;
        }
        break;
    case Marker::Date: {
        if (info != kDateInfo)
            break;
        if (!need(8))
            return false;
        const std::uint64_t bits = readUnsigned(body, 8);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        static const double earliest = secondsFrom2001(1);
        static const double latest = secondsFrom2001(10000);
        if (!(d >= earliest && d < latest))
            return fail(Code::BadValue, pos,
                        QStringLiteral("%1: the date (%2 seconds from 2001) is not in the years 1 to 9999")
                            .arg(where(index, pos))
                            .arg(d));
        out = Value(Date{d});
        return true;
    }
    case Marker::Data: {
        qsizetype at = pos;
        std::uint64_t count = 0;
        if (!readCount(index, at, info, count))
            return false;
        if (!inObjectArea(at, count))
            return fail(
                Code::BadReference, pos,
                QStringLiteral("%1: the data's %2 bytes run past the object area").arg(where(index, pos)).arg(count));
        out = Value::data(QByteArray(reinterpret_cast<const char*>(mBytes + at), static_cast<qsizetype>(count)));
        return true;
    }
    case Marker::AsciiString: return readString(index, pos, info, false, out);
    case Marker::Utf16String: return readString(index, pos, info, true, out);
    case Marker::Uid:
        if (info > kMaxUidInfo)
            break;
        if (!need(info + 1))
            return false;
        out = Value(Uid{readUnsigned(body, static_cast<int>(info) + 1)});
        return true;
    default: break;
    }
    return fail(Code::UnknownMarker, pos,
                QStringLiteral("%1: unknown marker 0x%2").arg(where(index, pos)).arg(marker, 2, 16, QLatin1Char('0')));
}

bool BinaryReader::readString(std::uint64_t index, qsizetype pos, unsigned info, bool utf16, Value& out)
{
    qsizetype at = pos;
    std::uint64_t count = 0;
    if (!readCount(index, at, info, count))
        return false;
    const std::uint64_t unit = utf16 ? 2 : 1;
    if (count > std::numeric_limits<std::uint64_t>::max() / unit || !inObjectArea(at, count * unit))
        return fail(Code::BadReference, pos,
                    QStringLiteral("%1: the string's %2 characters run past the object area")
                        .arg(where(index, pos))
                        .arg(count));
    const unsigned char* p = mBytes + at;
    const auto n = static_cast<qsizetype>(count);
    if (!utf16) {
        // One pass that vectorises; the culprit is looked for only on failure.
        unsigned char any = 0;
        for (qsizetype i = 0; i < n; ++i)
            any |= p[i];
        if (any >= 0x80) {
            const qsizetype i = std::find_if(p, p + n, [](unsigned char c) { return c >= 0x80; }) - p;
            return fail(Code::BadValue, at + i,
                        QStringLiteral("%1: the ASCII string has byte 0x%2 at offset %3")
                            .arg(where(index, pos))
                            .arg(p[i], 2, 16, QLatin1Char('0'))
                            .arg(at + i));
        }
        out = Value(QString::fromLatin1(reinterpret_cast<const char*>(p), n));
        return true;
    }
    QString text(n, Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < n; ++i)
        dst[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = dst[i];
        if (c < 0xD800 || c > 0xDFFF)
            continue;
        if (c <= 0xDBFF && i + 1 < n && dst[i + 1] >= 0xDC00 && dst[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        return fail(Code::BadValue, at + 2 * i,
                    QStringLiteral("%1: the UTF-16 string has an unpaired surrogate at offset %2")
                        .arg(where(index, pos))
                        .arg(at + 2 * i));
    }
    out = Value(std::move(text));
    return true;
}

bool BinaryReader::readContainer(std::uint64_t index, qsizetype pos, unsigned char marker, int depth,
                                 const PathNode* path)
{
    qsizetype at = pos;
    std::uint64_t count = 0;
    if (!readCount(index, at, marker & 0x0F, count))
        return false;
    const bool isDict = markerKind(marker) == Marker::Dictionary;
    const std::uint64_t perItem = static_cast<std::uint64_t>(mRefSize) * (isDict ? 2 : 1);
    if (count > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
        count > static_cast<std::uint64_t>(mObjectsEnd) / perItem || !inObjectArea(at, count * perItem))
        return fail(Code::BadReference, pos,
                    QStringLiteral("%1: the container's %2 references run past the object area")
                        .arg(where(index, pos))
                        .arg(count));
    const int n = static_cast<int>(count); // bounded by the file size above
    const std::size_t slot = static_cast<std::size_t>(index);
    int height = 1;
    std::uint64_t unfolded = 1;
    // Adds a child's size; false once the whole is too big to hand on.
    auto grow = [&](std::size_t child) {
        height = std::max(height, 1 + mSlots[child].height);
        unfolded += mSlots[child].unfolded;
        if (unfolded <= mMaxUnfolded)
            return true;
        return fail(Code::TooLarge, pos,
                    QStringLiteral("%1: its shared objects unfold to more than %2 values, the limit for a file "
                                   "of this size")
                        .arg(where(index, pos))
                        .arg(mMaxUnfolded));
    };

    if (!isDict) {
        std::vector<Value> items;
        items.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            std::uint64_t ref = 0;
            if (!readReference(index, at + static_cast<qsizetype>(i) * mRefSize, ref))
                return false;
            const PathNode here{path, nullptr, i};
            if (!readObject(ref, depth + 1, &here))
                return false;
            const std::size_t child = static_cast<std::size_t>(ref);
            if (!grow(child))
                return false;
            items.push_back(mSlots[child].value);
        }
        mSlots[slot].value =
            markerKind(marker) == Marker::Set ? Value::set(std::move(items)) : Value::array(std::move(items));
    } else {
        Dictionary dict;
        dict.reserve(n);
        const qsizetype valueRefs = at + static_cast<qsizetype>(n) * mRefSize;
        for (int i = 0; i < n; ++i) {
            std::uint64_t keyRef = 0;
            std::uint64_t valueRef = 0;
            if (!readReference(index, at + static_cast<qsizetype>(i) * mRefSize, keyRef) ||
                !readReference(index, valueRefs + static_cast<qsizetype>(i) * mRefSize, valueRef))
                return false;
            if (!readObject(keyRef, depth + 1, path))
                return false;
            const Value& key = mSlots[static_cast<std::size_t>(keyRef)].value;
            if (!key.isString())
                return fail(Code::BadValue, pos,
                            QStringLiteral("dictionary %1: key %2 (object %3) is of kind %4, not a string")
                                .arg(where(index, pos))
                                .arg(i)
                                .arg(keyRef)
                                .arg(QLatin1String(kindName(key.kind()))));
            const PathNode here{path, &key.toString(), 0};
            if (!readObject(valueRef, depth + 1, &here))
                return false;
            const std::size_t child = static_cast<std::size_t>(valueRef);
            if (!grow(child) || !grow(static_cast<std::size_t>(keyRef)))
                return false;
            if (!dict.insert(key.toString(), mSlots[child].value))
                mDuplicates.append(DuplicateKey{key.toString(), keyPathOf(path), 0});
        }
        mSlots[slot].value = Value::dictionary(std::move(dict));
    }
    mSlots[slot].height = static_cast<std::uint16_t>(height);
    mSlots[slot].unfolded = unfolded;
    return true;
}

std::optional<Positions::Place> BinaryReader::find(Value value, std::span<const int> members)
{
    if (!readTrailer())
        return std::nullopt;
    const auto offsetOf = [this](std::uint64_t object) {
        return static_cast<qsizetype>(
            readUnsigned(mTableStart + static_cast<qsizetype>(object) * mOffsetSize, mOffsetSize));
    };
    std::uint64_t object = mTopObject;
    qsizetype keyAt = -1;
    for (const int member : members) {
        const qsizetype pos = offsetOf(object);
        const unsigned char marker = mBytes[pos];
        qsizetype refs = pos;
        std::uint64_t count = 0;
        if (!readCount(object, refs, marker & 0x0F, count) || static_cast<std::uint64_t>(member) >= count)
            return std::nullopt;
        const auto refAt = [&](std::uint64_t i, std::uint64_t& ref) {
            return readReference(object, refs + static_cast<qsizetype>(i) * mRefSize, ref);
        };
        std::uint64_t next = 0;
        if (markerKind(marker) != Marker::Dictionary) {
            if (!refAt(static_cast<std::uint64_t>(member), next))
                return std::nullopt;
            Value item = value.toArray()[static_cast<std::size_t>(member)];
            value = std::move(item);
            keyAt = -1;
        } else {
            // Without repeated keys the pairs stand in the dictionary's order;
            // with them, the last pair with the member's key counts.
            const Dictionary& dict = value.toDictionary();
            std::uint64_t pair = static_cast<std::uint64_t>(member);
            if (count != static_cast<std::uint64_t>(dict.size())) {
                for (pair = count; pair-- > 0;) {
                    std::uint64_t keyRef = 0;
                    Value key;
                    if (!refAt(pair, keyRef))
                        return std::nullopt;
                    const qsizetype keyPos = offsetOf(keyRef);
                    if (readScalar(keyRef, keyPos, mBytes[keyPos], key) && key.toString() == dict.keyAt(member))
                        break;
                }
                if (pair >= count)
                    return std::nullopt;
            }
            std::uint64_t keyRef = 0;
            if (!refAt(pair, keyRef) || !refAt(count + pair, next))
                return std::nullopt;
            keyAt = offsetOf(keyRef);
            Value item = dict.valueAt(member);
            value = std::move(item);
        }
        object = next;
    }
    return Positions::Place{Location{0, 0, offsetOf(object)}, keyAt >= 0 ? Location{0, 0, keyAt} : Location{}};
}

} // namespace

ParseResult parseBinary(const QByteArray& bytes, const ParseOptions& options)
{
    return BinaryReader(bytes).run(options);
}

std::optional<Positions::Place> findInBinary(const QByteArray& bytes, const Value& root, std::span<const int> members)
{
    return BinaryReader(bytes).find(root, members);
}

} // namespace plist::detail
