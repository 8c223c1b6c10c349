// The Mach-O reader against files made by the writer, in every form, then
// damaged; and against what llvm-objdump shows of the real binaries of tests/data.
#include "platform/MachO.h"
#include "CaseRows.h"
#include "platform/ArchiveReader.h"
#include "platform/MachOWriting.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace platform;
using namespace testing_macho;

namespace {

MachOFile readBytes(const QByteArray& bytes)
{
    return readMachO(MemorySource(bytes));
}

// Everything the reader can find, in a slice of each form.
SliceLayout fullSlice(bool is64, bool bigEndian)
{
    SliceLayout layout;
    layout.is64 = is64;
    layout.bigEndian = bigEndian;
    layout.buildPlatform = 1;
    layout.minos = packed(12, 3, 1);
    layout.dylibs = {{kLoadDylib, "/usr/lib/libSystem.B.dylib"},
                     {kLoadWeakDylib, "/System/Library/Frameworks/CoreLocation.framework/CoreLocation"},
                     {kReexportDylib, "@rpath/Inner.dylib"}};
    layout.sections = {{"__TEXT", "__info_plist", "<plist/>"}, {"__DATA", "__data", "12345678"}};
    layout.symbols = {
        {"_stat", 0x01}, {"_mach_absolute_time", 0x01}, {"_main", 0x0f}, {"_local_undefined", 0x00}, {"_debug", 0x24}};
    return layout;
}

bool anyError(const MachOFile& file)
{
    return !file.error.isEmpty() ||
           std::any_of(file.slices.begin(), file.slices.end(), [](const MachOSlice& s) { return !s.error.isEmpty(); });
}

TEST(MachOTest, ReadsEveryForm)
{
    const struct {
        const char* name;
        QByteArray bytes;
        bool fat;
        int slices;
    } cases[] = {
        {"64-bit little-endian", thin(fullSlice(true, false)), false, 1},
        {"64-bit big-endian", thin(fullSlice(true, true)), false, 1},
        {"32-bit little-endian", thin(fullSlice(false, false)), false, 1},
        {"32-bit big-endian", thin(fullSlice(false, true)), false, 1},
        {"fat", fat({fullSlice(true, false), fullSlice(false, true)}), true, 2},
        {"fat with 64-bit offsets", fat({fullSlice(true, true), fullSlice(true, false)}, true), true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MachOFile file = readBytes(c.bytes);
        EXPECT_TRUE(looksLikeMachO(c.bytes));
        EXPECT_EQ(file.fat, c.fat);
        ASSERT_EQ(file.slices.size(), c.slices);
        EXPECT_FALSE(anyError(file)) << file.error.toStdString();
        for (const MachOSlice& slice : file.slices) {
            EXPECT_EQ(slice.architecture(), QStringLiteral("arm64"));
            EXPECT_EQ(slice.fileType, kMachOExecute);
            EXPECT_EQ(slice.platform, MachOPlatform::MacOS);
            EXPECT_EQ(slice.minos, QVersionNumber(12, 3, 1));
            EXPECT_EQ(slice.sdk, QVersionNumber(14, 0, 0));
            ASSERT_EQ(slice.dylibs.size(), 3);
            EXPECT_EQ(slice.dylibs[0].kind, MachODylib::Kind::Load);
            EXPECT_EQ(slice.dylibs[1].kind, MachODylib::Kind::Weak);
            EXPECT_EQ(slice.dylibs[1].path,
                      QStringLiteral("/System/Library/Frameworks/CoreLocation.framework/CoreLocation"));
            EXPECT_EQ(slice.dylibs[2].kind, MachODylib::Kind::Reexport);
            // Defined, local and debugging symbols are no imports.
            EXPECT_EQ(slice.undefinedSymbols, (QList<QByteArray>{"_stat", "_mach_absolute_time"}));
            EXPECT_EQ(machOSectionBytes(MemorySource(c.bytes), slice, "__TEXT", "__info_plist", 1024),
                      QByteArray("<plist/>"));
            EXPECT_EQ(machOSectionBytes(MemorySource(c.bytes), slice, "__TEXT", "__data", 1024), std::nullopt);
        }
    }
}

TEST(MachOTest, OlderVersionCommandsAndArchitectures)
{
    const struct {
        std::uint32_t command;
        std::uint32_t cpuType;
        std::uint32_t cpuSubtype;
        MachOPlatform platform;
        const char* architecture;
    } cases[] = {
        {kVersionMinMacOS, kX86_64, 3, MachOPlatform::MacOS, "x86_64"},
        {kVersionMinIPhoneOS, kArm, kArmV7, MachOPlatform::IOS, "armv7"},
        {0x2f, kArm64, 2, MachOPlatform::TvOS, "arm64e"},
        {0x30, 0x0200000c, 1, MachOPlatform::WatchOS, "arm64_32"},
    };
    for (const auto& c : cases) {
        SliceLayout layout;
        layout.versionMinCommand = c.command;
        layout.cpuType = c.cpuType;
        layout.cpuSubtype = c.cpuSubtype | 0x80000000; // the capability bits are no part of the subtype
        layout.minos = packed(10, 13, 4);
        const MachOFile file = readBytes(thin(layout));
        ASSERT_EQ(file.slices.size(), 1);
        EXPECT_EQ(file.slices[0].platform, c.platform);
        EXPECT_EQ(file.slices[0].minos, QVersionNumber(10, 13, 4));
        EXPECT_EQ(file.slices[0].architecture(), QLatin1String(c.architecture));
    }
}

TEST(MachOTest, NotMachO)
{
    const QByteArray java = QByteArray::fromHex("cafebabe00000034") + QByteArray(64, '\0');
    for (const QByteArray& bytes : {QByteArray(), QByteArray("#!/bin/sh\n"), QByteArray("\xfe\xed\xfa"), java}) {
        EXPECT_FALSE(looksLikeMachO(bytes));
        EXPECT_FALSE(readBytes(bytes).error.isEmpty());
    }
}

TEST(MachOTest, TruncatedAtEveryLength)
{
    const QByteArray whole = fat({fullSlice(true, false), fullSlice(false, true)});
    for (qsizetype length = 0; length < whole.size(); ++length) {
        const MachOFile file = readBytes(whole.left(length));
        EXPECT_TRUE(anyError(file)) << "at " << length;
        for (const MachOSlice& slice : file.slices)
            EXPECT_LE(slice.undefinedSymbols.size(), 2);
    }
}

// Overwrites a 32-bit number in the file's byte order.
void put(QByteArray& bytes, qsizetype at, std::uint32_t value, bool bigEndian = false)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(bigEndian ? value >> (24 - 8 * i) : value >> (8 * i));
}

TEST(MachOTest, NumbersPointingOutside)
{
    SliceLayout layout;
    layout.dylibs = {{kLoadDylib, "/usr/lib/libSystem.B.dylib"}};
    layout.sections = {{"__TEXT", "__info_plist", "<plist/>"}};
    layout.symbols = {{"_stat", 0x01}};
    const QByteArray good = thin(layout);
    // Header 32 bytes; the dylib command (56 bytes) at 32, the segment (152) at 88, the symbol table at 240.
    const struct {
        const char* name;
        qsizetype at;
        std::uint32_t value;
        const char* says;
    } cases[] = {
        {"commands' size", 20, 0xfffffff0, "pass the end"},
        {"commands' count", 16, 9, "end before their count"},
        {"command size zero", 36, 0, "size is wrong"},
        {"command size past the end", 36, 0x10000, "size is wrong"},
        {"dylib name offset", 40, 500, "name lies outside"},
        {"section count", 88 + 64, 0x7fffffff, "more sections"},
        {"symbols' offset", 248, 0xffffff00, "outside the file"},
        {"symbol count", 252, 0x10000000, "outside the file"},
        {"strings' size", 260, 0xffff, "outside the file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray bad = good;
        put(bad, c.at, c.value);
        const MachOFile file = readBytes(bad);
        ASSERT_EQ(file.slices.size(), 1);
        EXPECT_TRUE(file.slices[0].error.contains(QLatin1String(c.says))) << file.slices[0].error.toStdString();
    }
    // A section whose bytes lie past the file gives none.
    QByteArray bad = good;
    put(bad, 88 + 72 + 48, 0xfffffff0);
    const MachOFile file = readBytes(bad);
    EXPECT_EQ(machOSectionBytes(MemorySource(bad), file.slices[0], "__TEXT", "__info_plist", 1024), std::nullopt);

    QByteArray outside = fat({layout});
    put(outside, 16, 0xfffffff0, true); // the first slice's offset
    const MachOFile fatFile = readBytes(outside);
    ASSERT_EQ(fatFile.slices.size(), 1);
    EXPECT_TRUE(fatFile.slices[0].error.contains(QLatin1String("outside the file")));
}

// The real binaries as llvm-objdump and llvm-nm see them, kept in the case table.
TEST(MachOTest, RealBinariesAsObjdumpSeesThem)
{
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/products/");
    int binaries = 0;
    for (const QStringList& row : caseRows("macho-real.tsv")) {
        SCOPED_TRACE(row.value(1).toStdString());
        ASSERT_EQ(row.size(), 6);
        const Result<ArchiveContents> contents =
            readArchive(data + row[0], [&](const QString& path, auto) { return path == row[1]; });
        ASSERT_TRUE(contents) << contents.error().localizedDescription().toStdString();
        const ArchiveEntry* entry = contents->find(row[1]);
        ASSERT_TRUE(entry && entry->bytes);
        ++binaries;
        const MachOFile read = readBytes(*entry->bytes);
        EXPECT_FALSE(anyError(read));
        QStringList architectures, minos, dylibs, undefined;
        for (const MachOSlice& slice : read.slices) {
            architectures << slice.architecture().toLower();
            // llvm-objdump leaves out a version's ".0" patch.
            minos << slice.minos.toString().remove(QRegularExpression(QStringLiteral("\\.0$")));
            for (const MachODylib& each : slice.dylibs)
                dylibs << each.path;
            for (const QByteArray& symbol : slice.undefinedSymbols)
                undefined << QString::fromUtf8(symbol);
        }
        undefined.sort();
        EXPECT_EQ(architectures.join(u' '), row[2]);
        EXPECT_EQ(minos.join(u' '), row[3]);
        EXPECT_EQ(dylibs.join(u' '), row[4]);
        EXPECT_EQ(undefined.join(u' '), row[5]);
    }
    EXPECT_EQ(binaries, 4);
}

} // namespace
