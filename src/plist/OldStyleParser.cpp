#include "plist/Parsers.h"

namespace plist::detail {

ParseResult parseOldStyle(const QString&)
{
    ParseResult r;
    r.format = Format::OldStyle;
    r.error = QStringLiteral("old-style property lists are not supported yet");
    return r;
}

}  // namespace plist::detail
