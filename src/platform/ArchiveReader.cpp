#include "platform/ArchiveReader.h"

#include "platform/FileUrl.h"

#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <sys/stat.h>

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
    // Only the filters built into the library: the others would run programs.
    archive_read_support_filter_gzip(reader.get());
    archive_read_support_filter_bzip2(reader.get());
    archive_read_support_filter_xz(reader.get());
    return reader;
}

QString libraryError(struct archive* reader)
{
    const char* text = archive_error_string(reader);
    return text ? QString::fromUtf8(text) : QStringLiteral("the archive is damaged");
}

QString entryPathName(struct archive_entry* entry)
{
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    const char* raw = archive_entry_pathname(entry);
    return raw ? decodeFileName(raw) : QString();
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

class Reading {
public:
    Reading(struct archive* reader, const ArchiveWanted& wanted, const ArchiveLimits& limits)
        : mReader(reader), mWanted(wanted), mLimits(limits)
    {
    }

    ArchiveContents run()
    {
        struct archive_entry* header = nullptr;
        for (;;) {
            const int status = archive_read_next_header(mReader, &header);
            if (status == ARCHIVE_EOF)
                break;
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
                return failed(libraryError(mReader));
            if (std::uint64_t(mContents.entries.size()) >= mLimits.maxEntries)
                return failed(QStringLiteral("it holds more than %1 entries").arg(mLimits.maxEntries));
            if (!addEntry(header))
                return std::move(mContents);
        }
        return std::move(mContents);
    }

private:
    ArchiveContents failed(const QString& why)
    {
        mContents.error = why;
        return std::move(mContents);
    }

    // False when the archive cannot be read on (the error is set).
    bool addEntry(struct archive_entry* header)
    {
        const QString stored = entryPathName(header);
        const std::optional<QString> path = normalisedPath(stored);
        if (!path) {
            mContents.error = QStringLiteral("the entry \"%1\" has an absolute path or one that climbs out with "
                                             "\"..\"; a product's archive holds neither")
                                  .arg(stored);
            return false;
        }
        if (path->isEmpty()) // "./" itself
            return true;

        ArchiveEntry entry;
        entry.path = *path;
        entry.kind = entryKind(header);
        entry.mode = std::uint32_t(archive_entry_perm(header));
        if (entry.kind == ArchiveEntryKind::Link) {
            if (const char* target = archive_entry_symlink_utf8(header))
                entry.linkTarget = QString::fromUtf8(target);
            else if (const char* raw = archive_entry_symlink(header))
                entry.linkTarget = decodeFileName(raw);
        }
        // A hard link is the same file as an earlier entry.
        if (const char* hardLink = archive_entry_hardlink(header)) {
            const std::optional<QString> earlier = normalisedPath(QString::fromUtf8(hardLink));
            if (const ArchiveEntry* original = earlier ? mContents.find(*earlier) : nullptr) {
                entry.kind = original->kind;
                entry.bytes = original->bytes;
                entry.tooLarge = original->tooLarge;
            }
        } else if (entry.kind == ArchiveEntryKind::File) {
            const bool sizeStated = archive_entry_size_is_set(header) && archive_entry_size(header) >= 0;
            const std::uint64_t size = sizeStated ? std::uint64_t(archive_entry_size(header)) : 0;
            const bool keep = mWanted && mWanted(entry.path, size);
            if (keep && size > mLimits.maxEntrySize)
                entry.tooLarge = true;
            if (!readData(entry, keep && !entry.tooLarge))
                return false;
        }
        store(std::move(entry));
        return true;
    }

    // Reads the entry's data when it is kept, or when skipping would unpack it
    // all the same (a compressed stream): then every byte counts against the
    // limit. Uncompressed and zip data that is not kept is skipped unread.
    bool readData(ArchiveEntry& entry, bool keep)
    {
        const bool streamCompressed = archive_filter_count(mReader) > 1;
        if (!keep && !streamCompressed)
            return true;
        QByteArray kept;
        char block[kReadBlockSize];
        for (;;) {
            const la_ssize_t got = archive_read_data(mReader, block, sizeof block);
            if (got == 0)
                break;
            if (got < 0) {
                mContents.error = libraryError(mReader);
                return false;
            }
            mTotalBytes += std::uint64_t(got);
            if (mTotalBytes > mLimits.maxTotalBytes) {
                mContents.error =
                    QStringLiteral("it unpacks to more than %1 bytes, more than any product's archive should")
                        .arg(mLimits.maxTotalBytes);
                return false;
            }
            if (!keep)
                continue;
            if (std::uint64_t(kept.size()) + std::uint64_t(got) > mLimits.maxEntrySize) {
                // Refused; what remains is skipped (or, compressed, counted).
                entry.tooLarge = true;
                kept.clear();
                keep = false;
                if (!streamCompressed)
                    return true;
                continue;
            }
            kept.append(block, qsizetype(got));
        }
        if (keep)
            entry.bytes = std::move(kept);
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
    const ArchiveWanted& mWanted;
    const ArchiveLimits& mLimits;
    ArchiveContents mContents;
    std::uint64_t mTotalBytes = 0;
};

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

ArchiveContents readArchive(const QString& path, const ArchiveWanted& wanted, const ArchiveLimits& limits)
{
    const QByteArray native = encodeFileName(path);
    // Only a regular file: a pipe or a device could block or never end.
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        ArchiveContents contents;
        contents.error = QStringLiteral("it is no regular file that can be read");
        return contents;
    }
    ArchivePointer reader = newReader();
    if (archive_read_open_filename(reader.get(), native.constData(), kReadBlockSize) != ARCHIVE_OK) {
        ArchiveContents contents;
        contents.error = libraryError(reader.get());
        return contents;
    }
    return Reading(reader.get(), wanted, limits).run();
}

ArchiveContents readArchiveFromMemory(const QByteArray& bytes, const ArchiveWanted& wanted, const ArchiveLimits& limits)
{
    ArchivePointer reader = newReader();
    if (archive_read_open_memory(reader.get(), bytes.constData(), size_t(bytes.size())) != ARCHIVE_OK) {
        ArchiveContents contents;
        contents.error = libraryError(reader.get());
        return contents;
    }
    return Reading(reader.get(), wanted, limits).run();
}

} // namespace platform
