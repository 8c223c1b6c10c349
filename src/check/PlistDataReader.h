// Delivers the bytes of a property list and the file's Finder type and creator:
// a file with the extension "plist" is read whole; any other file is looked
// into for its 'plst' resource with id 0 (resource fork, then data fork).
#pragma once

#include "platform/Error.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <optional>

namespace check {

class PlistDataReader {
public:
    PlistDataReader() = delete;

    // The bytes, or none with *error set (when error is given). fileType and
    // creator are set to 0 on entry, and become non-zero only for bytes from a
    // 'plst' resource of a file whose Finder information could be read.
    static std::optional<QByteArray> readURL(const QUrl& url, platform::Error* error, std::uint32_t& fileType,
                                             std::uint32_t& creator);
    // The whole file at path, if it is a regular file no larger than any
    // property list; else none with *error set (when error is given).
    static std::optional<QByteArray> readWholeFile(const QString& path, platform::Error* error);
};

} // namespace check
