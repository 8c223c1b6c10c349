#include "report/SaveTarget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace report {

namespace {

// The path with its folders' symbolic links resolved, its last name kept as
// it is (a link there is judged as a link, not followed). Folders that do not
// exist yet are kept as named below the nearest one that does.
QString resolvedPath(const QString& path)
{
    // Cleaned first: a path ending in "." or ".." names that folder, not an entry of it.
    const QFileInfo info(path.isEmpty() ? path : QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString rest = info.fileName();
    QString folder = QDir::cleanPath(info.absolutePath());
    QString resolved = QFileInfo(folder).canonicalFilePath();
    while (resolved.isEmpty() && folder != QLatin1String("/")) {
        rest.prepend(QFileInfo(folder).fileName() + QLatin1Char('/'));
        folder = QFileInfo(folder).absolutePath();
        resolved = QFileInfo(folder).canonicalFilePath();
    }
    return QDir::cleanPath(resolved + QLatin1Char('/') + rest);
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

// True when the RTF text at path carries our generator group in its header
// (the font table and the group come within the first few hundred bytes).
bool isMarkedOurs(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray header = file.read(64 * 1024);
    const qsizetype at = header.indexOf(kRtfGeneratorGroup);
    const qsizetype after = at + qsizetype(sizeof kRtfGeneratorGroup) - 1;
    return header.startsWith("{\\rtf") && at >= 0 && after < header.size() &&
           (header[after] == ' ' || header[after] == ';');
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
    if (hasText && !isMarkedOurs(QDir(path).filePath(QStringLiteral("TXT.rtf"))))
        return QStringLiteral("it is an RTFD document that Ostrel did not write");
    return {};
}

} // namespace

QString saveTargetRefusal(const QString& path, DocumentKind kind, const QStringList& checkedPaths, JudgedTarget* judged)
{
    if (judged)
        *judged = JudgedTarget{kind, false, 0, 0};
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
        // Writing into a product would change what is checked (and break its signature).
        if (isWithin(target, resolved))
            return QStringLiteral("it lies inside “%1”, which is being checked").arg(checked);
    }

    struct stat info {};
    if (::lstat(QFile::encodeName(target).constData(), &info) != 0)
        return {}; // nothing there: a new document
    if (judged)
        *judged = JudgedTarget{kind, true, info.st_dev, info.st_ino};
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
    case DocumentKind::Html:
    case DocumentKind::Plain:
        if (S_ISREG(info.st_mode))
            return {};
        if (S_ISDIR(info.st_mode))
            return kind == DocumentKind::Pdf    ? QStringLiteral("it is a folder, not a PDF file")
                   : kind == DocumentKind::Html ? QStringLiteral("it is a folder, not an HTML file")
                                                : QStringLiteral("it is a folder, not a file");
        return QStringLiteral("it is not a regular file");
    }
    return {};
}

QString takenOutRefusal(const QString& takenOut, const JudgedTarget& judged)
{
    struct stat info {};
    if (!judged.exists || ::lstat(QFile::encodeName(takenOut).constData(), &info) != 0 ||
        info.st_dev != judged.device || info.st_ino != judged.inode)
        return QStringLiteral("something else was put there while the report was written");
    switch (judged.kind) {
    case DocumentKind::Rtfd:
        if (!S_ISDIR(info.st_mode))
            return QStringLiteral("something else was put there while the report was written");
        if (const QString reason = foreignFolderReason(takenOut); !reason.isEmpty())
            return QStringLiteral("it changed while the report was written: %1").arg(reason);
        return {};
    case DocumentKind::Pdf:
    case DocumentKind::Html:
    case DocumentKind::Plain:
        if (!S_ISREG(info.st_mode))
            return QStringLiteral("something else was put there while the report was written");
        return {};
    }
    return {};
}

} // namespace report
