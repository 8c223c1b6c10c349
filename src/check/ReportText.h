// The report as plain text and as lines, for the command line: each icon
// becomes a word ("error:", "warning:", "note:"), bold may become terminal bold.
#pragma once

#include "check/TextStorage.h"

#include <QList>
#include <QString>

#include <span>

namespace check {

// "error", "warning" or "note" for an icon run (known by its image's name);
// an empty string for any other run.
QString severityOfRun(const StyledString& run);

// The runs as text; an icon becomes its severity and a colon. With ansiBold,
// bold runs are wrapped in the terminal's bold on and off sequences.
QString plainText(std::span<const StyledString> runs, bool ansiBold);

struct ReportLine {
    QString severity; // "heading", "error", "warning", "note", or "text"
    QString text;     // without the icon and its blank, without the line end
};

// The runs of one check as report lines: the heading's two lines (name, path),
// then one line per finding. The guard's caught-exception line, which has no
// icon, is an error; a line left open at the end counts; empty lines do not.
QList<ReportLine> reportLines(std::span<const StyledString> runs);

} // namespace check
