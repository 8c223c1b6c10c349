// plist::parse as a whole: which reader a document goes to, text encodings,
// the nesting bound that holds in every text format, and the test files of
// other property-list readers (tests/data/peers), filed by what their own
// tests expect: valid, invalid or undetermined.
#include "Support.h"
#include "TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QMap>

#include <functional>
#include <map>
#include <tuple>

using namespace plist;

namespace {

QString peersDir()
{
    return qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/peers");
}

QByteArray readPeer(const QString& relative)
{
    return testsupport::readFile(peersDir() + QLatin1Char('/') + relative);
}

enum class Expect { Parses, Fails, Survives };

// What the peer expects of a file: its folder, except for formats we do not read.
Expect expectationFor(const QString& relative)
{
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

// Each file meets its peer's expectation, or for an exception gives its
// error (so the list cannot go stale); a result's error and its ok() agree.
TEST(Peers, EachFileMeetsItsExpectation)
{
    // Where we deliberately differ from a peer's verdict, with the error we give.
    QMap<QString, Code> differ;
    for (const QStringList& row : caseRows("peer-exceptions.tsv"))
        differ.insert(row.value(0), codeNamed(row.value(1)));
    EXPECT_GE(differ.size(), 7);
    std::map<Expect, int> counts;
    QStringList misses;
    QDirIterator it(peersDir(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next().mid(peersDir().size() + 1);
        const auto exception = differ.constFind(file);
        const Expect expect = exception != differ.constEnd() ? Expect::Survives : expectationFor(file);
        ++counts[expect];
        const ParseResult r = parse(readPeer(file));
        if (r.ok() != (r.error.code == ParseError::Code::None))
            misses << file + QStringLiteral(": ok=%1 with error \"%2\"").arg(r.ok()).arg(r.errorText());
        else if (exception != differ.constEnd() && r.error.code != *exception)
            misses << file + QStringLiteral(": not the documented exception: ") + r.errorText();
        else if (expect == Expect::Parses && !r.ok())
            misses << file + QStringLiteral(": ") + r.errorText();
        else if (expect == Expect::Fails && r.ok())
            misses << file + QStringLiteral(": parsed, to ") + QString::fromUtf8(toJson(*r.value).left(200));
    }
    EXPECT_GT(counts[Expect::Parses], 200);
    EXPECT_GT(counts[Expect::Fails], 300);
    EXPECT_GT(counts[Expect::Survives], 40 + differ.size());
    EXPECT_TRUE(misses.isEmpty()) << misses.size() << " misses:\n" << misses.join(QLatin1Char('\n')).toStdString();
}

// Values the peers' tests state. Compared as JSON documents (key order apart).
TEST(Peers, NotableFilesHoldTheirStatedValues)
{
    for (const QStringList& row : caseRows("peer-values.tsv")) {
        const std::string file = row.value(0).toStdString();
        const ParseResult r = parse(readPeer(row.value(0)));
        ASSERT_TRUE(r.ok()) << file << ": " << r.errorText().toStdString();
        QJsonParseError error;
        // Wrapped in an array: a bare scalar is no JSON document to Qt.
        const QJsonDocument want = QJsonDocument::fromJson("[" + row.value(1).toUtf8() + "]", &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << file << ": bad expectation";
        EXPECT_EQ(QJsonDocument::fromJson("[" + toJson(*r.value) + "]"), want)
            << file << ": got " << toJson(*r.value).constData();
    }
}

TEST(Parse, RecognisesTheFormat)
{
    const std::map<QString, Format> formats = {
        {"binary", Format::Binary}, {"xml", Format::Xml}, {"old-style", Format::OldStyle}};
    for (const QStringList& row : caseRows("formats.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        const plist::ParseResult r = plist::parse(unescaped(row.value(1)));
        EXPECT_EQ(r.format, formats.at(row.value(2)));
        EXPECT_TRUE(r.ok()) << r.errorText().toStdString();
    }
}

TEST(Parse, DecodesEveryTextEncoding)
{
    const QString text = QString::fromUtf16(u"\u00e9\u4e16\U0001F600");
    const QString documents[] = {
        "{ k = \"" + text + "\"; }",
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<plist><dict><key>k</key><string>" + text +
            "</string></dict></plist>",
    };
    for (const auto encoding : {QStringEncoder::Utf8, QStringEncoder::Utf16LE, QStringEncoder::Utf16BE}) {
        for (const bool mark : {false, true}) {
            for (QString document : documents) {
                SCOPED_TRACE(std::to_string(encoding) + (mark ? " with mark: " : ": ") + document.toStdString());
                if (encoding == QStringEncoder::Utf8) // a UTF-8 document declares no UTF-16
                    document.replace(QLatin1String("UTF-16"), QLatin1String("UTF-8"));
                const plist::ParseResult r = plist::parse(encoded(document, encoding, mark));
                ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
                EXPECT_EQ(*r.value, dict({{"k", Value(text)}}));
            }
        }
    }
}

TEST(Parse, RejectsBrokenEncodings)
{
    for (const QStringList& row : caseRows("encodings.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 6);
        const plist::ParseResult r = plist::parse(unescaped(row[1]));
        ASSERT_FALSE(r.ok());
        const ParseError& e = r.error;
        EXPECT_EQ(std::tuple(e.code, e.offset, e.line, e.column),
                  std::tuple(codeNamed(row[2]), row[3].toLongLong(), row[4].toInt(), row[5].toInt()))
            << r.errorText().toStdString();
    }
}

// The report shows parse errors in the words it always had.
TEST(Parse, ErrorTextKeepsTheReportWording)
{
    for (const QStringList& row : caseRows("error-texts.tsv"))
        EXPECT_EQ(plist::parse(unescaped(row.value(0))).errorText(), row.value(1));
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
