#include "platform/MachO.h"

#include <algorithm>
#include <memory>

namespace platform {

namespace {

// Magic numbers as the first four bytes read big-endian.
constexpr std::uint32_t kFatMagic = 0xcafebabe;
constexpr std::uint32_t kFatMagic64 = 0xcafebabf;
constexpr std::uint32_t kMagic32BE = 0xfeedface;
constexpr std::uint32_t kMagic32LE = 0xcefaedfe;
constexpr std::uint32_t kMagic64BE = 0xfeedfacf;
constexpr std::uint32_t kMagic64LE = 0xcffaedfe;

// A Java class file's version (at least 45) stands where a fat file has its slice count.
constexpr std::uint32_t kMaxFatSlices = 44;
constexpr qsizetype kFatHeaderSize = 8;
constexpr qsizetype kFatArchSize = 20;
constexpr qsizetype kFatArch64Size = 32;

constexpr qsizetype kHeaderSize32 = 28;
constexpr qsizetype kHeaderSize64 = 32;
constexpr qsizetype kLoadCommandSize = 8;

constexpr std::uint32_t kRequiredByDyld = 0x80000000;
constexpr std::uint32_t kSegment = 0x1;
constexpr std::uint32_t kSymtab = 0x2;
constexpr std::uint32_t kLoadDylib = 0xc;
constexpr std::uint32_t kLoadWeakDylib = 0x18 | kRequiredByDyld;
constexpr std::uint32_t kSegment64 = 0x19;
constexpr std::uint32_t kReexportDylib = 0x1f | kRequiredByDyld;
constexpr std::uint32_t kLazyLoadDylib = 0x20;
constexpr std::uint32_t kLoadUpwardDylib = 0x23 | kRequiredByDyld;
constexpr std::uint32_t kVersionMinMacOS = 0x24;
constexpr std::uint32_t kVersionMinIPhoneOS = 0x25;
constexpr std::uint32_t kVersionMinTvOS = 0x2f;
constexpr std::uint32_t kVersionMinWatchOS = 0x30;
constexpr std::uint32_t kBuildVersion = 0x32;

constexpr qsizetype kSegmentSize32 = 56; // cmd, size, name[16], 4 addresses, 2 protections, count, flags
constexpr qsizetype kSegmentSize64 = 72;
constexpr qsizetype kSectionSize32 = 68; // name[16], segment[16], addr, size, offset, ...
constexpr qsizetype kSectionSize64 = 80;
constexpr qsizetype kNameSize = 16;
constexpr qsizetype kNlistSize32 = 12; // string index, type, section, description, value
constexpr qsizetype kNlistSize64 = 16;

// The symbol types: debugging entries, the type bits, external.
constexpr std::uint8_t kStab = 0xe0;
constexpr std::uint8_t kTypeMask = 0x0e;
constexpr std::uint8_t kUndefined = 0x0;
constexpr std::uint8_t kExternal = 0x01;

constexpr std::uint32_t kCpuAbi64 = 0x01000000;
constexpr std::uint32_t kCpuAbi64_32 = 0x02000000;
constexpr std::uint32_t kCpuX86 = 7;
constexpr std::uint32_t kCpuArm = 12;
constexpr std::uint32_t kCpuPowerPC = 18;
constexpr std::uint32_t kSubtypeMask = 0x00ffffff;

// A 32-bit number in the slice's byte order; the caller has checked the range.
std::uint32_t word(const QByteArray& bytes, qsizetype offset, bool bigEndian)
{
    const std::uint32_t value = readBE32(bytes, offset);
    return bigEndian ? value : __builtin_bswap32(value);
}

// The load commands of one slice, read into memory once.
class Commands {
public:
    Commands(QByteArray bytes, bool bigEndian) : mBytes(std::move(bytes)), mBigEndian(bigEndian) {}
    qsizetype size() const { return mBytes.size(); }
    bool fits(qsizetype offset, qsizetype length) const
    {
        return rangeFits(std::uint64_t(offset), std::uint64_t(length), std::uint64_t(mBytes.size()));
    }
    // The caller has checked that the bytes fit.
    std::uint32_t u32(qsizetype offset) const { return word(mBytes, offset, mBigEndian); }
    std::uint64_t u64(qsizetype offset) const
    {
        const std::uint64_t first = u32(offset);
        const std::uint64_t second = u32(offset + 4);
        return mBigEndian ? (first << 32) | second : (second << 32) | first;
    }
    QByteArray name(qsizetype offset) const
    {
        const QByteArray field = mBytes.mid(offset, kNameSize);
        const qsizetype end = field.indexOf('\0');
        return end < 0 ? field : field.left(end);
    }
    // The string at offset within [.., limit), ended by a zero byte or the limit.
    QByteArray string(qsizetype offset, qsizetype limit) const
    {
        const QByteArray field = mBytes.mid(offset, limit - offset);
        const qsizetype end = field.indexOf('\0');
        return end < 0 ? field : field.left(end);
    }

private:
    QByteArray mBytes;
    bool mBigEndian;
};

// A packed version: 16 bits major, 8 minor, 8 patch.
QVersionNumber packedVersion(std::uint32_t packed)
{
    return QVersionNumber(int(packed >> 16), int((packed >> 8) & 0xff), int(packed & 0xff));
}

QString damaged(const char* what, qsizetype at)
{
    return QStringLiteral("%1 (load command at byte %2)").arg(QLatin1String(what)).arg(at);
}

void readSymbols(const ByteSource& source, MachOSlice& slice, const Commands& commands, qsizetype at)
{
    if (!commands.fits(at, 24)) {
        slice.error = damaged("the symbol table command is too short", at);
        return;
    }
    const std::uint64_t symbolsAt = commands.u32(at + 8);
    const std::uint64_t count = commands.u32(at + 12);
    const std::uint64_t stringsAt = commands.u32(at + 16);
    const std::uint64_t stringsSize = commands.u32(at + 20);
    const std::uint64_t entrySize = slice.is64 ? kNlistSize64 : kNlistSize32;
    // count * entrySize cannot overflow: both fit in 32 bits.
    if (!rangeFits(symbolsAt, count * entrySize, slice.size) || !rangeFits(stringsAt, stringsSize, slice.size)) {
        slice.error = damaged("the symbol table lies outside the file", at);
        return;
    }
    const Result<QByteArray> symbolsRead = source.read(slice.offset + symbolsAt, count * entrySize);
    const Result<QByteArray> stringsRead =
        symbolsRead ? source.read(slice.offset + stringsAt, stringsSize) : symbolsRead.error();
    if (!stringsRead) {
        slice.error = damaged("the symbol table could not be read", at);
        return;
    }
    const QByteArray& symbols = *symbolsRead;
    const QByteArray& strings = *stringsRead;
    for (std::uint64_t i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(i * entrySize);
        const std::uint8_t type = std::uint8_t(symbols[entry + 4]);
        if ((type & kStab) != 0 || (type & kTypeMask) != kUndefined || (type & kExternal) == 0)
            continue;
        const std::uint32_t name = word(symbols, entry, slice.bigEndian);
        if (name == 0 || name >= std::uint64_t(strings.size()))
            continue;
        const qsizetype end = strings.indexOf('\0', name);
        slice.undefinedSymbols.append(strings.mid(name, end < 0 ? -1 : end - name));
    }
}

void readSegment(MachOSlice& slice, const Commands& commands, qsizetype at, qsizetype commandSize)
{
    const qsizetype headerSize = slice.is64 ? kSegmentSize64 : kSegmentSize32;
    const qsizetype sectionSize = slice.is64 ? kSectionSize64 : kSectionSize32;
    if (commandSize < headerSize) {
        slice.error = damaged("a segment command is too short", at);
        return;
    }
    const std::uint64_t count = commands.u32(at + headerSize - 8);
    if (count > std::uint64_t(commandSize - headerSize) / std::uint64_t(sectionSize)) {
        slice.error = damaged("a segment has more sections than its command holds", at);
        return;
    }
    for (qsizetype i = 0; i < qsizetype(count); ++i) {
        const qsizetype section = at + headerSize + i * sectionSize;
        MachOSection read;
        read.name = commands.name(section);
        read.segment = commands.name(section + kNameSize);
        read.size = slice.is64 ? commands.u64(section + 40) : commands.u32(section + 36);
        read.fileOffset = commands.u32(section + (slice.is64 ? 48 : 40));
        slice.sections.append(read);
    }
}

void readCommands(const ByteSource& source, MachOSlice& slice, const Commands& commands, std::uint32_t count)
{
    qsizetype at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!commands.fits(at, kLoadCommandSize)) {
            slice.error = damaged("the load commands end before their count", at);
            return;
        }
        const std::uint32_t command = commands.u32(at);
        const std::uint32_t size = commands.u32(at + 4);
        if (size < kLoadCommandSize || !commands.fits(at, size)) {
            slice.error = damaged("a load command's size is wrong", at);
            return;
        }
        switch (command) {
        case kSegment:
        case kSegment64:
            if ((command == kSegment64) == slice.is64)
                readSegment(slice, commands, at, size);
            break;
        case kSymtab: readSymbols(source, slice, commands, at); break;
        case kLoadDylib:
        case kLoadWeakDylib:
        case kReexportDylib:
        case kLazyLoadDylib:
        case kLoadUpwardDylib: {
            const std::uint32_t nameAt = size >= 12 ? commands.u32(at + 8) : 0;
            if (nameAt < 12 || nameAt >= size) {
                slice.error = damaged("a dylib command's name lies outside it", at);
                return;
            }
            MachODylib dylib;
            dylib.kind = command == kLoadWeakDylib     ? MachODylib::Kind::Weak
                         : command == kReexportDylib   ? MachODylib::Kind::Reexport
                         : command == kLazyLoadDylib   ? MachODylib::Kind::Lazy
                         : command == kLoadUpwardDylib ? MachODylib::Kind::Upward
                                                       : MachODylib::Kind::Load;
            dylib.path = QString::fromUtf8(commands.string(at + nameAt, at + size));
            slice.dylibs.append(dylib);
            break;
        }
        case kBuildVersion:
            if (size < 24) {
                slice.error = damaged("the build version command is too short", at);
                return;
            }
            slice.platform = MachOPlatform(commands.u32(at + 8));
            slice.minos = packedVersion(commands.u32(at + 12));
            slice.sdk = packedVersion(commands.u32(at + 16));
            break;
        case kVersionMinMacOS:
        case kVersionMinIPhoneOS:
        case kVersionMinTvOS:
        case kVersionMinWatchOS:
            if (size < 16) {
                slice.error = damaged("a minimum version command is too short", at);
                return;
            }
            // A build version command, where there is one, says more.
            if (slice.platform == MachOPlatform::Unknown || slice.minos.isNull()) {
                slice.platform = command == kVersionMinMacOS      ? MachOPlatform::MacOS
                                 : command == kVersionMinIPhoneOS ? MachOPlatform::IOS
                                 : command == kVersionMinTvOS     ? MachOPlatform::TvOS
                                                                  : MachOPlatform::WatchOS;
                slice.minos = packedVersion(commands.u32(at + 8));
                slice.sdk = packedVersion(commands.u32(at + 12));
            }
            break;
        default: break;
        }
        if (!slice.error.isEmpty())
            return;
        at += size;
    }
}

