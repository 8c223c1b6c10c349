// The report as plain text and as lines, for the command line: the icon that
// opens a finding becomes the finding's severity ("error:", "warning:",
// "note:"), coloured on a terminal, and bold may become terminal bold.
#pragma once

#include "report/TextStorage.h"

#include <QJsonObject>
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

// A finding as one object of the JSON lines form: the file as given, the file
// it was read from (inside a product, the Info.plist of the bundle it is
// about), the severity and the text, and the finding's own members.
QJsonObject jsonLine(const Finding& finding, const QString& file);

} // namespace report
