// The operating-system status codes that the file and resource stand-ins report.
#pragma once

#include <cstdint>

namespace platform {

using OSStatus = std::int32_t;

constexpr OSStatus noErr = 0;
constexpr OSStatus ioErr = -36;           // the system failed to read
constexpr OSStatus eofErr = -39;          // a read ran past the end of a fork
constexpr OSStatus fnfErr = -43;          // nothing exists at that path
constexpr OSStatus permErr = -54;         // no permission to read
constexpr OSStatus memFullErr = -108;     // a resource too large to load
constexpr OSStatus resNotFound = -192;    // no resource of that type and id
constexpr OSStatus resFNotFound = -193;   // no resource file in that fork
constexpr OSStatus mapReadErr = -199;     // the resource map is inconsistent
constexpr OSStatus errFSNotAFile = -1302; // a directory, pipe, device or socket

// The status for an errno value of a failed open or read.
[[nodiscard]] OSStatus statusFromErrno(int error);

} // namespace platform
