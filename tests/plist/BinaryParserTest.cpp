// The binary reader, on documents built here byte by byte.
#include "Support.h"
#include "plist/Parse.h"

#include <QFile>

#include <gtest/gtest.h>

#include <vector>

using namespace plist;

namespace {

QByteArray bigEndian(std::uint64_t v, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i, v >>= 8)
        out[i] = static_cast<char>(v & 0xFF);
    return out;
}

// Writes bplist00 documents: objects are appended as raw bytes and referred
// to by index; build() lays out the offset table and trailer.
struct Writer {
    int offsetSize = 1;
    int refSize = 1;
    std::uint64_t top = 0;
    std::vector<QByteArray> objects;

    std::uint64_t add(const QByteArray& raw)
    {
        objects.push_back(raw);
        return objects.size() - 1;
    }
    // A marker with its count: in the low nibble, or 0xF and an integer object.
    static QByteArray head(int type, std::uint64_t count)
    {
        if (count < 15)
            return QByteArray(1, static_cast<char>((type << 4) | count));
        QByteArray out(1, static_cast<char>((type << 4) | 0xF));
        const int log = count <= 0xFF ? 0 : count <= 0xFFFF ? 1 : count <= 0xFFFFFFFF ? 2 : 3;
        out += static_cast<char>(0x10 | log);
        return out + bigEndian(count, 1 << log);
    }
    QByteArray refs(const std::vector<std::uint64_t>& list) const
    {
        QByteArray out;
        for (std::uint64_t r : list)
            out += bigEndian(r, refSize);
        return out;
    }
    std::uint64_t ascii(const QByteArray& s) { return add(head(5, s.size()) + s); }
    std::uint64_t utf16(const std::u16string& s)
    {
        QByteArray raw = head(6, s.size());
        for (char16_t c : s)
            raw += bigEndian(c, 2);
        return add(raw);
    }
    std::uint64_t integer(std::uint64_t v, int log) { return add(char(0x10 | log) + bigEndian(v, 1 << log)); }
    std::uint64_t array(const std::vector<std::uint64_t>& items, int type = 0xA)
    {
        return add(head(type, items.size()) + refs(items));
    }
    std::uint64_t dict(const std::vector<std::uint64_t>& keys, const std::vector<std::uint64_t>& values)
    {
        return add(head(0xD, keys.size()) + refs(keys) + refs(values));
    }

    QByteArray build() const
    {
        QByteArray out = "bplist00";
        std::vector<std::uint64_t> offsets;
        for (const QByteArray& o : objects) {
            offsets.push_back(out.size());
            out += o;
        }
        const std::uint64_t table = out.size();
        for (std::size_t i = 0; i < objects.size(); ++i)
            out += bigEndian(offsets[i], offsetSize);
        out += QByteArray(6, '\0');
        out += static_cast<char>(offsetSize);
        out += static_cast<char>(refSize);
        out += bigEndian(objects.size(), 8);
        out += bigEndian(top, 8);
        out += bigEndian(table, 8);
        return out;
    }
};

QByteArray single(const QByteArray& raw)
{
    Writer w;
    w.add(raw);
    return w.build();
}

TEST(BinaryParser, ReadsEachObjectOrSaysWhereItIsBad)
{
    for (const QStringList& row : caseRows("binary-objects.tsv")) {
        SCOPED_TRACE((row.value(0) + ": " + row.value(1)).toStdString());
        ASSERT_EQ(row.size(), 4);
        const ParseResult r = parse(single(QByteArray::fromHex(row[1].toLatin1())));
        if (row[2] == "=") {
            ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
            EXPECT_EQ(r.format, Format::Binary);
            EXPECT_EQ(jsonLine(*r.value), row[3]);
        } else {
            EXPECT_FALSE(r.ok());
            EXPECT_EQ(r.error.code, codeNamed(row[2])) << r.errorText().toStdString();
            EXPECT_EQ(r.error.offset, row[3].toLongLong()) << r.errorText().toStdString();
        }
    }
}

// {"A": ["B", 300, "A"]} with every width of offsets and references.
TEST(BinaryParser, ReadsEveryOffsetAndReferenceWidth)
{
    const Value expected = dict({{"A", Value::array({Value("B"), Value::integer(300), Value("A")})}});
    for (int offsetSize = 1; offsetSize <= 8; ++offsetSize) {
        for (int refSize = 1; refSize <= 8; ++refSize) {
            Writer w;
            w.offsetSize = offsetSize;
            w.refSize = refSize;
            const auto a = w.ascii("A");
            const auto arr = w.array({w.ascii("B"), w.integer(300, 1), a});
            w.top = w.dict({a}, {arr});
            const ParseResult r = parse(w.build());
            ASSERT_TRUE(r.ok()) << offsetSize << "/" << refSize << ": " << r.errorText().toStdString();
            EXPECT_EQ(*r.value, expected) << offsetSize << "/" << refSize;
        }
    }
}

