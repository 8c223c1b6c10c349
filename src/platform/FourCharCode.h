// Four-character codes (Finder types and creators, resource types): an
// unsigned 32-bit value whose first character is the most significant byte.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

using FourCharCode = std::uint32_t;

// The code of a four-letter ASCII literal: fourCharCode("plst") == 0x706C7374.
constexpr FourCharCode fourCharCode(const char (&text)[5])
{
    return (FourCharCode(static_cast<unsigned char>(text[0])) << 24) |
           (FourCharCode(static_cast<unsigned char>(text[1])) << 16) |
           (FourCharCode(static_cast<unsigned char>(text[2])) << 8) | FourCharCode(static_cast<unsigned char>(text[3]));
}

// One character per byte, most significant first; bytes below 0x80 are
// themselves, bytes above 0x7F are read as Mac OS Roman, as the Finder shows them.
QString stringFromFourCharCode(FourCharCode code);

// The inverse: exactly four characters, each ASCII or Mac OS Roman; none otherwise.
[[nodiscard]] std::optional<FourCharCode> fourCharCodeFromString(const QString& text);

} // namespace platform
