// The checks that the per-format parser tables share.
#pragma once

#include "plist/Parse.h"

#include <gtest/gtest.h>

// The document parses in the given format to the expected value.
inline void expectParsesTo(const QByteArray& document, plist::Format format, const plist::Value& expected)
{
    const plist::ParseResult r = plist::parse(document);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.format, format);
    EXPECT_EQ(*r.value, expected) << r.value->description().toStdString();
}

// The document fails, and the error names the place and the problem.
inline plist::ParseResult expectFailsAt(const QByteArray& document, int line, int column, const char* problem)
{
    const plist::ParseResult r = plist::parse(document);
    EXPECT_FALSE(r.ok());
    const std::string error = r.error.toStdString();
    EXPECT_TRUE(r.error.startsWith(QStringLiteral("line %1, column %2: ").arg(line).arg(column))) << error;
    EXPECT_TRUE(r.error.contains(QLatin1String(problem))) << error;
    return r;
}
