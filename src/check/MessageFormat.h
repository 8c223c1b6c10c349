// The one message formatter, and the escaping of text that comes from files.
#pragma once

#include "check/MessageLogger.h"

namespace check {

// Fills a format from its arguments:
//   "%@"    the next argument's description ("(null)" for none or a missing one)
//   "%d"    the next argument as a number
//   "%1$@"  (and "%2$d", ...) the given argument, so a translation may reorder
//   "%%"    a per-cent sign
// Surplus arguments are ignored; anything else after "%" is kept as it stands.
// Arguments are escaped with escapeControlCharacters: they come from the file.
QString formatMessage(const QString& format, const FormatArgs& args);

// Shows each control character as a visible escape ("\n", "\t", "\x1B", ...),
// so that no file can forge report lines or drive a terminal; a byte of a file
// name that is not UTF-8 shows as "\xFF".
QString escapeControlCharacters(const QString& text);

} // namespace check
