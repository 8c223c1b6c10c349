// Mach-O files made in memory for the tests: a header, the load commands
// asked for (each section in a segment of its own), then the sections' bytes,
// the symbol table and its strings; in either byte order, 32 or 64 bit, thin
// or fat.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <initializer_list>
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

struct SliceLayout {
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
    void u32(std::initializer_list<std::uint32_t> values)
    {
        for (std::uint32_t value : values)
            for (int i = 0; i < 4; ++i)
                mBytes.append(char(mBigEndian ? value >> (24 - 8 * i) : value >> (8 * i)));
    }
    void u64(std::uint64_t value)
    {
        const auto high = std::uint32_t(value >> 32), low = std::uint32_t(value);
        mBigEndian ? u32({high, low}) : u32({low, high});
    }
    // An address or size: 64 bits wide in a 64-bit slice.
    void word(std::uint64_t value, bool is64) { is64 ? u64(value) : u32({std::uint32_t(value)}); }
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

inline QByteArray thin(const SliceLayout& layout)
{
    const bool is64 = layout.is64;
    const qsizetype headerSize = is64 ? 32 : 28;
    const qsizetype segmentSize = (is64 ? 72 : 56) + (is64 ? 80 : 68); // with its one section
    qsizetype commandsSize = (layout.buildPlatform ? 24 : 0) + (layout.versionMinCommand ? 16 : 0) +
                             layout.sections.size() * segmentSize + (layout.symbols.isEmpty() ? 0 : 24);
    for (const auto& dylib : layout.dylibs)
        commandsSize += 24 + padded(dylib.second.size() + 1);
    const qsizetype count = (layout.buildPlatform ? 1 : 0) + (layout.versionMinCommand ? 1 : 0) + layout.dylibs.size() +
                            layout.sections.size() + (layout.symbols.isEmpty() ? 0 : 1);

    Writer out(layout.bigEndian);
    out.u32({is64 ? 0xfeedfacfu : 0xfeedfaceu, layout.cpuType, layout.cpuSubtype, layout.fileType, std::uint32_t(count),
             std::uint32_t(commandsSize), 0});
    if (is64)
        out.u32({0});
    const qsizetype data = headerSize + commandsSize;
    if (layout.buildPlatform)
        out.u32({0x32, 24, *layout.buildPlatform, layout.minos, layout.sdk, 0});
    if (layout.versionMinCommand)
        out.u32({*layout.versionMinCommand, 16, layout.minos, layout.sdk});
    for (const auto& [command, path] : layout.dylibs) {
        const qsizetype size = 24 + padded(path.size() + 1);
        out.u32({command, std::uint32_t(size), 24, 2, 0x10000, 0x10000});
        out.bytes(path.leftJustified(size - 24, '\0'));
    }
    QByteArray tail;
    for (const Section& section : layout.sections) {
        const std::uint32_t offset = std::uint32_t(data + tail.size());
        const auto size = std::uint64_t(section.bytes.size());
        out.u32({is64 ? 0x19u : 0x1u, std::uint32_t(segmentSize)});
        out.name(section.segment);
        for (std::uint64_t value : {std::uint64_t(0), size, std::uint64_t(offset), size})
            out.word(value, is64);
        out.u32({5, 5, 1, 0});
        out.name(section.name);
        out.name(section.segment);
        out.word(0, is64);
        out.word(size, is64);
        out.u32({offset, 0, 0, 0, 0, 0, 0}); // align, relocations, flags, reserved
        if (is64)
            out.u32({0});
        tail.append(section.bytes);
    }
    if (!layout.symbols.isEmpty()) {
        Writer table(layout.bigEndian);
        QByteArray strings(1, '\0');
        for (const Symbol& symbol : layout.symbols) {
            table.u32({std::uint32_t(strings.size())});
            strings.append(symbol.name).append('\0');
            table.all().append(char(symbol.type)).append(3, '\0'); // section, description
            table.word(0, is64);
        }
        const auto symbolsAt = std::uint32_t(data + tail.size());
        out.u32({0x2, 24, symbolsAt, std::uint32_t(layout.symbols.size()),
                 symbolsAt + std::uint32_t(table.all().size()), std::uint32_t(strings.size())});
        tail.append(table.all()).append(strings);
    }
    out.bytes(tail);
    return out.all();
}

// Slices aligned to 16 bytes after the table; wide: 0xcafebabf with 64-bit offsets.
inline QByteArray fat(const QList<SliceLayout>& layouts, bool wide = false)
{
    Writer out(true);
    out.u32({wide ? 0xcafebabfu : 0xcafebabeu, std::uint32_t(layouts.size())});
    qsizetype at = 8 + layouts.size() * (wide ? 32 : 20);
    QByteArray slices;
    for (const SliceLayout& layout : layouts) {
        const QByteArray slice = thin(layout);
        const qsizetype offset = (at + slices.size() + 15) / 16 * 16;
        slices.append(QByteArray(offset - at - slices.size(), '\0'));
        out.u32({layout.cpuType, layout.cpuSubtype});
        out.word(std::uint64_t(offset), wide);
        out.word(std::uint64_t(slice.size()), wide);
        out.u32({4});
        if (wide)
            out.u32({0});
        slices.append(slice);
    }
    out.bytes(slices);
    return out.all();
}

} // namespace testing_macho
