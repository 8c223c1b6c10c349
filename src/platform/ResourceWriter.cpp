#include "platform/ResourceWriter.h"

namespace platform {

namespace {

void appendBE16(QByteArray& bytes, std::uint32_t value)
{
    bytes.append(char((value >> 8) & 0xFF));
    bytes.append(char(value & 0xFF));
}

void appendBE32(QByteArray& bytes, std::uint32_t value)
{
    appendBE16(bytes, value >> 16);
    appendBE16(bytes, value & 0xFFFF);
}

constexpr qsizetype kDataStart = 256; // header and the reserved bytes after it

} // namespace

QByteArray makeResourceFile(const QList<ResourceData>& resources)
{
    QByteArray data;
    QList<std::uint32_t> dataOffsets;
    for (const ResourceData& r : resources) {
        dataOffsets.append(std::uint32_t(data.size()));
        appendBE32(data, std::uint32_t(r.data.size()));
        data.append(r.data);
    }

    QList<FourCharCode> types;
    for (const ResourceData& r : resources) {
        if (!types.contains(r.type))
            types.append(r.type);
    }

    // Type list, then the reference lists in type order, then the names.
    const qsizetype typeListSize = 2 + types.size() * 8;
    QByteArray typeList;
    QByteArray referenceLists;
    QByteArray names;
    appendBE16(typeList, types.isEmpty() ? 0xFFFF : std::uint32_t(types.size() - 1));
    for (FourCharCode type : types) {
        qsizetype count = 0;
        const qsizetype listOffset = typeListSize + referenceLists.size();
        for (qsizetype i = 0; i < resources.size(); ++i) {
            const ResourceData& r = resources[i];
            if (r.type != type)
                continue;
            ++count;
            appendBE16(referenceLists, std::uint16_t(r.id));
            if (r.name.isEmpty()) {
                appendBE16(referenceLists, 0xFFFF);
            } else {
                appendBE16(referenceLists, std::uint32_t(names.size()));
                const QByteArray name = r.name.left(255);
                names.append(char(name.size()));
                names.append(name);
            }
            appendBE32(referenceLists, dataOffsets[i] & 0x00FFFFFF); // attributes 0, then the offset
            appendBE32(referenceLists, 0);
        }
        appendBE32(typeList, type);
        appendBE16(typeList, std::uint32_t(count - 1));
        appendBE16(typeList, std::uint32_t(listOffset));
    }

    const qsizetype mapHeaderSize = 28;
    const qsizetype nameListOffset = mapHeaderSize + typeList.size() + referenceLists.size();
    const qsizetype mapLength = nameListOffset + names.size();

    QByteArray header;
    appendBE32(header, kDataStart);
    appendBE32(header, std::uint32_t(kDataStart + data.size()));
    appendBE32(header, std::uint32_t(data.size()));
    appendBE32(header, std::uint32_t(mapLength));

    QByteArray file = header;
    file.append(QByteArray(kDataStart - header.size(), '\0'));
    file.append(data);
    file.append(header);              // the map starts with a copy of the header
    file.append(QByteArray(8, '\0')); // next-map handle, file reference, attributes
    appendBE16(file, mapHeaderSize);  // type list offset
    appendBE16(file, std::uint32_t(nameListOffset));
    file.append(typeList);
    file.append(referenceLists);
    file.append(names);
    return file;
}

QByteArray makeAppleDouble(const QList<AppleDoublePart>& parts, std::uint32_t version)
{
    QByteArray file;
    appendBE32(file, kAppleDoubleMagic);
    appendBE32(file, version);
    // Version 1 names the home file system in the filler; version 2 zeroes it.
    file.append(version == kAppleDoubleVersion1 ? QByteArray("Unix            ") : QByteArray(16, '\0'));
    appendBE16(file, std::uint32_t(parts.size()));
    std::uint32_t offset = std::uint32_t(kAppleDoubleHeaderSize + kAppleDoubleDescriptorSize * parts.size());
    for (const AppleDoublePart& part : parts) {
        appendBE32(file, part.id);
        appendBE32(file, offset);
        appendBE32(file, std::uint32_t(part.data.size()));
        offset += std::uint32_t(part.data.size());
    }
    for (const AppleDoublePart& part : parts)
        file.append(part.data);
    return file;
}

QByteArray makeFinderInfo(FourCharCode fileType, FourCharCode creator)
{
    QByteArray info;
    appendBE32(info, fileType);
    appendBE32(info, creator);
    info.append(QByteArray(24, '\0'));
    return info;
}

} // namespace platform
