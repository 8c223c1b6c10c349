// The resource-file and AppleDouble readers against files made by the writer,
// then damaged: truncated at every length, numbers pointing anywhere.
#include "platform/ResourceFile.h"
#include "platform/AppleDouble.h"
#include "platform/FileManager.h"
#include "platform/ResourceWriter.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

constexpr FourCharCode kPlst = fourCharCode("plst");
constexpr FourCharCode kVers = fourCharCode("vers");

// noErr, or the status the reader failed with.
template <typename T> OSStatus statusOf(const Result<T>& result)
{
    if (result)
        return noErr;
    EXPECT_EQ(&result.error().code.category(), &osStatusCategory());
    return result.error().code.value();
}

Result<std::unique_ptr<ResourceFile>> openBytes(const QByteArray& bytes)
{
    return ResourceFile::open(std::make_unique<MemorySource>(bytes));
}

// The status of looking up 'plst' 0 in bytes, whichever step fails.
OSStatus lookup(const QByteArray& bytes)
{
    const Result<std::unique_ptr<ResourceFile>> file = openBytes(bytes);
    return statusOf(file ? (*file)->get1Resource(kPlst, 0) : file.error());
}

// Overwrites width bytes at an offset with a big-endian number.
void put(QByteArray& bytes, qsizetype at, int width, std::uint32_t value)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = char((value >> (8 * (width - 1 - i))) & 0xFF);
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
    const Result<std::unique_ptr<ResourceFile>> file = openBytes(makeResourceFile(kResources));
    ASSERT_TRUE(file);
    for (const ResourceData& r : kResources) {
        const Result<QByteArray> data = (*file)->get1Resource(r.type, r.id);
        ASSERT_EQ(statusOf(data), noErr) << r.id;
        EXPECT_EQ(*data, r.data) << r.id;
        EXPECT_FALSE(data->isNull() && !r.data.isNull());
    }
    EXPECT_EQ(statusOf((*file)->get1Resource(kPlst, 2)), resNotFound);
    EXPECT_EQ(statusOf((*file)->get1Resource(fourCharCode("PLST"), 0)), resNotFound);
    EXPECT_EQ(statusOf((*file)->get1Resource(kVers, 0)), resNotFound);
    // A file without resources (type count 0xFFFF) opens and finds nothing.
    EXPECT_EQ(lookup(makeResourceFile({})), resNotFound);
}

TEST(ResourceFile, RepeatedTypeIsSearchedOnce)
{
    // Two type entries for 'plst' (the second made by renaming 'vers'): only
    // the first one's references count, so a map cannot multiply the work.
    QByteArray bytes = makeResourceFile({{kPlst, 1, "one", {}}, {kVers, 0, "zero", {}}});
    const qsizetype secondType = bytes.indexOf("vers", 256 + 15);
    ASSERT_GT(secondType, 0);
    bytes.replace(secondType, 4, "plst");
    EXPECT_EQ(lookup(bytes), resNotFound);
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
        put(bytes, c.at, c.width, c.value);
        EXPECT_EQ(lookup(bytes), c.expected) << c.what;
    }
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
        const Result<AppleDouble> header = readAppleDouble(source);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->version, version);
        const Result<std::unique_ptr<ByteSource>> fork = openAppleDoubleEntry(source, *header, kEntryResourceFork);
        ASSERT_TRUE(fork);
        const Result<QByteArray> bytes = (*fork)->read(0, (*fork)->size());
        ASSERT_TRUE(bytes);
        EXPECT_EQ(*bytes, kFork);
        const std::optional<FinderInfo> info = finderInfoFromAppleDouble(source);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->fileType, fourCharCode("APPL"));
        EXPECT_EQ(info->creator, fourCharCode("Ostl"));
    }
}

TEST(AppleDouble, EveryTruncationIsFoundOut)
{
    const QByteArray whole = sidecar();
    const qsizetype descriptorsEnd = 26 + 2 * 12;
    const qsizetype finderEnd = descriptorsEnd + 32;
    for (qsizetype length = 0; length < whole.size(); ++length) {
        const MemorySource source(whole.left(length));
        const Result<AppleDouble> header = readAppleDouble(source);
        const OSStatus status = statusOf(header);
        if (length < 8) { // too short to tell: no AppleDouble file
            EXPECT_EQ(status, resFNotFound) << length;
            continue;
        }
        if (length < descriptorsEnd) {
            EXPECT_EQ(status, eofErr) << length;
            continue;
        }
        ASSERT_EQ(status, noErr) << length;
        EXPECT_EQ(statusOf(openAppleDoubleEntry(source, *header, kEntryResourceFork)), eofErr) << length;
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
        {0, 0x00051600, resFNotFound},            // AppleSingle, which holds the data too: no sidecar
        {4, 0x00030000, resFNotFound},            // unknown version
        {24, 0xFFFF, eofErr},                     // entry count past the end
        {24, 1, resFNotFound},                    // fork entry no longer counted
        {forkDescriptor, 7, resFNotFound},        // fork entry renamed
        {forkDescriptor + 4, 0xFFFFFFFF, eofErr}, // offset past the end
        {forkDescriptor + 8, 0xFFFFFFFF, eofErr}, // length wraps around
        {forkDescriptor + 8, std::uint32_t(kFork.size()) + 1, eofErr},
    };
    for (const Case& c : cases) {
        QByteArray bytes = good;
        put(bytes, c.at, c.at == 24 ? 2 : 4, c.value);
        const MemorySource source(bytes);
        const Result<AppleDouble> header = readAppleDouble(source);
        EXPECT_EQ(statusOf(header ? openAppleDoubleEntry(source, *header, kEntryResourceFork) : header.error()),
                  c.expected)
            << c.at << " " << c.value;
    }
}

} // namespace
