#include "check/PlistDataReader.h"

#include "platform/ByteSource.h"
#include "platform/FileManager.h"
#include "platform/FileUrl.h"

#include <cerrno>
#include <cstring>

namespace check {

namespace {

platform::Error posixError(int code, const QString& description)
{
    return platform::Error{platform::PosixErrorDomain, code, description};
}

platform::Error systemError(int code)
{
    return posixError(code, QString::fromLocal8Bit(std::strerror(code)));
}

} // namespace

PlistData readWholeFile(const QString& path, platform::FileSource::Seen seen)
{
    PlistData result;
    platform::FileSource::Opened opened = platform::FileSource::open(path, seen);
    if (!opened.file) {
        if (opened.isDirectory)
            result.error = systemError(EISDIR);
        else if (opened.notRegular)
            result.error = posixError(EINVAL, QStringLiteral("Not a regular file (a pipe, a device or a socket); "
                                                             "only regular files are read."));
        else
            result.error = systemError(opened.error);
        return result;
    }
    const std::uint64_t size = opened.file->size();
    if (size > platform::kMaxPropertyListSize) {
        result.error = posixError(EFBIG, QStringLiteral("The file is too large to be a property list: %1 bytes "
                                                        "(%2 MiB); files over 256 MiB are not read.")
                                             .arg(size)
                                             .arg(double(size) / (1024.0 * 1024.0), 0, 'f', 1));
        return result;
    }
    QByteArray bytes;
    // A size of 0 may be a file of the kernel's (/proc) that has content all
    // the same; an empty file reads as empty either way.
    const platform::OSStatus status =
        size == 0 ? opened.file->readToEnd(platform::kMaxPropertyListSize, bytes) : opened.file->read(0, size, bytes);
    if (status == platform::memFullErr) {
        result.error = posixError(EFBIG, QStringLiteral("The file is too large to be a property list: "
                                                        "files over 256 MiB are not read."));
        return result;
    }
    if (status != platform::noErr) {
        if (opened.file->lastError() != 0)
            result.error = systemError(opened.file->lastError());
        else // the file shrank while it was read
            result.error = posixError(EIO, QStringLiteral("The file changed while it was read."));
        return result;
    }
    result.bytes = std::move(bytes);
    return result;
}

PlistData readURL(const QUrl& url, platform::FileSource::Seen seen)
{
    PlistData result;
    const QString path = platform::fileSystemPath(url);
    if (platform::lostUndecodableBytes(path)) {
        result.error = posixError(ENOENT, QStringLiteral("The name is not valid UTF-8 and cannot be opened: its bytes "
                                                         "were lost before it reached Ostrel."));
        return result;
    }
    if (platform::pathExtension(url) == QStringLiteral("plist"))
        return readWholeFile(path, seen);

    if (!url.isLocalFile() || !platform::fileExists(url)) {
        result.error = platform::Error::osStatus(platform::fnfErr);
        return result;
    }

    std::unique_ptr<platform::ResourceFile> file;
    platform::OSStatus status = platform::openResourceFile(path, platform::Fork::Resource, file);
    if (status == platform::resFNotFound)
        status = platform::openResourceFile(path, platform::Fork::Data, file);

    if (status == platform::noErr) {
        QByteArray bytes;
        status = file->get1Resource(platform::fourCharCode("plst"), 0, bytes);
        if (status == platform::noErr) {
            result.bytes = std::move(bytes);
            if (const std::optional<platform::FinderInfo> info = platform::getFinderInfo(path)) {
                result.fileType = info->fileType;
                result.creator = info->creator;
            }
        }
        file.reset(); // the bytes were copied out
    }
    if (status != platform::noErr)
        result.error = platform::Error::osStatus(status);
    return result;
}

} // namespace check
