// Where values and keys start, asked by key path, in every text form a
// property list comes in.
#include "Support.h"
#include "plist/Parse.h"
#include "plist/Parsers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using plist::Location;

struct Row {
    const char* keyPath;
    Location value;                   // line and column
    Location key;                     // line 0: none
    const char* startsWith = nullptr; // the file's bytes at the value's offset, where known
};

QByteArray utf16(const QByteArray& utf8, bool littleEndian, bool mark)
{
    return encoded(QString::fromUtf8(utf8), littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE, mark);
}

void expectRows(const plist::ParseResult& parsed, const QByteArray& bytes, const std::vector<Row>& rows, int lineShift,
                bool offsets)
{
    ASSERT_TRUE(parsed.ok() && parsed.positions) << parsed.errorText().toStdString();
    // Asked again: the lines are counted once, on the first question.
    constexpr int kRounds = 2;
    for (int round = 0; round < kRounds; ++round)
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.keyPath) + " round " + std::to_string(round));
            const auto place = parsed.positions->find(QString::fromUtf8(row.keyPath));
            ASSERT_TRUE(place.has_value());
            EXPECT_EQ(place->value.line, row.value.line + lineShift);
            EXPECT_EQ(place->value.column, row.value.column);
            EXPECT_EQ(place->key.line, row.key.line ? row.key.line + lineShift : 0);
            EXPECT_EQ(place->key.column, row.key.column);
            if (!offsets) {
                EXPECT_EQ(place->value.offset, -1);
            } else if (row.startsWith) {
                EXPECT_TRUE(bytes.mid(place->value.offset).startsWith(row.startsWith)) << place->value.offset;
            }
        }
}

// Comments, CDATA, entities, tabs and characters beyond ASCII (one outside
// the basic plane, two UTF-16 units) before values; a repeated key, of
// which the later is found.
const QByteArray kXml = "<?xml version=\"1.0\"?>\n"
                        "<plist version=\"1.0\">\n"
                        "<dict>\n"
                        "<!-- \xF0\x9F\x98\x80 --><key>E</key><string>&lt;\xC3\xA9</string><key>F</key>"
                        "<data>AA==</data>\n"
                        "\t<key>B.c</key><array>\n"
                        "\t\t<dict><key>K</key><true/></dict>\n"
                        "\t\t<string><![CDATA[x]]></string><real>1.5</real></array>\n"
                        "<key>E</key><integer>2</integer></dict></plist>\n";

const std::vector<Row> kXmlRows = {
    {"", {3, 1}, {}, "<dict>"},
    {"E", {8, 13}, {8, 1}, "<integer>"},
    {"F", {4, 57}, {4, 45}, "<data>"},
    {"B.c", {5, 16}, {5, 2}, "<array>"},
    {"B.c[0]", {6, 3}, {}, "<dict><key>K"},
    {"B.c[0].K", {6, 21}, {6, 9}, "<true/>"},
    {"B.c[1]", {7, 3}, {}, "<string><!"},
    {"B.c[2]", {7, 33}, {}, "<real>"},
};

TEST(Positions, XmlInEveryEncodingAndLineEnd)
{
    // The full reader takes a document type with an internal subset (one line more) and UTF-16.
    const QByteArray full = QByteArray(kXml).replace("<plist", "<!DOCTYPE plist [ ]>\n<plist");
    const struct {
        const char* name;
        QByteArray bytes;
        int lineShift;
        bool offsets; // byte offsets where the UTF-8 reader read it
    } variants[] = {
        {"LF", kXml, 0, true},
        {"CR LF", QByteArray(kXml).replace("\n", "\r\n"), 0, true},
        {"CR", QByteArray(kXml).replace("\n", "\r"), 0, true},
        {"UTF-8 mark", "\xEF\xBB\xBF" + kXml, 0, true},
        {"full reader", full, 1, false},
        {"full reader, CR LF", QByteArray(full).replace("\n", "\r\n"), 1, false},
        {"UTF-16LE", utf16(kXml, true, true), 0, false},
        {"UTF-16BE", utf16(kXml, false, true), 0, false},
        {"UTF-16LE unmarked", utf16(kXml, true, false), 0, false},
        {"UTF-16BE unmarked, CR LF", utf16(QByteArray(kXml).replace("\n", "\r\n"), false, false), 0, false},
        // White space and no declaration before the first element.
        {"UTF-16LE, no declaration", utf16(QByteArray(kXml).replace("<?xml version=\"1.0\"?>", " "), true, true), 0,
         false},
    };
    for (const auto& variant : variants) {
        SCOPED_TRACE(variant.name);
        expectRows(plist::parse(variant.bytes), variant.bytes, kXmlRows, variant.lineShift, variant.offsets);
    }
}

