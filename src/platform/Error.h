// One error value for every layer, and a value-or-error for what a function
// gives back. Both must be looked at: dropping either does not compile with
// warnings as errors.
#pragma once

#include "platform/OSStatus.h"

#include <QString>

#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>

namespace platform {

// Operating-system status codes (-43, -192, -193, ...), told in the strings
// table's words.
const std::error_category& osStatusCategory();
inline std::error_code osStatusCode(OSStatus status)
{
    return {status, osStatusCategory()};
}

struct [[nodiscard]] Error {
    // errno values in std::generic_category(), OS statuses in osStatusCategory().
    std::error_code code;
    QString detail; // what the user reads; empty when the code's own text serves
    QString where;  // the place it concerns (a line of a file), when the text does not name it

    // The detail, else the code's text.
    QString localizedDescription() const;
    // The description after the place, when there is one: "line 2: ...".
    QString text() const;

    static Error osStatus(OSStatus status) { return Error{osStatusCode(status), {}, {}}; }
    // An errno value, with the system's text unless another is given.
    static Error posix(int error, QString detail = {});
};

// The text of a code its category has no words for.
std::string unexplainedCodeText(const char* category, int code);

// The same error as the status the resource reader reports: an errno value
// becomes the status the system's failure stands for.
Error asOSStatus(const Error& error);

// A value, or the error that kept the function from it.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : mValue(std::move(value)) {}
    Result(Error error) : mValue(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(mValue); }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    T& value() { return std::get<T>(mValue); }
    const T& value() const { return std::get<T>(mValue); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    // Only when !ok().
    const Error& error() const { return std::get<Error>(mValue); }
    // The value, or none; the error is let go on purpose.
    std::optional<T> take() &&
    {
        if (!ok())
            return std::nullopt;
        return std::move(value());
    }

private:
    std::variant<T, Error> mValue;
};

// Success, or the error.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : mError(std::move(error)) {}

    bool ok() const { return !mError; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *mError; }

private:
    std::optional<Error> mError;
};

} // namespace platform
