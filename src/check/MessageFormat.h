// The one message formatter.
#pragma once

#include "check/MessageLogger.h"

namespace check {

// Fills a format from its arguments:
//   "%@"    the next argument's description ("(null)" for none or a missing one)
//   "%d"    the next argument as a number
//   "%1$@"  (and "%2$d", ...) the given argument, so a translation may reorder
//   "%%"    a per-cent sign
// Surplus arguments are ignored; anything else after "%" is kept as it stands.
// Arguments are escaped with report::escapeControlCharacters: they come from the file.
// A message longer than kMaxMessageLength is cut there and ends in "…" (and
// its line end, when the format has one): a strings table or rules file of
// someone else's could otherwise make one message as large as memory.
QString formatMessage(const QString& format, const FormatArgs& args);

// A finding's message: the strings table's text filled from the arguments as
// formatMessage does, or as it stands when there are none; without the line
// end the text may have, which the finding's line gives.
QString messageLine(const QString& text, const FormatArgs& args);

constexpr qsizetype kMaxMessageLength = 64 * 1024;

} // namespace check
