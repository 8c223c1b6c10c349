// What a file is, told by its first bytes: the kinds a product's files come
// in that hold no property list the checker reads as they are.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace platform {

enum class FileFormat { Unknown, Xar, AppleArchive, Pbzx, Cpio, SevenZip, Rar, MachO, Pdf, Png };

// How many first bytes fileKind needs to tell every kind.
constexpr qsizetype kFileFormatBytes = 8;

FileFormat fileFormat(QByteArrayView firstBytes);
// Of a regular file's first bytes; Unknown when it cannot be read.
FileFormat fileFormatOfFile(const QString& path);

// The format's name in the strings table's keys ("Hint-Format-Pdf", "Hint-FormatFix-Pdf"); null for Unknown.
const char* fileFormatName(FileFormat kind);

} // namespace platform
