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

Result<AppleDouble> readAppleDouble(const ByteSource& source)
{
    if (source.size() < 8)
        return Error::osStatus(resFNotFound);
    const Result<QByteArray> start = source.read(0, 8);
    if (!start)
        return start.error();
    const std::uint32_t magic = readBE32(*start, 0);
    const std::uint32_t version = readBE32(*start, 4);
    if (magic != kAppleDoubleMagic || (version != kAppleDoubleVersion1 && version != kAppleDoubleVersion2))
        return Error::osStatus(resFNotFound);

    const Result<QByteArray> bytes = source.read(0, kAppleDoubleHeaderSize);
    if (!bytes)
        return bytes.error();
    const std::uint64_t count = readBE16(*bytes, 24);
    // At most 65535 descriptors of 12 bytes: the read is bounded by the count
    // and was checked against the file's size.
    const Result<QByteArray> table = source.read(kAppleDoubleHeaderSize, count * kAppleDoubleDescriptorSize);
    if (!table)
        return table.error();
    AppleDouble header;
    header.version = version;
    header.entries.reserve(qsizetype(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(i * kAppleDoubleDescriptorSize);
        header.entries.append({readBE32(*table, at), readBE32(*table, at + 4), readBE32(*table, at + 8)});
    }
    return header;
}

Result<std::unique_ptr<ByteSource>> openAppleDoubleEntry(const ByteSource& source, const AppleDouble& header,
                                                         std::uint32_t id)
{
    const std::optional<AppleDoubleEntry> e = header.entry(id);
    if (!e)
        return Error::osStatus(resFNotFound);
    if (!rangeFits(e->offset, e->length, source.size()))
        return Error::osStatus(eofErr);
    return source.slice(e->offset, e->length);
}

QString appleDoublePath(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral("._") + info.fileName());
}

} // namespace platform