// The thin file at [offset, offset + size) of the source.
MachOSlice readSlice(const ByteSource& source, std::uint64_t offset, std::uint64_t size)
{
    MachOSlice slice;
    slice.offset = offset;
    slice.size = size;
    const std::optional<QByteArray> read =
        size < std::uint64_t(kHeaderSize32) ? std::nullopt : source.read(offset, kHeaderSize32).take();
    if (!read) {
        slice.error = QStringLiteral("the Mach-O header is cut short");
        return slice;
    }
    const QByteArray& header = *read;
    const std::uint32_t magic = readBE32(header, 0);
    slice.is64 = magic == kMagic64BE || magic == kMagic64LE;
    slice.bigEndian = magic == kMagic32BE || magic == kMagic64BE;
    if (!slice.is64 && magic != kMagic32BE && magic != kMagic32LE) {
        slice.error = QStringLiteral("no Mach-O header (magic number 0x%1)").arg(magic, 8, 16, QLatin1Char('0'));
        return slice;
    }
    slice.cpuType = word(header, 4, slice.bigEndian);
    slice.cpuSubtype = word(header, 8, slice.bigEndian) & kSubtypeMask;
    slice.fileType = word(header, 12, slice.bigEndian);
    const std::uint32_t count = word(header, 16, slice.bigEndian);
    const std::uint64_t commandsSize = word(header, 20, slice.bigEndian);
    const std::uint64_t headerSize = slice.is64 ? kHeaderSize64 : kHeaderSize32;
    if (!rangeFits(headerSize, commandsSize, size)) {
        slice.error = QStringLiteral("the load commands (%1 bytes) pass the end of the file").arg(commandsSize);
        return slice;
    }
    std::optional<QByteArray> bytes = source.read(offset + headerSize, commandsSize).take();
    if (!bytes) {
        slice.error = QStringLiteral("the load commands could not be read");
        return slice;
    }
    readCommands(source, slice, Commands(std::move(*bytes), slice.bigEndian), count);
    return slice;
}

} // namespace

