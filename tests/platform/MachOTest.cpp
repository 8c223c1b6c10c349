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
    QList<QByteArray> forms; // thin in each width and byte order, then fat with 32- and 64-bit offsets
    for (const bool is64 : {true, false})
        for (const bool bigEndian : {false, true})
            forms << thin(fullSlice(is64, bigEndian));
    forms << fat({fullSlice(true, false), fullSlice(false, true)});
    forms << fat({fullSlice(true, true), fullSlice(true, false)}, true);
    for (qsizetype form = 0; form < forms.size(); ++form) {
        SCOPED_TRACE(form);
        const QByteArray& bytes = forms[form];
        const MachOFile file = readBytes(bytes);
        EXPECT_TRUE(looksLikeMachO(bytes));
        EXPECT_EQ(file.fat, form >= 4);
        ASSERT_EQ(file.slices.size(), form >= 4 ? 2 : 1);
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
            EXPECT_EQ(machOSectionBytes(MemorySource(bytes), slice, "__TEXT", "__info_plist", 1024),
                      QByteArray("<plist/>"));
            EXPECT_EQ(machOSectionBytes(MemorySource(bytes), slice, "__TEXT", "__data", 1024), std::nullopt);
        }
    }
}

TEST(MachOTest, OlderVersionCommandsAndArchitectures)
{
    for (const QStringList& row : caseRows("platform-macho-versions.tsv")) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[4].toStdString());
        SliceLayout layout;
        layout.versionMinCommand = row[0].toUInt(nullptr, 0);
        layout.cpuType = row[1].toUInt(nullptr, 0);
        layout.cpuSubtype = row[2].toUInt() | 0x80000000; // the capability bits are no part of the subtype
        layout.minos = packed(10, 13, 4);
        const MachOFile file = readBytes(thin(layout));
        ASSERT_EQ(file.slices.size(), 1);
        EXPECT_EQ(machOPlatformName(file.slices[0].platform), row[3]);
        EXPECT_EQ(file.slices[0].minos, QVersionNumber(10, 13, 4));
        EXPECT_EQ(file.slices[0].architecture(), row[4]);
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
    for (const QStringList& row : caseRows("platform-macho-damage.tsv")) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[0].toStdString());
        QByteArray bad = row[1] == "fat" ? fat({layout}) : thin(layout);
        put(bad, row[2].toInt(), row[3].toUInt(nullptr, 0), row[1] == "fat");
        const MachOFile file = readBytes(bad);
        ASSERT_EQ(file.slices.size(), 1);
        if (row[4] == "-")
            EXPECT_EQ(machOSectionBytes(MemorySource(bad), file.slices[0], "__TEXT", "__info_plist", 1024),
                      std::nullopt);
        else
            EXPECT_TRUE(file.slices[0].error.contains(row[4])) << file.slices[0].error.toStdString();
    }
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
