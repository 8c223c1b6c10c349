#include "platform/Log.h"
#include "platform/PlatformException.h"

#include <cxxabi.h>
#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace platform {

void Log(const QString& line)
{
    const QByteArray utf8 = line.toUtf8();
    syslog(LOG_NOTICE, "%s", utf8.constData());
    std::fprintf(stderr, "%s\n", utf8.constData());
    std::fflush(stderr);
}

QString exceptionName(const std::exception& e)
{
    if (const auto* ours = dynamic_cast<const PlatformException*>(&e))
        return ours->name();
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

QString exceptionReason(const std::exception& e)
{
    if (const auto* ours = dynamic_cast<const PlatformException*>(&e))
        return ours->reason();
    return QString::fromUtf8(e.what());
}

} // namespace platform
