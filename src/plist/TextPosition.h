// Positioned error texts, shared by the two text parsers.
#pragma once

#include <QString>

namespace plist::detail {

// "line 3, column 7: what is wrong"; lines and columns count from 1.
inline QString errorAt(qint64 line, qint64 column, const QString& problem)
{
    return QStringLiteral("line %1, column %2: %3").arg(line).arg(column).arg(problem);
}

} // namespace plist::detail
