// A reader of Mach-O files, the executables and libraries of Apple's systems:
// thin files in either byte order, 32 or 64 bit, and fat files (0xcafebabe,
// and 0xcafebabf with 64-bit offsets) holding one thin file per slice.
//
// A thin file is a header (magic, CPU type and subtype, file type, the count
// and total size of the load commands, flags; 4 more bytes in 64 bit), then
// its load commands, each a command number and its size. Only what the checks
// use is kept: the build or minimum-version command, the dylibs loaded, the
// undefined external symbols and the sections. Every offset and count read is
// checked against the bytes that exist before it is used; a slice that is
// damaged keeps what was read before the damage and says where it was.
#pragma once

#include "platform/ByteSource.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVersionNumber>

#include <cstdint>
#include <optional>

namespace platform {

// The platform numbers of LC_BUILD_VERSION; the older commands map onto them.
enum class MachOPlatform : std::uint32_t {
    Unknown = 0,
    MacOS = 1,
    IOS = 2,
    TvOS = 3,
    WatchOS = 4,
    BridgeOS = 5,
    MacCatalyst = 6,
    IOSSimulator = 7,
    TvOSSimulator = 8,
    WatchOSSimulator = 9,
    DriverKit = 10,
    VisionOS = 11,
    VisionOSSimulator = 12,
};

struct MachODylib {
    enum class Kind { Load, Weak, Reexport, Lazy, Upward };
    Kind kind = Kind::Load;
    QString path;
};

struct MachOSection {
    QByteArray segment;
    QByteArray name;
    std::uint32_t fileOffset = 0; // from the slice's start; 0 for a section with no bytes in the file
    std::uint64_t size = 0;
};

struct MachOSlice {
    std::uint64_t offset = 0; // in the file
    std::uint64_t size = 0;
    bool is64 = false;
    bool bigEndian = false;
    std::uint32_t cpuType = 0;
    std::uint32_t cpuSubtype = 0; // without the capability bits
    std::uint32_t fileType = 0;
    MachOPlatform platform = MachOPlatform::Unknown; // none given
    QVersionNumber minos;
    QVersionNumber sdk;
    QList<MachODylib> dylibs;
    QList<MachOSection> sections;
    QList<QByteArray> undefinedSymbols; // external, as the symbol table names them
    QString error;                      // empty unless the slice is damaged

    // "arm64", "x86_64", "armv7", ... ; "cpu 0x..." for a type without a name.
    QString architecture() const;
    const MachOSection* section(const char* segment, const char* name) const;
};

struct MachOFile {
    bool fat = false;
    QList<MachOSlice> slices;
    QString error; // the fat header itself is damaged; slices read before it are kept
};

// File types of the header.
constexpr std::uint32_t kMachOExecute = 2;
constexpr std::uint32_t kMachODylib = 6;
constexpr std::uint32_t kMachOBundle = 8;
constexpr std::uint32_t kMachOKextBundle = 11;

// Whether the bytes begin as a Mach-O file (thin or fat). A Java class file
// also begins with 0xcafebabe; its version that follows tells it apart.
bool looksLikeMachO(const QByteArray& start);

// Reads the file; an error only when it is no Mach-O at all or its fat header is damaged.
MachOFile readMachO(const ByteSource& source);

// The bytes of a slice's section, within the slice; none when the section is
// absent, has no bytes in the file, or lies outside the slice.
std::optional<QByteArray> machOSectionBytes(const ByteSource& source, const MachOSlice& slice, const char* segment,
                                            const char* name, std::uint64_t limit);

// The property list a program without a bundle carries in its
// __TEXT,__info_plist section, from the first slice that has one.
std::optional<QByteArray> machOInfoPlist(const ByteSource& source, const MachOFile& file);

// The error of a Mach-O file with no such section.
Error noInfoPlistSection();

// A platform's name as the report shows it ("macOS", "iOS", ...).
QString machOPlatformName(MachOPlatform platform);

} // namespace platform
