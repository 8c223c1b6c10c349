#include "Support.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

using namespace plist;

namespace {

// How containers are laid out (the readers' case tables hold the scalars' forms).
TEST(JsonWriter, LaysOutContainersAndSets)
{
    const std::pair<Value, QByteArray> cases[] = {
        {Value::array({}), "[]\n"},
        {Value::dictionary({}), "{}\n"},
        {Value::set({}), "{\"set\": []}\n"},
        {Value::set({Value("a")}), "{\"set\": [\n  \"a\"\n]}\n"},
        {Value(Date{-978307200.5}), "{\"date\": \"1969-12-31T23:59:59.5Z\"}\n"},
        {dict({{"z", Value::array({Value::integer(1), Value::dictionary({})})}, {"a", Value(true)}}),
         "{\n  \"z\": [\n    {\"integer\": \"1\"},\n    {}\n  ],\n  \"a\": true\n}\n"},
    };
    for (const auto& [value, json] : cases)
        EXPECT_EQ(toJson(value), json);
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
