#include "platform/ArchiveReader.h"

#include "platform/FileUrl.h"

#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr size_t kReadBlockSize = 64 * 1024;

using ArchivePointer = std::unique_ptr<struct archive, decltype(&archive_read_free)>;

ArchivePointer newReader()
{
    ArchivePointer reader(archive_read_new(), &archive_read_free);
    // Seekable only: it reads the central directory, so a truncated zip is an error.
    archive_read_support_format_zip_seekable(reader.get());
    archive_read_support_format_tar(reader.get());
    archive_read_support_format_xar(reader.get());
    // The payloads of installer packages.
    archive_read_support_format_cpio(reader.get());
    // Only the filters built into the library: the others would run programs.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_bzip2(reader.get());
    archive_read_support_filter_xz(reader.get());
    return reader;
}

Error libraryError(struct archive* reader)
{
    const char* text = archive_error_string(reader);
    const int code = archive_errno(reader);
    // Some of the library's texts end in a line end of their own.
    return Error::posix(code > 0 ? code : EIO,
                        text ? QString::fromUtf8(text).trimmed() : QStringLiteral("the archive is damaged"));
}

// How a message names an entry whose path may be as long as the archive likes.
QString shortPath(const QByteArray& stored)
{
    constexpr qsizetype kShown = 80;
    if (stored.size() <= kShown)
        return decodeFileName(stored);
    return decodeFileName(stored.left(kShown)) + QStringLiteral("…");
}

QByteArray storedPath(struct archive_entry* entry)
{
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QByteArray(utf8);
    const char* raw = archive_entry_pathname(entry);
    return raw ? QByteArray(raw) : QByteArray();
}

// The path with empty and "." parts dropped; none when it is absolute or
// climbs out with "..", which no archive of a product needs.
std::optional<QString> normalisedPath(const QString& stored)
{
    if (stored.startsWith(QLatin1Char('/')))
        return std::nullopt;
    QStringList parts;
    for (const QString& part : stored.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String(".."))
            return std::nullopt;
        parts.append(part);
    }
    return parts.join(QLatin1Char('/'));
}

ArchiveEntryKind entryKind(struct archive_entry* entry)
{
    switch (archive_entry_filetype(entry)) {
    case AE_IFREG: return ArchiveEntryKind::File;
    case AE_IFDIR: return ArchiveEntryKind::Directory;
    case AE_IFLNK: return ArchiveEntryKind::Link;
    default: return ArchiveEntryKind::Other;
    }
}

// Up to length bytes of the archive's file at offset (fewer at its end).
using ReadAt = std::function<QByteArray(std::int64_t offset, qsizetype length)>;

class Reading {
public:
    // A first read lists the entries and keeps what wanted names; a read
    // again (contents given) only keeps the bytes of the entries at paths.
    Reading(struct archive* reader, const ArchiveLimits& limits, ReadAt readAt)
        : mReader(reader), mLimits(limits), mReadAt(std::move(readAt))
    {
    }

    Result<ArchiveContents> first(const ArchiveWanted& wanted)
    {
        mWanted = &wanted;
        run();
        if (mError)
            return *mError;
        return std::move(mContents);
    }

