// Archives made in memory for the tests, through libarchive's writer, and the
// files of a folder on disk as archive items, so that a product can be
// checked both unpacked and packed.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <unistd.h>

namespace testing_archives {

struct Item {
    enum Kind { File, Folder, Link };
    QString path;
    Kind kind = File;
    QByteArray bytes; // a file's contents, a link's target
    int mode = 0644;
    qsizetype zeros = 0; // a file's zeros after its bytes
};

enum class Format { Zip, Tar, TarGz, TarBz2, TarXz, Xar, Cpio, CpioGz };

inline const char* formatName(Format format)
{
    static const char* const names[] = {"zip", "tar", "tar.gz", "tar.bz2", "tar.xz", "xar", "cpio", "cpio.gz"};
    return names[int(format)];
}

inline la_ssize_t appendTo(struct archive*, void* out, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(buffer), qsizetype(length));
    return la_ssize_t(length);
}

// The items as an archive; a file item of more than its bytes (zeros) when
// zeros is set for it (or for the last, zerosAfterLast), written block by
// block so the test stays small in memory.
inline QByteArray makeArchive(Format format, const QList<Item>& items, qsizetype zerosAfterLast = 0)
{
    QByteArray out;
    const bool cpio = format == Format::Cpio || format == Format::CpioGz;
    std::unique_ptr<struct archive, decltype(&archive_write_free)> writer(archive_write_new(), &archive_write_free);
    // The format's name: its archive format, then the filter it is compressed with.
    const QList<QByteArray> name = QByteArray(formatName(format)).split('.');
    const QByteArray base = name[0], filter = name.value(1);
    archive_write_set_format_by_name(writer.get(), base == "tar" ? "paxr" : cpio ? "newc" : base.constData());
    if (!filter.isEmpty())
        archive_write_add_filter_by_name(writer.get(), filter == "gz" ? "gzip" : filter == "bz2" ? "bzip2" : "xz");
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    archive_write_open(writer.get(), &out, nullptr, appendTo, nullptr);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        const qsizetype zeros = item.zeros + (i + 1 == items.size() ? zerosAfterLast : 0);
        std::unique_ptr<struct archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                                   &archive_entry_free);
        const QByteArray path = item.path.toUtf8();
        archive_entry_set_pathname(entry.get(), path.constData());
        archive_entry_set_perm(entry.get(), mode_t(item.mode));
        if (item.kind == Item::Folder) {
            archive_entry_set_filetype(entry.get(), AE_IFDIR);
        } else if (item.kind == Item::Link) {
            archive_entry_set_filetype(entry.get(), AE_IFLNK);
            archive_entry_set_symlink(entry.get(), item.bytes.constData());
            if (cpio) // which keeps a link's target as its data
                archive_entry_set_size(entry.get(), item.bytes.size());
        } else {
            archive_entry_set_filetype(entry.get(), AE_IFREG);
            archive_entry_set_size(entry.get(), item.bytes.size() + zeros);
        }
        archive_write_header(writer.get(), entry.get());
        if (cpio && item.kind == Item::Link)
            archive_write_data(writer.get(), item.bytes.constData(), size_t(item.bytes.size()));
        if (item.kind == Item::File) {
            archive_write_data(writer.get(), item.bytes.constData(), size_t(item.bytes.size()));
            const QByteArray block(1024 * 1024, '\0');
            for (qsizetype left = zeros; left > 0; left -= block.size())
                archive_write_data(writer.get(), block.constData(), size_t(std::min(left, block.size())));
        }
    }
    archive_write_close(writer.get());
    return out;
}

// Everything under folder, as items whose paths start with its name.
inline QList<Item> itemsOfFolder(const QString& folder)
{
    QList<Item> items;
    const QDir base = QFileInfo(folder).dir();
    items.append({QFileInfo(folder).fileName(), Item::Folder, {}, 0755});
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        Item item;
        item.path = base.relativeFilePath(info.filePath());
        item.mode = int(QFile::permissions(info.filePath()) & QFileDevice::ExeOwner ? 0755 : 0644);
        if (info.isSymLink()) {
            item.kind = Item::Link;
            QByteArray target(4096, '\0');
            const ssize_t length = ::readlink(QFile::encodeName(info.filePath()).constData(), target.data(), 4095);
            item.bytes = target.left(qsizetype(std::max<ssize_t>(length, 0)));
        } else if (info.isDir()) {
            item.kind = Item::Folder;
            item.mode = 0755;
        } else {
            QFile file(info.filePath());
            if (file.open(QIODevice::ReadOnly))
                item.bytes = file.readAll();
        }
        items.append(item);
    }
    return items;
}

} // namespace testing_archives
