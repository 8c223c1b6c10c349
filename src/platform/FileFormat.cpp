#include "platform/FileFormat.h"

#include "platform/ByteSource.h"

namespace platform {

namespace {

struct Magic {
    QByteArrayView bytes;
    FileFormat kind;
};

const Magic kMagics[] = {
    {"xar!", FileFormat::Xar},
    {"AA01", FileFormat::AppleArchive},
    {"YAA1", FileFormat::AppleArchive},
    {"pbzx", FileFormat::Pbzx},
    {"070707", FileFormat::Cpio},   // portable ASCII
    {"070701", FileFormat::Cpio},   // new ASCII
    {"070702", FileFormat::Cpio},   // new ASCII with checksums
    {"\x71\xc7", FileFormat::Cpio}, // old binary, either byte order
    {"\xc7\x71", FileFormat::Cpio},
    {"7z\xbc\xaf\x27\x1c", FileFormat::SevenZip},
    {"Rar!\x1a\x07", FileFormat::Rar},
    {"\xfe\xed\xfa\xce", FileFormat::MachO},
    {"\xfe\xed\xfa\xcf", FileFormat::MachO},
    {"\xce\xfa\xed\xfe", FileFormat::MachO},
    {"\xcf\xfa\xed\xfe", FileFormat::MachO},
    {"%PDF-", FileFormat::Pdf},
    {"\x89PNG\r\n\x1a\n", FileFormat::Png},
};

} // namespace

FileFormat fileFormat(QByteArrayView firstBytes)
{
    for (const Magic& magic : kMagics) {
        if (firstBytes.startsWith(magic.bytes))
            return magic.kind;
    }
    // A universal binary shares its magic with Java's class files, whose next
    // word (a version) is never as small as an architecture count.
    if ((firstBytes.startsWith("\xca\xfe\xba\xbe") || firstBytes.startsWith("\xca\xfe\xba\xbf")) &&
        firstBytes.size() >= 8) {
        const auto byte = [&](int i) { return unsigned(static_cast<unsigned char>(firstBytes[i])); };
        const unsigned count = byte(4) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7);
        if (count > 0 && count < 45)
            return FileFormat::MachO;
    }
    return FileFormat::Unknown;
}

FileFormat fileFormatOfFile(const QString& path)
{
    const FileSource::Opened opened = FileSource::open(path);
    if (!opened.file)
        return FileFormat::Unknown;
    const Result<QByteArray> first =
        opened.file->read(0, std::min<std::uint64_t>(kFileFormatBytes, opened.file->size()));
    return first ? fileFormat(*first) : FileFormat::Unknown;
}

const char* fileFormatName(FileFormat kind)
{
    switch (kind) {
    case FileFormat::Unknown: return nullptr;
    case FileFormat::Xar: return "Xar";
    case FileFormat::AppleArchive: return "AppleArchive";
    case FileFormat::Pbzx: return "Pbzx";
    case FileFormat::Cpio: return "Cpio";
    case FileFormat::SevenZip: return "SevenZip";
    case FileFormat::Rar: return "Rar";
    case FileFormat::MachO: return "MachO";
    case FileFormat::Pdf: return "Pdf";
    case FileFormat::Png: return "Png";
    }
    return nullptr;
}

} // namespace platform
