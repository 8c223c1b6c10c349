// Delivers the bytes of a property list and the file's Finder type and creator:
// a file with the extension "plist" is read whole; any other file is looked
// into for its 'plst' resource with id 0 (resource fork, then data fork).
#pragma once

#include "platform/ByteSource.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <optional>

namespace check {

// What readURL found: the bytes, or the error that kept it from them.
struct PlistData {
    std::optional<QByteArray> bytes; // set on success
    platform::Error error;           // set on failure
    // Non-zero only for bytes from a 'plst' resource of a file whose Finder
    // information could be read.
    std::uint32_t fileType = 0;
    std::uint32_t creator = 0;

    bool ok() const { return bytes.has_value(); }
};

// The bytes a read gave, or its error.
[[nodiscard]] PlistData plistData(platform::Result<QByteArray> read);

// Stands between a check and the files it reads (path: the file's absolute
// path; read: the read it would make): the fixer checks its edited bytes
// before any is written.
using ReadThrough = std::function<PlistData(const QString& path, const std::function<PlistData()>& read)>;

// seen: what the caller has just seen at the URL's path (see FileSource::open).
[[nodiscard]] PlistData readURL(const QUrl& url, platform::FileSource::Seen seen = platform::FileSource::Seen::Nothing);

// The whole file at path, if it is a regular file no larger than any property
// list; else the error.
[[nodiscard]] PlistData readWholeFile(const QString& path,
                                      platform::FileSource::Seen seen = platform::FileSource::Seen::Nothing);

// As readWholeFile, the file at relative below folder, reached without
// following a symbolic link on the way (see FileSource::openBeneath).
[[nodiscard]] PlistData readWholeFileBeneath(const QString& folder, const QString& relative,
                                             platform::FileSource::Seen seen = platform::FileSource::Seen::Nothing);

// Ignore lists are a few lines; anything much larger is no ignore list.
constexpr std::uint64_t kMaxIgnoreFileSize = 1024 * 1024;

// Where a symbolic link at a settings file's path may lead.
enum class SettingsLink { Anywhere, WithinItsFolder };

// A small file of settings (an ignore list, rules, a strings table): a
// regular file of at most limit bytes that holds exactly what its size says,
// so that no pipe, device or file of the kernel's (/proc) is read. With
// SettingsLink::WithinItsFolder, for a file found rather than named, a link
// at path that leads out of path's folder is refused.
[[nodiscard]] PlistData readSettingsFile(const QString& path, std::uint64_t limit,
                                         SettingsLink link = SettingsLink::Anywhere);

// All of standard input, up to the size of the largest property list.
[[nodiscard]] PlistData readStandardInput();

} // namespace check
