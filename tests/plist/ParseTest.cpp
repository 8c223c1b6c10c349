// plist::parse as a whole: which reader a document goes to, text encodings,
// the nesting bound that holds in every text format, and the test files of
// other property-list readers (tests/data/peers), filed by what their own
// tests expect: valid, invalid or undetermined.
#include "plist/Parse.h"
#include "plist/JsonWriter.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QMap>
#include <QStringEncoder>

#include <functional>
#include <tuple>
#include <vector>

using namespace plist;

namespace {

QString peersDir()
{
    return qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/peers");
}

QByteArray readPeer(const QString& relative)
{
    QFile file(peersDir() + QLatin1Char('/') + relative);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "cannot read " << relative.toStdString();
    return file.readAll();
}

enum class Expect { Parses, Fails, Survives };

// Where we deliberately differ from a peer's verdict. Each is checked below,
// so the list cannot go stale.
struct Exception {
    Expect expect;
    ParseError::Code code; // for Fails
    const char* reason;
};

const QMap<QString, Exception>& exceptions()
{
    static const QMap<QString, Exception> map = {
        {"go-plist/valid/bplist_test-int128.bplist",
         {Expect::Fails, ParseError::Code::BadValue,
          "a 128-bit integer beyond 2^64; go-plist silently drops its upper half, we refuse to"}},
        {"cpython/invalid/unsupported/token-c0.bplist",
         {Expect::Parses, ParseError::Code::None,
          "0xC0 is the empty set of the published format; plistlib has no sets"}},
        {"go-plist/valid/common-57-empty-text-document.openstep",
         {Expect::Fails, ParseError::Code::EmptyFile,
          "zero bytes hold no property list, as swift-corelibs-foundation's empty-zero-length test expects"}},
        {"rust-plist/invalid/ascii_reader_invalid_octal_escapes.ostep",
         {Expect::Parses, ParseError::Code::None, "short octal escapes are read, as go-plist and GNUstep do"}},
        {"go-plist/valid/common-44-empty-strings-in-arrays.openstep",
         {Expect::Fails, ParseError::Code::UnexpectedToken,
          "go-plist drops empty array elements; that is leniency, not the format"}},
        {"go-plist/valid/common-42-comments.openstep",
         {Expect::Fails, ParseError::Code::UnexpectedToken,
          "'*' is no character of an unquoted string in the platform's text format; go-plist allows it"}},
        {"rust-plist/valid/ascii_reader_integers_and_strings.ostep",
         {Expect::Fails, ParseError::Code::UnexpectedToken,
          "rust-plist takes ',' between dictionary pairs; the format wants ';'"}},
    };
    return map;
}

// What the peer expects of a file: its folder, except for formats we do not read.
Expect expectationFor(const QString& relative)
{
    const auto it = exceptions().constFind(relative);
    if (it != exceptions().constEnd())
        return it->expect;
    // GNUstep's typed-value extension of the text format is no format of
    // ours: such files only must not crash us.
    if (relative.endsWith(QLatin1String(".gnustep")))
        return Expect::Survives;
    if (relative.contains(QLatin1String("/valid/")))
        return Expect::Parses;
    if (relative.contains(QLatin1String("/invalid/")))
        return Expect::Fails;
    return Expect::Survives;
}

QStringList peerFiles()
{
    QStringList files;
    const QString root = peersDir();
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

class Peers : public ::testing::Test {
protected:
    void SetUp() override
    {
        mFiles = peerFiles();
        ASSERT_GT(mFiles.size(), 570) << "the peer corpus is missing or incomplete";
    }
    // Files with the given expectation, and the messages of those that missed it.
    QStringList check(Expect expect, int& count)
    {
        QStringList misses;
        count = 0;
        for (const QString& file : mFiles) {
            if (expectationFor(file) != expect)
                continue;
            ++count;
            const ParseResult r = parse(readPeer(file));
            if (r.ok() != (r.error.code == ParseError::Code::None))
                misses << file + QStringLiteral(": ok=%1 with error \"%2\"").arg(r.ok()).arg(r.errorText());
            else if (expect == Expect::Parses && !r.ok())
                misses << file + QStringLiteral(": ") + r.errorText();
            else if (expect == Expect::Fails && r.ok())
                misses << file + QStringLiteral(": parsed, to ") + QString::fromUtf8(toJson(*r.value).left(200));
        }
        return misses;
    }
    QStringList mFiles;
};

TEST_F(Peers, EachFileMeetsItsExpectation)
{
    const std::pair<Expect, int> expectations[] = {{Expect::Parses, 200}, {Expect::Fails, 300}, {Expect::Survives, 40}};
    for (const auto& [expect, atLeast] : expectations) {
        int count = 0;
        const QStringList misses = check(expect, count);
        EXPECT_GT(count, atLeast);
        EXPECT_TRUE(misses.isEmpty()) << misses.size() << " of " << count << ":\n"
                                      << misses.join(QLatin1Char('\n')).toStdString();
    }
}

TEST_F(Peers, ExceptionsBehaveAsDocumented)
{
    for (auto it = exceptions().constBegin(); it != exceptions().constEnd(); ++it) {
        const ParseResult r = parse(readPeer(it.key()));
        if (it->expect == Expect::Fails) {
            EXPECT_FALSE(r.ok()) << it.key().toStdString() << ": " << it->reason;
            EXPECT_EQ(r.error.code, it->code) << it.key().toStdString() << ": " << r.errorText().toStdString();
        } else {
            EXPECT_TRUE(r.ok()) << it.key().toStdString() << ": " << r.errorText().toStdString();
        }
    }
}

// Values the peers' tests state. Compared as JSON documents (key order apart).
TEST_F(Peers, NotableFilesHoldTheirStatedValues)
{
    const QByteArray unsignedRun = R"([{"integer": "255"}, {"integer": "4095"}, {"integer": "65535"},
        {"integer": "1048575"}, {"integer": "16777215"}, {"integer": "268435455"}, {"integer": "4294967295"},
        {"integer": "9223372036854775807"}, {"integer": "16045690985305262846"}])";
    const QByteArray signedRun = R"([{"integer": "-1"}, {"integer": "-127"}, {"integer": "-255"},
        {"integer": "-32767"}, {"integer": "-65535"}, {"integer": "-9223372036854775808"}])";
    const QList<std::pair<QString, QByteArray>> table = {
        {"cpython/valid/load_int-0xfe.bplist", R"({"integer": "254"})"},
        {"cpython/valid/load_int-0xfedc.bplist", R"({"integer": "65244"})"},
        {"cpython/valid/load_int-0xfedcba98.bplist", R"({"integer": "4275878552"})"},
        {"cpython/valid/load_int-0x0123456789abcdef.bplist", R"({"integer": "81985529216486895"})"},
        {"cpython/valid/load_int-minus0x123456789abcdf0.bplist", R"({"integer": "-81985529216486896"})"},
        {"cpython/valid/load_singletons-null.bplist", "null"},
        {"cpython/valid/load_singletons-fill.bplist", "null"},
        {"cpython/valid/load_singletons-true.bplist", "true"},
        {"cpython/valid/load_singletons-false.bplist", "false"},
        {"cpython/valid/load_aware_datetime.bplist", R"({"date": "2345-06-07T08:00:00Z"})"},
        {"cpython/valid/nonstandard_refs_size.bplist", R"({"a": "b"})"},
        {"cpython/valid/integer_notations-3.plist", R"({"integer": "123"})"},
        {"go-plist/valid/common-12-unsigned-integers-of-increasing-size.bplist", unsignedRun},
        {"go-plist/valid/common-12-unsigned-integers-of-increasing-size.xml.plist", unsignedRun},
        {"go-plist/valid/common-33-signed-integers.bplist", signedRun},
        {"go-plist/valid/common-33-signed-integers.xml.plist", signedRun},
        {"go-plist/valid/common-35-cf-keyed-archiver-uids-interface.bplist",
         R"([{"uid": 255}, {"uid": 65535}, {"uid": 16777215}, {"uid": 4294967295}, {"uid": 1099511627775}])"},
        {"go-plist/valid/common-15-floats-of-increasing-bitness.bplist",
         R"([{"real": "3.4028234663852886e+38"}, {"real": "1.7976931348623157e+308"}])"},
        {"go-plist/valid/bplist_test-signedintvalues.bplist",
         R"([{"integer": "-128"}, {"integer": "127"}, {"integer": "-32768"}, {"integer": "32767"},
             {"integer": "-2147483648"}, {"integer": "2147483647"}, {"integer": "-9223372036854775808"},
             {"integer": "9223372036854775807"}])"},
        {"rust-plist/valid/fuzzer_issue_20_binary_with_data_in_trailer.bplist", "{}"},
        {"rust-plist/valid/fuzzer_issue_22_binary_with_byte_ref_size.bplist", R"({"Test": "1"})"},
    };
    for (const auto& [file, expected] : table) {
        const ParseResult r = parse(readPeer(file));
        ASSERT_TRUE(r.ok()) << file.toStdString() << ": " << r.errorText().toStdString();
        QJsonParseError error;
        // Wrapped in an array: a bare scalar is no JSON document to Qt.
        const QJsonDocument want = QJsonDocument::fromJson("[" + expected + "]", &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << file.toStdString() << ": bad expectation";
        EXPECT_EQ(QJsonDocument::fromJson("[" + toJson(*r.value) + "]"), want)
            << file.toStdString() << ": got " << toJson(*r.value).constData();
    }
}

