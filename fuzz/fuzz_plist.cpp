// Property-list reading on arbitrary bytes: every format, and the JSON dump of
// whatever was read. A failure must say why.
#include "plist/JsonWriter.h"
#include "plist/Parse.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Not copied, so that a read past the end is seen by AddressSanitizer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const plist::ParseResult result = plist::parse(bytes);
    if (result.ok() == !result.error.isEmpty())
        std::abort();
    if (result.ok())
        (void)plist::toJson(*result.value);
    return 0;
}
