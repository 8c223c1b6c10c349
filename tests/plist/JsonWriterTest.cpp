#include "plist/JsonWriter.h"
#include "Support.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

using namespace plist;

namespace {

struct JsonCase {
    const char* name;
    Value value;
    QByteArray json;
};

TEST(JsonWriter, WritesEachKind)
{
    const std::vector<JsonCase> cases = {
        {"null", Value(), "null\n"},
        {"true", Value(true), "true\n"},
        {"false", Value(false), "false\n"},
        {"integer", Value::integer(-42), "{\"integer\": \"-42\"}\n"},
        {"int64 min", Value::integer(INT64_MIN), "{\"integer\": \"-9223372036854775808\"}\n"},
        {"unsigned above int64", Value(Integer::fromUnsigned(UINT64_MAX)), "{\"integer\": \"18446744073709551615\"}\n"},
        {"real shortest", Value(0.1), "{\"real\": \"0.1\"}\n"},
        {"real float32 max", Value(3.4028234663852886e+38), "{\"real\": \"3.4028234663852886e+38\"}\n"},
        {"real whole", Value(32.0), "{\"real\": \"32\"}\n"},
        {"real nan", Value(std::nan("")), "{\"real\": \"nan\"}\n"},
        {"real inf", Value(std::numeric_limits<double>::infinity()), "{\"real\": \"inf\"}\n"},
        {"real -inf", Value(-std::numeric_limits<double>::infinity()), "{\"real\": \"-inf\"}\n"},
        {"data", Value::data("hello"), "{\"data\": \"aGVsbG8=\"}\n"},
        {"empty data", Value::data({}), "{\"data\": \"\"}\n"},
        {"date", Value(Date{0}), "{\"date\": \"2001-01-01T00:00:00Z\"}\n"},
        {"date with fraction", Value(Date{-978307200.5}), "{\"date\": \"1969-12-31T23:59:59.5Z\"}\n"},
        {"uid", Value(Uid{7}), "{\"uid\": 7}\n"},
        {"empty array", Value::array({}), "[]\n"},
        {"empty dictionary", Value::dictionary({}), "{}\n"},
        {"empty set", Value::set({}), "{\"set\": []}\n"},
        {"set", Value::set({Value("a")}), "{\"set\": [\n  \"a\"\n]}\n"},
        {"nested, keys in insertion order",
         dict({{"z", Value::array({Value::integer(1), Value::dictionary({})})}, {"a", Value(true)}}),
         "{\n  \"z\": [\n    {\"integer\": \"1\"},\n    {}\n  ],\n  \"a\": true\n}\n"},
    };
    for (const JsonCase& c : cases)
        EXPECT_EQ(toJson(c.value), c.json) << c.name;
}

TEST(JsonWriter, EscapesStrings)
{
    const std::vector<std::pair<QString, QByteArray>> cases = {
        {"plain", "\"plain\""},
        {"quote \" backslash \\ slash /", "\"quote \\\" backslash \\\\ slash /\""},
        {"\b\f\n\r\t", "\"\\b\\f\\n\\r\\t\""},
        {QString(QChar(0)) + QChar(0x1F) + QChar(0x7F), "\"\\u0000\\u001f\\u007f\""},
        {QString::fromUtf8("é€💩"), "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x92\xA9\""},
        {QString(QChar(0xD83D)) + "x", "\"\\ud83dx\""},                 // lone high surrogate
        {QString(QChar(0xDCA9)) + QChar(0xD83D), "\"\\udca9\\ud83d\""}, // pair in the wrong order
    };
    for (const auto& [text, json] : cases) {
        EXPECT_EQ(toJson(Value(text)), json + "\n") << json.constData();
        // As a key too, where the escaping must be the same.
        EXPECT_EQ(toJson(dict({{text, Value()}})), "{\n  " + json + ": null\n}\n") << json.constData();
    }
}

// Whatever the content, the output is JSON that a strict reader accepts.
TEST(JsonWriter, OutputIsValidJson)
{
    QString every;
    for (char16_t c = 0; c < 0x100; ++c)
        every += QChar(c);
    every += QChar(0xDFFF);
    const Value v = dict({{every, Value::array({Value(every), Value::set({Value(Uid{UINT64_MAX})}), Value(Date{1e10}),
                                                Value::data(QByteArray(300, '\xFF'))})}});
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(toJson(v), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.object().keys().first().left(0x100), every.left(0x100));
}

// Reals read back to the same double from their text.
TEST(JsonWriter, RealTextReadsBack)
{
    for (double d : {0.1 + 0.2, 1e-320, -1.7976931348623157e308, 123456789.125, 1.0 / 3.0}) {
        const QByteArray json = toJson(Value(d));
        const QByteArray text = json.mid(10, json.size() - 10 - 3); // {"real": "...."}\n
        EXPECT_EQ(text.toDouble(), d) << json.constData();
    }
}

} // namespace