QByteArray encoded(const QString& text, QStringEncoder::Encoding encoding, bool bom)
{
    QStringEncoder encoder(encoding, bom ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(text);
}

TEST(Parse, RecognisesTheFormat)
{
    const struct {
        const char* name;
        QByteArray bytes;
        Format format;
    } cases[] = {
        // bplist00 holding one true: object at 8, offset table at 9, trailer.
        {"binary",
         QByteArray::fromHex("62706c697374303009080000000000000101000000000000000100000000000000000000000000000009"),
         Format::Binary},
        {"XML declaration", "<?xml version=\"1.0\"?><plist><true/></plist>", Format::Xml},
        {"document type after white space", "\n  <!DOCTYPE plist><plist><true/></plist>", Format::Xml},
        {"plist element", "<plist version=\"1.0\"><true/></plist>", Format::Xml},
        {"UTF-8 mark before XML", "\xEF\xBB\xBF<plist><true/></plist>", Format::Xml},
        {"bare dict element", "<dict><key>a</key><true/></dict>", Format::Xml},
        {"bare string element", " <string>x</string>", Format::Xml},
        {"hex data", "<abcd>", Format::OldStyle},
        {"hex data that starts like an element name", "<dada>", Format::OldStyle},
        {"dictionary", "{ a = b; }", Format::OldStyle},
        {"strings file", "\"a\" = \"b\";", Format::OldStyle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const plist::ParseResult r = plist::parse(c.bytes);
        EXPECT_EQ(r.format, c.format);
        EXPECT_TRUE(r.ok()) << r.errorText().toStdString();
    }
}

TEST(Parse, DecodesEveryTextEncoding)
{
    const QString oldStyle = QString::fromUtf16(u"{ k = \"\u00e9\u4e16\U0001F600\"; }");
    const QString xml =
        QString::fromUtf16(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
                           u"<plist><dict><key>k</key><string>\u00e9\u4e16\U0001F600</string></dict></plist>");
    plist::Dictionary d;
    d.insert(QStringLiteral("k"), Value(QString::fromUtf16(u"\u00e9\u4e16\U0001F600")));
    const Value expected = Value::dictionary(d);

    const struct {
        const char* name;
        QStringEncoder::Encoding encoding;
        bool bom;
    } encodings[] = {
        {"UTF-8", QStringEncoder::Utf8, false},
        {"UTF-8 with mark", QStringEncoder::Utf8, true},
        {"UTF-16LE with mark", QStringEncoder::Utf16LE, true},
        {"UTF-16BE with mark", QStringEncoder::Utf16BE, true},
        {"UTF-16LE without mark", QStringEncoder::Utf16LE, false},
        {"UTF-16BE without mark", QStringEncoder::Utf16BE, false},
    };
    for (const auto& e : encodings) {
        SCOPED_TRACE(e.name);
        for (const QString& document : {oldStyle, xml}) {
            QString text = document;
            if (e.encoding == QStringEncoder::Utf8) // a UTF-8 document declares no UTF-16
                text.replace(QLatin1String("UTF-16"), QLatin1String("UTF-8"));
            const plist::ParseResult r = plist::parse(encoded(text, e.encoding, e.bom));
            ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
            EXPECT_EQ(*r.value, expected);
        }
    }
}

TEST(Parse, RejectsBrokenEncodings)
{
    // Offsets of undecodable text count bytes from the start of the file.
    const struct {
        const char* name;
        QByteArray bytes;
        ParseError::Code code;
        qint64 offset;
        int line, column;
    } cases[] = {
        {"zero bytes", QByteArray(), ParseError::Code::EmptyFile, -1, 0, 0},
        {"invalid UTF-8 in old-style text", "{\n a = \"\xC3\xA9\xC3\x28\"; }", ParseError::Code::BadEncoding, 10, 2, 8},
        {"UTF-16 surrogate written as UTF-8", "\xED\xA0\x80", ParseError::Code::BadEncoding, 0, 1, 1},
        {"after a UTF-8 mark", "\xEF\xBB\xBF(\xFF)", ParseError::Code::BadEncoding, 4, 1, 2},
        {"odd UTF-16", QByteArray("\xFE\xFF\x00{\x00", 5), ParseError::Code::BadEncoding, -1, 0, 0},
        {"unpaired surrogate in UTF-16", QByteArray("\xFF\xFE\x00\xD8(\x00)\x00", 8), ParseError::Code::BadEncoding, -1,
         0, 0},
        {"invalid UTF-8 in XML", "<?xml version=\"1.0\"?><plist><string>\xFF</string></plist>",
         ParseError::Code::MalformedXml, 21, 1, 22}, // where the reader notices
        {"UTF-32LE with mark", QByteArray("\xFF\xFE\0\0{\0\0\0}\0\0\0", 12), ParseError::Code::BadEncoding, -1, 0, 0},
        {"UTF-32BE with mark", QByteArray("\0\0\xFE\xFF\0\0\0{\0\0\0}", 12), ParseError::Code::BadEncoding, -1, 0, 0},
        {"UTF-32LE without mark", QByteArray("<\0\0\0?\0\0\0", 8), ParseError::Code::BadEncoding, -1, 0, 0},
        {"UTF-32BE without mark", QByteArray("\0\0\0<\0\0\0?", 8), ParseError::Code::BadEncoding, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const plist::ParseResult r = plist::parse(c.bytes);
        ASSERT_FALSE(r.ok());
        const ParseError& e = r.error;
        EXPECT_EQ(std::tuple(e.code, e.offset, e.line, e.column), std::tuple(c.code, c.offset, c.line, c.column))
            << r.errorText().toStdString();
    }
}

// The report shows parse errors in the words it always had.
TEST(Parse, ErrorTextKeepsTheReportWording)
{
    const struct {
        QByteArray document;
        const char* text;
    } cases[] = {
        {QByteArray(), "the file is empty (0 bytes): it holds no property list"},
        {"{\n  a = b\n}", "line 3, column 1: ';' is missing after the value of the key \"a\""},
        {"<plist>\n<integer>12a</integer></plist>", "line 2, column 1: \"12a\" is not an integer"},
        {QByteArray("\xFE\xFF\x00{\x00", 5), "UTF-16 text has an odd number of bytes (5)"},
        {"{ a = \"\xC3\x28\"; }", "line 1, column 8: the text is not valid UTF-8 (byte 0xc3)"},
        {"bplist00", "binary property list: the file is too short (8 bytes)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plist::parse(c.document).errorText(), QString::fromUtf8(c.text));
}

TEST(Parse, NestingIsBoundedInEveryTextFormat)
{
    const std::function<QByteArray(int)> nested[] = {
        [](int d) {
            return "<plist>" + QByteArray("<array>").repeated(d) + QByteArray("</array>").repeated(d) + "</plist>";
        },
        [](int d) { return QByteArray("(").repeated(d) + QByteArray(")").repeated(d); },
        [](int d) { return QByteArray("{a=").repeated(d) + "b" + QByteArray(";}").repeated(d); },
    };
    std::vector<QByteArray> tooDeep = {
        // Unclosed: the depth bound must fire before the stack runs out.
        "<dict>" + QByteArray("<key>k</key><dict>").repeated(100000),
        "k = " + QByteArray("{k=").repeated(100000),
        QByteArray("(").repeated(100000),
    };
    for (const auto& make : nested) {
        EXPECT_TRUE(plist::parse(make(plist::kMaxNestingDepth)).ok());
        tooDeep.push_back(make(plist::kMaxNestingDepth + 1));
        tooDeep.push_back(make(100000));
    }
    for (const QByteArray& document : tooDeep) {
        const plist::ParseResult r = plist::parse(document);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error.code, ParseError::Code::TooDeep) << r.errorText().toStdString();
    }
}

} // namespace
