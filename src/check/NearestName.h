// The name a mistyped one most likely meant, by the measure of a misspelt key.
#pragma once

#include <QString>

#include <functional>

namespace check {

// The index of the candidate (of count, named by nameAt) whose letters lie
// within two of name's, letter case aside, the nearest first; -1 when none
// does. Names of one letter are never offered: any one is near anything.
qsizetype NearestName(const QString& name, qsizetype count, const std::function<QString(qsizetype)>& nameAt);

} // namespace check
