// One line to the system log (syslog, kept by journald) and to stderr.
#pragma once

#include <QString>

namespace platform {

void Log(const QString& line);

} // namespace platform
