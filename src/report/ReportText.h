// The report as plain text and as lines, for the command line: the icon that
// opens a finding becomes the finding's severity ("error:", "warning:",
// "note:"), coloured on a terminal, and bold may become terminal bold.
#pragma once

#include "report/TextStorage.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <functional>

namespace report {

// Which findings a rendering shows; an empty filter shows all. The runs of a
// finding not shown are left out whole, line end included.
using FindingFilter = std::function<bool(const Finding&)>;

// The runs [firstRun, endRun) of the report as text; the icon that opens a
// finding becomes its severity and a colon, any other image "[image]". With
// ansi, the severity is coloured and bold runs are made bold, in the
// terminal's escape sequences.
QString plainText(const TextStorage& report, qsizetype firstRun, qsizetype endRun, bool ansi,
                  const FindingFilter& shown = {});

struct ReportLine {
    QString severity;                 // "heading", "error", "warning", "note", or "text"
    QString text;                     // without the icon and its blank, without the line end
    const Finding* finding = nullptr; // the finding it shows, if any
};

// The runs [firstRun, endRun) of one check as report lines: the heading's two
// lines (name, path), then one line per finding. Other text makes lines of
// its own ("text"); empty lines do not count.
QList<ReportLine> reportLines(const TextStorage& report, qsizetype firstRun, qsizetype endRun,
                              const FindingFilter& shown = {});

// A line as one object of the JSON lines form: the file as given, the file
// read, the severity and the text, and a finding's own members. A finding
// names the file it was read from itself (inside a product, the Info.plist
// of the bundle it is about); other lines take the one given.
QJsonObject jsonLine(const ReportLine& line, const QString& file, const QString& read);

} // namespace report
