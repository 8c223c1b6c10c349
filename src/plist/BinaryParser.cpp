#include "plist/Parsers.h"

namespace plist::detail {

ParseResult parseBinary(const QByteArray&)
{
    ParseResult r;
    r.format = Format::Binary;
    r.error = QStringLiteral("binary property lists are not supported yet");
    return r;
}

}  // namespace plist::detail
