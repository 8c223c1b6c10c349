// The recogniser of file formats by their first bytes.
#include "platform/FileFormat.h"

#include <gtest/gtest.h>

namespace {

using platform::FileFormat;

TEST(FileFormatTest, FirstBytesTellTheFormat)
{
    const struct {
        QByteArray first;
        FileFormat format;
    } rows[] = {
        {"xar!\x00\x1c", FileFormat::Xar},
        {"AA01", FileFormat::AppleArchive},
        {"YAA1....", FileFormat::AppleArchive},
        {"pbzx\x00\x00\x00\x00", FileFormat::Pbzx},
        {"0707070", FileFormat::Cpio},
        {"07070100", FileFormat::Cpio},
        {QByteArray("\xc7\x71\x00\x00", 4), FileFormat::Cpio},
        {"7z\xbc\xaf\x27\x1c\x00\x04", FileFormat::SevenZip},
        {"Rar!\x1a\x07\x01\x00", FileFormat::Rar},
        {QByteArray("\xcf\xfa\xed\xfe\x07\x00\x00\x01", 8), FileFormat::MachO},
        {QByteArray("\xfe\xed\xfa\xce\x00\x00\x00\x12", 8), FileFormat::MachO},
        // A universal binary of two architectures, and a Java class file (version 52).
        {QByteArray("\xca\xfe\xba\xbe\x00\x00\x00\x02", 8), FileFormat::MachO},
        {QByteArray("\xca\xfe\xba\xbe\x00\x00\x00\x34", 8), FileFormat::Unknown},
        {QByteArray("\xca\xfe\xba\xbe", 4), FileFormat::Unknown},
        {"%PDF-1.7", FileFormat::Pdf},
        {"\x89PNG\r\n\x1a\n", FileFormat::Png},
        {"\x89PNG\r\n", FileFormat::Unknown},
        {"0707", FileFormat::Unknown},
        {"<?xml ve", FileFormat::Unknown},
        {"bplist00", FileFormat::Unknown},
        {"", FileFormat::Unknown},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first.toHex().constData());
        EXPECT_EQ(platform::fileFormat(row.first), row.format);
    }
}

} // namespace
