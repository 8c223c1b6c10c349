// The archive reader: every format gives the same entries; only the entries
// asked for are kept; hostile archives end in a clear error, in bounded time
// and memory.
#include "platform/ArchiveReader.h"
#include "CaseRows.h"
#include "platform/ArchiveWriting.h"

#include <gtest/gtest.h>

using platform::ArchiveContents;
using platform::ArchiveEntryKind;
using platform::ArchiveLimits;
using testing_archives::Format;
using testing_archives::Item;
using testing_archives::makeArchive;

namespace {

const QList<Item> kProduct = {
    {"./Tool.app/", Item::Folder, {}, 0755},
    {"Tool.app/Contents/Info.plist", Item::File, "<plist><dict/></plist>", 0644},
    {"Tool.app/Contents/MacOS/Tool", Item::File,
     "\x7f"
     "ELF",
     0755},
    {"Tool.app/Contents/PlugIns/Same.appex", Item::Link, "../PlugIns/Real.appex", 0777},
    // Only a file's path implies its folders.
    {"Tool.app/Contents/Resources/en.lproj/InfoPlist.strings", Item::File, "\"A\" = \"B\";", 0644},
};

bool keepPropertyLists(const QString& path, std::uint64_t)
{
    return path.endsWith(".plist");
}

// Why the read failed; empty when it did not.
std::string errorOf(const platform::Result<ArchiveContents>& read)
{
    return read ? std::string() : read.error().localizedDescription().toStdString();
}

TEST(ArchiveReaderTest, EveryFormatListsTheSameEntriesAndKeepsOnlyWhatIsAskedFor)
{
    for (Format format : {Format::Zip, Format::Tar, Format::TarGz, Format::TarBz2, Format::TarXz}) {
        SCOPED_TRACE(testing_archives::formatName(format));
        const platform::Result<ArchiveContents> read =
            platform::readArchiveFromMemory(makeArchive(format, kProduct), keepPropertyLists);
        ASSERT_EQ(errorOf(read), "");
        const ArchiveContents& contents = *read;
        ASSERT_EQ(contents.entries.size(), kProduct.size());
        EXPECT_EQ(contents.entries[0].path, "Tool.app");
        EXPECT_EQ(contents.entries[0].kind, ArchiveEntryKind::Directory);

        const platform::ArchiveEntry* plist = contents.find("Tool.app/Contents/Info.plist");
        ASSERT_TRUE(plist && plist->bytes);
        EXPECT_EQ(*plist->bytes, kProduct[1].bytes);
        const platform::ArchiveEntry* tool = contents.find("Tool.app/Contents/MacOS/Tool");
        ASSERT_TRUE(tool);
        EXPECT_FALSE(tool->bytes);
        EXPECT_EQ(tool->mode & 0111, 0111u);
        const platform::ArchiveEntry* link = contents.find("Tool.app/Contents/PlugIns/Same.appex");
        ASSERT_TRUE(link);
        EXPECT_EQ(link->kind, ArchiveEntryKind::Link);
        EXPECT_EQ(link->linkTarget, "../PlugIns/Real.appex");
        EXPECT_FALSE(contents.find("Tool.app/Contents/Resources/en.lproj/InfoPlist.strings")->bytes);
    }
}

TEST(ArchiveReaderTest, ArchiveNamesAreKnownByTheirWholeExtension)
{
    for (const QStringList& row : caseRows("archive-names.tsv"))
        EXPECT_EQ(platform::isArchiveName(row.value(0)), row.value(1) == "1") << row.value(0).toStdString();
}

TEST(ArchiveReaderTest, HostileArchivesEndInAClearError)
{
    QList<Item> manyEntries;
    for (int i = 0; i < 100'000; ++i)
        manyEntries.append({QString("A.app/Contents/Resources/%1").arg(i), Item::File, {}, 0644});
    QList<Item> deepEntries; // each path within the bounds, all of them not
    for (int i = 0; i < 4000; ++i)
        deepEntries.append({QString("%1/").arg(i) + QString("d/").repeated(255), Item::Folder, {}, 0755});
    // The library's own text for it ends in a line end.
    QByteArray wrongSize = makeArchive(Format::Zip, {{"A.app/Contents/Info.plist", Item::File, "<plist/>", 0644}});
    for (const char* header : {"PK\x03\x04", "PK\x01\x02"}) {
        const qsizetype at = wrongSize.indexOf(header) + (header[3] == '\x04' ? 22 : 24);
        ++wrongSize[at];
    }
    const struct {
        const char* name;
        QByteArray archive;
        const char* errorPart;
    } rows[] = {
        {"absolute path", makeArchive(Format::Tar, {{"/etc/Info.plist", Item::File, "x", 0644}}), "absolute"},
        {"climbs out", makeArchive(Format::Zip, {{"A.app/../../Info.plist", Item::File, "x", 0644}}), "\"..\""},
        {"100,000 entries", makeArchive(Format::Tar, manyEntries), "more than 50000 entries"},
        {"a million path parts", makeArchive(Format::Tar, deepEntries), "more than 1000000 parts"},
        {"wrong size", wrongSize, "wrong size"},
        {"no archive", QByteArray(4096, 'x'), "Unrecognized archive format"},
        {"empty", QByteArray(), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string error = errorOf(platform::readArchiveFromMemory(row.archive, keepPropertyLists));
        EXPECT_NE(error, "");
        EXPECT_NE(error.find(row.errorPart), std::string::npos) << error;
        EXPECT_EQ(QString::fromStdString(error), QString::fromStdString(error).trimmed());
    }
}

TEST(ArchiveReaderTest, LimitsHoldWithoutReadingTooMuch)
{
    // 64 MiB of zeros packs into a few hundred KiB; the limits are far below it.
    const QList<Item> bomb = {{"Bomb.app/Contents/Info.plist", Item::File, "<plist>", 0644}};
    const qsizetype zeros = 64 * 1024 * 1024;
    ArchiveLimits limits;
    limits.maxEntrySize = 1024 * 1024;
    limits.maxTotalBytes = 8 * 1024 * 1024;
    const auto skipAll = [](const QString&, std::uint64_t) { return false; };

    const struct {
        Format format;
        bool skippedUnread; // a zip skips what it does not keep; a compressed tar must unpack it
    } rows[] = {{Format::Zip, true}, {Format::TarGz, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing_archives::formatName(row.format));
        const QByteArray archive = makeArchive(row.format, bomb, zeros);
        EXPECT_LT(archive.size(), zeros / 50);
        for (const auto& wanted : {platform::ArchiveWanted(keepPropertyLists), platform::ArchiveWanted(skipAll)}) {
            const platform::Result<ArchiveContents> contents = platform::readArchiveFromMemory(archive, wanted, limits);
            if (row.skippedUnread) {
                ASSERT_EQ(errorOf(contents), "");
                ASSERT_EQ(contents->entries.size(), 1);
                // Asked for or not, nothing of it is kept.
                EXPECT_FALSE(contents->entries[0].bytes);
            } else {
                EXPECT_NE(errorOf(contents).find("unpacks to more than 8388608 bytes"), std::string::npos)
                    << errorOf(contents);
            }
        }
        // Within the total, an entry asked for is still refused past its own limit.
        limits.maxTotalBytes = 2 * zeros;
        const platform::Result<ArchiveContents> refused =
            platform::readArchiveFromMemory(archive, keepPropertyLists, limits);
        limits.maxTotalBytes = 8 * 1024 * 1024;
        ASSERT_EQ(errorOf(refused), "");
        ASSERT_EQ(refused->entries.size(), 1);
        EXPECT_TRUE(refused->entries[0].tooLarge);
        EXPECT_FALSE(refused->entries[0].bytes);
    }
}

TEST(ArchiveReaderTest, TruncatedArchivesAreErrors)
{
    for (Format format : {Format::Zip, Format::TarGz, Format::TarXz}) {
        SCOPED_TRACE(testing_archives::formatName(format));
        const QByteArray whole = makeArchive(format, kProduct);
        ASSERT_EQ(errorOf(platform::readArchiveFromMemory(whole, keepPropertyLists)), "");
        for (qsizetype length = 0; length < whole.size(); length += 1 + whole.size() / 97)
            EXPECT_NE(errorOf(platform::readArchiveFromMemory(whole.left(length), keepPropertyLists)), "")
                << "cut at " << length << " of " << whole.size();
    }
}

TEST(ArchiveReaderTest, AFileThatIsNoArchiveOrNoFileIsAnError)
{
    for (const char* path : {"/nonexistent/a.zip", "/dev/null", "/tmp"})
        EXPECT_NE(errorOf(platform::readArchive(path, keepPropertyLists)), "") << path;
}

} // namespace
