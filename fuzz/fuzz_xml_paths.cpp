// The two XML readers on the same bytes: whenever the fast reader accepts a
// document, the full reader (QXmlStreamReader) must accept it too, with the
// same value, key order and duplicates.
#include "plist/JsonWriter.h"
#include "plist/Parse.h"
#include "plist/XmlCommon.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Not copied, so that a read past the end is seen by AddressSanitizer.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<plist::ParseResult> fast = plist::detail::parseXmlFast(bytes);
    if (!fast)
        return 0;
    const plist::ParseResult full = plist::detail::parseXmlFull(bytes);
    if (!fast->ok() || fast->error != plist::ParseError()) {
        std::fprintf(stderr, "the fast reader gave neither a value nor way to the full reader\n");
        std::abort();
    }
    if (!full.ok()) {
        std::fprintf(stderr, "accepted by the fast reader only; the full reader says: %s\n",
                     qPrintable(full.errorText()));
        std::abort();
    }
    const QByteArray fastJson = plist::toJson(*fast->value);
    const QByteArray fullJson = plist::toJson(*full.value);
    if (fastJson != fullJson || !(*fast->value == *full.value)) {
        std::fprintf(stderr, "values differ:\nfast: %s\nfull: %s\n", fastJson.constData(), fullJson.constData());
        std::abort();
    }
    if (fast->duplicates != full.duplicates) {
        std::fprintf(stderr, "duplicates differ: %lld against %lld\n", static_cast<long long>(fast->duplicates.size()),
                     static_cast<long long>(full.duplicates.size()));
        for (const auto& list : {fast->duplicates, full.duplicates})
            for (const plist::DuplicateKey& d : list)
                std::fprintf(stderr, "  %s in '%s' line %d\n", qPrintable(d.key), qPrintable(d.keyPath), d.line);
        std::abort();
    }
    return 0;
}
