// AppleDouble files: where Mac files keep their resource fork and Finder
// information on other file systems, in a sidecar "._NAME" beside the file
// (Samba, netatalk, tar and zip archives made on a Mac, copies to FAT disks).
//
// Layout, all numbers big-endian: magic 0x00051607, version (0x00010000 or
// 0x00020000), 16 filler bytes, a 16-bit entry count, then one 12-byte
// descriptor per entry: id, offset from the start of the file, length.
#pragma once

#include "platform/ByteSource.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

constexpr std::uint32_t kAppleDoubleMagic = 0x00051607;
constexpr std::uint32_t kAppleDoubleVersion1 = 0x00010000;
constexpr std::uint32_t kAppleDoubleVersion2 = 0x00020000;
constexpr std::uint64_t kAppleDoubleHeaderSize = 26;
constexpr std::uint64_t kAppleDoubleDescriptorSize = 12;

constexpr std::uint32_t kEntryResourceFork = 2;
constexpr std::uint32_t kEntryFinderInfo = 9;

struct AppleDoubleEntry {
    std::uint32_t id = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

struct AppleDouble {
    std::uint32_t version = 0;
    QList<AppleDoubleEntry> entries; // as the file gives them, not yet checked

    // The first entry with that id, if any.
    [[nodiscard]] std::optional<AppleDoubleEntry> entry(std::uint32_t id) const;
};

// Reads the header and the entry descriptors; else the status resFNotFound
// when the bytes are no AppleDouble file (magic or version unknown), eofErr
// when the header or a descriptor lies past the end, or a read's error.
Result<AppleDouble> readAppleDouble(const ByteSource& source);

// The bytes of the first entry with that id as a source of their own; else
// resFNotFound when there is no such entry, eofErr when it lies past the end.
// A damaged entry that is not asked for does not matter.
Result<std::unique_ptr<ByteSource>> openAppleDoubleEntry(const ByteSource& source, const AppleDouble& header,
                                                         std::uint32_t id);

// The path of the sidecar that holds the file's resource fork: "._NAME" beside it.
QString appleDoublePath(const QString& path);

// The extended attribute in which netatalk and Samba keep an AppleDouble header.
inline constexpr char kNetatalkMetadataAttribute[] = "user.org.netatalk.Metadata";

} // namespace platform
