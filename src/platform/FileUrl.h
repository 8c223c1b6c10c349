// File URLs as the checker handles them. A directory URL's path ends in "/",
// so a URL tells by itself whether it names a directory.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace platform {

// The file URL of a path, made absolute against the current directory; when
// the path names an existing directory the URL's path ends in "/".
QUrl fileURLWithPath(const QString& path);

// True when the URL's path ends in "/".
bool isDirectoryURL(const QUrl& url);

// The last component of the path, without a trailing "/"; "/" for the root.
QString lastPathComponent(const QUrl& url);

// The text after the last full stop of the last component, or none when it
// has no full stop. Letter case is kept: "Info.PLIST" gives "PLIST".
std::optional<QString> pathExtension(const QUrl& url);

// The URL with a component appended after one "/"; the component may hold
// several ("Contents/Info.plist"). A component ending in "/" gives a directory URL.
QUrl appendingPathComponent(const QUrl& url, const QString& component);

// The file-system path of a file URL, without a trailing "/" (except the root).
QString fileSystemPath(const QUrl& url);

// True when something exists at the URL's path (a dangling link does not count).
bool fileExists(const QUrl& url);

} // namespace platform