QString MachOSlice::architecture() const
{
    switch (cpuType) {
    case kCpuX86: return QStringLiteral("i386");
    case kCpuX86 | kCpuAbi64: return cpuSubtype == 8 ? QStringLiteral("x86_64h") : QStringLiteral("x86_64");
    case kCpuArm:
        switch (cpuSubtype) {
        case 6: return QStringLiteral("armv6");
        case 9: return QStringLiteral("armv7");
        case 11: return QStringLiteral("armv7s");
        case 12: return QStringLiteral("armv7k");
        default: return QStringLiteral("arm");
        }
    case kCpuArm | kCpuAbi64: return cpuSubtype == 2 ? QStringLiteral("arm64e") : QStringLiteral("arm64");
    case kCpuArm | kCpuAbi64_32: return QStringLiteral("arm64_32");
    case kCpuPowerPC: return QStringLiteral("ppc");
    case kCpuPowerPC | kCpuAbi64: return QStringLiteral("ppc64");
    default: return QStringLiteral("cpu 0x%1").arg(cpuType, 0, 16);
    }
}

const MachOSection* MachOSlice::section(const char* segment, const char* name) const
{
    for (const MachOSection& each : sections) {
        if (each.segment == segment && each.name == name)
            return &each;
    }
    return nullptr;
}

