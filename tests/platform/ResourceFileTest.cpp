// The resource-file and AppleDouble readers against files made by the writer,
// then damaged: truncated at every length, numbers pointing anywhere.
#include "platform/ResourceFile.h"
#include "platform/AppleDouble.h"
#include "platform/FileManager.h"
#include "platform/ResourceWriter.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <set>
#include <unistd.h>

using namespace platform;

namespace {

constexpr FourCharCode kPlst = fourCharCode("plst");
constexpr FourCharCode kVers = fourCharCode("vers");

OSStatus openBytes(const QByteArray& bytes, std::unique_ptr<ResourceFile>& file)
{
    return ResourceFile::open(std::make_unique<MemorySource>(bytes), file);
}

// The status of looking up 'plst' 0 in bytes, whichever step fails.
OSStatus lookup(const QByteArray& bytes, QByteArray* data = nullptr)
{
    std::unique_ptr<ResourceFile> file;
    if (const OSStatus status = openBytes(bytes, file))
        return status;
    QByteArray found;
    const OSStatus status = file->get1Resource(kPlst, 0, found);
    if (data)
        *data = found;
    return status;
}

void putBE32(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char((value >> (24 - 8 * i)) & 0xFF);
}

void putBE16(QByteArray& bytes, qsizetype at, std::uint32_t value)
{
    bytes[at] = char((value >> 8) & 0xFF);
    bytes[at + 1] = char(value & 0xFF);
}

const QList<ResourceData> kResources = {
    {kVers, 1, "version one", "Version"},
    {kPlst, 1, "not this one", {}},
    {kPlst, 0, "<plist/>", "Info"},
    {kPlst, -4, "negative id", {}},
    {kVers, 2, {}, {}},
};

TEST(ResourceFile, FindsEachResourceByTypeAndId)
{
    std::unique_ptr<ResourceFile> file;
    ASSERT_EQ(openBytes(makeResourceFile(kResources), file), noErr);
    for (const ResourceData& r : kResources) {
        QByteArray data("stale");
        EXPECT_EQ(file->get1Resource(r.type, r.id, data), noErr) << r.id;
        EXPECT_EQ(data, r.data) << r.id;
        EXPECT_FALSE(data.isNull() && !r.data.isNull());
    }
    QByteArray data;
    EXPECT_EQ(file->get1Resource(kPlst, 2, data), resNotFound);
    EXPECT_EQ(file->get1Resource(fourCharCode("PLST"), 0, data), resNotFound);
    EXPECT_EQ(file->get1Resource(kVers, 0, data), resNotFound);
}

TEST(ResourceFile, FileWithoutResourcesOpens)
{
    std::unique_ptr<ResourceFile> file;
    ASSERT_EQ(openBytes(makeResourceFile({}), file), noErr);
    QByteArray data;
    EXPECT_EQ(file->get1Resource(kPlst, 0, data), resNotFound);
}

TEST(ResourceFile, EveryTruncationIsAnError)
{
    const QByteArray whole = makeResourceFile(kResources);
    ASSERT_EQ(lookup(whole), noErr);
    EXPECT_EQ(lookup(QByteArray()), resFNotFound);
    // The map ends the file, so any shorter prefix leaves an area past the end.
    for (qsizetype length = 1; length < whole.size(); ++length)
        EXPECT_EQ(lookup(whole.left(length)), eofErr) << length;
}

TEST(ResourceFile, DamagedNumbersGiveTheirStatus)
{
    const QByteArray good = makeResourceFile({{kPlst, 0, "0123456789", {}}});
    // Layout of that file: data at 256 (4 + 10 bytes), map after it; the type
    // list at map + 28, one type, its reference list at type list + 10.
    const qsizetype map = 256 + 14;
    const qsizetype typeList = map + 28;
    const qsizetype reference = typeList + 10;
    const qsizetype mapLength = good.size() - map;
    struct Case {
        const char* what;
        qsizetype at;
        int width;
        std::uint32_t value;
        OSStatus expected;
    };
    const Case cases[] = {
        {"data area past the end", 0, 4, 0xFFFFFFF0, eofErr},
        {"data length past the end", 8, 4, 0x7FFFFFFF, eofErr},
        {"map past the end", 4, 4, std::uint32_t(good.size()), eofErr},
        {"map length past the end", 12, 4, std::uint32_t(mapLength + 1), eofErr},
        {"map too short for its header", 12, 4, 20, mapReadErr},
        {"type list outside the map", map + 24, 2, 0xFFF0, mapReadErr},
        {"more types than the map holds", typeList, 2, 0x0100, mapReadErr},
        {"reference list outside the map", typeList + 8, 2, 0x8000, mapReadErr},
        {"more references than the map holds", typeList + 6, 2, 0x0040, mapReadErr},
        {"data offset outside the data area", reference + 5, 3, 0xFFFFFF, mapReadErr},
        {"data offset at the area's last bytes", reference + 5, 3, 12, mapReadErr},
        {"resource length past the data area", 256, 4, 11, mapReadErr},
        {"resource length wraps around", 256, 4, 0xFFFFFFFF, mapReadErr},
        {"empty type list", typeList, 2, 0xFFFF, resNotFound},
        {"other type", typeList + 2, 4, kVers, resNotFound},
        {"other id", reference, 2, 7, resNotFound},
        {"shorter resource", 256, 4, 3, noErr},
    };
    for (const Case& c : cases) {
        QByteArray bytes = good;
        if (c.width == 4)
            putBE32(bytes, c.at, c.value);
        else if (c.width == 2)
            putBE16(bytes, c.at, c.value);
        else
            bytes.replace(c.at, 3, QByteArray::fromHex(QByteArray::number(c.value, 16).rightJustified(6, '0')));
        EXPECT_EQ(lookup(bytes), c.expected) << c.what;
    }
}

TEST(ResourceFile, AnyByteAnyValueGivesAStatus)
{
    const QByteArray good = makeResourceFile(kResources);
    const std::set<OSStatus> allowed = {noErr, eofErr, mapReadErr, resNotFound};
    for (qsizetype at = 0; at < good.size(); ++at) {
        if (at >= 16 && at < 256)
            continue; // reserved bytes nobody reads
        for (const char value : {'\x00', '\x01', '\x7F', '\x80', '\xFF'}) {
            QByteArray bytes = good;
            bytes[at] = value;
            QByteArray data;
            const OSStatus status = lookup(bytes, &data);
            EXPECT_TRUE(allowed.count(status)) << at << " " << status;
            if (status == noErr) {
                EXPECT_LE(data.size(), bytes.size());
            }
        }
    }
}

TEST(ResourceFile, HugeResourceIsRefusedNotLoaded)
{
    // A sparse file whose 'plst' claims more than the limit: nothing is read.
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    QByteArray start = makeResourceFile({{kPlst, 0, "x", {}}});
    const std::uint64_t claimed = kMaxResourceSize + 1;
    const std::uint64_t dataLength = claimed + 4;
    const std::uint64_t mapOffset = 256 + dataLength;
    QByteArray map = start.mid(256 + 5);
    putBE32(start, 4, std::uint32_t(mapOffset));
    putBE32(start, 8, std::uint32_t(dataLength));
    putBE32(start, 256, std::uint32_t(claimed));
    ASSERT_EQ(file.write(start.left(260)), 260);
    ASSERT_TRUE(file.seek(qint64(mapOffset)));
    ASSERT_EQ(file.write(map), map.size());
    file.close();

    FileSource::Opened opened = FileSource::open(file.fileName());
    ASSERT_TRUE(opened.file);
    std::unique_ptr<ResourceFile> resources;
    ASSERT_EQ(ResourceFile::open(std::move(opened.file), resources), noErr);
    QByteArray data;
    EXPECT_EQ(resources->get1Resource(kPlst, 0, data), memFullErr);
    EXPECT_TRUE(data.isEmpty());
}

// AppleDouble

const QByteArray kFork = makeResourceFile({{kPlst, 0, "<dict/>", {}}});

QByteArray sidecar(std::uint32_t version = kAppleDoubleVersion2)
{
    return makeAppleDouble(
        {{kEntryFinderInfo, makeFinderInfo(fourCharCode("APPL"), fourCharCode("Ostl"))}, {kEntryResourceFork, kFork}},
        version);
}

TEST(AppleDouble, BothVersionsGiveForkAndFinderInfo)
{
    for (const std::uint32_t version : {kAppleDoubleVersion1, kAppleDoubleVersion2}) {
        const MemorySource source(sidecar(version));
        AppleDouble header;
        ASSERT_EQ(readAppleDouble(source, header), noErr);
        EXPECT_EQ(header.version, version);
        std::unique_ptr<ByteSource> fork;
        ASSERT_EQ(openAppleDoubleEntry(source, header, kEntryResourceFork, fork), noErr);
        QByteArray bytes;
        ASSERT_EQ(fork->read(0, fork->size(), bytes), noErr);
        EXPECT_EQ(bytes, kFork);
        const std::optional<FinderInfo> info = finderInfoFromAppleDouble(source);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->fileType, fourCharCode("APPL"));
        EXPECT_EQ(info->creator, fourCharCode("Ostl"));
    }
}

