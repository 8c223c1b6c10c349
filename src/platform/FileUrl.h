// File URLs as the checker handles them. A directory URL's path ends in "/",
// so a URL tells by itself whether it names a directory.
//
// File names on Linux are bytes, and not every name is valid UTF-8 (old Mac
// archives, Samba shares). A QString holding a path keeps each byte that is
// not part of valid UTF-8 as the lone surrogate U+DC80 to U+DCFF (the
// convention Python calls "surrogateescape"), and a file URL keeps it
// percent-encoded ("%FF"), so that every name survives the trip through
// QString and QUrl and opens the same file again. Paths of checked files go
// to the system through encodeFileName, never through Qt's own decoding.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace platform {

// A name's bytes as a QString: valid UTF-8 decoded, every other byte kept as
// U+DC00 plus the byte.
QString decodeFileName(const QByteArray& bytes);
// The bytes of a name that decodeFileName made (or any other text).
QByteArray encodeFileName(const QString& name);
// Where decodeFileName puts the bytes it cannot decode: U+DC00 plus the byte.
inline constexpr char16_t kEscapedByteBase = 0xDC00;
// The byte that a character of a decoded name stands for, when it stands for
// a byte that is not part of valid UTF-8. Inline: every character of a report
// line is asked.
[[nodiscard]] inline std::optional<unsigned char> undecodableByte(QChar c)
{
    // Only bytes from 0x80 up can be part of invalid UTF-8.
    if (c.unicode() >= kEscapedByteBase + 0x80 && c.unicode() <= kEscapedByteBase + 0xFF)
        return static_cast<unsigned char>(c.unicode() - kEscapedByteBase);
    return std::nullopt;
}
// True when a decoded name holds a byte that is not part of valid UTF-8.
bool hasUndecodableBytes(const QString& name);

// The current directory, decoded as file names are.
QString currentDirectoryPath();
// The path made absolute against base, or against the current directory when
// base is empty, and cleaned. Giving the current directory as base spares a
// call to the system for each of many paths.
QString absoluteFilePath(const QString& path, const QString& base = QString());

// Where Qt decoded a name by itself (its file dialog), bytes that are not
// UTF-8 became U+FFFD and the path names nothing. Finds the name each such
// component stood for among its directory's entries; the path as it was when
// it exists, has no U+FFFD, or a component matches no entry or several.
QString recoverUndecodableBytes(const QString& path);
// True when nothing exists at the path and a component has U+FFFD: the name
// was not valid UTF-8 and lost its bytes before it reached us.
bool lostUndecodableBytes(const QString& path);

// The file URL of a path, made absolute against base as absoluteFilePath
// does; when the path names an existing directory the URL's path ends in "/".
QUrl fileURLWithPath(const QString& path, const QString& base = QString());

// True when the URL's path ends in "/".
bool isDirectoryURL(const QUrl& url);

// The last component of the path, without a trailing "/"; "/" for the root.
QString lastPathComponent(const QUrl& url);

// The text after the last full stop of the last component, or none when it
// has no full stop. Letter case is kept: "Info.PLIST" gives "PLIST".
[[nodiscard]] std::optional<QString> pathExtension(const QUrl& url);

// The URL with a component appended after one "/"; the component may hold
// several ("Contents/Info.plist"). A component ending in "/" gives a directory URL.
QUrl appendingPathComponent(const QUrl& url, const QString& component);

// The file-system path of a file URL, without a trailing "/" (except the root).
QString fileSystemPath(const QUrl& url);

// True when something exists at the path or the URL's path (a dangling link
// does not count).
bool fileExists(const QString& path);
bool fileExists(const QUrl& url);
// True when the path names a directory, or a link to one.
bool isDirectory(const QString& path);
// What the path names, links followed (a dangling link is Missing).
enum class FileKind { Missing, RegularFile, Directory, Other };
FileKind fileKind(const QString& path);

// The names in a directory, as decodeFileName gives them, without "." and
// "..", in the order of QDir::Name; empty when it cannot be read.
QStringList directoryEntries(const QString& path);

// An entry of a directory and what the directory says it is: Unknown when
// the file system does not say, and only a look at the entry can.
struct DirectoryEntry {
    enum class Type { Unknown, File, Directory, Link, Other };
    QString name; // as decodeFileName gives it
    Type type = Type::Unknown;
};
// The entries of a directory in the order of directoryEntries, read in as few
// calls to the system as it allows; nullopt when it cannot be read, with the
// system's reason in error if given. With LinkAtEnd::Refuse a link at path is
// not followed but refused, so that a listing read proves a folder there.
enum class LinkAtEnd { Follow, Refuse };
std::optional<QList<DirectoryEntry>> readDirectory(const QString& path, LinkAtEnd atEnd = LinkAtEnd::Follow,
                                                   int* error = nullptr);

} // namespace platform
