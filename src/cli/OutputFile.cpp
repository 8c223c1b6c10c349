#include "OutputFile.h"

#include "report/RtfdWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cli {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

QString OutputFile::open(const QString& path, const QStringList& checkedPaths)
{
    if (const QString refusal = report::saveTargetRefusal(path, report::DocumentKind::Plain, checkedPaths, &mJudged);
        !refusal.isEmpty())
        return refusal;
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    mTarget = target.absoluteFilePath();
    const QByteArray folderName = QFile::encodeName(folder);
    // A file that replaces another keeps its permissions; a new one gets those the umask leaves.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(QFile::encodeName(mTarget).constData(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    mFd = ::open(folderName.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (mFd < 0) {
        QByteArray name = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".ostrel-output-XXXXXX")));
        mFd = ::mkostemp(name.data(), O_CLOEXEC);
        if (mFd < 0)
            return QStringLiteral("cannot write in %1: %2").arg(folder, systemError(errno));
        mNamed = QFile::decodeName(name);
    }
    struct stat ours {};
    ::fstat(mFd, &ours);
    mInode = ours.st_ino;
    ::fchmod(mFd, mode);
    std::fflush(stdout);
    if (::dup2(mFd, STDOUT_FILENO) < 0) {
        const int code = errno;
        discard();
        return systemError(code);
    }
    return {};
}

QString OutputFile::commit()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || ::fsync(mFd) != 0)
        return systemError(errno ? errno : EIO);
    if (mNamed.isEmpty()) {
        // The unnamed file gets a hidden name beside the target, to be renamed at once.
        QString named;
        for (int attempt = 0; attempt < 100 && named.isEmpty(); ++attempt) {
            const QString candidate = mTarget + QStringLiteral(".ostrel-%1-%2").arg(::getpid()).arg(attempt);
            const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(mFd);
            if (::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, QFile::encodeName(candidate).constData(),
                         AT_SYMLINK_FOLLOW) == 0)
                named = candidate;
            else if (errno != EEXIST)
                return systemError(errno);
        }
        if (named.isEmpty())
            return systemError(EEXIST);
        mNamed = named;
    }
    if (const platform::Result<void> replaced = report::ReplaceAtomically(mNamed, mTarget, &mJudged); !replaced) {
        discard();
        return replaced.error().localizedDescription();
    }
    // After an exchange the old file has the hidden name, and goes.
    QFile::remove(mNamed);
    mNamed.clear();
    return {};
}

void OutputFile::discard()
{
    // Only our own file: one that could not be put back is the user's.
    struct stat named {};
    if (!mNamed.isEmpty() && ::lstat(QFile::encodeName(mNamed).constData(), &named) == 0 && named.st_ino == mInode)
        QFile::remove(mNamed);
    mNamed.clear();
}

} // namespace cli
