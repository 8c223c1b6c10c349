// The resource-file and AppleDouble readers against files made by the writer,
// then damaged: truncated at every length, numbers pointing anywhere.
#include "platform/ResourceFile.h"
#include "CaseRows.h"
#include "platform/AppleDouble.h"
#include "platform/FileManager.h"
#include "platform/ResourceWriter.h"

#include <map>

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
        // Too short to tell is no AppleDouble file; cut in its descriptors, it ends early.
        const OSStatus expected = length < 8 ? resFNotFound : length < descriptorsEnd ? eofErr : noErr;
        ASSERT_EQ(statusOf(header), expected) << length;
        if (expected != noErr)
            continue;
        EXPECT_EQ(statusOf(openAppleDoubleEntry(source, *header, kEntryResourceFork)), eofErr) << length;
        EXPECT_EQ(finderInfoFromAppleDouble(source).has_value(), length >= finderEnd) << length;
    }
}

// The status of opening the resource fork of an AppleDouble file.
OSStatus forkStatus(const QByteArray& bytes)
{
    const MemorySource source(bytes);
    const Result<AppleDouble> header = readAppleDouble(source);
    return statusOf(header ? openAppleDoubleEntry(source, *header, kEntryResourceFork) : header.error());
}

TEST(ResourceFile, DamagedNumbersGiveTheirStatus)
{
    const std::map<QString, OSStatus> statuses = {{"noErr", noErr},
                                                  {"eofErr", eofErr},
                                                  {"mapReadErr", mapReadErr},
                                                  {"resNotFound", resNotFound},
                                                  {"resFNotFound", resFNotFound}};
    const QByteArray fork = makeResourceFile({{kPlst, 0, "0123456789", {}}});
    ASSERT_EQ(fork.size(), 320);
    ASSERT_EQ(kFork.size(), 317);
    for (const QStringList& row : caseRows("platform-resource-damage.tsv")) {
        ASSERT_EQ(row.size(), 6);
        SCOPED_TRACE(row[1].toStdString());
        QByteArray bytes = row[0] == "fork" ? fork : sidecar();
        put(bytes, row[2].toInt(), row[3].toInt(), row[4].toUInt(nullptr, 0));
        EXPECT_EQ(row[0] == "fork" ? lookup(bytes) : forkStatus(bytes), statuses.at(row[5]));
    }
}

} // namespace