    Result<void> again(ArchiveContents& contents, const QSet<QString>& paths)
    {
        mContents = std::move(contents);
        mAgain = &paths;
        run();
        contents = std::move(mContents);
        if (mError)
            return *mError;
        return {};
    }

private:
    void run()
    {
        struct archive_entry* header = nullptr;
        for (std::uint64_t number = 0;; ++number) {
            const int status = archive_read_next_header(mReader, &header);
            if (status == ARCHIVE_EOF) {
                if (!endMarked())
                    fail(EIO, QStringLiteral("it ends before its end-of-archive blocks; it was cut short"));
                return;
            }
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
                mError = libraryError(mReader);
                return;
            }
            if (!mAgain && std::uint64_t(mContents.entries.size()) >= mLimits.maxEntries) {
                fail(EFBIG, QStringLiteral("it holds more than %1 entries").arg(mLimits.maxEntries));
                return;
            }
            if (!(mAgain ? readAgain(header, number) : addEntry(header, number)))
                return;
        }
    }

    // A plain tar ends in two blocks of zeros; without them it may have been
    // cut at an entry's end. Compressed streams and zips tell a cut themselves.
    bool endMarked() const
    {
        if ((archive_format(mReader) & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_TAR ||
            archive_filter_count(mReader) > 1 || !mReadAt)
            return true;
        constexpr qsizetype kEndBlocks = 2 * 512;
        const QByteArray end = mReadAt(archive_read_header_position(mReader), kEndBlocks);
        return end.size() == kEndBlocks && end.count('\0') == kEndBlocks;
    }

    // The entry's path, or none when it is to be left out (noted) or the
    // archive cannot be read on (the error is set).
    std::optional<QString> entryPath(struct archive_entry* header)
    {
        const QByteArray stored = storedPath(header);
        if (std::uint64_t(stored.size()) > mLimits.maxPathBytes) {
            leaveOut(stored, QStringLiteral("its path is longer than %1 bytes").arg(mLimits.maxPathBytes));
            return std::nullopt;
        }
        const std::optional<QString> path = normalisedPath(decodeFileName(stored));
        if (!path) {
            fail(EINVAL, QStringLiteral("the entry \"%1\" has an absolute path or one that climbs out with "
                                        "\"..\"; a product's archive holds neither")
                             .arg(shortPath(stored)));
            return std::nullopt;
        }
        const qsizetype parts = path->isEmpty() ? 0 : path->count(QLatin1Char('/')) + 1;
        if (parts > mLimits.maxPathParts) {
            leaveOut(stored, QStringLiteral("its path has more than %1 parts").arg(mLimits.maxPathParts));
            return std::nullopt;
        }
        if (mAgain)
            return path;
        mAllPathParts += std::uint64_t(parts);
        mAllPathBytes += std::uint64_t(stored.size());
        if (mAllPathParts > mLimits.maxAllPathParts || mAllPathBytes > mLimits.maxAllPathBytes) {
            fail(EFBIG, QStringLiteral("the paths of its entries have more than %1 parts or %2 bytes in all")
                            .arg(mLimits.maxAllPathParts)
                            .arg(mLimits.maxAllPathBytes));
            return std::nullopt;
        }
        return path;
    }

    void fail(int code, const QString& why) { mError = Error::posix(code, why); }

    void leaveOut(const QByteArray& stored, const QString& why)
    {
        if (!mAgain)
            mContents.leftOut.append({shortPath(stored), why});
    }

    // False when the archive cannot be read on (the error is set).
    bool addEntry(struct archive_entry* header, std::uint64_t number)
    {
        const std::optional<QString> path = entryPath(header);
        if (!path || path->isEmpty()) // left out, or "./" itself
            return !mError && skipData(header);

        ArchiveEntry entry;
        entry.path = *path;
        entry.header = number;
        entry.kind = entryKind(header);
        entry.mode = std::uint32_t(archive_entry_perm(header));
        if (entry.kind == ArchiveEntryKind::Link) {
            if (const char* target = archive_entry_symlink_utf8(header))
                entry.linkTarget = QString::fromUtf8(target);
            else if (const char* raw = archive_entry_symlink(header))
                entry.linkTarget = decodeFileName(raw);
            if (std::uint64_t(entry.linkTarget.size()) > mLimits.maxPathBytes) {
                leaveOut(storedPath(header),
                         QStringLiteral("its link's target is longer than %1 bytes").arg(mLimits.maxPathBytes));
                return true;
            }
        }
        // A hard link is the same file as an earlier entry.
        if (const char* hardLink = archive_entry_hardlink(header)) {
            const std::optional<QString> earlier = normalisedPath(QString::fromUtf8(hardLink));
            const auto original = earlier ? mContents.index.constFind(*earlier) : mContents.index.constEnd();
            if (original != mContents.index.constEnd()) {
                const ArchiveEntry& same = mContents.entries[*original];
                entry.kind = same.kind;
                entry.size = same.size;
                entry.bytes = same.bytes;
                entry.tooLarge = same.tooLarge;
                entry.overBudget = same.overBudget;
                entry.sameAs = same.sameAs >= 0 ? same.sameAs : *original;
            }
        } else if (entry.kind == ArchiveEntryKind::File) {
            entry.size = statedSize(header);
            const bool keep = *mWanted && (*mWanted)(entry.path, entry.size);
            if (!readData(entry, keep))
                return false;
        }
        store(std::move(entry));
        return true;
    }

    // The entry listed first, read now if it is one of those asked for.
    bool readAgain(struct archive_entry* header, std::uint64_t number)
    {
        const std::optional<QString> path = entryPath(header);
        if (!path || path->isEmpty())
            return !mError && skipData(header);
        const auto at = mContents.index.constFind(*path);
        if (at == mContents.index.constEnd())
            return skipData(header);
        ArchiveEntry& entry = mContents.entries[*at];
        // Only the entry listed: not an earlier one of the same path, nor one
        // that changed since.
        const bool keep = entry.header == number && entry.kind == ArchiveEntryKind::File && entry.sameAs < 0 &&
                          !entry.bytes && !entry.tooLarge && !entry.overBudget && mAgain->contains(*path);
        if (!keep)
            return skipData(header);
        return readData(entry, true);
    }

    static std::uint64_t statedSize(struct archive_entry* header)
    {
        const bool stated = archive_entry_size_is_set(header) && archive_entry_size(header) >= 0;
        return stated ? std::uint64_t(archive_entry_size(header)) : 0;
    }

    bool skipData(struct archive_entry* header)
    {
        if (entryKind(header) != ArchiveEntryKind::File || archive_entry_hardlink(header))
            return true;
        ArchiveEntry unused;
        return readData(unused, false);
    }

    // Reads the entry's data when it is kept, or when skipping would unpack it
    // all the same (a compressed stream): then every byte counts against the
    // limit. Uncompressed and zip data that is not kept is skipped unread.
    bool readData(ArchiveEntry& entry, bool keep)
    {
        const bool streamCompressed = archive_filter_count(mReader) > 1;
        if (keep && entry.size > mLimits.maxEntrySize) {
            entry.tooLarge = true;
            keep = false;
        } else if (keep && mContents.keptBytes + entry.size > mLimits.maxKeptBytes) {
            entry.overBudget = true;
            keep = false;
        }
        if (!keep && !streamCompressed)
            return true;
        QByteArray kept;
        char block[kReadBlockSize];
        for (;;) {
            const la_ssize_t got = archive_read_data(mReader, block, sizeof block);
            if (got == 0)
                break;
            if (got < 0) {
                mError = libraryError(mReader);
                return false;
            }
            mTotalBytes += std::uint64_t(got);
            if (mTotalBytes > mLimits.maxTotalBytes) {
                fail(EFBIG, QStringLiteral("it unpacks to more than %1 bytes, more than any product's archive should")
                                .arg(mLimits.maxTotalBytes));
                return false;
            }
            if (!keep)
                continue;
            const std::uint64_t size = std::uint64_t(kept.size()) + std::uint64_t(got);
            if (size > mLimits.maxEntrySize || mContents.keptBytes + size > mLimits.maxKeptBytes) {
                // Refused; what remains is skipped (or, compressed, counted).
                (size > mLimits.maxEntrySize ? entry.tooLarge : entry.overBudget) = true;
                kept.clear();
                keep = false;
                if (!streamCompressed)
                    return true;
                continue;
            }
            kept.append(block, qsizetype(got));
        }
        if (keep) {
            mContents.keptBytes += std::uint64_t(kept.size());
            entry.bytes = std::move(kept);
        }
        return true;
    }

    void store(ArchiveEntry entry)
    {
        const auto existing = mContents.index.constFind(entry.path);
        if (existing != mContents.index.constEnd()) {
            mContents.entries[*existing] = std::move(entry);
            return;
        }
        mContents.index.insert(entry.path, mContents.entries.size());
        mContents.entries.append(std::move(entry));
    }

    struct archive* mReader;
    const ArchiveLimits& mLimits;
    ReadAt mReadAt;
    const ArchiveWanted* mWanted = nullptr;
    const QSet<QString>* mAgain = nullptr;
    ArchiveContents mContents;
    std::optional<Error> mError; // why the archive cannot be read on
    std::uint64_t mTotalBytes = 0;
    std::uint64_t mAllPathParts = 0;
    std::uint64_t mAllPathBytes = 0;
};

