// The archive reader on arbitrary bytes, then the archive as a tree: every
// entry's path resolved through the links the archive holds. The reader must
// end in entries or an error, keep nothing over its limits, and leave only
// paths with no "." or ".." parts; resolving must end.
#include "check/ProductTree.h"
#include "platform/ArchiveReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    platform::ArchiveLimits limits;
    limits.maxEntrySize = 64 * 1024;
    limits.maxTotalBytes = 16 * 1024 * 1024;
    limits.maxEntries = 4096;
    const auto keepEverything = [](const QString&, std::uint64_t) { return true; };
    const platform::Result<platform::ArchiveContents> read =
        platform::readArchiveFromMemory(bytes, keepEverything, limits);
    if (!read)
        return 0;
    const platform::ArchiveContents& contents = *read;

    if (std::uint64_t(contents.entries.size()) > limits.maxEntries || contents.index.size() != contents.entries.size())
        std::abort();
    for (const platform::ArchiveEntry& entry : contents.entries) {
        if (entry.bytes && std::uint64_t(entry.bytes->size()) > limits.maxEntrySize)
            std::abort();
        if (entry.path.isEmpty() || entry.path.startsWith('/') || entry.path.endsWith('/'))
            std::abort();
        for (const QString& part : entry.path.split('/')) {
            if (part.isEmpty() || part == "." || part == "..")
                std::abort();
        }
    }
    const check::ArchiveTree tree(QStringLiteral("fuzz.zip"), contents);
    for (const platform::ArchiveEntry& entry : contents.entries) {
        const check::ProductTree::Resolved resolved = tree.resolve(entry.path);
        if (resolved.resolution == check::ProductTree::Resolution::Found &&
            resolved.node.kind == check::ProductTree::Kind::Link)
            std::abort();
    }
    return 0;
}
