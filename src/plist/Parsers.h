// The three format parsers behind plist::parse. Each reports its own errors
// with a position (line and column for text, object or offset for binary).
#pragma once

#include "plist/Parse.h"

#include <span>

namespace plist::detail {

ParseResult parseXml(const QByteArray& bytes, const ParseOptions& options = {});
ParseResult parseBinary(const QByteArray& bytes, const ParseOptions& options = {});
ParseResult parseOldStyle(const QString& text, const ParseOptions& options = {});

// The place of the value that the members lead to from the top object of a
// binary property list (already read whole), by the offsets of its objects.
std::optional<Positions::Place> findInBinary(const QByteArray& bytes, const Value& root, std::span<const int> members);

} // namespace plist::detail