TEST(Positions, OldStyleWithCommentsQuotesAndNesting)
{
    const QByteArray text = "// a comment { not = this; }\n"
                            "{\n"
                            "  /* several\n"
                            "     lines */ Name = \"Ostrel \xF0\x9F\x98\x80\"; Next = 1;\n"
                            "  \"Quoted key\" = (one, \"two\", { Inner = <0fbd 77>; });\n"
                            "  Name = Later; // the later one counts\n"
                            "  Only;\n"
                            "}\n";
    const std::vector<Row> rows = {
        {"", {2, 1}, {}},
        {"Name", {6, 10}, {6, 3}},
        {"Next", {4, 41}, {4, 34}},
        {"Quoted key", {5, 18}, {5, 3}},
        {"Quoted key[0]", {5, 19}, {}},
        {"Quoted key[1]", {5, 24}, {}},
        {"Quoted key[2]", {5, 31}, {}},
        {"Quoted key[2].Inner", {5, 41}, {5, 33}},
        {"Only", {7, 3}, {7, 3}}, // `key;` stands for `key = key;`
    };
    const QByteArray variants[] = {text, QByteArray(text).replace("\n", "\r\n"), utf16(text, true, true),
                                   utf16(text, false, false)};
    for (const QByteArray& bytes : variants) {
        SCOPED_TRACE(bytes.left(4).toHex().toStdString());
        const plist::ParseResult parsed = plist::parse(bytes);
        EXPECT_EQ(parsed.format, plist::Format::OldStyle);
        expectRows(parsed, bytes, rows, 0, false);
    }

    // A strings file: a dictionary without braces, which starts at its first key.
    const QByteArray strings = "/* title */\n\"Open\" = \"Ouvrir\";\nClose = Fermer;";
    expectRows(plist::parse(strings), strings, {{"", {2, 1}, {}}, {"Close", {3, 9}, {3, 1}}}, 0, false);
}

TEST(Positions, PathsThatLeadNowhere)
{
    const plist::ParseResult parsed = plist::parse(kXml);
    ASSERT_TRUE(parsed.positions);
    for (const char* nowhere : {"C", "B", "B.c[3]", "B.c[0].K.x", "E[0]", "B.c[x]", "B.c[-1]", ".E", "E.", "B.c0"})
        EXPECT_FALSE(parsed.positions->find(QString::fromUtf8(nowhere)).has_value()) << nowhere;
}

// Every entry of a repeated key, in the file's order, in each text form.
TEST(Positions, EachEntryOfARepeatedKey)
{
    const std::pair<QByteArray, std::vector<int>> rows[] = {
        {kXml, {4, 8}}, // E: its key lines
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

// Keys may hold the characters that separate a key path's parts: a whole
// key is taken before a shorter one and what follows it.
TEST(Positions, KeysWithFullStopsAndBrackets)
{
    const QByteArray text = "{ a = { b = 1; }; \"a.b\" = 2; \"c[0]\" = 3; c = (4); d = { e = { f = 5; }; }; }";
    const plist::ParseResult parsed = plist::parse(text);
    ASSERT_TRUE(parsed.positions);
    const struct {
        const char* keyPath;
        char value;
    } rows[] = {{"a.b", '2'}, {"c[0]", '3'}, {"d.e.f", '5'}};
    for (const auto& row : rows) {
        const auto place = parsed.positions->find(QString::fromUtf8(row.keyPath));
        ASSERT_TRUE(place) << row.keyPath;
        EXPECT_EQ(place->value.column, text.indexOf(row.value) + 1) << row.keyPath;
    }
}

TEST(Positions, LeftOutOnRequest)
{
    for (const QByteArray& bytes : {kXml, QByteArray("{ a = 1; }"), utf16(kXml, true, true)}) {
        const plist::ParseResult parsed = plist::parse(bytes, plist::ParseOptions{false});
        EXPECT_TRUE(parsed.ok());
        EXPECT_FALSE(parsed.positions.has_value());
    }
}

} // namespace