bool looksLikeMachO(const QByteArray& start)
{
    if (start.size() < 4)
        return false;
    const std::uint32_t magic = readBE32(start, 0);
    if (magic == kFatMagic || magic == kFatMagic64)
        return start.size() >= kFatHeaderSize && readBE32(start, 4) <= kMaxFatSlices;
    return magic == kMagic32BE || magic == kMagic32LE || magic == kMagic64BE || magic == kMagic64LE;
}

MachOFile readMachO(const ByteSource& source)
{
    MachOFile file;
    const Result<QByteArray> read = source.read(0, std::min<std::uint64_t>(kFatHeaderSize, source.size()));
    if (!read || !looksLikeMachO(*read)) {
        file.error = QStringLiteral("the file is no Mach-O file");
        return file;
    }
    const QByteArray& start = *read;
    const std::uint32_t magic = readBE32(start, 0);
    if (magic != kFatMagic && magic != kFatMagic64) {
        file.slices.append(readSlice(source, 0, source.size()));
        return file;
    }
    file.fat = true;
    const bool wide = magic == kFatMagic64;
    const std::uint32_t count = readBE32(start, 4);
    const qsizetype entrySize = wide ? kFatArch64Size : kFatArchSize;
    const Result<QByteArray> tableRead = source.read(kFatHeaderSize, std::uint64_t(count) * entrySize);
    if (!tableRead) {
        file.error = QStringLiteral("the fat header's table of %1 slices passes the end of the file").arg(count);
        return file;
    }
    const QByteArray& table = *tableRead;
    for (std::uint32_t i = 0; i < count; ++i) {
        const qsizetype entry = qsizetype(i) * entrySize;
        const std::uint64_t offset =
            wide ? (std::uint64_t(readBE32(table, entry + 8)) << 32) | readBE32(table, entry + 12)
                 : readBE32(table, entry + 8);
        const std::uint64_t size =
            wide ? (std::uint64_t(readBE32(table, entry + 16)) << 32) | readBE32(table, entry + 20)
                 : readBE32(table, entry + 12);
        if (!rangeFits(offset, size, source.size())) {
            MachOSlice outside;
            outside.offset = offset;
            outside.size = size;
            outside.cpuType = readBE32(table, entry);
            outside.cpuSubtype = readBE32(table, entry + 4) & kSubtypeMask;
            outside.error = QStringLiteral("slice %1 lies outside the file").arg(i + 1);
            file.slices.append(outside);
            continue;
        }
        std::unique_ptr<ByteSource> slice = source.slice(offset, size);
        MachOSlice read = readSlice(*slice, 0, size);
        read.offset = offset;
        file.slices.append(read);
    }
    return file;
}

