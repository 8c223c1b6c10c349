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
    return platform::Error{platform::PosixErrorDomain, code, description};
}

platform::Error systemError(int code)
{
    return posixError(code, QString::fromLocal8Bit(std::strerror(code)));
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
    QByteArray bytes;
    // A size of 0 may be a file of the kernel's (/proc) that has content all
    // the same; an empty file reads as empty either way.
    const platform::OSStatus status =
        size == 0 ? opened.file->readToEnd(platform::kMaxPropertyListSize, bytes) : opened.file->read(0, size, bytes);
    if (status == platform::memFullErr) {
        result.error = posixError(EFBIG, tooLargeText());
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

// What a settings file found at path is to be opened by: the path its links
// resolve to, which must lie in path's own folder; else why it is refused.
std::optional<QString> withinItsFolder(const QString& path, platform::Error& error)
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
    if (!target) {
        error = systemError(errno);
        return std::nullopt;
    }
    std::optional<QByteArray> folder = real(platform::encodeFileName(QFileInfo(path).absolutePath()));
    if (folder && !folder->endsWith('/'))
        *folder += '/';
    if (!folder || !target->startsWith(*folder)) {
        error = posixError(EPERM, QStringLiteral("The file is a symbolic link that leads out of its folder; "
                                                 "such a file is read only when it is named."));
        return std::nullopt;
    }
    return platform::decodeFileName(*target);
}

QString sizeInUnits(std::uint64_t bytes)
{
    constexpr std::uint64_t kMiB = 1024 * 1024;
    return bytes % kMiB == 0 ? QStringLiteral("%1 MiB").arg(bytes / kMiB) : QStringLiteral("%1 bytes").arg(bytes);
}

} // namespace

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
    const std::optional<QString> opened =
        link == SettingsLink::WithinItsFolder ? withinItsFolder(path, result.error) : path;
    if (!opened)
        return result;
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
    QByteArray bytes;
    const platform::OSStatus status = file.file->readToEnd(limit, bytes);
    if (status == platform::memFullErr || (status == platform::noErr && std::uint64_t(bytes.size()) != size)) {
        result.error = posixError(EINVAL, QStringLiteral("The file holds more or less than its size says: a file of "
                                                         "the kernel's (such as those in /proc), or one being written; "
                                                         "only ordinary files are read."));
        return result;
    }
    if (status != platform::noErr) {
        result.error = systemError(file.file->lastError());
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

    // A program without a bundle carries its property list in a section of its own.
    if (const platform::FileSource::Opened program = platform::FileSource::open(path); program.file) {
        QByteArray start;
        if (program.file->read(0, std::min<std::uint64_t>(8, program.file->size()), start) == platform::noErr &&
            platform::looksLikeMachO(start)) {
            result.bytes = platform::machOInfoPlist(*program.file, platform::readMachO(*program.file));
            if (!result.bytes)
                result.error = platform::Error{platform::MachOErrorDomain, platform::kNoInfoPlistSection, {}};
            return result;
        }
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