// The archive's file, opened once: a pipe or a device could block or never end.
class ArchiveFile {
public:
    explicit ArchiveFile(const QString& path)
    {
        mFd = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat info {};
        if (mFd >= 0 && (::fstat(mFd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(mFd);
            mFd = -1;
        }
    }
    ~ArchiveFile()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    bool isOpen() const { return mFd >= 0; }
    int fd() const { return mFd; }
    QByteArray readAt(std::int64_t offset, qsizetype length) const
    {
        QByteArray bytes(length, Qt::Uninitialized);
        const ssize_t got = ::pread(mFd, bytes.data(), size_t(length), off_t(offset));
        return bytes.left(qsizetype(std::max<ssize_t>(got, 0)));
    }

private:
    int mFd = -1;
};

} // namespace

class KeptBytesLease {
public:
    explicit KeptBytesLease(std::uint64_t bytes) : mBytes(std::min(bytes, kKeptBytesOfAllArchives))
    {
        std::unique_lock lock(sMutex);
        sFreed.wait(lock, [&] { return sLeased + mBytes <= kKeptBytesOfAllArchives; });
        sLeased += mBytes;
        tHolding = true;
    }
    ~KeptBytesLease()
    {
        {
            std::lock_guard lock(sMutex);
            sLeased -= mBytes;
        }
        if (std::this_thread::get_id() == mThread)
            tHolding = false;
        sFreed.notify_all();
    }
    KeptBytesLease(const KeptBytesLease&) = delete;
    KeptBytesLease& operator=(const KeptBytesLease&) = delete;