TEST(AppleDouble, ForeignFilesAreNoAppleDouble)
{
    QByteArray singleMagic = sidecar();
    putBE32(singleMagic, 0, 0x00051600); // AppleSingle holds the data fork too; not a sidecar
    QByteArray version3 = sidecar();
    putBE32(version3, 4, 0x00030000);
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\x00\x05\x16\x07", 4), singleMagic, version3, kFork}) {
        AppleDouble header;
        EXPECT_EQ(readAppleDouble(MemorySource(bytes), header), resFNotFound) << bytes.toHex().left(16).constData();
        EXPECT_FALSE(finderInfoFromAppleDouble(MemorySource(bytes)));
    }
}

TEST(AppleDouble, EveryTruncationIsFoundOut)
{
    const QByteArray whole = sidecar();
    const qsizetype descriptorsEnd = 26 + 2 * 12;
    const qsizetype finderEnd = descriptorsEnd + 32;
    for (qsizetype length = 8; length < whole.size(); ++length) {
        const MemorySource source(whole.left(length));
        AppleDouble header;
        const OSStatus status = readAppleDouble(source, header);
        if (length < descriptorsEnd) {
            EXPECT_EQ(status, eofErr) << length;
            continue;
        }
        ASSERT_EQ(status, noErr) << length;
        std::unique_ptr<ByteSource> fork;
        EXPECT_EQ(openAppleDoubleEntry(source, header, kEntryResourceFork, fork), eofErr) << length;
        EXPECT_EQ(finderInfoFromAppleDouble(source).has_value(), length >= finderEnd) << length;
    }
}

