// A resource file in the Resource Manager's published layout, read from a
// fork (an AppleDouble entry or a whole data fork).
//
// Header (16 bytes, big-endian): data area offset, map offset, data area
// length, map length. Each resource in the data area is a 32-bit length and
// its bytes. The map: 16 reserved bytes, a 4-byte handle, a 2-byte file
// reference, 2-byte attributes, the 16-bit offsets of the type list and of
// the name list; the type list is a count minus one and 8-byte entries (type,
// count minus one, offset of its reference list from the type list's start);
// a reference is 12 bytes (id, name offset, attributes, 24-bit data offset,
// 4-byte handle).
//
// Only the parts needed are read: the header, the map's header, the type
// list, and for a lookup one reference list and one resource's bytes.
#pragma once

#include "platform/ByteSource.h"
#include "platform/FourCharCode.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>

namespace platform {

// Resources larger than this are not loaded (memFullErr).
constexpr std::uint64_t kMaxResourceSize = 256 * 1024 * 1024;

class ResourceFile {
public:
    // Opens the resource file in fork; else the status resFNotFound for an
    // empty fork, eofErr when the fork is too short for its header or an area
    // lies past its end, mapReadErr when the map is inconsistent, or a read's error.
    static Result<std::unique_ptr<ResourceFile>> open(std::unique_ptr<ByteSource> fork);

    // The bytes of the resource of that type and id, looked up in this file
    // only; else resNotFound, mapReadErr when its data lies outside the data
    // area, memFullErr when it is larger than kMaxResourceSize, or a read's error.
    Result<QByteArray> get1Resource(FourCharCode type, std::int16_t id) const;

private:
    struct TypeEntry {
        FourCharCode type;
        std::uint32_t count;
        std::uint32_t referenceListOffset; // from the map's start
    };

    ResourceFile() = default;

    std::unique_ptr<ByteSource> mFork;
    std::uint64_t mDataOffset = 0;
    std::uint64_t mDataLength = 0;
    std::uint64_t mMapOffset = 0;
    std::uint64_t mMapLength = 0;
    QList<TypeEntry> mTypes;
};

} // namespace platform
