// Text that comes from files (values, keys, file names) shown safely.
#pragma once

#include <QString>

namespace report {

// Shows each control character as a visible escape ("\n", "\t", "\x1B", ...),
// so that no file can forge report lines or drive a terminal; a byte of a file
// name that is not UTF-8 shows as "\xFF".
QString escapeControlCharacters(const QString& text);

// A part of text short enough to quote in a message about it: its first
// maxLength characters, escaped as above, with "…" when there was more.
QString escapedExcerpt(const QString& text, qsizetype maxLength = 60);

} // namespace report
