#include "platform/FileUrl.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

QUrl fileURLWithPath(const QString& path)
{
    QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    if (QFileInfo(absolute).isDir() && !absolute.endsWith(QLatin1Char('/')))
        absolute += QLatin1Char('/');
    return QUrl::fromLocalFile(absolute);
}

bool isDirectoryURL(const QUrl& url)
{
    return url.path().endsWith(QLatin1Char('/'));
}

QString lastPathComponent(const QUrl& url)
{
    QString path = url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

std::optional<QString> pathExtension(const QUrl& url)
{
    const QString last = lastPathComponent(url);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return std::nullopt;
    return last.mid(dot + 1);
}

QUrl appendingPathComponent(const QUrl& url, const QString& component)
{
    QString path = url.path(QUrl::FullyDecoded);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    QString tail = component;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    QUrl result = url;
    result.setPath(path + tail, QUrl::DecodedMode);
    return result;
}

QString fileSystemPath(const QUrl& url)
{
    QString path = url.toLocalFile();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool fileExists(const QUrl& url)
{
    const QString path = fileSystemPath(url);
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace platform
