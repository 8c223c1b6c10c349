// What the plist tests share: the case tables under tests/data/cases and the
// checks that the per-format parser tables run.
#pragma once

#include "CaseRows.h"
#include "plist/JsonWriter.h"
#include "plist/Parse.h"

#include <QRegularExpression>
#include <QStringEncoder>

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

using Code = plist::ParseError::Code;

// A dictionary with its members in the order given.
inline plist::Value dict(std::initializer_list<std::pair<QString, plist::Value>> members)
{
    plist::Dictionary d;
    for (const auto& [key, value] : members)
        d.insert(key, value);
    return plist::Value::dictionary(d);
}

// A body in the XML document the system writes: declaration, document type,
// <plist> on a line of its own (the body starts on line 4).
inline QByteArray xmlDocument(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

// The text in an encoding, with or without a byte order mark.
inline QByteArray encoded(const QString& text, QStringEncoder::Encoding encoding, bool mark)
{
    QStringEncoder encoder(encoding, mark ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(text);
}

// The error code by its name, as the case tables write it.
inline Code codeNamed(const QString& name)
{
    static const char* const names[] = {"None",          "EmptyFile", "BadEncoding", "MalformedXml", "UnexpectedToken",
                                        "UnexpectedEnd", "BadValue",  "TooDeep",     "BadHeader",    "BadReference",
                                        "UnknownMarker", "TooLarge"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (name == QLatin1String(names[i]))
            return static_cast<Code>(i);
    ADD_FAILURE() << "no error code " << name.toStdString();
    return Code::None;
}

// The value's JSON form on one line: the case tables' way to write a value,
// its kinds and key order included.
inline QString jsonLine(const plist::Value& value)
{
    static const QRegularExpression layout(QStringLiteral("\n *"));
    return QString::fromUtf8(plist::toJson(value)).remove(layout);
}

// The character offset of a line and column (both from 1) in a UTF-8 text;
// a line ends at LF, CR LF or CR.
inline qint64 offsetOf(const QByteArray& document, int line, int column)
{
    const QString text = QString::fromUtf8(document);
    qint64 at = 0;
    for (int l = 1; l < line && at < text.size(); ++at) {
        if (text[at] == u'\n' || (text[at] == u'\r' && (at + 1 == text.size() || text[at + 1] != u'\n')))
            ++l;
    }
    return at + column - 1;
}

// The duplicate keys as the case tables write them: key@keyPath:line, space-separated.
inline QString duplicatesLine(const QList<plist::DuplicateKey>& duplicates)
{
    QStringList out;
    for (const plist::DuplicateKey& d : duplicates)
        out << QStringLiteral("%1@%2:%3").arg(d.key, d.keyPath).arg(d.line);
    return out.join(QLatin1Char(' '));
}

// A row's value (its JSON line at `at`) and duplicate keys (the field after, none if absent).
inline void expectValue(const plist::ParseResult& r, const QStringList& row, int at)
{
    ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
    EXPECT_EQ(jsonLine(*r.value), row.value(at));
    EXPECT_EQ(duplicatesLine(r.duplicates), row.value(at + 1));
}

// A text-format table: name, document, then either "=", the value's JSON
// line and its duplicate keys, or the error's code, line and column; in that
// format either way.
inline void checkTextCases(const QString& table, plist::Format format, QByteArray (*wrap)(const QByteArray&) = nullptr)
{
    for (const QStringList& row : caseRows(table)) {
        SCOPED_TRACE((table + QLatin1String(": ") + row.value(0)).toStdString());
        ASSERT_GE(row.size(), 4);
        const QByteArray document = wrap ? wrap(unescaped(row[1])) : unescaped(row[1]);
        const plist::ParseResult r = plist::parse(document);
        const std::string error = r.errorText().toStdString();
        EXPECT_EQ(r.format, format);
        if (row[2] == QLatin1String("=")) {
            expectValue(r, row, 3);
        } else {
            // The error is at that line and column, and the offset names the same place.
            ASSERT_EQ(row.size(), 5);
            const int line = row[3].toInt(), column = row[4].toInt();
            EXPECT_FALSE(r.ok());
            EXPECT_EQ(r.error.code, codeNamed(row[2])) << error;
            EXPECT_EQ(r.error.line, line) << error;
            EXPECT_EQ(r.error.column, column) << error;
            EXPECT_EQ(r.error.offset, offsetOf(document, line, column)) << error;
            // The detail goes inside a sentence of the report, so it ends without a full stop.
            EXPECT_FALSE(r.error.detail.isEmpty());
            EXPECT_FALSE(r.error.detail.endsWith(u'.')) << r.error.detail.toStdString();
        }
    }
}
