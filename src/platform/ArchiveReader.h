// Archives as products ship them (.zip, .ipa, .tar and its compressed forms,
// .xar), read through libarchive in one streaming pass: nothing is unpacked
// to disk. The reader lists every entry and keeps the bytes only of the
// entries its caller asks for, within limits that hold against hostile
// archives (bombs, huge entry counts, deep paths, damaged or truncated data).
// A caller that knows what to keep only once it has the list reads again.
#pragma once

#include "platform/ByteSource.h"
#include "platform/Error.h"

#include <QByteArray>
#include <QHash>
#include <QIODevice>
#include <QList>
#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// True when the file name ends in an extension of an archive the reader opens.
bool isArchiveName(const QString& fileName);

struct ArchiveLimits {
    // An entry kept larger than this is refused without being read whole
    // (the largest property list the checker reads).
    std::uint64_t maxEntrySize = kMaxPropertyListSize;
    // Bytes unpacked per archive, kept or skipped.
    std::uint64_t maxTotalBytes = 4ull * 1024 * 1024 * 1024;
    // Bytes kept of all entries together, over every read of the archive.
    std::uint64_t maxKeptBytes = 64 * 1024 * 1024;
    // Entries per archive.
    std::uint64_t maxEntries = 50'000;
    // One entry's path (as stored) and its parts: an entry past either is
    // left out, and the rest is read on.
    std::uint64_t maxPathBytes = 4096;
    int maxPathParts = 256;
    // The paths of all entries together: the parts and the bytes of the
    // archive's tree.
    std::uint64_t maxAllPathParts = 1'000'000;
    std::uint64_t maxAllPathBytes = 32 * 1024 * 1024;
};

// The bytes that the archives read at once may keep, counted over every
// thread: each archive read holds a lease of its maxKeptBytes from it while
// its contents live, and a read that finds it spent waits for a lease to end.
// Reads waiting in turn give every thread's check the same results, whatever
// the number of threads. An archive read on a thread that holds a lease
// already (one inside another) takes none.
constexpr std::uint64_t kKeptBytesOfAllArchives = 256 * 1024 * 1024;
class KeptBytesLease;

enum class ArchiveEntryKind { File, Directory, Link, Other };

struct ArchiveEntry {
    QString path; // relative, "/"-separated, no "." or ".." parts, no trailing "/"
    ArchiveEntryKind kind = ArchiveEntryKind::Other;
    std::uint32_t mode = 0;          // permission bits
    QString linkTarget;              // for links, as stored
    std::optional<QByteArray> bytes; // for files the caller asked for
    bool tooLarge = false;           // asked for, but over maxEntrySize: not read
    bool overBudget = false;         // asked for, but past maxKeptBytes: not read
    qsizetype sameAs = -1;           // a hard link: the position of the entry it is
    std::uint64_t size = 0;          // as the archive states it (0 when it states none)
    std::uint64_t header = 0;        // its header's number in the archive, from 0
};

struct ArchiveContents {
    QList<ArchiveEntry> entries;
    QHash<QString, qsizetype> index;            // path -> position in entries
    QList<std::pair<QString, QString>> leftOut; // entries read past: a short form of the path, and why
    std::uint64_t keptBytes = 0;
    std::shared_ptr<KeptBytesLease> lease; // this read's share of kKeptBytesOfAllArchives

    const ArchiveEntry* find(const QString& path) const;
};

// Which files' bytes to keep, by path and the size the archive states (0 when it states none).
using ArchiveWanted = std::function<bool(const QString& path, std::uint64_t size)>;

// Reads the archive at path, or in memory, whole; else why it could not be.
// A later entry of the same path replaces an earlier one, as unpacking would.
Result<ArchiveContents> readArchive(const QString& path, const ArchiveWanted& wanted, const ArchiveLimits& limits = {});
Result<ArchiveContents> readArchiveFromMemory(const QByteArray& bytes, const ArchiveWanted& wanted,
                                              const ArchiveLimits& limits = {});
// Reads the archive that gave contents again, keeping the bytes of the files
// at paths that are not kept yet (a hard link's with its original); else why
// it could not be read again.
Result<void> readArchiveAgain(const QString& path, ArchiveContents& contents, const QSet<QString>& paths,
                              const ArchiveLimits& limits = {});

// Writes the bytes of the archive's file entryPath (as ArchiveEntry::path
// gives it) to out, at most maxBytes of them; else why not.
Result<void> copyArchiveEntry(const QString& path, const QString& entryPath, QIODevice& out, std::uint64_t maxBytes);

} // namespace platform