TEST(AppleDouble, DescriptorsPointingAnywhere)
{
    const QByteArray good = sidecar();
    const qsizetype forkDescriptor = 26 + 12;
    struct Case {
        qsizetype at;
        std::uint32_t value;
        OSStatus expected;
    };
    const Case cases[] = {
        {24, 0xFFFF, eofErr},                     // entry count past the end
        {24, 1, resFNotFound},                    // fork entry no longer counted
        {forkDescriptor, 7, resFNotFound},        // fork entry renamed
        {forkDescriptor + 4, 0xFFFFFFFF, eofErr}, // offset past the end
        {forkDescriptor + 8, 0xFFFFFFFF, eofErr}, // length wraps around
        {forkDescriptor + 8, std::uint32_t(kFork.size()) + 1, eofErr},
    };
    for (const Case& c : cases) {
        QByteArray bytes = good;
        if (c.at == 24)
            putBE16(bytes, c.at, c.value);
        else
            putBE32(bytes, c.at, c.value);
        const MemorySource source(bytes);
        AppleDouble header;
        OSStatus status = readAppleDouble(source, header);
        std::unique_ptr<ByteSource> fork;
        if (status == noErr)
            status = openAppleDoubleEntry(source, header, kEntryResourceFork, fork);
        EXPECT_EQ(status, c.expected) << c.at << " " << c.value;
    }
}

} // namespace
