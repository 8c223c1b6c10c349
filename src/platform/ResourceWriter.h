// Writers of resource files and AppleDouble files: the test fixtures and the
// examples are made by code, in the layouts that ResourceFile and AppleDouble read.
#pragma once

#include "platform/AppleDouble.h"
#include "platform/FourCharCode.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace platform {

struct ResourceData {
    FourCharCode type = 0;
    std::int16_t id = 0;
    QByteArray data;
    QByteArray name; // empty: no name; at most 255 bytes
};

struct AppleDoublePart {
    std::uint32_t id = 0;
    QByteArray data;
};

// A resource file holding the resources in order, grouped by type in the
// order the types first appear.
QByteArray makeResourceFile(const QList<ResourceData>& resources);

// An AppleDouble file with the entries in order.
QByteArray makeAppleDouble(const QList<AppleDoublePart>& parts, std::uint32_t version = kAppleDoubleVersion2);

// The 32 bytes of a Finder-information entry: type, creator, the rest zero.
QByteArray makeFinderInfo(FourCharCode fileType, FourCharCode creator);

} // namespace platform
