// The binary reader, on documents from the case tables and built here byte by byte.
#include "Support.h"

#include <QFile>

using namespace plist;

namespace {

QByteArray bigEndian(std::uint64_t v, int width)
{
    QByteArray out(width, '\0');
    for (int i = width - 1; i >= 0; --i, v >>= 8)
        out[i] = static_cast<char>(v & 0xFF);
    return out;
}

// A marker with its count: in the low nibble, or 0xF and an integer object.
QByteArray head(int type, std::uint64_t count)
{
    if (count < 15)
        return QByteArray(1, static_cast<char>((type << 4) | count));
    const int log = count <= 0xFF ? 0 : count <= 0xFFFF ? 1 : count <= 0xFFFFFFFF ? 2 : 3;
    return QByteArray(1, static_cast<char>((type << 4) | 0xF)) + static_cast<char>(0x10 | log) +
           bigEndian(count, 1 << log);
}

// Writes bplist00 documents: objects are raw bytes, referred to by index in
// refSize bytes; build() lays out the offset table and trailer.
struct Writer {
    int offsetSize;
    int refSize;
    std::vector<QByteArray> objects;

    explicit Writer(int offsets = 1, int refs = 1) : offsetSize(offsets), refSize(refs) {}

    std::uint64_t add(const QByteArray& raw)
    {
        objects.push_back(raw);
        return objects.size() - 1;
    }
    std::uint64_t ascii(const QByteArray& s) { return add(head(5, s.size()) + s); }
    // An array (0xA) of items, or a dictionary (0xD) of items (its keys) and values.
    std::uint64_t list(int type, const std::vector<std::uint64_t>& items, const std::vector<std::uint64_t>& values = {})
    {
        QByteArray raw = head(type, items.size());
        for (const auto* refs : {&items, &values})
            for (std::uint64_t r : *refs)
                raw += bigEndian(r, refSize);
        return add(raw);
    }
    QByteArray build(std::uint64_t top) const
    {
        QByteArray out = "bplist00";
        QByteArray table;
        for (const QByteArray& o : objects) {
            table += bigEndian(out.size(), offsetSize);
            out += o;
        }
        const std::uint64_t tableAt = out.size();
        out += table + QByteArray(6, '\0') + static_cast<char>(offsetSize) + static_cast<char>(refSize);
        return out + bigEndian(objects.size(), 8) + bigEndian(top, 8) + bigEndian(tableAt, 8);
    }
};

// Rows of binary-objects.tsv (one object, the whole of a document built
// here) and of plist-binary-documents.tsv (whole documents): name, bytes in
// hex, then "=", the value's JSON line and its duplicate keys, or the error's
// code and the byte of the file where it is (binary documents have no lines).
TEST(BinaryParser, ReadsObjectsAndDocumentsOrSaysWhereTheyAreBad)
{
    for (const QString table : {"binary-objects.tsv", "plist-binary-documents.tsv"}) {
        for (const QStringList& row : caseRows(table)) {
            SCOPED_TRACE((table + ": " + row.value(0)).toStdString());
            ASSERT_GE(row.size(), 4);
            QByteArray bytes = QByteArray::fromHex(row[1].toLatin1());
            if (table == "binary-objects.tsv") {
                Writer w;
                bytes = w.build(w.add(bytes));
            }
            const ParseResult r = parse(bytes);
            EXPECT_EQ(r.format, Format::Binary);
            if (row[2] == "=") {
                expectValue(r, row, 3);
            } else {
                EXPECT_EQ(r.error.code, codeNamed(row[2])) << r.errorText().toStdString();
                EXPECT_EQ(r.error.line, 0);
                EXPECT_EQ(r.error.offset, row[3].toLongLong()) << r.errorText().toStdString();
            }
        }
    }
}

// {"A": ["B", 300, "A"]} with every width of offsets and references.
TEST(BinaryParser, ReadsEveryOffsetAndReferenceWidth)
{
    const Value expected = dict({{"A", Value::array({Value("B"), Value::integer(300), Value("A")})}});
    for (int offsetSize = 1; offsetSize <= 8; ++offsetSize) {
        for (int refSize = 1; refSize <= 8; ++refSize) {
            Writer w{offsetSize, refSize};
            const auto a = w.ascii("A");
            const auto array = w.list(0xA, {w.ascii("B"), w.add("\x11\x01\x2c"), a});
            const ParseResult r = parse(w.build(w.list(0xD, {a}, {array})));
            ASSERT_TRUE(r.ok()) << offsetSize << "/" << refSize << ": " << r.errorText().toStdString();
            EXPECT_EQ(*r.value, expected) << offsetSize << "/" << refSize;
        }
    }
}

TEST(BinaryParser, ReadsCountsThatFollowTheMarker)
{
    for (int count : {14, 15, 16, 255, 256, 70000}) {
        Writer w{4, 2};
        const auto one = w.add("\x10\x01");
        std::vector<std::uint64_t> keys;
        for (int i = 0; i < std::min(count, 300); ++i)
            keys.push_back(w.ascii("k" + QByteArray::number(i)));
        const QByteArray data(count, '\x05');
        const auto top = w.list(0xA, {w.ascii(QByteArray(count, 'x')), w.add(head(4, count) + data),
                                      w.add(head(6, count) + QByteArray("\x00\xE9", 2).repeated(count)),
                                      w.list(0xA, std::vector<std::uint64_t>(count, one)),
                                      w.list(0xD, keys, std::vector<std::uint64_t>(keys.size(), one))});
        const ParseResult r = parse(w.build(top));
        ASSERT_TRUE(r.ok()) << count << ": " << r.errorText().toStdString();
        const std::vector<Value>& values = r.value->toArray();
        ASSERT_EQ(values.size(), 5u);
        EXPECT_EQ(values[0].toString(), QString(count, u'x'));
        EXPECT_EQ(values[1].toData(), data);
        EXPECT_EQ(values[2].toString(), QString(count, QChar(0xE9)));
        EXPECT_EQ(values[3].toArray(), std::vector<Value>(count, Value::integer(1)));
        EXPECT_EQ(values[4].toDictionary().size(), static_cast<int>(keys.size()));
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

// A chain of arrays `depth` deep around the object `inner`.
std::uint64_t chain(Writer& w, std::uint64_t inner, int depth)
{
    for (int i = 0; i < depth; ++i)
        inner = w.list(0xA, {inner});
    return inner;
}

TEST(BinaryParser, BoundsNesting)
{
    for (int depth : {kMaxNestingDepth, kMaxNestingDepth + 1, 100000}) {
        Writer w{4, 4};
        const ParseResult r = parse(w.build(chain(w, w.ascii("seed"), depth)));
        EXPECT_EQ(r.error.code, depth == kMaxNestingDepth ? Code::None : Code::TooDeep) << depth;
    }
    // An object read once near the top is still too deep when it is reached
    // again under a long chain: the depth check must hold for shared objects too.
    for (int length : {509, 510}) {
        Writer w{4, 2};
        const auto shared = w.list(0xA, {w.list(0xA, {})}); // two levels
        const ParseResult r = parse(w.build(w.list(0xA, {shared, chain(w, shared, length)})));
        EXPECT_EQ(r.ok(), length == 509) << length << ": " << r.errorText().toStdString();
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
        inner = w.list(0xA, {inner, inner});
    return w.build(inner);
}

TEST(BinaryParser, SharesObjectsUpToABound)
{
    const ParseResult shared = parse(doubling(11)); // 2^12 - 1 values
    ASSERT_TRUE(shared.ok()) << shared.errorText().toStdString();
    const Value* v = &*shared.value;
    for (int i = 0; i < 11; ++i, v = &v->toArray()[1]) {
        ASSERT_EQ(v->toArray().size(), 2u);
        EXPECT_EQ(&v->toArray()[0].toArray(), &v->toArray()[1].toArray()) << "level " << i;
    }
    EXPECT_EQ(*v, Value("leaf"));

    // The bound grows with the file: 8 values a byte, at least 4096.
    for (int levels : {12, 20, 60}) {
        const ParseResult r = parse(doubling(levels));
        EXPECT_EQ(r.error.code, Code::TooLarge) << levels;
        EXPECT_TRUE(r.error.detail.contains(QLatin1String("more than 4096 values"))) << r.errorText().toStdString();
    }
    // One dictionary of 1000 members shared 1000 times: a million values from 12 KB.
    Writer w{2, 2};
    std::vector<std::uint64_t> keys;
    for (int i = 0; i < 1000; ++i)
        keys.push_back(w.ascii(QByteArray::number(i)));
    const auto members = w.list(0xD, keys, std::vector<std::uint64_t>(1000, w.ascii("v")));
    const QByteArray bytes = w.build(w.list(0xA, std::vector<std::uint64_t>(1000, members)));
    const ParseResult r = parse(bytes);
    EXPECT_EQ(r.error.code, Code::TooLarge);
    EXPECT_TRUE(r.error.detail.contains(QStringLiteral("unfold to more than %1 values").arg(8 * bytes.size())))
        << r.errorText().toStdString();
}

} // namespace
