#include "platform/ByteSource.h"

#include "platform/FileUrl.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

OSStatus statusFromErrno(int error)
{
    switch (error) {
    case 0: return noErr;
    case ENOENT:
    case ENOTDIR: return fnfErr;
    case EACCES:
    case EPERM: return permErr;
    case EISDIR: return errFSNotAFile;
    default: return ioErr;
    }
}

Result<QByteArray> MemorySource::read(std::uint64_t offset, std::uint64_t length) const
{
    if (!rangeFits(offset, length, size()))
        return Error::osStatus(eofErr);
    return mBytes.mid(qsizetype(offset), qsizetype(length));
}

std::unique_ptr<ByteSource> MemorySource::slice(std::uint64_t offset, std::uint64_t length) const
{
    if (!rangeFits(offset, length, size()))
        return std::make_unique<MemorySource>(QByteArray());
    return std::make_unique<MemorySource>(mBytes.mid(qsizetype(offset), qsizetype(length)));
}

struct FileSource::Descriptor {
    explicit Descriptor(int f) : fd(f) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

FileSource::FileSource(std::shared_ptr<Descriptor> fd, std::uint64_t base, std::uint64_t size)
    : mFd(std::move(fd)), mBase(base), mSize(size)
{
}

namespace {

// What stat or fstat said: false when the path is no regular file or could
// not be looked at, with the reason set in opened.
bool isRegularFile(FileSource::Opened& opened, int status, const struct stat& info)
{
    if (status != 0) {
        opened.error = errno;
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        opened.notRegular = true;
        opened.isDirectory = S_ISDIR(info.st_mode);
        return false;
    }
    return true;
}

// O_NONBLOCK: should the path become a pipe meanwhile, the open still returns at once.
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;

} // namespace

FileSource::Opened FileSource::open(const QString& path, Seen seen)
{
    Opened result;
    const QByteArray native = encodeFileName(path);
    // Look before opening: opening a device or a pipe can block or have effects.
    struct stat info {};
    if (seen != Seen::RegularFile && !isRegularFile(result, ::stat(native.constData(), &info), info))
        return result;
    const int fd = ::open(native.constData(), kOpenFlags);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    auto descriptor = std::make_shared<Descriptor>(fd);
    // And again on what was opened, which is what will be read.
    if (!isRegularFile(result, ::fstat(fd, &info), info))
        return result;
    result.file.reset(new FileSource(std::move(descriptor), 0, std::uint64_t(info.st_size)));
    return result;
}

FileSource::Opened FileSource::openBeneath(const QString& folder, const QString& relative, Seen seen)
{
    Opened result;
    QList<QByteArray> parts = encodeFileName(relative).split('/');
    parts.removeAll(QByteArray());
    parts.removeAll(QByteArrayLiteral("."));
    if (parts.contains(QByteArrayLiteral(".."))) {
        result.error = EINVAL;
        return result;
    }
    // O_PATH: a folder on the way needs only to be searchable, as for open().
    const int topFd = ::open(encodeFileName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (topFd < 0) {
        result.error = errno;
        return result;
    }
    auto at = std::make_shared<Descriptor>(topFd);
    // Why opening name in at failed: a link there counts as a loop.
    const auto failure = [&](const QByteArray& name) {
        const int error = errno;
        struct stat info {};
        return ::fstatat(at->fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode) ? ELOOP
                                                                                                             : error;
    };
    if (parts.isEmpty()) {
        result.notRegular = result.isDirectory = true;
        return result;
    }
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const int next = ::openat(at->fd, parts[i].constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            result.error = failure(parts[i]);
            return result;
        }
        at = std::make_shared<Descriptor>(next);
    }
    const QByteArray& name = parts.last();
    struct stat info {};
    if (seen != Seen::RegularFile) {
        const int status = ::fstatat(at->fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW);
        if (status == 0 && S_ISLNK(info.st_mode)) {
            result.error = ELOOP;
            return result;
        }
        if (!isRegularFile(result, status, info))
            return result;
    }
    const int fd = ::openat(at->fd, name.constData(), kOpenFlags | O_NOFOLLOW);
    if (fd < 0) {
        result.error = failure(name);
        return result;
    }
    auto descriptor = std::make_shared<Descriptor>(fd);
    if (!isRegularFile(result, ::fstat(fd, &info), info))
        return result;
    result.file.reset(new FileSource(std::move(descriptor), 0, std::uint64_t(info.st_size)));
    return result;
}

Result<QByteArray> FileSource::read(std::uint64_t offset, std::uint64_t length) const
{
    if (!rangeFits(offset, length, mSize))
        return Error::osStatus(eofErr);
    if (length > std::uint64_t(std::numeric_limits<qsizetype>::max()) / 2)
        return Error::osStatus(memFullErr);
    QByteArray buffer(qsizetype(length), Qt::Uninitialized);
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t got = ::pread(mFd->fd, buffer.data() + done, size_t(length - done), off_t(mBase + offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return Error::posix(errno);
        }
        if (got == 0) // the file shrank since it was opened
            return Error::osStatus(eofErr);
        done += std::uint64_t(got);
    }
    return buffer;
}

Result<QByteArray> FileSource::readToEnd(std::uint64_t limit) const
{
    constexpr qsizetype kChunk = 64 * 1024;
    QByteArray buffer;
    for (;;) {
        const qsizetype done = buffer.size();
        if (std::uint64_t(done) > limit)
            return Error::osStatus(memFullErr);
        buffer.resize(done + kChunk);
        const ssize_t got = ::pread(mFd->fd, buffer.data() + done, size_t(kChunk), off_t(mBase + std::uint64_t(done)));
        if (got < 0) {
            if (errno == EINTR) {
                buffer.resize(done);
                continue;
            }
            return Error::posix(errno);
        }
        buffer.resize(done + got);
        if (got == 0)
            break;
    }
    return buffer;
}

std::unique_ptr<ByteSource> FileSource::slice(std::uint64_t offset, std::uint64_t length) const
{
    if (!rangeFits(offset, length, mSize))
        return std::unique_ptr<ByteSource>(new FileSource(mFd, mBase, 0));
    return std::unique_ptr<ByteSource>(new FileSource(mFd, mBase + offset, length));
}

} // namespace platform
