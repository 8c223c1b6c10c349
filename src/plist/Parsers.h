// The three format parsers behind plist::parse. Each reports its own errors
// with a position (line and column for text, object or offset for binary).
#pragma once

#include "plist/Parse.h"

namespace plist::detail {

ParseResult parseXml(const QByteArray& bytes);
ParseResult parseBinary(const QByteArray& bytes);
ParseResult parseOldStyle(const QString& text);

} // namespace plist::detail
