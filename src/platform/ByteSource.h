// Bounded reads from untrusted bytes: a file (or a range of one) or a buffer.
// Every read states its offset and length; a range past the end is an error,
// never a partial or unchecked read.
#pragma once

#include "platform/Error.h"
#include "platform/OSStatus.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace platform {

// Property lists are small: a file or archive entry larger than this is
// refused rather than loaded.
constexpr std::uint64_t kMaxPropertyListSize = 256 * 1024 * 1024;

// True when [offset, offset + length) lies within size bytes; overflow-free.
constexpr bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size)
{
    return offset <= size && length <= size - offset;
}

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Exactly length bytes from offset; else the status eofErr when the range
    // passes the end, memFullErr when it is too long to hold, or the system's
    // errno when reading fails.
    virtual Result<QByteArray> read(std::uint64_t offset, std::uint64_t length) const = 0;
    // The range [offset, offset + length) as a source of its own; the caller
    // has checked that it fits.
    [[nodiscard]] virtual std::unique_ptr<ByteSource> slice(std::uint64_t offset, std::uint64_t length) const = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(QByteArray bytes) : mBytes(std::move(bytes)) {}
    std::uint64_t size() const override { return std::uint64_t(mBytes.size()); }
    Result<QByteArray> read(std::uint64_t offset, std::uint64_t length) const override;
    [[nodiscard]] std::unique_ptr<ByteSource> slice(std::uint64_t offset, std::uint64_t length) const override;

private:
    QByteArray mBytes;
};

// A regular file opened read-only. Anything else (a directory, a pipe, a
// device, a socket) is refused before it is opened, so no read can block.
class FileSource : public ByteSource {
public:
    struct Opened {
        std::unique_ptr<FileSource> file; // set on success
        int error = 0;                    // errno when the system refused
        bool notRegular = false;          // the path names something other than a file
        bool isDirectory = false;
    };
    // What the caller has just seen at the path, links followed.
    enum class Seen { Nothing, RegularFile };
    // With Seen::RegularFile the look before opening is not repeated; what
    // was opened is looked at all the same.
    [[nodiscard]] static Opened open(const QString& path, Seen seen = Seen::Nothing);
    // The file at relative ("/"-separated parts, no "..") below folder, taken
    // part by part from folder so that no symbolic link on the way or at the
    // end is followed: one there is refused with ELOOP. Links on the way to
    // folder itself are followed.
    [[nodiscard]] static Opened openBeneath(const QString& folder, const QString& relative, Seen seen = Seen::Nothing);

    std::uint64_t size() const override { return mSize; }
    Result<QByteArray> read(std::uint64_t offset, std::uint64_t length) const override;
    [[nodiscard]] std::unique_ptr<ByteSource> slice(std::uint64_t offset, std::uint64_t length) const override;
    // Everything up to the end of the file, however large the file says it is
    // (files of /proc and /sys say 0); else the status memFullErr when there
    // is more than limit bytes, or the system's errno when reading fails.
    Result<QByteArray> readToEnd(std::uint64_t limit) const;

private:
    struct Descriptor;
    FileSource(std::shared_ptr<Descriptor> fd, std::uint64_t base, std::uint64_t size);

    std::shared_ptr<Descriptor> mFd;
    std::uint64_t mBase = 0;
    std::uint64_t mSize = 0;
};

// Big-endian numbers at an offset of a buffer; the caller has checked the range.
inline std::uint16_t readBE16(const QByteArray& bytes, qsizetype offset)
{
    return std::uint16_t((std::uint8_t(bytes[offset]) << 8) | std::uint8_t(bytes[offset + 1]));
}

inline std::uint32_t readBE32(const QByteArray& bytes, qsizetype offset)
{
    return (std::uint32_t(readBE16(bytes, offset)) << 16) | readBE16(bytes, offset + 2);
}

} // namespace platform
