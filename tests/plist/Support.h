// The checks that the per-format parser tables share.
#pragma once

#include "plist/Parse.h"

#include <gtest/gtest.h>

using Code = plist::ParseError::Code;

// The document parses in the given format to the expected value.
inline void expectParsesTo(const QByteArray& document, plist::Format format, const plist::Value& expected)
{
    const plist::ParseResult r = plist::parse(document);
    ASSERT_TRUE(r.ok()) << r.errorText().toStdString();
    EXPECT_EQ(r.format, format);
    EXPECT_EQ(*r.value, expected) << r.value->description().toStdString();
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

// The document fails with that kind of error at that line and column, and
// the offset names the same place.
inline plist::ParseResult expectFailsAt(const QByteArray& document, int line, int column, Code code)
{
    const plist::ParseResult r = plist::parse(document);
    EXPECT_FALSE(r.ok());
    const std::string error = r.errorText().toStdString();
    EXPECT_EQ(r.error.code, code) << error;
    EXPECT_EQ(r.error.line, line) << error;
    EXPECT_EQ(r.error.column, column) << error;
    EXPECT_EQ(r.error.offset, offsetOf(document, line, column)) << error;
    EXPECT_FALSE(r.error.detail.isEmpty());
    return r;
}
