#include "platform/InstallerPackage.h"

#include <QXmlStreamReader>
#include <QtEndian>

#include <lzma.h>

#include <memory>

namespace platform {

namespace {

// pbzx: "pbzx", the largest chunk's unpacked size, then chunks of a flags
// word (bit 24: another chunk follows), a length, and that many bytes: an xz
// stream, or the chunk stored as it is.
constexpr quint64 kMoreChunks = 0x01000000;
constexpr quint64 kMaxChunkSize = 64 * 1024 * 1024;
constexpr std::uint64_t kXzMemoryLimit = 256 * 1024 * 1024;

std::optional<quint64> readWord(QIODevice& in)
{
    char bytes[8];
    if (in.read(bytes, 8) != 8)
        return std::nullopt;
    return qFromBigEndian<quint64>(bytes);
}

QString unpackXz(const QByteArray& chunk, QIODevice& out, quint64 chunkSize, std::uint64_t& written,
                 std::uint64_t maxOut)
{
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, kXzMemoryLimit, 0) != LZMA_OK)
        return QStringLiteral("the xz decoder could not start");
    const std::unique_ptr<lzma_stream, decltype(&lzma_end)> ending(&stream, &lzma_end);
    stream.next_in = reinterpret_cast<const uint8_t*>(chunk.constData());
    stream.avail_in = size_t(chunk.size());
    std::uint64_t unpacked = 0;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        stream.next_out = reinterpret_cast<uint8_t*>(buffer.data());
        stream.avail_out = size_t(buffer.size());
        const lzma_ret status = lzma_code(&stream, LZMA_FINISH);
        const std::uint64_t got = std::uint64_t(buffer.size()) - stream.avail_out;
        unpacked += got;
        written += got;
        if (unpacked > chunkSize)
            return QStringLiteral("a chunk unpacks to more than the %1 bytes its header allows").arg(chunkSize);
        if (written > maxOut)
            return QStringLiteral("it unpacks to more than %1 bytes").arg(maxOut);
        if (out.write(buffer.constData(), qint64(got)) != qint64(got))
            return out.errorString();
        if (status == LZMA_STREAM_END)
            return QString();
        if (status != LZMA_OK)
            return status == LZMA_BUF_ERROR ? QStringLiteral("an xz chunk is cut short")
                                            : QStringLiteral("an xz chunk is damaged");
    }
}

} // namespace

std::optional<PackageInfo> parsePackageInfo(const QByteArray& xml, QString* error)
{
    QXmlStreamReader reader(xml);
    std::optional<PackageInfo> info;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (!info) {
            if (reader.name() != QLatin1String("pkg-info")) {
                *error = QStringLiteral("its top element is <%1>, not <pkg-info>").arg(reader.name());
                return std::nullopt;
            }
            info.emplace();
            info->identifier = attributes.value(QLatin1String("identifier")).toString();
            info->version = attributes.value(QLatin1String("version")).toString();
            info->installLocation = attributes.value(QLatin1String("install-location")).toString();
            if (info->installLocation.isEmpty())
                info->installLocation = QStringLiteral("/");
        } else if (reader.name() == QLatin1String("bundle")) {
            QString path = attributes.value(QLatin1String("path")).toString();
            while (path.startsWith(QLatin1String("./")))
                path.remove(0, 2);
            info->bundles.append({path, attributes.value(QLatin1String("id")).toString(),
                                  attributes.value(QLatin1String("CFBundleShortVersionString")).toString()});
        }
    }
    if (reader.hasError()) {
        *error = QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
        return std::nullopt;
    }
    if (!info)
        *error = QStringLiteral("it holds no <pkg-info> element");
    return info;
}

bool isPbzx(QByteArrayView firstBytes)
{
    return firstBytes.startsWith("pbzx");
}

QString decodePbzx(QIODevice& in, QIODevice& out, std::uint64_t maxOut)
{
    const QString cut = QStringLiteral("it is cut short");
    if (!isPbzx(in.read(4)))
        return QStringLiteral("it does not begin with \"pbzx\"");
    const std::optional<quint64> chunkSize = readWord(in);
    if (!chunkSize)
        return cut;
    if (*chunkSize == 0 || *chunkSize > kMaxChunkSize)
        return QStringLiteral("its chunk size %1 is out of bounds").arg(*chunkSize);
    std::uint64_t written = 0;
    quint64 flags = *chunkSize;
    while (flags & kMoreChunks) {
        const std::optional<quint64> nextFlags = readWord(in);
        const std::optional<quint64> length = nextFlags ? readWord(in) : std::nullopt;
        if (!length)
            return cut;
        if (*length > *chunkSize + 1024)
            return QStringLiteral("a chunk of %1 bytes is longer than the chunk size allows").arg(*length);
        const QByteArray chunk = in.read(qint64(*length));
        if (quint64(chunk.size()) != *length)
            return cut;
        if (chunk.startsWith("\xfd"
                             "7zXZ")) {
            const QString why = unpackXz(chunk, out, *chunkSize, written, maxOut);
            if (!why.isEmpty())
                return why;
        } else {
            written += *length;
            if (written > maxOut)
                return QStringLiteral("it unpacks to more than %1 bytes").arg(maxOut);
            if (out.write(chunk) != chunk.size())
                return out.errorString();
        }
        flags = *nextFlags;
    }
    return QString();
}

} // namespace platform
