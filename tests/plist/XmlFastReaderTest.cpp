// The two XML readers side by side: whatever the fast reader accepts, the
// full reader (QXmlStreamReader) must read to the same value and duplicates;
// everything else, errors above all, must come from the full reader.
#include "Support.h"
#include "plist/Parsers.h"
#include "plist/XmlCommon.h"

#include <QDirIterator>
#include <QFile>

#include <cstdio>
#include <map>

namespace {

using plist::ParseResult;

enum class Reader {
    Fast,  // the fast reader reads it
    Full,  // valid, but only the full reader reads it
    Error, // invalid: the full reader words the error
};

std::string describe(const ParseResult& r)
{
    return r.ok() ? plist::toJson(*r.value).toStdString() : "error: " + r.errorText().toStdString();
}

// The key paths of a value and of everything in it.
void collectKeyPaths(const plist::Value& value, const QString& path, QStringList& out)
{
    out.append(path);
    if (value.isDictionary()) {
        const plist::Dictionary& dict = value.toDictionary();
        for (int i = 0; i < dict.size(); ++i)
            collectKeyPaths(dict.valueAt(i), plist::memberKeyPath(path, dict.keyAt(i)), out);
    } else if (value.isArray()) {
        for (std::size_t i = 0; i < value.toArray().size(); ++i)
            collectKeyPaths(value.toArray()[i], plist::elementKeyPath(path, static_cast<int>(i)), out);
    }
}

// The same lines and columns of every value and key (the full reader has
// no byte offsets).
void expectSamePositions(const ParseResult& a, const ParseResult& b)
{
    if (!a.ok() || !b.ok())
        return;
    ASSERT_TRUE(a.positions && b.positions);
    QStringList paths;
    collectKeyPaths(*a.value, QString(), paths);
    for (const QString& path : paths) {
        const auto pa = a.positions->find(path), pb = b.positions->find(path);
        ASSERT_TRUE(pa && pb) << path.toStdString();
        EXPECT_EQ(std::pair(pa->value.line, pa->value.column), std::pair(pb->value.line, pb->value.column))
            << path.toStdString();
        EXPECT_EQ(std::pair(pa->key.line, pa->key.column), std::pair(pb->key.line, pb->key.column))
            << path.toStdString();
    }
}

// Equal in every way a caller can see: value (key order and real bits
// included, through the JSON form), duplicates, error and positions.
void expectSameResult(const ParseResult& a, const ParseResult& b)
{
    expectSamePositions(a, b);
    EXPECT_EQ(describe(a), describe(b));
    EXPECT_EQ(a.ok() && b.ok() && *a.value == *b.value, a.ok() && b.ok());
    EXPECT_EQ(a.format, b.format);
    EXPECT_EQ(a.duplicates, b.duplicates);
    EXPECT_EQ(a.error, b.error);
}

void check(const QString& name, const QByteArray& document, Reader reader)
{
    SCOPED_TRACE(name.toStdString());
    const std::optional<ParseResult> fast = plist::detail::parseXmlFast(document);
    const ParseResult full = plist::detail::parseXmlFull(document);
    EXPECT_EQ(fast.has_value(), reader == Reader::Fast) << (fast ? describe(*fast) : std::string("declined"));
    EXPECT_EQ(full.ok(), reader != Reader::Error) << describe(full);
    if (fast)
        expectSameResult(*fast, full);
    expectSameResult(plist::detail::parseXml(document), full);
}

TEST(XmlPaths, EveryKindOfValueAndMarkup)
{
    const std::map<QString, Reader> readers = {
        {"fast", Reader::Fast}, {"full", Reader::Full}, {"error", Reader::Error}};
    for (const QStringList& row : caseRows("xml-readers.tsv")) {
        ASSERT_EQ(row.size(), 4);
        const QByteArray body = unescaped(row[3]);
        check(row[2], row[1] == "plist" ? xmlDocument(body) : body, readers.at(row[0]));
    }
    for (int depth : {plist::kMaxNestingDepth, plist::kMaxNestingDepth + 1}) {
        const QByteArray nested = QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth);
        check("nesting", xmlDocument(nested), depth > plist::kMaxNestingDepth ? Reader::Error : Reader::Fast);
    }
}

// Every XML file of the peer corpus, valid or not.
TEST(XmlPaths, PeerCorpus)
{
    int documents = 0, fast = 0;
    QDirIterator it(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/peers"), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (plist::parse(bytes).format != plist::Format::Xml)
            continue;
        const ParseResult parsed = plist::detail::parseXml(bytes);
        SCOPED_TRACE(it.filePath().toStdString());
        ++documents;
        const std::optional<ParseResult> fastResult = plist::detail::parseXmlFast(bytes);
        const ParseResult full = plist::detail::parseXmlFull(bytes);
        if (fastResult) {
            ++fast;
            expectSameResult(*fastResult, full);
        }
        expectSameResult(parsed, full);
    }
    std::printf("%d XML documents, %d read by the fast reader\n", documents, fast);
    EXPECT_GT(documents, 100);
    // Most property lists are the plain kind the fast reader is for.
    EXPECT_GT(fast, documents / 3);
}

} // namespace
