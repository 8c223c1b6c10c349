#include "platform/FileManager.h"

#include "platform/AppleDouble.h"
#include "platform/FileUrl.h"

#include <cerrno>
#include <sys/xattr.h>

namespace platform {

namespace {

// netatalk writes about 400 bytes; anything far larger is not its header.
constexpr qsizetype kMaxMetadataAttributeSize = 64 * 1024;

OSStatus openStatus(const FileSource::Opened& opened)
{
    if (opened.notRegular)
        return errFSNotAFile;
    return statusFromErrno(opened.error);
}

Result<std::unique_ptr<ByteSource>> openResourceForkSource(const QString& path)
{
    FileSource::Opened sidecar = FileSource::open(appleDoublePath(path));
    if (!sidecar.file) {
        // Nothing there, or something that is no file: no resource fork.
        const OSStatus status = openStatus(sidecar);
        return Error::osStatus(status == fnfErr || status == errFSNotAFile ? resFNotFound : status);
    }
    const Result<AppleDouble> header = readAppleDouble(*sidecar.file);
    if (!header)
        return header.error();
    return openAppleDoubleEntry(*sidecar.file, *header, kEntryResourceFork);
}

std::optional<QByteArray> readMetadataAttribute(const QString& path)
{
    const QByteArray native = encodeFileName(path);
    QByteArray value(kMaxMetadataAttributeSize, Qt::Uninitialized);
    const ssize_t size = ::getxattr(native.constData(), kNetatalkMetadataAttribute, value.data(), size_t(value.size()));
    if (size < 0)
        return std::nullopt; // absent, unsupported, or larger than any real header (ERANGE)
    value.truncate(qsizetype(size));
    return value;
}

} // namespace

Result<std::unique_ptr<ResourceFile>> openResourceFile(const QString& path, Fork fork)
{
    std::unique_ptr<ByteSource> source;
    if (fork == Fork::Resource) {
        Result<std::unique_ptr<ByteSource>> resourceFork = openResourceForkSource(path);
        if (!resourceFork)
            return resourceFork.error();
        source = std::move(*resourceFork);
    } else {
        FileSource::Opened data = FileSource::open(path);
        if (!data.file)
            return Error::osStatus(openStatus(data));
        source = std::move(data.file);
    }
    return ResourceFile::open(std::move(source));
}

std::optional<FinderInfo> finderInfoFromAppleDouble(const ByteSource& source)
{
    const Result<AppleDouble> header = readAppleDouble(source);
    const Result<std::unique_ptr<ByteSource>> entry =
        header ? openAppleDoubleEntry(source, *header, kEntryFinderInfo) : header.error();
    const Result<QByteArray> bytes = entry ? (*entry)->read(0, 8) : entry.error();
    if (!bytes)
        return std::nullopt;
    return FinderInfo{readBE32(*bytes, 0), readBE32(*bytes, 4)};
}

std::optional<FinderInfo> getFinderInfo(const QString& path)
{
    FileSource::Opened sidecar = FileSource::open(appleDoublePath(path));
    if (sidecar.file) {
        if (std::optional<FinderInfo> info = finderInfoFromAppleDouble(*sidecar.file))
            return info;
    }
    if (std::optional<QByteArray> attribute = readMetadataAttribute(path))
        return finderInfoFromAppleDouble(MemorySource(*attribute));
    return std::nullopt;
}

} // namespace platform
