#include "plist/Parsers.h"

namespace plist::detail {

ParseResult parseXml(const QByteArray&)
{
    ParseResult r;
    r.format = Format::Xml;
    r.error = QStringLiteral("XML property lists are not supported yet");
    return r;
}

}  // namespace plist::detail
