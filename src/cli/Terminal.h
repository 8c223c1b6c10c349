// What the command line makes of the terminal it writes to, and of options
// it does not know.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

// Whether the report on fd gets the terminal's colours and bold, for
// --color auto, always or never; nothing for another word. Auto colours a
// terminal only, and neither with NO_COLOR set (not empty) nor with TERM=dumb.
std::optional<bool> colorWanted(const QString& choice, int fd);

// The known option (without its dashes) that the unknown one most likely
// meant, or nothing when none is near.
QString nearestOption(const QString& unknown, const QStringList& known);

} // namespace cli
