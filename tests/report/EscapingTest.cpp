// Text from files shown with its control characters made visible.
#include "report/Escaping.h"

#include <gtest/gtest.h>

TEST(Escaping, ControlCharactersBecomeVisibleEscapes)
{
    const struct {
        QString in;
        QString out;
    } rows[] = {
        {"plain text", "plain text"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {QString("esc\x1b[2Jx"), "esc\\x1B[2Jx"},
        {QString("del\x7f"), "del\\x7F"},
        {QString(QChar(0x2028)) + QChar(0x2029), "\\u2028\\u2029"},
        {QString(QChar(0x202E)) + "txt.exe", "\\u202Etxt.exe"},
        {QString(QChar(0xFFFC)), "\\uFFFC"},
        // Bytes of a file name that are not UTF-8, as the file name functions keep them.
        {"Bad" + QString(QChar(0xDCFF)) + QChar(0xDC80) + ".app", "Bad\\xFF\\x80.app"},
        // Existing backslashes are left as they are, even next to an escape.
        {QString("C:\\Xfiles\\Users\x01"), "C:\\Xfiles\\Users\\x01"},
        {QString::fromUtf8("sämple ✓"), QString::fromUtf8("sämple ✓")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.in.toStdString());
        EXPECT_EQ(report::escapeControlCharacters(row.in), row.out);
    }
}
