#include "check/PlistDataReader.h"

namespace check {

std::optional<QByteArray> PlistDataReader::readURL(const QUrl&, platform::Error* error, std::uint32_t& fileType,
                                                   std::uint32_t& creator)
{
    fileType = creator = 0;
    if (error)
        *error = platform::Error::osStatus(-43);
    return std::nullopt;
}

}  // namespace check
