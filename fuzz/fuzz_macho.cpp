// The Mach-O reader on arbitrary bytes: it always returns, every slice it
// gives lies within the file, and a section's bytes come only from inside it.
#include "platform/MachO.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MemorySource source(bytes);
    const MachOFile file = readMachO(source);
    if (!looksLikeMachO(bytes) && file.error.isEmpty())
        std::abort();
    for (const MachOSlice& slice : file.slices) {
        if (slice.error.isEmpty() && !rangeFits(slice.offset, slice.size, size))
            std::abort();
        const std::optional<QByteArray> plist = machOSectionBytes(source, slice, "__TEXT", "__info_plist", size);
        if (plist && std::uint64_t(plist->size()) > size)
            std::abort();
        (void)slice.architecture();
    }
    return 0;
}
