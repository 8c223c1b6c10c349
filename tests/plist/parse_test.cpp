// plist::parse as a whole: which reader a document goes to, text encodings,
// and the nesting bound that holds in every text format.
#include "plist/Parse.h"

#include <QStringEncoder>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using plist::Format;
using plist::Value;

namespace {

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
        EXPECT_TRUE(r.ok()) << r.error.toStdString();
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
            ASSERT_TRUE(r.ok()) << r.error.toStdString();
            EXPECT_EQ(*r.value, expected);
        }
    }
}

TEST(Parse, RejectsBrokenEncodings)
{
    const struct {
        const char* name;
        QByteArray bytes;
        const char* problem;
    } cases[] = {
        {"zero bytes", QByteArray(), "the file is empty"},
        {"invalid UTF-8 in old-style text", "{\n a = \"\xC3\xA9\xC3\x28\"; }",
         "line 2, column 8: the text is not valid UTF-8 (byte 0xc3)"},
        {"UTF-16 surrogate written as UTF-8", "\xED\xA0\x80", "line 1, column 1: the text is not valid UTF-8"},
        {"odd UTF-16", QByteArray("\xFE\xFF\x00{\x00", 5), "odd number of bytes"},
        {"unpaired surrogate in UTF-16", QByteArray("\xFF\xFE\x00\xD8(\x00)\x00", 8), "not valid UTF-16"},
        {"invalid UTF-8 in XML", "<?xml version=\"1.0\"?><plist><string>\xFF</string></plist>", "encoded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const plist::ParseResult r = plist::parse(c.bytes);
        ASSERT_FALSE(r.ok());
        EXPECT_TRUE(r.error.contains(QLatin1String(c.problem))) << r.error.toStdString();
    }
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
        EXPECT_TRUE(r.error.contains(QLatin1String("nested more than 512"))) << r.error.toStdString();
    }
}

} // namespace
