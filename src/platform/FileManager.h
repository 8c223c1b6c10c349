// Our stand-in for the File Manager's forks and Finder information on a file
// system without them. A file's resource fork is the resource-fork entry of
// its AppleDouble sidecar "._NAME"; its Finder information is that sidecar's
// Finder-information entry, else the one in the netatalk metadata attribute.
#pragma once

#include "platform/FourCharCode.h"
#include "platform/OSStatus.h"
#include "platform/ResourceFile.h"

#include <QString>

#include <memory>
#include <optional>

namespace platform {

enum class Fork { Resource, Data };

// Opens a fork of the file at path as a resource file, read only; else a
// status: resFNotFound when the fork holds no resource file (for the resource
// fork, no sidecar, no resource-fork entry in it or an empty one; for the
// data fork, an empty file), errFSNotAFile when the fork is no regular file.
Result<std::unique_ptr<ResourceFile>> openResourceFile(const QString& path, Fork fork);

struct FinderInfo {
    FourCharCode fileType = 0;
    FourCharCode creator = 0;
};

// The Finder information of the file at path, or none when neither the
// sidecar nor the attribute holds a readable one.
[[nodiscard]] std::optional<FinderInfo> getFinderInfo(const QString& path);

// Finder information from the bytes of an AppleDouble header.
[[nodiscard]] std::optional<FinderInfo> finderInfoFromAppleDouble(const ByteSource& source);

} // namespace platform