std::optional<QByteArray> machOSectionBytes(const ByteSource& source, const MachOSlice& slice, const char* segment,
                                            const char* name, std::uint64_t limit)
{
    const MachOSection* section = slice.section(segment, name);
    if (!section || section->fileOffset == 0 || section->size > limit ||
        !rangeFits(section->fileOffset, section->size, slice.size) ||
        !rangeFits(slice.offset + section->fileOffset, section->size, source.size()))
        return std::nullopt;
    return source.read(slice.offset + section->fileOffset, section->size).take();
}

std::optional<QByteArray> machOInfoPlist(const ByteSource& source, const MachOFile& file)
{
    for (const MachOSlice& slice : file.slices) {
        if (std::optional<QByteArray> bytes =
                machOSectionBytes(source, slice, "__TEXT", "__info_plist", kMaxPropertyListSize))
            return bytes;
    }
    return std::nullopt;
}

Error noInfoPlistSection()
{
    class Category : public std::error_category {
    public:
        const char* name() const noexcept override { return "OstrelMachOErrorDomain"; }
        std::string message(int code) const override { return unexplainedCodeText(name(), code); }
    };
    static const Category category;
    return Error{std::error_code(1, category), {}, {}};
}

QString machOPlatformName(MachOPlatform platform)
{
    switch (platform) {
    case MachOPlatform::MacOS: return QStringLiteral("macOS");
    case MachOPlatform::IOS: return QStringLiteral("iOS");
    case MachOPlatform::TvOS: return QStringLiteral("tvOS");
    case MachOPlatform::WatchOS: return QStringLiteral("watchOS");
    case MachOPlatform::BridgeOS: return QStringLiteral("bridgeOS");
    case MachOPlatform::MacCatalyst: return QStringLiteral("Mac Catalyst");
    case MachOPlatform::IOSSimulator: return QStringLiteral("the iOS Simulator");
    case MachOPlatform::TvOSSimulator: return QStringLiteral("the tvOS Simulator");
    case MachOPlatform::WatchOSSimulator: return QStringLiteral("the watchOS Simulator");
    case MachOPlatform::DriverKit: return QStringLiteral("DriverKit");
    case MachOPlatform::VisionOS: return QStringLiteral("visionOS");
    case MachOPlatform::VisionOSSimulator: return QStringLiteral("the visionOS Simulator");
    case MachOPlatform::Unknown: break;
    }
    return QStringLiteral("platform %1").arg(std::uint32_t(platform));
}

} // namespace platform
