#include "check/PlistDataReader.h"

#include "platform/ByteSource.h"
#include "platform/FileManager.h"
#include "platform/FileUrl.h"
#include "platform/MachO.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace check {

namespace {

constexpr std::uint64_t kMaxMiB = platform::kMaxPropertyListSize >> 20;

QString tooLargeText()
{
    return QStringLiteral("The file is too large to be a property list: files over %1 MiB are not read.").arg(kMaxMiB);
}

platform::Error posixError(int code, const QString& description)
{
    return platform::Error::posix(code, description);
}

platform::Error systemError(int code)
{
    return platform::Error::posix(code);
}

// Why a file could not be opened, as a report tells it.
platform::Error openError(const platform::FileSource::Opened& opened)
{
    if (opened.isDirectory)
        return systemError(EISDIR);
    if (opened.notRegular)
        return posixError(EINVAL, QStringLiteral("Not a regular file (a pipe, a device or a socket); "
                                                 "only regular files are read."));
    return systemError(opened.error);
}

PlistData readOpened(const platform::FileSource::Opened& opened)
{
    PlistData result;
    if (!opened.file) {
        result.error = openError(opened);
        return result;
    }
    const std::uint64_t size = opened.file->size();
    if (size > platform::kMaxPropertyListSize) {
        result.error = posixError(EFBIG, QStringLiteral("The file is too large to be a property list: %1 bytes "
                                                        "(%2 MiB); files over %3 MiB are not read.")
                                             .arg(size)
                                             .arg(double(size) / (1024.0 * 1024.0), 0, 'f', 1)
                                             .arg(kMaxMiB));
        return result;
    }
    // A size of 0 may be a file of the kernel's (/proc) that has content all
    // the same; an empty file reads as empty either way.
    platform::Result<QByteArray> bytes =
        size == 0 ? opened.file->readToEnd(platform::kMaxPropertyListSize) : opened.file->read(0, size);
    if (bytes) {
        result.bytes = std::move(*bytes);
        return result;
    }
    if (bytes.error().code == platform::osStatusCode(platform::memFullErr))
        result.error = posixError(EFBIG, tooLargeText());
    else if (bytes.error().code.category() == std::generic_category())
        result.error = bytes.error();
    else // the file shrank while it was read
        result.error = posixError(EIO, QStringLiteral("The file changed while it was read."));
    return result;
}

// What a settings file found at path is to be opened by: the path its links
// resolve to, which must lie in path's own folder; else why it is refused.
platform::Result<QString> withinItsFolder(const QString& path)
{
    const QByteArray native = platform::encodeFileName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path; // no link: opening it tells the rest
    const auto real = [](const QByteArray& name) -> std::optional<QByteArray> {
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(name.constData(), nullptr), &std::free);
        if (!resolved)
            return std::nullopt;
        return QByteArray(resolved.get());
    };
    const std::optional<QByteArray> target = real(native);
    if (!target)
        return systemError(errno);
    std::optional<QByteArray> folder = real(platform::encodeFileName(QFileInfo(path).absolutePath()));
    if (folder && !folder->endsWith('/'))
        *folder += '/';
    if (!folder || !target->startsWith(*folder))
        return posixError(EPERM, QStringLiteral("The file is a symbolic link that leads out of its folder; "
                                                "such a file is read only when it is named."));
    return platform::decodeFileName(*target);
}

QString sizeInUnits(std::uint64_t bytes)
{
    constexpr std::uint64_t kMiB = 1024 * 1024;
    return bytes % kMiB == 0 ? QStringLiteral("%1 MiB").arg(bytes / kMiB) : QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

PlistData plistData(platform::Result<QByteArray> read)
{
    PlistData data;
    if (read)
        data.bytes = std::move(*read);
    else
        data.error = read.error();
    return data;
}

PlistData readWholeFile(const QString& path, platform::FileSource::Seen seen)
{
    return readOpened(platform::FileSource::open(path, seen));
}

PlistData readWholeFileBeneath(const QString& folder, const QString& relative, platform::FileSource::Seen seen)
{
    return readOpened(platform::FileSource::openBeneath(folder, relative, seen));
}

PlistData readSettingsFile(const QString& path, std::uint64_t limit, SettingsLink link)
{
    PlistData result;
    const platform::Result<QString> opened =
        link == SettingsLink::WithinItsFolder ? withinItsFolder(path) : platform::Result<QString>(path);
    if (!opened) {
        result.error = opened.error();
        return result;
    }
    const platform::FileSource::Opened file = platform::FileSource::open(*opened);
    if (!file.file) {
        result.error = openError(file);
        return result;
    }
    const std::uint64_t size = file.file->size();
    if (size > limit) {
        result.error = posixError(EFBIG, QStringLiteral("The file is too large: %1 bytes; files over %2 are not read.")
                                             .arg(size)
                                             .arg(sizeInUnits(limit)));
        return result;
    }
    // Read to its end, whatever its size says: the kernel's files say 0 and hold more.
    platform::Result<QByteArray> bytes = file.file->readToEnd(limit);
    if (bytes ? std::uint64_t(bytes->size()) != size
              : bytes.error().code == platform::osStatusCode(platform::memFullErr)) {
        result.error = posixError(EINVAL, QStringLiteral("The file holds more or less than its size says: a file of "
                                                         "the kernel's (such as those in /proc), or one being written; "
                                                         "only ordinary files are read."));
        return result;
    }
    if (!bytes) {
        result.error = bytes.error();
        return result;
    }
    result.bytes = std::move(*bytes);
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

    // A program without a bundle carries its property list in a section of its own.
    if (const platform::FileSource::Opened program = platform::FileSource::open(path); program.file) {
        const platform::Result<QByteArray> start =
            program.file->read(0, std::min<std::uint64_t>(8, program.file->size()));
        if (start && platform::looksLikeMachO(*start)) {
            result.bytes = platform::machOInfoPlist(*program.file, platform::readMachO(*program.file));
            if (!result.bytes)
                result.error = platform::noInfoPlistSection();
            return result;
        }
    }

    platform::Result<std::unique_ptr<platform::ResourceFile>> file =
        platform::openResourceFile(path, platform::Fork::Resource);
    if (!file && file.error().code == platform::osStatusCode(platform::resFNotFound))
        file = platform::openResourceFile(path, platform::Fork::Data);
    platform::Result<QByteArray> bytes = file ? (*file)->get1Resource(platform::fourCharCode("plst"), 0) : file.error();
    if (!bytes) {
        result.error = platform::asOSStatus(bytes.error());
        return result;
    }
    result.bytes = std::move(*bytes);
    if (const std::optional<platform::FinderInfo> info = platform::getFinderInfo(path)) {
        result.fileType = info->fileType;
        result.creator = info->creator;
    }
    return result;
}

PlistData readStandardInput()
{
    PlistData result;
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.error = systemError(errno);
            return result;
        }
        if (static_cast<std::uint64_t>(bytes.size()) + static_cast<std::uint64_t>(got) >
            platform::kMaxPropertyListSize) {
            result.error = posixError(EFBIG, tooLargeText());
            return result;
        }
        bytes.append(buffer, got);
    }
    result.bytes = std::move(bytes);
    return result;
}

} // namespace check
