#include "platform/FileUrl.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace platform {

namespace {

// The length of the valid UTF-8 sequence that starts at s, or 0 when the byte
// there starts none (a stray continuation byte, an overlong form, an encoded
// surrogate, a code point past U+10FFFF, a cut-off sequence).
int validSequenceLength(const unsigned char* s, qsizetype available)
{
    const unsigned char lead = s[0];
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // shorter forms are overlong
        else if (lead == 0xED)
            high = 0x9F; // U+D800 to U+DFFF are no characters
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (available < length || s[1] < low || s[1] > high)
        return 0;
    for (int k = 2; k < length; ++k) {
        if ((s[k] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool statPath(const QString& path, struct stat& info)
{
    return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0;
}

// The entries of a directory whose names are not valid UTF-8 and that Qt
// would show as the given name.
QStringList entriesShownAs(const QString& directory, const QString& shown)
{
    QStringList matches;
    for (const DirectoryEntry& entry : readDirectory(directory).value_or(QList<DirectoryEntry>())) {
        // The name's own bytes, as Qt would have decoded them.
        if (entry.name != shown && QString::fromUtf8(encodeFileName(entry.name)) == shown)
            matches.append(entry.name);
    }
    return matches;
}

struct Recovery {
    QString path;
    bool ambiguous = false; // some component could stand for several entries
};

Recovery recover(const QString& path)
{
    if (!path.contains(QChar::ReplacementCharacter) || fileExists(path))
        return {path};
    QString resolved;
    for (const QString& component : absoluteFilePath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QString directory = resolved.isEmpty() ? QStringLiteral("/") : resolved;
        QString next = resolved + QLatin1Char('/') + component;
        if (component.contains(QChar::ReplacementCharacter) && !fileExists(next)) {
            const QStringList matches = entriesShownAs(directory, component);
            if (matches.size() != 1)
                return {path, matches.size() > 1};
            next = resolved + QLatin1Char('/') + matches.first();
        }
        resolved = next;
    }
    return {resolved};
}

// The URL's path as the bytes it stands for, decoded as a file name.
QString decodedPath(const QUrl& url)
{
    // A check asks for the path of the same URL several times over; the last
    // answer is kept, one per thread.
    thread_local QUrl lastUrl;
    thread_local QString lastPath;
    if (url == lastUrl && !url.isEmpty())
        return lastPath;
    QString path = decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    lastUrl = url;
    lastPath = path;
    return path;
}

QUrl fileURLWithEncodedPath(const QByteArray& percentEncoded)
{
    QUrl url;
    url.setScheme(QStringLiteral("file"));
    // Tolerant: a "%FF" that decodes to no UTF-8 is kept as it is.
    url.setPath(QString::fromLatin1(percentEncoded), QUrl::TolerantMode);
    return url;
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    // Most names are ASCII, which needs no look at sequences.
    if (std::all_of(s, s + size, [](unsigned char c) { return c < 0x80; }))
        return QString::fromLatin1(bytes);
    QString name;
    name.reserve(size);
    qsizetype validFrom = 0;
    for (qsizetype i = 0; i < size;) {
        if (const int length = validSequenceLength(s + i, size - i)) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + validFrom, i - validFrom);
        name += QChar(char16_t(kEscapedByteBase + s[i]));
        validFrom = ++i;
    }
    name += QString::fromUtf8(bytes.constData() + validFrom, size - validFrom);
    return name;
}

QByteArray encodeFileName(const QString& name)
{
    if (!hasUndecodableBytes(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype textFrom = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        // A surrogate pair is a character, however its low half looks.
        if (name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if (const std::optional<unsigned char> byte = undecodableByte(name[i])) {
            bytes += QStringView(name).sliced(textFrom, i - textFrom).toUtf8();
            bytes += char(*byte);
            textFrom = i + 1;
        }
    }
    bytes += QStringView(name).sliced(textFrom).toUtf8();
    return bytes;
}

bool hasUndecodableBytes(const QString& name)
{
    return std::any_of(name.begin(), name.end(), [](QChar c) { return undecodableByte(c).has_value(); });
}

QString currentDirectoryPath()
{
    // Qt's own current directory would lose the bytes of a name that is not UTF-8.
    std::error_code error;
    const std::string current = std::filesystem::current_path(error).native();
    return decodeFileName(QByteArray::fromStdString(current));
}

QString absoluteFilePath(const QString& path, const QString& base)
{
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    return QDir::cleanPath((base.isEmpty() ? currentDirectoryPath() : base) + QLatin1Char('/') + path);
}

QString recoverUndecodableBytes(const QString& path)
{
    return recover(path).path;
}

bool lostUndecodableBytes(const QString& path)
{
    return recover(path).ambiguous;
}

QUrl fileURLWithPath(const QString& path, const QString& base)
{
    QString absolute = absoluteFilePath(recoverUndecodableBytes(path), base);
    if (isDirectory(absolute) && !absolute.endsWith(QLatin1Char('/')))
        absolute += QLatin1Char('/');
    return fileURLWithEncodedPath(encodeFileName(absolute).toPercentEncoding("/"));
}

bool isDirectoryURL(const QUrl& url)
{
    return url.path().endsWith(QLatin1Char('/'));
}

QString lastPathComponent(const QUrl& url)
{
    QString path = decodedPath(url);
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
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (!path.endsWith('/'))
        path += '/';
    QString tail = component;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    QUrl result = url;
    result.setPath(QString::fromLatin1(path + encodeFileName(tail).toPercentEncoding("/")), QUrl::TolerantMode);
    return result;
}

QString fileSystemPath(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    QString path = decodedPath(url);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool fileExists(const QString& path)
{
    return fileKind(path) != FileKind::Missing;
}

bool fileExists(const QUrl& url)
{
    return fileExists(fileSystemPath(url));
}

bool isDirectory(const QString& path)
{
    return fileKind(path) == FileKind::Directory;
}

FileKind fileKind(const QString& path)
{
    struct stat info {};
    if (!statPath(path, info))
        return FileKind::Missing;
    return S_ISREG(info.st_mode)   ? FileKind::RegularFile
           : S_ISDIR(info.st_mode) ? FileKind::Directory
                                   : FileKind::Other;
}

QStringList directoryEntries(const QString& path)
{
    QStringList entries;
    if (const std::optional<QList<DirectoryEntry>> read = readDirectory(path)) {
        entries.reserve(read->size());
        for (const DirectoryEntry& entry : *read)
            entries.append(entry.name);
    }
    return entries;
}

std::optional<QList<DirectoryEntry>> readDirectory(const QString& path, LinkAtEnd atEnd, int* error)
{
    // getdents64 on a descriptor of our own: opendir would look at the
    // directory once more first, and a bundle's folders are read by the thousand.
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | (atEnd == LinkAtEnd::Refuse ? O_NOFOLLOW : 0);
    const int fd = ::open(encodeFileName(path).constData(), flags);
    if (fd < 0) {
        if (error)
            *error = errno;
        return std::nullopt;
    }
    QList<DirectoryEntry> entries;
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = ::getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            if (error)
                *error = errno;
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            DirectoryEntry::Type type = DirectoryEntry::Type::Other;
            switch (entry->d_type) {
            case DT_UNKNOWN: type = DirectoryEntry::Type::Unknown; break;
            case DT_REG: type = DirectoryEntry::Type::File; break;
            case DT_DIR: type = DirectoryEntry::Type::Directory; break;
            case DT_LNK: type = DirectoryEntry::Type::Link; break;
            default: break;
            }
            entries.append({decodeFileName(QByteArray(name.data(), qsizetype(name.size()))), type});
        }
    }
    ::close(fd);
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace platform
