#include "platform/ResourceFile.h"

namespace platform {

namespace {

constexpr std::uint64_t kHeaderSize = 16;
constexpr std::uint64_t kMapHeaderSize = 28; // reserved copy, handle, file ref, attributes, two offsets
constexpr std::uint64_t kTypeEntrySize = 8;
constexpr std::uint64_t kReferenceSize = 12;

} // namespace

Result<std::unique_ptr<ResourceFile>> ResourceFile::open(std::unique_ptr<ByteSource> fork)
{
    const std::uint64_t forkSize = fork->size();
    if (forkSize == 0)
        return Error::osStatus(resFNotFound);
    const Result<QByteArray> header = fork->read(0, kHeaderSize);
    if (!header)
        return header.error();

    std::unique_ptr<ResourceFile> result(new ResourceFile());
    result->mDataOffset = readBE32(*header, 0);
    result->mMapOffset = readBE32(*header, 4);
    result->mDataLength = readBE32(*header, 8);
    result->mMapLength = readBE32(*header, 12);
    if (!rangeFits(result->mDataOffset, result->mDataLength, forkSize) ||
        !rangeFits(result->mMapOffset, result->mMapLength, forkSize))
        return Error::osStatus(eofErr);
    if (result->mMapLength < kMapHeaderSize + 2)
        return Error::osStatus(mapReadErr);

    const Result<QByteArray> mapHeader = fork->read(result->mMapOffset, kMapHeaderSize);
    if (!mapHeader)
        return mapHeader.error();
    const std::uint64_t typeListOffset = readBE16(*mapHeader, 24);
    if (!rangeFits(typeListOffset, 2, result->mMapLength))
        return Error::osStatus(mapReadErr);
    const Result<QByteArray> countBytes = fork->read(result->mMapOffset + typeListOffset, 2);
    if (!countBytes)
        return countBytes.error();
    // The count is stored minus one; 0xFFFF means an empty list.
    const std::uint64_t typeCount = (readBE16(*countBytes, 0) + 1u) & 0xFFFFu;
    if (!rangeFits(typeListOffset + 2, typeCount * kTypeEntrySize, result->mMapLength))
        return Error::osStatus(mapReadErr);
    const Result<QByteArray> typeList = fork->read(result->mMapOffset + typeListOffset + 2, typeCount * kTypeEntrySize);
    if (!typeList)
        return typeList.error();

    result->mTypes.reserve(qsizetype(typeCount));
    for (std::uint64_t i = 0; i < typeCount; ++i) {
        const qsizetype at = qsizetype(i * kTypeEntrySize);
        const std::uint32_t count = readBE16(*typeList, at + 4) + 1u;
        const std::uint64_t listOffset = typeListOffset + readBE16(*typeList, at + 6);
        if (!rangeFits(listOffset, count * kReferenceSize, result->mMapLength))
            return Error::osStatus(mapReadErr);
        result->mTypes.append({readBE32(*typeList, at), count, std::uint32_t(listOffset)});
    }
    result->mFork = std::move(fork);
    return result;
}

Result<QByteArray> ResourceFile::get1Resource(FourCharCode type, std::int16_t id) const
{
    for (const TypeEntry& entry : mTypes) {
        if (entry.type != type)
            continue;
        const Result<QByteArray> references =
            mFork->read(mMapOffset + entry.referenceListOffset, entry.count * kReferenceSize);
        if (!references)
            return references.error();
        for (std::uint32_t i = 0; i < entry.count; ++i) {
            const qsizetype at = qsizetype(i * kReferenceSize);
            if (std::int16_t(readBE16(*references, at)) != id)
                continue;
            const std::uint64_t dataOffset = readBE32(*references, at + 4) & 0x00FFFFFFu;
            if (!rangeFits(dataOffset, 4, mDataLength))
                return Error::osStatus(mapReadErr);
            const Result<QByteArray> lengthBytes = mFork->read(mDataOffset + dataOffset, 4);
            if (!lengthBytes)
                return lengthBytes.error();
            const std::uint64_t length = readBE32(*lengthBytes, 0);
            if (!rangeFits(dataOffset + 4, length, mDataLength))
                return Error::osStatus(mapReadErr);
            if (length > kMaxResourceSize)
                return Error::osStatus(memFullErr);
            return mFork->read(mDataOffset + dataOffset + 4, length);
        }
        // Only the first list of a type is searched: a hostile map could repeat
        // a type thousands of times over one long reference list.
        return Error::osStatus(resNotFound);
    }
    return Error::osStatus(resNotFound);
}

} // namespace platform
