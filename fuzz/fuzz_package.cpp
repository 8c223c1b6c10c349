// The readers of installer packages' parts on arbitrary bytes: the pbzx
// decoder must end, never writing past its limit, and a PackageInfo must be
// read or refused with a reason.
#include "platform/InstallerPackage.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    constexpr std::uint64_t kMaxOut = 4 * 1024 * 1024;
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    (void)platform::decodePbzx(in, out, kMaxOut);
    if (std::uint64_t(out.data().size()) > kMaxOut)
        std::abort();

    QString why;
    if (!platform::parsePackageInfo(bytes, &why) && why.isEmpty())
        std::abort();
    return 0;
}
