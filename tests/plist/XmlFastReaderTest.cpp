// The two XML readers side by side: whatever the fast reader accepts, the
// full reader (QXmlStreamReader) must read to the same value and duplicates;
// everything else, errors above all, must come from the full reader.
#include "plist/JsonWriter.h"
#include "plist/Parse.h"
#include "plist/Parsers.h"
#include "plist/XmlCommon.h"

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>

#include <cstdio>

namespace {

using plist::ParseResult;

enum class Reader {
    Fast,  // the fast reader reads it
    Full,  // valid, but only the full reader reads it
    Error, // invalid: the full reader words the error
};

struct Case {
    const char* name;
    QByteArray document;
    Reader reader;
};

QByteArray plist(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

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

void check(const Case& c)
{
    SCOPED_TRACE(c.name);
    const std::optional<ParseResult> fast = plist::detail::parseXmlFast(c.document);
    const ParseResult full = plist::detail::parseXmlFull(c.document);
    EXPECT_EQ(fast.has_value(), c.reader == Reader::Fast) << (fast ? describe(*fast) : std::string("declined"));
    EXPECT_EQ(full.ok(), c.reader != Reader::Error) << describe(full);
    if (fast)
        expectSameResult(*fast, full);
    expectSameResult(plist::detail::parseXml(c.document), full);
}

TEST(XmlPaths, EveryKindOfValueAndMarkup)
{
    const QByteArray dtd = "<!DOCTYPE plist SYSTEM \"file://localhost/System/Library/DTDs/PropertyList.dtd\">";
    const Case cases[] = {
        {"string", plist("<string>hello</string>"), Reader::Fast},
        {"empty forms", plist("<array><string/><string></string><dict/><array/><true/><false/></array>"), Reader::Fast},
        {"white space kept in strings", plist("<string>  two\n\twords \n</string>"), Reader::Fast},
        {"non-ASCII", plist("<string>na\xC3\xAFve \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9D\x95\xA2</string>"), Reader::Fast},
        {"C1 control and non-character", plist("<string>\xC2\x85 \xEF\xB7\x90 \xEF\xBB\xBF</string>"), Reader::Fast},
        {"byte-order marks starting a text",
         plist("<dict><key>\xEF\xBB\xBFk</key><string>\xEF\xBB\xBF\xEF\xBB\xBF</string>"
               "<key>s</key><string>&amp;\xEF\xBB\xBF</string></dict>"),
         Reader::Fast},
        {"predefined entities", plist("<string>&amp;&lt;&gt;&quot;&apos;</string>"), Reader::Fast},
        {"character references",
         plist("<string>&#65;&#x42;&#x00043;&#xe9;&#x65E5;&#x1D562;&#9;&#10;&#xD;&#x10FFFF;</string>"), Reader::Fast},
        {"CDATA", plist("<string>a<![CDATA[<b>&amp;]]]]>c<![CDATA[]]></string>"), Reader::Fast},
        {"comments in text", plist("<string>a<!-- x -->b<!---->c<!-- - -->d</string>"), Reader::Fast},
        {"']' and '>' in text", plist("<string>]>]] >]]</string>"), Reader::Fast},
        // Texts are scanned sixteen bytes at a time: what stops a scan, at or past the first sixteen.
        {"long texts",
         plist("<dict><key>a key longer than sixteen bytes</key><string>a string that runs past\nsixteen bytes, "
               "twice\n and more</string><key>after</key><string>0123456789abcdef&amp;0123456789abcdef<!-- c -->"
               "0123456789abcde]]</string><key>last</key><true/></dict>"),
         Reader::Fast},
        {"integers",
         plist("<array><integer>0</integer><integer> -42 </integer><integer>+0x1F</integer>"
               "<integer>18446744073709551615</integer><integer>-9223372036854775808</integer>"
               "<integer>&#49;2</integer></array>"),
         Reader::Fast},
        {"reals",
         plist("<array><real>1.5</real><real>-1e-300</real><real>nan</real><real>-inf</real>"
               "<real>+Infinity</real><real>\n0.1\n</real><real>-0</real></array>"),
         Reader::Fast},
        {"data", plist("<array><data>\n\tSGVs\n\tbG8=\n</data><data></data><data/><data>AA&#61;=</data></array>"),
         Reader::Fast},
        {"dates",
         plist("<array><date>2010-11-12T13:14:15Z</date><date>1869-01-03T08:16:32Z</date>"
               "<date>2001-01-01T00:00:01.5Z</date></array>"),
         Reader::Fast},
        {"booleans with white space", plist("<array><true> </true><false>\n</false><true>&#32;</true></array>"),
         Reader::Fast},
        {"nested in order",
         plist("<dict><key>b</key><array><integer>1</integer><dict/></array><key>a</key><string>x</string></dict>"),
         Reader::Fast},
        {"keys",
         plist("<dict><key/><true/><key>a&amp;b</key><true/><key>a<!--c-->b</key><true/>"
               "<key><![CDATA[<k>]]></key><true/><key>\xC3\xA9</key><true/></dict>"),
         Reader::Fast},
        {"bare root", "<?xml version=\"1.0\"?><array><string>a</string></array>", Reader::Fast},
        {"bare scalar root, nothing else", "<string>a</string>", Reader::Fast},
        {"byte-order mark", "\xEF\xBB\xBF<?xml version=\"1.0\"?><plist><true/></plist>", Reader::Fast},
        {"declaration variants", "<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<plist><true/></plist>",
         Reader::Fast},
        {"document types", "<?xml version=\"1.0\"?>" + dtd + "<plist><true/></plist>", Reader::Fast},
        {"document type without identifier", "<!DOCTYPE plist ><plist><true/></plist>", Reader::Fast},
        {"declaration after a comment", "<!-- a --><?xml version=\"1.0\"?><plist><true/></plist>", Reader::Error},
        {"comments between markup",
         "<?xml version=\"1.0\"?><!--a-->\n<!DOCTYPE plist><!--b--><plist><!--c--><dict>"
         "<!--d--><key>k</key><!--e--><true/><!--f--></dict><!--g--></plist><!--h-->\n",
         Reader::Fast},
        {"attributes", plist("<dict a='1' b = \"2\"><key c='&gt;'>k</key><string d=\"x\"\n>v</string></dict>"),
         Reader::Full},
        {"plain attributes", plist("<dict a='1' b = \"2\"><key c='x'>k</key><string d=\"x\"\n>v</string></dict>"),
         Reader::Fast},
        {"white space in tags", plist("<dict\n><key >k</key\n><string\t/></dict >"), Reader::Fast},

        // Valid, but left to the full reader.
        {"carriage returns", plist("<array a='\r'><string>a\r\nb\rc\r\r<![CDATA[\r]]>\r&#13;</string></array>"),
         Reader::Fast},
        {"processing instruction", plist("<?app data?><true/>"), Reader::Full},
        {"Latin-1 declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><string>\xE9</string>", Reader::Full},
        {"UTF-16", QByteArray("\xFF\xFE<\0t\0r\0u\0e\0/\0>\0", 16), Reader::Full},
        {"internal subset without entities", "<!DOCTYPE plist [ <!ELEMENT plist ANY> ]><plist><true/></plist>",
         Reader::Full},
        {"namespaced attribute", plist("<dict xmlns:a='urn:x' a:b='1'/>"), Reader::Full},
        // QXmlStreamReader lets these pass; the fast reader does not judge them.
        {"truncated UTF-8 after the root", "<plist><true/></plist>\xE6\x97", Reader::Full},
        {"two document types", "<!DOCTYPE plist><!DOCTYPE plist><plist><true/></plist>", Reader::Full},
        {"document type after the root", "<plist><true/></plist><!DOCTYPE plist>", Reader::Full},

        // Errors: the full reader's words, never the fast reader's.
        {"unknown element", plist("<dict><key>a</key><strin>x</strin></dict>"), Reader::Error},
        {"key without value", plist("<dict><key>a</key></dict>"), Reader::Error},
        {"two keys", plist("<dict><key>a</key><key>b</key><true/></dict>"), Reader::Error},
        {"value without key", plist("<dict><string>x</string></dict>"), Reader::Error},
        {"key in an array", plist("<array><key>a</key></array>"), Reader::Error},
        {"key at the top", plist("<key>a</key>"), Reader::Error},
        {"second top-level value", plist("<true/><false/>"), Reader::Error},
        {"second root element", "<plist><true/></plist><plist><true/></plist>", Reader::Error},
        {"value after the plist", "<plist><true/></plist><true/>", Reader::Error},
        {"empty plist", plist(""), Reader::Error},
        {"empty plist element", "<plist/>", Reader::Error},
        {"plist inside plist", plist("<plist><true/></plist>"), Reader::Error},
        {"no root", "<?xml version=\"1.0\"?>\n<!-- nothing -->\n", Reader::Error},
        {"empty document", "", Reader::Error},
        {"mismatched end tag", plist("<string>x</integer>"), Reader::Error},
        {"mismatched container end", plist("<dict></array>"), Reader::Error},
        {"end tag with junk", plist("<string>x</string x>"), Reader::Error},
        {"unclosed", "<plist><dict><key>a</key><true/>", Reader::Error},
        {"unclosed string", "<plist><string>abc", Reader::Error},
        {"text between elements", plist("<array>x<true/></array>"), Reader::Error},
        {"entity between elements", plist("<array>&#32;<true/></array>"), Reader::Error},
        {"CDATA between elements", plist("<array><![CDATA[ ]]><true/></array>"), Reader::Error},
        {"element in a string", plist("<string>a<b/></string>"), Reader::Error},
        {"undeclared entity", plist("<string>&nope;</string>"), Reader::Error},
        {"reference without semicolon", plist("<string>a&amp b</string>"), Reader::Error},
        {"reference to NUL", plist("<string>&#0;</string>"), Reader::Error},
        {"reference to a surrogate", plist("<string>&#xD800;</string>"), Reader::Error},
        {"reference beyond Unicode", plist("<string>&#x110000;</string>"), Reader::Error},
        {"upper-case X in reference", plist("<string>&#X41;</string>"), Reader::Error},
        {"raw '<' in text", plist("<string>a < b</string>"), Reader::Error},
        {"']]>' in text", plist("<string>a]]>b</string>"), Reader::Error},
        {"']]>' far into a text", plist("<string>0123456789abcdef0123]]>b</string>"), Reader::Error},
        {"raw '<' far into a text", plist("<string>0123456789abcdef01234567< b</string>"), Reader::Error},
        {"'--' in a comment", plist("<string>a<!-- -- -->b</string>"), Reader::Error},
        {"comment ending '--->'", plist("<string>a<!-- a --->b</string>"), Reader::Error},
        {"unclosed comment", plist("<string>a<!-- b</string>"), Reader::Error},
        {"unclosed CDATA", plist("<string>a<![CDATA[b</string>"), Reader::Error},
        {"control character", plist("<string>a\x01</string>"), Reader::Error},
        {"control character far into a text", plist("<string>0123456789abcdef0123456789\x1F</string>"), Reader::Error},
        {"invalid UTF-8 far into a text", plist("<string>0123456789abcdef0123456789\xC3(</string>"), Reader::Error},
        {"NUL byte", plist(QByteArray("<string>a\0</string>", 19)), Reader::Error},
        {"invalid UTF-8", plist("<string>a\xC3(</string>"), Reader::Error},
        {"overlong UTF-8", plist("<string>\xC0\xAF</string>"), Reader::Error},
        {"UTF-8 surrogate", plist("<string>\xED\xA0\x80</string>"), Reader::Error},
        {"U+FFFE", plist("<string>\xEF\xBF\xBE</string>"), Reader::Error},
        {"integer that is text", plist("<integer>12a</integer>"), Reader::Error},
        {"integer out of range", plist("<integer>18446744073709551616</integer>"), Reader::Error},
        {"real that is text", plist("<real>1.5x</real>"), Reader::Error},
        {"bad base64", plist("<data>SGV*bG8=</data>"), Reader::Error},
        {"non-ASCII in data", plist("<data>\xC3\xA9</data>"), Reader::Error},
        {"bad date", plist("<date>2021-02-29T00:00:00Z</date>"), Reader::Error},
        {"content in true", plist("<true>yes</true>"), Reader::Error},
        {"element in true", plist("<true><false/></true>"), Reader::Error},
        {"duplicate attribute", plist("<dict a='1' a='2'/>"), Reader::Error},
        {"attributes without space", plist("<dict a='1'b='2'/>"), Reader::Error},
        {"attribute without value", plist("<dict a/>"), Reader::Error},
        {"attribute unquoted", plist("<dict a=1/>"), Reader::Error},
        {"'<' in attribute", plist("<dict a='<'/>"), Reader::Error},
        {"declaration not first", "\n<?xml version=\"1.0\"?><plist><true/></plist>", Reader::Error},
        {"declaration without version", "<?xml encoding=\"UTF-8\"?><plist><true/></plist>", Reader::Error},
        {"declaration out of order", "<?xml encoding=\"UTF-8\" version=\"1.0\"?><plist><true/></plist>", Reader::Error},
        {"declared entities", "<!DOCTYPE plist [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>", Reader::Error},
        {"space after '<'", plist("< string>x</string>"), Reader::Error},
        {"too deep", plist(QByteArray("<array>").repeated(513) + QByteArray("</array>").repeated(513)), Reader::Error},
        {"deep enough", plist(QByteArray("<array>").repeated(512) + QByteArray("</array>").repeated(512)),
         Reader::Fast},
    };
    for (const Case& c : cases)
        check(c);
}

TEST(XmlPaths, DuplicatesCarryTheSameLinesAndPaths)
{
    // Line breaks hide in attributes, comments, CDATA sections, text and
    // character references; each must count alike in both readers.
    const QByteArray body = "<dict>\n"
                            "<key>k</key><integer>1</integer>\n"
                            "<key>a</key><dict a='x\ny'><key>b</key><true/><!--\n\n-->\n"
                            "  <key>b</key><false/></dict>\n"
                            "<key>s</key><string>one\ntwo<![CDATA[\n]]>&#10;</string>\n"
                            "<key>list</key><array><string>x</string><string>y</string>\n"
                            "  <dict><key>z</key><true/><key>z</key><true/></dict></array>\n"
                            "<key>k</key><integer>2</integer>\n"
                            "</dict>";
    for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
        const QByteArray document = plist(body).replace("\n", lineEnd);
        check({"duplicates at several depths", document, Reader::Fast});
        const ParseResult r = plist::detail::parseXml(document);
        ASSERT_EQ(r.duplicates.size(), 3);
        EXPECT_EQ(r.duplicates[2].line, 16);
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