TEST(BinaryParser, ReadsCountsThatFollowTheMarker)
{
    for (std::uint64_t count : {14u, 15u, 16u, 255u, 256u, 70000u}) {
        Writer w;
        w.refSize = 2;
        const auto one = w.integer(1, 0);
        const auto text = w.ascii(QByteArray(static_cast<int>(count), 'x'));
        const auto bytes = w.add(Writer::head(4, count) + QByteArray(static_cast<int>(count), '\x05'));
        std::u16string wide(count, u'é');
        const auto utf = w.utf16(wide);
        const auto items = w.array(std::vector<std::uint64_t>(count, one));
        std::vector<std::uint64_t> keys, values;
        for (std::uint64_t i = 0; i < std::min<std::uint64_t>(count, 300); ++i) {
            keys.push_back(w.ascii("k" + QByteArray::number(static_cast<qulonglong>(i))));
            values.push_back(one);
        }
        const auto members = w.dict(keys, values);
        w.offsetSize = 4;
        w.top = w.array({text, bytes, utf, items, members});
        const ParseResult r = parse(w.build());
        ASSERT_TRUE(r.ok()) << count << ": " << r.errorText().toStdString();
        const std::vector<Value>& top = r.value->toArray();
        ASSERT_EQ(top.size(), 5u);
        EXPECT_EQ(top[0].toString().size(), static_cast<qsizetype>(count));
        EXPECT_EQ(top[1].toData(), QByteArray(static_cast<int>(count), '\x05'));
        EXPECT_EQ(top[2].toString(), QString(static_cast<qsizetype>(count), QChar(0xE9)));
        EXPECT_EQ(top[3].toArray().size(), count);
        EXPECT_EQ(top[4].toDictionary().size(), static_cast<int>(keys.size()));
    }
}

TEST(BinaryParser, KeepsKeyOrderAndListsDuplicates)
{
    Writer w;
    const auto b = w.ascii("b"), a = w.ascii("a"), k = w.ascii("k");
    const auto one = w.integer(1, 0), two = w.integer(2, 0);
    const auto inner = w.dict({k, k}, {one, two});
    const auto list = w.array({one, inner});
    w.top = w.dict({b, a, b}, {one, list, two});
    const ParseResult r = parse(w.build());
    ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
    const Dictionary& d = r.value->toDictionary();
    EXPECT_EQ(d.keys(), (std::vector<QString>{"b", "a"}));
    EXPECT_EQ(*d.find("b"), Value::integer(2));
    EXPECT_EQ(d.find("a")->toArray()[1], dict({{"k", Value::integer(2)}}));
    EXPECT_EQ(r.duplicates, (QList<DuplicateKey>{{"k", "a[1]", 0}, {"b", "", 0}}));
}

TEST(BinaryParser, RejectsDamagedFilesSayingWhy)
{
    for (const QStringList& row : caseRows("binary-damaged.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 4);
        const ParseResult r = parse(QByteArray::fromHex(row[1].toLatin1()));
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error.code, codeNamed(row[2])) << r.errorText().toStdString();
        // Binary documents have no lines; the offset is a byte of the file.
        EXPECT_EQ(r.error.line, 0);
        EXPECT_EQ(r.error.offset, row[3].toLongLong()) << r.errorText().toStdString();
    }
}

