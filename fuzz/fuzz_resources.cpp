// The AppleDouble and resource-file readers on arbitrary bytes, taken both as
// a sidecar "._NAME" and as a data fork. Every outcome must be a status, and
// bytes only come with success.
#include "platform/AppleDouble.h"
#include "platform/FileManager.h"
#include "platform/ResourceFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace platform;

namespace {

void lookUpPlst(std::unique_ptr<ByteSource> fork)
{
    const std::uint64_t forkSize = fork->size();
    const Result<std::unique_ptr<ResourceFile>> file = ResourceFile::open(std::move(fork));
    if (file && !*file)
        std::abort();
    if (!file) {
        const std::error_code code = file.error().code;
        if (code != osStatusCode(resFNotFound) && code != osStatusCode(eofErr) && code != osStatusCode(mapReadErr))
            std::abort();
        return;
    }
    const Result<QByteArray> bytes = (*file)->get1Resource(fourCharCode("plst"), 0);
    if (bytes && std::uint64_t(bytes->size()) > forkSize)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MemorySource source(bytes);

    if (const Result<AppleDouble> header = readAppleDouble(source)) {
        if (Result<std::unique_ptr<ByteSource>> fork = openAppleDoubleEntry(source, *header, kEntryResourceFork))
            lookUpPlst(std::move(*fork));
    }
    (void)finderInfoFromAppleDouble(source);

    lookUpPlst(std::make_unique<MemorySource>(bytes));
    return 0;
}
