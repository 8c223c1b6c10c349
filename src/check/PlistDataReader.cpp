#include "check/PlistDataReader.h"

#include "platform/ByteSource.h"
#include "platform/FileManager.h"
#include "platform/FileUrl.h"

#include <cerrno>
#include <cstring>

namespace check {

namespace {

// Property lists are small; a larger file is refused rather than loaded.
constexpr std::uint64_t kMaxPlistFileSize = 256 * 1024 * 1024;

platform::Error posixError(int code, const QString& description)
{
    return platform::Error{platform::PosixErrorDomain, code, description};
}

platform::Error systemError(int code)
{
    return posixError(code, QString::fromLocal8Bit(std::strerror(code)));
}

} // namespace

std::optional<QByteArray> PlistDataReader::readWholeFile(const QString& path, platform::Error* error)
{
    if (error)
        *error = platform::Error();
    platform::FileSource::Opened opened = platform::FileSource::open(path);
    if (!opened.file) {
        if (error) {
            if (opened.isDirectory)
                *error = systemError(EISDIR);
            else if (opened.notRegular)
                *error = posixError(EINVAL, QStringLiteral("Not a regular file (a pipe, a device or a socket); "
                                                           "only regular files are read."));
            else
                *error = systemError(opened.error);
        }
        return std::nullopt;
    }
    const std::uint64_t size = opened.file->size();
    if (size > kMaxPlistFileSize) {
        if (error)
            *error = posixError(EFBIG, QStringLiteral("The file is too large to be a property list: %1 bytes "
                                                      "(%2 MiB); files over 256 MiB are not read.")
                                           .arg(size)
                                           .arg(double(size) / (1024.0 * 1024.0), 0, 'f', 1));
        return std::nullopt;
    }
    opened.file->adviseUncached();
    QByteArray bytes;
    // A size of 0 may be a file of the kernel's (/proc) that has content all
    // the same; an empty file reads as empty either way.
    const platform::OSStatus status =
        size == 0 ? opened.file->readToEnd(kMaxPlistFileSize, bytes) : opened.file->read(0, size, bytes);
    if (status == platform::memFullErr) {
        if (error)
            *error = posixError(EFBIG, QStringLiteral("The file is too large to be a property list: "
                                                      "files over 256 MiB are not read."));
        return std::nullopt;
    }
    if (status != platform::noErr) {
        if (error) {
            if (opened.file->lastError() != 0)
                *error = systemError(opened.file->lastError());
            else // the file shrank while it was read
                *error = posixError(EIO, QStringLiteral("The file changed while it was read."));
        }
        return std::nullopt;
    }
    return bytes;
}

std::optional<QByteArray> PlistDataReader::readURL(const QUrl& url, platform::Error* error, std::uint32_t& fileType,
                                                   std::uint32_t& creator)
{
    if (error)
        *error = platform::Error();
    fileType = creator = 0;

    const QString path = platform::fileSystemPath(url);
    if (platform::lostUndecodableBytes(path)) {
        if (error)
            *error = posixError(ENOENT, QStringLiteral("The name is not valid UTF-8 and cannot be opened: its bytes "
                                                       "were lost before it reached Ostrel."));
        return std::nullopt;
    }
    if (platform::pathExtension(url) == QStringLiteral("plist"))
        return readWholeFile(path, error);

    if (!url.isLocalFile() || !platform::fileExists(url)) {
        if (error)
            *error = platform::Error::osStatus(platform::fnfErr);
        return std::nullopt;
    }

    std::unique_ptr<platform::ResourceFile> file;
    platform::OSStatus status = platform::openResourceFile(path, platform::Fork::Resource, file);
    if (status == platform::resFNotFound)
        status = platform::openResourceFile(path, platform::Fork::Data, file);

    std::optional<QByteArray> result;
    if (status == platform::noErr) {
        QByteArray bytes;
        status = file->get1Resource(platform::fourCharCode("plst"), 0, bytes);
        if (status == platform::noErr) {
            result = std::move(bytes);
            if (const std::optional<platform::FinderInfo> info = platform::getFinderInfo(path)) {
                fileType = info->fileType;
                creator = info->creator;
            }
        }
        file.reset(); // the bytes were copied out
    }
    if (status != platform::noErr && error)
        *error = platform::Error::osStatus(status);
    return result;
}

} // namespace check
