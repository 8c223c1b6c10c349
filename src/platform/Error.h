// An error value: a domain, an integer code and a text for the user.
#pragma once

#include <QString>

namespace platform {

// The domain of operating-system status codes (-43, -192, -193, ...).
inline const QString OSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");
// The domain of errors that the operating system reported as errno values.
inline const QString PosixErrorDomain = QStringLiteral("NSPOSIXErrorDomain");

struct Error {
    QString domain;
    long long code = 0;
    QString description; // what the user reads; may be empty for OS statuses

    // The description, or for an OS status without one, the text the strings
    // table gives for that status.
    QString localizedDescription() const;

    [[nodiscard]] static Error osStatus(int status) { return Error{OSStatusErrorDomain, status, {}}; }
};

} // namespace platform
