#include "report/RtfdWriter.h"

#include "report/SaveTarget.h"

#include "platform/Interruption.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSize>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace report {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The pixel size of a PNG from its header; 16 by 16 when it cannot be read.
QSize pngSize(const QByteArray& png)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (png.size() < 24 || !png.startsWith(signature) || png.mid(12, 4) != "IHDR")
        return QSize(16, 16);
    auto be32 = [&](qsizetype at) {
        quint32 v = 0;
        for (qsizetype i = 0; i < 4; ++i)
            v = (v << 8) | static_cast<unsigned char>(png[at + i]);
        return v;
    };
    const quint32 width = be32(16);
    const quint32 height = be32(20);
    if (width == 0 || height == 0 || width > 4096 || height > 4096)
        return QSize(16, 16);
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// Text in RTF: the three special characters escaped, line ends as paragraph
// marks, everything outside printable ASCII as a Unicode escape.
void appendRtfText(QByteArray& out, const QString& text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == '\n') {
            out += "\\par\n";
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u >= 0x20 && u < 0x7f) {
            out += static_cast<char>(u);
        } else {
            // \uN takes a signed 16-bit number; "?" is the fallback for old readers.
            out += "\\u" + QByteArray::number(static_cast<qint16>(u)) + '?';
        }
    }
}

QString familyOf(const StyledString& run, const QString& defaultFamily)
{
    QString family = run.font ? run.font->family : QString();
    if (family.isEmpty())
        family = defaultFamily.isEmpty() ? kRtfFallbackFamily : defaultFamily;
    // A font table entry ends at ";" and must not open or close groups.
    family.replace(QLatin1Char(';'), QLatin1Char(' '));
    return family;
}

