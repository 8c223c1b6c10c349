#include "report/SaveTarget.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace report {

namespace {

// The path with its folders' symbolic links resolved, its last name kept as
// it is (a link there is judged as a link, not followed).
QString resolvedPath(const QString& path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (folder.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    return QDir::cleanPath(folder + QLatin1Char('/') + info.fileName());
}

// True when inner is outer or lies anywhere below it.
bool isWithin(const QString& inner, const QString& outer)
{
    if (inner == outer)
        return true;
    const QString prefix = outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/');
    return inner.startsWith(prefix);
}

// The files an RTFD document of ours holds besides TXT.rtf: the icons' images,
// under the names the writer makes safe.
bool isAttachmentName(const QString& name)
{
    static const QStringList kImageSuffixes{QStringLiteral("png"), QStringLiteral("tiff"), QStringLiteral("tif"),
                                            QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("gif")};
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        return false;
    for (QChar c : name) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                          c == QLatin1Char('-') || c == QLatin1Char('_');
        if (!safe)
            return false;
    }
    return kImageSuffixes.contains(QFileInfo(name).suffix().toLower());
}

// Why the folder at path is no RTFD document of ours, or empty when it is one
// (or is empty).
QString foreignFolderReason(const QString& path)
{
    const QFileInfoList entries =
        QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    bool hasText = false;
    for (const QFileInfo& entry : entries) {
        const bool regular = entry.isFile() && !entry.isSymLink();
        if (regular && entry.fileName() == QLatin1String("TXT.rtf"))
            hasText = true;
        else if (!regular || !isAttachmentName(entry.fileName()))
            return QStringLiteral("it is a folder that is not an RTFD document: it holds “%1”").arg(entry.fileName());
    }
    if (!entries.isEmpty() && !hasText)
        return QStringLiteral("it is a folder that is not an RTFD document: it holds no TXT.rtf");
    return {};
}

} // namespace

QString saveTargetRefusal(const QString& path, DocumentKind kind, const QStringList& checkedPaths)
{
    const QString target = resolvedPath(path);
    const QString workingDirectory = QDir::current().canonicalPath();
    if (target == workingDirectory)
        return QStringLiteral("it is the working directory");
    if (isWithin(workingDirectory, target))
        return QStringLiteral("it holds the working directory");
    for (const QString& checked : checkedPaths) {
        const QFileInfo info(checked);
        const QString resolved = info.exists() ? info.canonicalFilePath() : resolvedPath(checked);
        if (resolved == target || resolvedPath(checked) == target)
            return QStringLiteral("it is being checked");
        if (isWithin(resolved, target))
            return QStringLiteral("it holds “%1”, which is being checked").arg(checked);
    }

    struct stat info {};
    if (::lstat(QFile::encodeName(target).constData(), &info) != 0)
        return {}; // nothing there: a new document
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("it is a symbolic link");
    switch (kind) {
    case DocumentKind::Rtfd:
        if (S_ISDIR(info.st_mode))
            return foreignFolderReason(target);
        if (S_ISREG(info.st_mode))
            return QStringLiteral("it is a file, not an RTFD document (a folder)");
        return QStringLiteral("it is neither a file nor a folder");
    case DocumentKind::Pdf:
        if (S_ISREG(info.st_mode))
            return {};
        if (S_ISDIR(info.st_mode))
            return QStringLiteral("it is a folder, not a PDF file");
        return QStringLiteral("it is not a regular file");
    }
    return {};
}

} // namespace report