// Real documents of every kind of object, UIDs included, from the peer corpus.
TEST(BinaryParser, TruncatedAtEveryLengthIsAnError)
{
    for (const char* name : {"TESTDATA-FMT_BINARY.bplist", "TESTDATA-KEYED_ARCHIVE.bplist"}) {
        QFile file(qEnvironmentVariable("OSTREL_TEST_DATA") + "/peers/cpython/valid/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        const QByteArray whole = file.readAll();
        ASSERT_TRUE(parse(whole).ok());
        // Shorter than the "bplist" magic, the bytes are text, not a binary document.
        for (qsizetype n = 6; n < whole.size(); ++n) {
            const ParseResult r = parse(whole.left(n));
            EXPECT_FALSE(r.ok()) << name << " cut at " << n;
            EXPECT_NE(r.error.code, Code::None) << name << " cut at " << n;
        }
    }
}

// A chain of arrays `depth` deep around a string.
QByteArray nested(int depth)
{
    Writer w;
    w.refSize = 4;
    w.offsetSize = 4;
    std::uint64_t inner = w.ascii("seed");
    for (int i = 0; i < depth; ++i)
        inner = w.array({inner});
    w.top = inner;
    return w.build();
}

TEST(BinaryParser, BoundsNesting)
{
    EXPECT_TRUE(parse(nested(kMaxNestingDepth)).ok());
    const ParseResult deep = parse(nested(kMaxNestingDepth + 1));
    EXPECT_FALSE(deep.ok());
    EXPECT_EQ(deep.error.code, Code::TooDeep);
    EXPECT_EQ(parse(nested(100000)).error.code, Code::TooDeep);
}

// An object read once near the top is still too deep when it is reached again
// under a long chain: the depth check must hold for shared objects too.
TEST(BinaryParser, BoundsNestingThroughSharedObjects)
{
    for (int chain : {509, 510}) {
        Writer w;
        w.refSize = 2;
        w.offsetSize = 4;
        const auto shared = w.array({w.array({})}); // two levels
        std::uint64_t inner = shared;
        for (int i = 0; i < chain; ++i)
            inner = w.array({inner});
        w.top = w.array({shared, inner});
        const ParseResult r = parse(w.build());
        EXPECT_EQ(r.ok(), chain == 509) << chain << ": " << r.errorText().toStdString();
    }
}

// a = [b, b], b = [c, c], ...: objects are read once and shared, but a tree
// that unfolds to more values than the bytes could hold without sharing is
// refused, since everything downstream walks the unfolded tree.
QByteArray doubling(int levels)
{
    Writer w;
    std::uint64_t inner = w.ascii("leaf");
    for (int i = 0; i < levels; ++i)
        inner = w.array({inner, inner});
    w.top = inner;
    return w.build();
}

TEST(BinaryParser, SharesObjectsUpToABound)
{
    const ParseResult shared = parse(doubling(11)); // 2^12 - 1 values
    ASSERT_TRUE(shared.ok()) << shared.errorText().toStdString();
    Value v = *shared.value;
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(v.toArray().size(), 2u);
        EXPECT_EQ(&v.toArray()[0].toArray(), &v.toArray()[1].toArray()) << "level " << i;
        const Value next = v.toArray()[1];
        v = next;
    }
    EXPECT_EQ(v, Value("leaf"));

    // The bound grows with the file: 8 values a byte, at least 4096.
    for (int levels : {12, 20, 60}) {
        const ParseResult r = parse(doubling(levels));
        EXPECT_FALSE(r.ok()) << levels;
        EXPECT_EQ(r.error.code, Code::TooLarge) << r.errorText().toStdString();
        EXPECT_TRUE(r.error.detail.contains(QLatin1String("more than 4096 values"))) << r.errorText().toStdString();
    }
    // One dictionary of 1000 members shared 1000 times: a million values from 12 KB.
    Writer w;
    w.offsetSize = w.refSize = 2;
    std::vector<std::uint64_t> members;
    const std::uint64_t value = w.ascii("v");
    for (int i = 0; i < 1000; ++i)
        members.push_back(w.ascii(QByteArray::number(i)));
    const std::uint64_t dict = w.dict(members, std::vector<std::uint64_t>(1000, value));
    w.top = w.array(std::vector<std::uint64_t>(1000, dict));
    const QByteArray bytes = w.build();
    const ParseResult r = parse(bytes);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error.detail.contains(QStringLiteral("unfold to more than %1 values").arg(8 * bytes.size())))
        << r.errorText().toStdString();
}

} // namespace

namespace {

// Each value and key is found at the byte offset of its object, whose
// marker and bytes stand there; a repeated key's later pair counts, and a
// shared object has the one offset wherever it is used. No lines in binary.
TEST(BinaryParser, PositionsAreObjectOffsets)
{
    Writer w;
    w.refSize = 2; // wider references, and a dictionary with a count that follows its marker
    const auto name = w.ascii("Name"), first = w.ascii("First"), later = w.utf16(u"Later");
    const auto list = w.ascii("List"), shared = w.integer(7, 0);
    const auto array = w.array({shared, w.ascii("x"), shared});
    std::vector<std::uint64_t> keys = {name, list, name}, values = {first, array, later};
    for (int i = 0; i < 15; ++i) {
        keys.push_back(w.ascii("k" + QByteArray::number(i)));
        values.push_back(shared);
    }
    w.top = w.dict(keys, values);
    const QByteArray bytes = w.build();
    const ParseResult parsed = parse(bytes);
    ASSERT_TRUE(parsed.ok() && parsed.positions) << parsed.errorText().toStdString();

    const struct {
        const char* keyPath;
        QByteArray value; // the object's bytes at the value's offset
        QByteArray key;   // and at the key's; empty: no key
    } rows[] = {
        {"", "\xDF", {}},
        {"Name",
         QByteArray("\x65\x00L\x00"
                    "a",
                    5),
         "\x54Name"},
        {"List", "\xA3", "\x54List"},
        {"List[0]", "\x10\x07", {}},
        {"List[1]", "\x51x", {}},
        {"List[2]", "\x10\x07", {}},
        {"k14", "\x10\x07", "\x53k14"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keyPath);
        const auto place = parsed.positions->find(QString::fromUtf8(row.keyPath));
        ASSERT_TRUE(place);
        EXPECT_EQ(place->value.line, 0);
        EXPECT_TRUE(bytes.mid(place->value.offset).startsWith(row.value)) << place->value.offset;
        if (row.key.isEmpty())
            EXPECT_EQ(place->key.offset, -1);
        else
            EXPECT_TRUE(bytes.mid(place->key.offset).startsWith(row.key)) << place->key.offset;
    }
    for (const char* nowhere : {"Other", "List[3]", "Name.x", "k14[0]"})
        EXPECT_FALSE(parsed.positions->find(QString::fromUtf8(nowhere))) << nowhere;
}

} // namespace
