// Positioned errors, shared by the text parsers.
#pragma once

#include "plist/Parse.h"

namespace plist::detail {

// An error at a place of a text; lines and columns count from 1.
inline ParseError errorAt(ParseError::Code code, qint64 offset, qint64 line, qint64 column, const QString& problem)
{
    return ParseError{code, offset, static_cast<int>(line), static_cast<int>(column), problem};
}

} // namespace plist::detail