QString safeFileName(const QString& name)
{
    QString safe;
    for (QChar c : QFileInfo(name).fileName()) {
        const bool ok = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                        (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                        (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                        c == QLatin1Char('-') || c == QLatin1Char('_');
        safe += ok ? c : QLatin1Char('_');
    }
    if (safe.isEmpty() || safe.startsWith(QLatin1Char('.')) || safe == QLatin1String("TXT.rtf"))
        safe.prepend(QStringLiteral("image"));
    return safe;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0) {
        setError(error, QStringLiteral("Cannot write “%1”: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

void syncDirectory(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A test's step between building the document and swapping it in.
std::function<void()>& builtHook()
{
    static std::function<void()> hook;
    return hook;
}

// A signal while a document is being built stops the save at its next step;
// it takes away what it made, and then the signal ends the run.
class SaveInterruptions {
public:
    // True (with the reason in *error) once a signal came.
    bool noted(QString* error) const
    {
        if (!platform::InterruptionGuard::interrupted())
            return false;
        setError(error, QStringLiteral("The save was interrupted."));
        return true;
    }

private:
    platform::InterruptionGuard mGuard;
};

} // namespace

QHash<const TextAttachment*, QString> AttachmentFileNames(const QList<StyledString>& runs)
{
    QHash<const TextAttachment*, QString> names;
    QHash<QString, QByteArray> used; // file name -> its contents
    for (const StyledString& run : runs) {
        const TextAttachment* attachment = run.attachment.get();
        if (!attachment || names.contains(attachment))
            continue;
        const QString base = safeFileName(attachment->fileName);
        QString name = base;
        for (int n = 2; used.contains(name) && used.value(name) != attachment->contents; ++n) {
            const QFileInfo info(base);
            const QString suffix = info.suffix();
            name = info.completeBaseName() + QStringLiteral("-%1").arg(n) +
                   (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
        }
        used.insert(name, attachment->contents);
        names.insert(attachment, name);
    }
    return names;
}

QByteArray RtfFromRuns(const QList<StyledString>& runs, const QHash<const TextAttachment*, QString>& attachmentFiles,
                       const QString& defaultFamily)
{
    // The font table: each family once, in order of first use.
    QStringList families;
    for (const StyledString& run : runs) {
        if (run.attachment)
            continue;
        const QString family = familyOf(run, defaultFamily);
        if (!families.contains(family))
            families.append(family);
    }
    if (families.isEmpty())
        families.append(familyOf(StyledString{}, defaultFamily));

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    for (qsizetype i = 0; i < families.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset0 ";
        appendRtfText(out, families[i]);
        out += ";}";
    }
    out += "}\n";
    // The mark by which a later save knows the document for ours.
    const QString version = QCoreApplication::applicationVersion();
    out += kRtfGeneratorGroup;
    if (!version.isEmpty()) {
        out += ' ';
        appendRtfText(out, version);
    }
    out += ";}\n\\pard\\plain\\f0\\fs28\n";

    qsizetype font = 0;
    int halfPoints = 28;
    bool bold = false;
    for (const StyledString& run : runs) {
        if (run.attachment) {
            const QString name = attachmentFiles.value(run.attachment.get());
            if (name.isEmpty())
                continue;
            const QSize size = pngSize(run.attachment->contents);
            // An image in RTFD: the file's name and its size in twips; the
            // character after the group stands for the attachment.
            out += "{{\\NeXTGraphic " + name.toLatin1() + " \\width" + QByteArray::number(size.width() * 20) +
                   " \\height" + QByteArray::number(size.height() * 20) + " \\noorient}\\'ac}";
            continue;
        }
        QByteArray controls;
        const qsizetype runFont = families.indexOf(familyOf(run, defaultFamily));
        if (runFont != font) {
            controls += "\\f" + QByteArray::number(runFont);
            font = runFont;
        }
        const double points = run.font ? run.font->pointSize : 14.0;
        const int runHalfPoints =
            std::isfinite(points) ? std::clamp(static_cast<int>(std::lround(points * 2)), 2, 3276) : 28;
        if (runHalfPoints != halfPoints) {
            controls += "\\fs" + QByteArray::number(runHalfPoints);
            halfPoints = runHalfPoints;
        }
        const bool runBold = run.font && run.font->bold;
        if (runBold != bold) {
            controls += runBold ? "\\b" : "\\b0";
            bold = runBold;
        }
        if (!controls.isEmpty())
            out += controls + ' ';
        appendRtfText(out, run.text);
    }
    out += "}\n";
    return out;
}

platform::Result<void> ReplaceAtomically(const QString& built, const QString& target, const JudgedTarget* judged)
{
    const QByteArray from = QFile::encodeName(built);
    const QByteArray to = QFile::encodeName(target);
    // What is found there, or the system's failure.
    const auto fail = [&](const QString& why, int code = EEXIST) {
        return platform::Error::posix(code, QStringLiteral("Cannot replace “%1”: %2").arg(target, why));
    };
    // Nothing there yet: a plain rename that refuses to overwrite one that
    // appeared meanwhile; something there: the two are exchanged in one step.
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return {};
    int code = errno;
    if (code == EEXIST && judged && !judged->exists)
        return fail(QStringLiteral("something else was put there while the report was written"));
    if (code == EEXIST) {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0) {
            // What came out must be what was judged there; anything else goes back.
            const QString why = judged ? takenOutRefusal(built, *judged) : QString();
            if (why.isEmpty())
                return {};
            if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) == 0)
                return fail(why);
            return fail(QStringLiteral("%1; what was there is now “%2”").arg(why, built));
        }
        code = errno;
    }
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP)
        return fail(systemError(code), code);

    // A file system without the exchange: a file replaces a file in one
    // rename; otherwise the old one steps aside and comes back on failure.
    struct stat targetStat {};
    const bool targetExists = ::lstat(to.constData(), &targetStat) == 0;
    if (judged && targetExists != judged->exists)
        return fail(QStringLiteral("something else was put there while the report was written"));
    const bool bothFiles = QFileInfo(built).isFile() && (!targetExists || !S_ISDIR(targetStat.st_mode));
    if (!targetExists || bothFiles) {
        if (judged && targetExists)
            if (const QString why = takenOutRefusal(target, *judged); !why.isEmpty())
                return fail(why);
        if (::rename(from.constData(), to.constData()) == 0)
            return {};
        return fail(systemError(errno), errno);
    }
    const QString backup = built + QStringLiteral(".old");
    const QByteArray backupName = QFile::encodeName(backup);
    if (::rename(to.constData(), backupName.constData()) != 0)
        return fail(systemError(errno), errno);
    if (const QString why = judged ? takenOutRefusal(backup, *judged) : QString(); !why.isEmpty()) {
        if (::rename(backupName.constData(), to.constData()) == 0)
            return fail(why);
        return fail(QStringLiteral("%1; what was there is now “%2”").arg(why, backup));
    }
    if (::rename(from.constData(), to.constData()) != 0) {
        code = errno;
        ::rename(backupName.constData(), to.constData());
        return fail(systemError(code), code);
    }
    // What was there before now sits where the new one was built.
    ::rename(backupName.constData(), from.constData());
    return {};
}

void SetRtfdBuiltHookForTests(std::function<void()> hook)
{
    builtHook() = std::move(hook);
}

platform::Result<void> WriteRtfd(const TextStorage& report, const QString& path, const QString& defaultFamily)
{
    using platform::Error;
    QString target = path;
    while (target.size() > 1 && target.endsWith(QLatin1Char('/')))
        target.chop(1);
    const QFileInfo targetInfo(target);
    if (target.isEmpty() || targetInfo.fileName().isEmpty())
        return Error::posix(EINVAL, QStringLiteral("No file name was given for the document."));
    // Only a document of ours is replaced; whatever else is there stays.
    JudgedTarget judged;
    if (const QString refusal = saveTargetRefusal(target, DocumentKind::Rtfd, {}, &judged); !refusal.isEmpty())
        return Error::posix(EEXIST, refusal);
    const QString parent = targetInfo.absolutePath();
    if (!QFileInfo(parent).isDir())
        return Error::posix(ENOENT, QStringLiteral("The folder “%1” does not exist.").arg(parent));

    // Built beside the target, so that it can be swapped in; whatever is
    // left at the temporary place afterwards (the old document) goes away,
    // before a signal that came meanwhile ends the run.
    const SaveInterruptions interruptions;
    QTemporaryDir temporary(QDir(parent).filePath(QStringLiteral(".ostrel-save-XXXXXX")));
    if (!temporary.isValid())
        return Error::posix(EACCES, QStringLiteral("Cannot write in “%1”: %2").arg(parent, temporary.errorString()));
    const QString built = temporary.filePath(QStringLiteral("document.rtfd"));
    if (!QDir().mkdir(built))
        return Error::posix(EACCES, QStringLiteral("Cannot write in “%1”.").arg(parent));
    struct stat builtInfo {};
    ::lstat(QFile::encodeName(built).constData(), &builtInfo);
    QFile::setPermissions(built, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                     QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                     QFileDevice::ExeOther);

    QString why;
    QString* const error = &why;
    const auto failed = [&] { return Error::posix(EIO, why); };
    const QHash<const TextAttachment*, QString> names = AttachmentFileNames(report.runs());
    QSet<QString> written;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (written.contains(it.value()))
            continue;
        written.insert(it.value());
        if (interruptions.noted(error) || !writeFile(QDir(built).filePath(it.value()), it.key()->contents, error))
            return failed();
    }
    if (interruptions.noted(error) || !writeFile(QDir(built).filePath(QStringLiteral("TXT.rtf")),
                                                 RtfFromRuns(report.runs(), names, defaultFamily), error))
        return failed();
    syncDirectory(built);
    if (builtHook())
        builtHook()();
    if (interruptions.noted(error))
        return failed();

    // The temporary folder is in the target's folder, on its file system.
    // After an exchange the old document sits where the new one was built,
    // and goes away with the temporary folder.
    const platform::Result<void> replaced = ReplaceAtomically(built, target, &judged);
    if (replaced) {
        syncDirectory(parent);
        return {};
    }
    // Whatever of the user's the failed swap left in the temporary folder stays.
    struct stat now {};
    const QStringList left =
        QDir(temporary.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (left != QStringList{QStringLiteral("document.rtfd")} ||
        ::lstat(QFile::encodeName(built).constData(), &now) != 0 || now.st_ino != builtInfo.st_ino)
        temporary.setAutoRemove(false);
    return replaced;
}

} // namespace report
