// Where values and keys start, asked by key path, in every form a property
// list comes in; the documents and their places are in plist-positions.tsv.
#include "Support.h"

#include <map>

namespace {

struct Document {
    QByteArray bytes;
    std::vector<QStringList> places;
};

std::map<QString, Document> documents()
{
    std::map<QString, Document> read;
    QString name;
    for (const QStringList& row : caseRows("plist-positions.tsv")) {
        if (row[0] == "document")
            read[name = row.value(1)].bytes = unescaped(row.value(2));
        else
            read[name].places.push_back(row);
    }
    return read;
}

QByteArray utf16(const QByteArray& utf8, bool littleEndian, bool mark)
{
    return encoded(QString::fromUtf8(utf8), littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE, mark);
}

// The document's places in these bytes, its lines moved down by lineShift;
// byte offsets where the reader keeps them, and none elsewhere.
void expectPlaces(const Document& document, const QByteArray& bytes, int lineShift, bool offsets)
{
    const plist::ParseResult parsed = plist::parse(bytes);
    ASSERT_TRUE(parsed.ok() && parsed.positions) << parsed.errorText().toStdString();
    // Asked again: the lines are counted once, on the first question.
    for (int round = 0; round < 2; ++round) {
        for (const QStringList& row : document.places) {
            SCOPED_TRACE((row.join(u' ') + QStringLiteral(" round %1").arg(round)).toStdString());
            const auto place = parsed.positions->find(row.value(1));
            ASSERT_EQ(place.has_value(), row[0] == "at");
            if (!place)
                continue;
            ASSERT_GE(row.size(), 6);
            const int valueLine = row[2].toInt(), keyLine = row[4].toInt();
            EXPECT_EQ(place->value.line, valueLine ? valueLine + lineShift : 0);
            EXPECT_EQ(place->value.column, row[3].toInt());
            EXPECT_EQ(place->key.line, keyLine ? keyLine + lineShift : 0);
            EXPECT_EQ(place->key.column, row[5].toInt());
            if (!offsets) {
                EXPECT_EQ(place->value.offset, -1);
            } else if (!row.value(6).isEmpty()) {
                EXPECT_TRUE(bytes.mid(place->value.offset).startsWith(unescaped(row[6]))) << place->value.offset;
            }
            if (!row.value(7).isEmpty()) {
                EXPECT_TRUE(bytes.mid(place->key.offset).startsWith(unescaped(row[7]))) << place->key.offset;
            } else if (keyLine == 0) {
                EXPECT_EQ(place->key.offset, -1);
            }
        }
    }
}

TEST(Positions, InEveryFormEncodingAndLineEnd)
{
    const std::map<QString, Document> read = documents();
    const QByteArray xml = read.at("xml").bytes, oldStyle = read.at("old-style").bytes;
    // The full reader takes a document type with an internal subset (one line more) and UTF-16.
    const QByteArray full = QByteArray(xml).replace("<plist", "<!DOCTYPE plist [ ]>\n<plist");
    const struct {
        const char* document;
        const char* name;
        QByteArray bytes;
        int lineShift;
        bool offsets; // byte offsets: the UTF-8 XML reader and the binary reader keep them
    } variants[] = {
        {"xml", "LF", xml, 0, true},
        {"xml", "CR LF", QByteArray(xml).replace("\n", "\r\n"), 0, true},
        {"xml", "CR", QByteArray(xml).replace("\n", "\r"), 0, true},
        {"xml", "UTF-8 mark", "\xEF\xBB\xBF" + xml, 0, true},
        {"xml", "full reader", full, 1, false},
        {"xml", "full reader, CR LF", QByteArray(full).replace("\n", "\r\n"), 1, false},
        {"xml", "UTF-16LE", utf16(xml, true, true), 0, false},
        {"xml", "UTF-16BE", utf16(xml, false, true), 0, false},
        {"xml", "UTF-16LE unmarked", utf16(xml, true, false), 0, false},
        {"xml", "UTF-16BE unmarked, CR LF", utf16(QByteArray(xml).replace("\n", "\r\n"), false, false), 0, false},
        // White space and no declaration before the first element.
        {"xml", "UTF-16LE, no declaration", utf16(QByteArray(xml).replace("<?xml version=\"1.0\"?>", " "), true, true),
         0, false},
        {"old-style", "LF", oldStyle, 0, false},
        {"old-style", "CR LF", QByteArray(oldStyle).replace("\n", "\r\n"), 0, false},
        {"old-style", "UTF-16LE", utf16(oldStyle, true, true), 0, false},
        {"old-style", "UTF-16BE unmarked", utf16(oldStyle, false, false), 0, false},
        {"strings", "LF", read.at("strings").bytes, 0, false},
        {"separators", "LF", read.at("separators").bytes, 0, false},
        {"binary", "", read.at("binary").bytes, 0, true},
    };
    for (const auto& variant : variants) {
        SCOPED_TRACE(std::string(variant.document) + ", " + variant.name);
        expectPlaces(read.at(variant.document), variant.bytes, variant.lineShift, variant.offsets);
    }
}

// Every entry of a repeated key, in the file's order, in each text form.
TEST(Positions, EachEntryOfARepeatedKey)
{
    const std::pair<QByteArray, std::vector<int>> rows[] = {
        {documents().at("xml").bytes, {4, 8}}, // E: its key lines
        {"{\n E = 1;\n N = { x = 1; };\n E = 2;\n E = 3;\n}", {2, 4, 5}},
    };
    for (const auto& [text, lines] : rows) {
        const plist::ParseResult parsed = plist::parse(text);
        ASSERT_TRUE(parsed.positions);
        std::vector<int> found;
        for (const plist::Positions::Place& place : parsed.positions->findEach(u"E"))
            found.push_back(place.key.line);
        EXPECT_EQ(found, lines) << text.toStdString();
        EXPECT_EQ(parsed.positions->findEach(u"E").back().value, parsed.positions->find(u"E")->value);
        EXPECT_TRUE(parsed.positions->findEach(u"C").empty());
    }
}

TEST(Positions, LeftOutOnRequest)
{
    const QByteArray xml = documents().at("xml").bytes;
    for (const QByteArray& bytes : {xml, QByteArray("{ a = 1; }"), utf16(xml, true, true)}) {
        const plist::ParseResult parsed = plist::parse(bytes, plist::ParseOptions{false});
        EXPECT_TRUE(parsed.ok());
        EXPECT_FALSE(parsed.positions.has_value());
    }
}

} // namespace
