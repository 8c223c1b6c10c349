// What --explain ID and --list-findings print: the catalogue of findings, in
// the terminal or as JSON lines.
#pragma once

#include <QByteArray>
#include <QString>

namespace cli {

// The entry of the finding so named, as text; an empty string for an ID the
// catalogue does not hold, with the reason in problem (and the nearest ID).
QString explanation(const QString& id, QString& problem);

// Every finding's ID, severity and title: in columns, or one JSON object a line.
QByteArray findingList(bool json);

} // namespace cli