    // A lease for a read on this thread; none when the thread holds one already.
    static std::shared_ptr<KeptBytesLease> take(std::uint64_t bytes)
    {
        return tHolding ? nullptr : std::make_shared<KeptBytesLease>(bytes);
    }

private:
    std::uint64_t mBytes;
    std::thread::id mThread = std::this_thread::get_id();
    static inline std::mutex sMutex;
    static inline std::condition_variable sFreed;
    static inline std::uint64_t sLeased = 0;
    static inline thread_local bool tHolding = false;
};

namespace {

Error notAFile()
{
    return Error::posix(EINVAL, QStringLiteral("it is no regular file that can be read"));
}

} // namespace

bool isArchiveName(const QString& fileName)
{
    static const QStringList extensions = {
        QStringLiteral(".zip"), QStringLiteral(".ipa"),     QStringLiteral(".tar"),    QStringLiteral(".tar.gz"),
        QStringLiteral(".tgz"), QStringLiteral(".tar.bz2"), QStringLiteral(".tar.xz"), QStringLiteral(".xar"),
    };
    for (const QString& extension : extensions) {
        if (fileName.endsWith(extension, Qt::CaseInsensitive) && fileName.size() > extension.size())
            return true;
    }
    return false;
}

const ArchiveEntry* ArchiveContents::find(const QString& path) const
{
    const auto found = index.constFind(path);
    return found == index.constEnd() ? nullptr : &entries[*found];
}

Result<ArchiveContents> readArchive(const QString& path, const ArchiveWanted& wanted, const ArchiveLimits& limits)
{
    const ArchiveFile file(path);
    if (!file.isOpen())
        return notAFile();
    ArchivePointer reader = newReader();
    if (archive_read_open_fd(reader.get(), file.fd(), kReadBlockSize) != ARCHIVE_OK)
        return libraryError(reader.get());
    const auto readAt = [&file](std::int64_t offset, qsizetype length) { return file.readAt(offset, length); };
    std::shared_ptr<KeptBytesLease> lease = KeptBytesLease::take(limits.maxKeptBytes);
    Result<ArchiveContents> contents = Reading(reader.get(), limits, readAt).first(wanted);
    if (contents)
        contents->lease = std::move(lease);
    return contents;
}

Result<void> readArchiveAgain(const QString& path, ArchiveContents& contents, const QSet<QString>& paths,
                              const ArchiveLimits& limits)
{
    // A hard link's bytes are its original's.
    QSet<QString> toRead;
    for (const QString& wanted : paths) {
        const ArchiveEntry* entry = contents.find(wanted);
        if (entry && !entry->bytes)
            toRead.insert(entry->sameAs >= 0 ? contents.entries[entry->sameAs].path : wanted);
    }
    if (toRead.isEmpty())
        return {};
    const ArchiveFile file(path);
    if (!file.isOpen())
        return notAFile();
    ArchivePointer reader = newReader();
    if (archive_read_open_fd(reader.get(), file.fd(), kReadBlockSize) != ARCHIVE_OK)
        return libraryError(reader.get());
    if (Result<void> read = Reading(reader.get(), limits, nullptr).again(contents, toRead); !read)
        return read;
    for (ArchiveEntry& entry : contents.entries) {
        if (entry.sameAs >= 0 && !entry.bytes) {
            const ArchiveEntry& original = contents.entries[entry.sameAs];
            entry.bytes = original.bytes;
            entry.tooLarge = original.tooLarge;
            entry.overBudget = original.overBudget;
        }
    }
    return {};
}

Result<ArchiveContents> readArchiveFromMemory(const QByteArray& bytes, const ArchiveWanted& wanted,
                                              const ArchiveLimits& limits)
{
    ArchivePointer reader = newReader();
    if (archive_read_open_memory(reader.get(), bytes.constData(), size_t(bytes.size())) != ARCHIVE_OK)
        return libraryError(reader.get());
    const auto readAt = [&bytes](std::int64_t offset, qsizetype length) {
        return offset >= 0 && offset <= bytes.size() ? bytes.mid(qsizetype(offset), length) : QByteArray();
    };
    std::shared_ptr<KeptBytesLease> lease = KeptBytesLease::take(limits.maxKeptBytes);
    Result<ArchiveContents> contents = Reading(reader.get(), limits, readAt).first(wanted);
    if (contents)
        contents->lease = std::move(lease);
    return contents;
}

Result<void> copyArchiveEntry(const QString& path, const QString& entryPath, QIODevice& out, std::uint64_t maxBytes)
{
    const ArchiveFile file(path);
    if (!file.isOpen())
        return notAFile();
    ArchivePointer reader = newReader();
    if (archive_read_open_fd(reader.get(), file.fd(), kReadBlockSize) != ARCHIVE_OK)
        return libraryError(reader.get());
    struct archive_entry* header = nullptr;
    for (;;) {
        const int status = archive_read_next_header(reader.get(), &header);
        if (status == ARCHIVE_EOF)
            return Error::posix(ENOENT, QStringLiteral("it holds no entry %1").arg(entryPath));
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            return libraryError(reader.get());
        if (normalisedPath(decodeFileName(storedPath(header))) == entryPath)
            break;
    }
    std::uint64_t copied = 0;
    for (;;) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return {};
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
            return libraryError(reader.get());
        copied += size;
        if (copied > maxBytes)
            return Error::posix(EFBIG, QStringLiteral("%1 is larger than %2 bytes").arg(entryPath).arg(maxBytes));
        if (out.write(static_cast<const char*>(block), qint64(size)) != qint64(size))
            return Error::posix(EIO, out.errorString());
    }
}

} // namespace platform
