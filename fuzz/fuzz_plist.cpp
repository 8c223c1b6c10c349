// Property-list reading on arbitrary bytes: every format, and the JSON dump of
// whatever was read. A failure must say why, and with a position that
// lies inside the input.
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
    const plist::ParseError& error = result.error;
    const bool failed = error.code != plist::ParseError::Code::None;
    if (result.ok() == failed || (failed && error.detail.isEmpty()))
        std::abort();
    // Offsets count bytes or decoded characters, never more than the bytes.
    if (error.offset < -1 || error.offset > static_cast<qint64>(size) || error.line < 0 || error.column < 0 ||
        (error.line == 0) != (error.column == 0))
        std::abort();
    if (result.ok())
        (void)plist::toJson(*result.value);
    return 0;
}
