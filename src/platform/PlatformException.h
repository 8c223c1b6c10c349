// The platform's exceptions are C++ exceptions derived from std::exception.
// Ours carry a name; for any other std::exception the demangled type name serves.
#pragma once

#include <QString>

#include <exception>
#include <string>

namespace platform {

class PlatformException : public std::exception {
public:
    PlatformException(QString name, QString reason)
        : mName(std::move(name)), mReason(std::move(reason)), mWhat(mReason.toStdString())
    {
    }
    const QString& name() const { return mName; }
    const QString& reason() const { return mReason; }
    const char* what() const noexcept override { return mWhat.c_str(); }

private:
    QString mName;
    QString mReason;
    std::string mWhat;
};

// The name of a caught exception: its own name, or its demangled type name.
QString exceptionName(const std::exception& e);
// Its reason: what() as text.
QString exceptionReason(const std::exception& e);

} // namespace platform
