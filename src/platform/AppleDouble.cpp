#include "platform/AppleDouble.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

std::optional<AppleDoubleEntry> AppleDouble::entry(std::uint32_t id) const
{
    for (const AppleDoubleEntry& e : entries) {
        if (e.id == id)
            return e;
    }
    return std::nullopt;
}

OSStatus readAppleDouble(const ByteSource& source, AppleDouble& header)
{
    header = AppleDouble();
    if (source.size() < 8)
        return resFNotFound;
    QByteArray bytes;
    if (const OSStatus status = source.read(0, 8, bytes))
        return status;
    const std::uint32_t magic = readBE32(bytes, 0);
    const std::uint32_t version = readBE32(bytes, 4);
    if (magic != kAppleDoubleMagic || (version != kAppleDoubleVersion1 && version != kAppleDoubleVersion2))
        return resFNotFound;

    if (const OSStatus status = source.read(0, kAppleDoubleHeaderSize, bytes))
        return status;
    const std::uint64_t count = readBE16(bytes, 24);
    // At most 65535 descriptors of 12 bytes: the read is bounded by the count
    // and was checked against the file's size.
    QByteArray table;
    if (const OSStatus status = source.read(kAppleDoubleHeaderSize, count * kAppleDoubleDescriptorSize, table))
        return status;
    header.version = version;
    header.entries.reserve(qsizetype(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(i * kAppleDoubleDescriptorSize);
        header.entries.append({readBE32(table, at), readBE32(table, at + 4), readBE32(table, at + 8)});
    }
    return noErr;
}

OSStatus openAppleDoubleEntry(const ByteSource& source, const AppleDouble& header, std::uint32_t id,
                              std::unique_ptr<ByteSource>& entry)
{
    entry.reset();
    const std::optional<AppleDoubleEntry> e = header.entry(id);
    if (!e)
        return resFNotFound;
    if (!rangeFits(e->offset, e->length, source.size()))
        return eofErr;
    entry = source.slice(e->offset, e->length);
    return noErr;
}

QString appleDoublePath(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral("._") + info.fileName());
}

} // namespace platform
