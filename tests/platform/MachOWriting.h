// Mach-O files made in memory for the tests: a header, the load commands
// asked for (each section in a segment of its own), then the sections' bytes,
// the symbol table and its strings; in either byte order, 32 or 64 bit, thin
// or fat.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

namespace testing_macho {

constexpr std::uint32_t kArm64 = 0x0100000c;
constexpr std::uint32_t kX86_64 = 0x01000007;
constexpr std::uint32_t kArm = 12;
constexpr std::uint32_t kArmV7 = 9;

constexpr std::uint32_t kLoadDylib = 0xc;
constexpr std::uint32_t kLoadWeakDylib = 0x80000018;
constexpr std::uint32_t kReexportDylib = 0x8000001f;
constexpr std::uint32_t kVersionMinMacOS = 0x24;
constexpr std::uint32_t kVersionMinIPhoneOS = 0x25;

// A version as the load commands pack it.
constexpr std::uint32_t packed(int major, int minor, int patch = 0)
{
    return std::uint32_t(major) << 16 | std::uint32_t(minor) << 8 | std::uint32_t(patch);
}

struct Section {
    QByteArray segment;
    QByteArray name;
    QByteArray bytes;
};

struct Symbol {
    QByteArray name;
    std::uint8_t type = 0x01; // undefined, external
};

struct Spec {
    bool is64 = true;
    bool bigEndian = false;
    std::uint32_t cpuType = kArm64;
    std::uint32_t cpuSubtype = 0;
    std::uint32_t fileType = 2;
    std::optional<std::uint32_t> buildPlatform;     // LC_BUILD_VERSION with minos, sdk
    std::optional<std::uint32_t> versionMinCommand; // LC_VERSION_MIN_* with minos, sdk
    std::uint32_t minos = packed(11, 0);
    std::uint32_t sdk = packed(14, 0);
    QList<std::pair<std::uint32_t, QByteArray>> dylibs; // command, path
    QList<Section> sections;
    QList<Symbol> symbols;
};

class Writer {
public:
    explicit Writer(bool bigEndian) : mBigEndian(bigEndian) {}
    void u32(std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            mBytes.append(char(mBigEndian ? value >> (24 - 8 * i) : value >> (8 * i)));
    }
    void u64(std::uint64_t value)
    {
        if (mBigEndian) {
            u32(std::uint32_t(value >> 32));
            u32(std::uint32_t(value));
        } else {
            u32(std::uint32_t(value));
            u32(std::uint32_t(value >> 32));
        }
    }
    void name(const QByteArray& text) { mBytes.append(text.left(16).leftJustified(16, '\0')); }
    void bytes(const QByteArray& more) { mBytes.append(more); }
    QByteArray& all() { return mBytes; }

private:
    QByteArray mBytes;
    bool mBigEndian;
};

inline qsizetype padded(qsizetype size)
{
    return (size + 7) / 8 * 8;
}

inline QByteArray thin(const Spec& spec)
{
    const qsizetype headerSize = spec.is64 ? 32 : 28;
    const qsizetype segmentSize = spec.is64 ? 72 : 56;
    const qsizetype sectionSize = spec.is64 ? 80 : 68;
    qsizetype commandsSize = 0;
    int count = 0;
    const auto add = [&](qsizetype size) {
        commandsSize += size;
        ++count;
    };
    if (spec.buildPlatform)
        add(24);
    if (spec.versionMinCommand)
        add(16);
    for (const auto& dylib : spec.dylibs)
        add(24 + padded(dylib.second.size() + 1));
    for (qsizetype i = 0; i < spec.sections.size(); ++i)
        add(segmentSize + sectionSize);
    if (!spec.symbols.isEmpty())
        add(24);

    Writer out(spec.bigEndian);
    out.u32(spec.is64 ? 0xfeedfacf : 0xfeedface);
    out.u32(spec.cpuType);
    out.u32(spec.cpuSubtype);
    out.u32(spec.fileType);
    out.u32(std::uint32_t(count));
    out.u32(std::uint32_t(commandsSize));
    out.u32(0);
    if (spec.is64)
        out.u32(0);
    qsizetype data = headerSize + commandsSize;
    if (spec.buildPlatform) {
        out.u32(0x32);
        out.u32(24);
        out.u32(*spec.buildPlatform);
        out.u32(spec.minos);
        out.u32(spec.sdk);
        out.u32(0);
    }
    if (spec.versionMinCommand) {
        out.u32(*spec.versionMinCommand);
        out.u32(16);
        out.u32(spec.minos);
        out.u32(spec.sdk);
    }
    for (const auto& [command, path] : spec.dylibs) {
        const qsizetype size = 24 + padded(path.size() + 1);
        out.u32(command);
        out.u32(std::uint32_t(size));
        out.u32(24);
        out.u32(2);
        out.u32(0x10000);
        out.u32(0x10000);
        out.bytes(path.leftJustified(size - 24, '\0'));
    }
    QByteArray tail;
    for (const Section& section : spec.sections) {
        const std::uint32_t offset = std::uint32_t(data + tail.size());
        out.u32(spec.is64 ? 0x19 : 0x1);
        out.u32(std::uint32_t(segmentSize + sectionSize));
        out.name(section.segment);
        if (spec.is64) {
            out.u64(0);
            out.u64(std::uint64_t(section.bytes.size()));
            out.u64(offset);
            out.u64(std::uint64_t(section.bytes.size()));
        } else {
            out.u32(0);
            out.u32(std::uint32_t(section.bytes.size()));
            out.u32(offset);
            out.u32(std::uint32_t(section.bytes.size()));
        }
        out.u32(5);
        out.u32(5);
        out.u32(1);
        out.u32(0);
        out.name(section.name);
        out.name(section.segment);
        if (spec.is64) {
            out.u64(0);
            out.u64(std::uint64_t(section.bytes.size()));
        } else {
            out.u32(0);
            out.u32(std::uint32_t(section.bytes.size()));
        }
        out.u32(offset);
        for (int i = 0; i < 6; ++i) // align, relocations, flags, reserved
            out.u32(0);
        if (spec.is64)
            out.u32(0);
        tail.append(section.bytes);
    }
    if (!spec.symbols.isEmpty()) {
        Writer table(spec.bigEndian);
        QByteArray strings(1, '\0');
        for (const Symbol& symbol : spec.symbols) {
            table.u32(std::uint32_t(strings.size()));
            strings.append(symbol.name).append('\0');
            table.all().append(char(symbol.type)).append(char(0));
            table.all().append(2, '\0'); // description
            if (spec.is64)
                table.u64(0);
            else
                table.u32(0);
        }
        const qsizetype symbolsAt = data + tail.size();
        out.u32(0x2);
        out.u32(24);
        out.u32(std::uint32_t(symbolsAt));
        out.u32(std::uint32_t(spec.symbols.size()));
        out.u32(std::uint32_t(symbolsAt + table.all().size()));
        out.u32(std::uint32_t(strings.size()));
        tail.append(table.all()).append(strings);
    }
    out.bytes(tail);
    return out.all();
}

// Slices aligned to 16 bytes after the table; wide: 0xcafebabf with 64-bit offsets.
inline QByteArray fat(const QList<Spec>& specs, bool wide = false)
{
    Writer out(true);
    out.u32(wide ? 0xcafebabf : 0xcafebabe);
    out.u32(std::uint32_t(specs.size()));
    qsizetype at = 8 + specs.size() * (wide ? 32 : 20);
    QByteArray slices;
    for (const Spec& spec : specs) {
        const QByteArray slice = thin(spec);
        const qsizetype offset = (at + slices.size() + 15) / 16 * 16;
        slices.append(QByteArray(offset - at - slices.size(), '\0'));
        out.u32(spec.cpuType);
        out.u32(spec.cpuSubtype);
        if (wide) {
            out.u64(std::uint64_t(offset));
            out.u64(std::uint64_t(slice.size()));
            out.u32(4);
            out.u32(0);
        } else {
            out.u32(std::uint32_t(offset));
            out.u32(std::uint32_t(slice.size()));
            out.u32(4);
        }
        slices.append(slice);
    }
    out.bytes(slices);
    return out.all();
}

} // namespace testing_macho
