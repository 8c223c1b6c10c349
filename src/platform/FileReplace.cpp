#include "platform/FileReplace.h"

#include "platform/FileUrl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

QString replaceFile(const QByteArray& name, const QByteArray& bytes, const ReplaceMode& mode,
                    const std::function<QString()>& lastLook)
{
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    QByteArray temporary = folder + "/." + name.mid(slash + 1) + ".ostrel-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("no temporary file could be made beside it: %1").arg(errnoText(errno));
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return errnoText(error);
    };
    if (::fchmod(fd, mode.mode) != 0)
        return fail(errno);
    if ((mode.owner != uid_t(-1) || mode.group != gid_t(-1)) && ::fchown(fd, mode.owner, mode.group) != 0 &&
        errno != EPERM)
        return fail(errno);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return fail(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return errnoText(error);
    }
    if (lastLook) {
        if (const QString why = lastLook(); !why.isEmpty()) {
            ::unlink(temporary.constData());
            return why;
        }
    }
    if (::rename(temporary.constData(), name.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return errnoText(error);
    }
    // The rename itself is kept once the folder is synced.
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

QString replaceFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray name = encodeFileName(path);
    ReplaceMode mode;
    struct stat old {};
    if (::stat(name.constData(), &old) == 0) {
        mode.mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode.mode = 0666 & ~mask;
    }
    return replaceFile(name, bytes, mode);
}

} // namespace platform
