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
    std::unique_ptr<ResourceFile> file;
    const OSStatus opened = ResourceFile::open(std::move(fork), file);
    if ((opened == noErr) != bool(file))
        std::abort();
    if (opened != noErr) {
        if (opened != resFNotFound && opened != eofErr && opened != mapReadErr)
            std::abort();
        return;
    }
    QByteArray bytes;
    const OSStatus status = file->get1Resource(fourCharCode("plst"), 0, bytes);
    if (status != noErr && !bytes.isEmpty())
        std::abort();
    if (status == noErr && std::uint64_t(bytes.size()) > forkSize)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const MemorySource source(bytes);

    AppleDouble header;
    std::unique_ptr<ByteSource> fork;
    if (readAppleDouble(source, header) == noErr &&
        openAppleDoubleEntry(source, header, kEntryResourceFork, fork) == noErr)
        lookUpPlst(std::move(fork));
    (void)finderInfoFromAppleDouble(source);

    lookUpPlst(std::make_unique<MemorySource>(bytes));
    return 0;
}
