#include "platform/Error.h"

#include "platform/Bundle.h"

#include <cstring>

namespace platform {

namespace {

class OSStatusCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "NSOSStatusErrorDomain"; }
    std::string message(int status) const override
    {
        // The strings table holds a text for each status the reader reports.
        const QString key = QStringLiteral("OSStatus%1").arg(status);
        const QString text = Bundle::main().localizedString(key);
        return text != key ? text.toStdString() : unexplainedCodeText(name(), status);
    }
};

} // namespace

const std::error_category& osStatusCategory()
{
    static const OSStatusCategory category;
    return category;
}

std::string unexplainedCodeText(const char* category, int code)
{
    return QStringLiteral("The operation couldn't be completed (%1 error %2).")
        .arg(QLatin1String(category))
        .arg(code)
        .toStdString();
}

Error Error::posix(int error, QString detail)
{
    if (detail.isEmpty())
        detail = QString::fromLocal8Bit(std::strerror(error));
    return Error{std::error_code(error, std::generic_category()), std::move(detail), {}};
}

QString Error::localizedDescription() const
{
    return detail.isEmpty() ? QString::fromStdString(code.message()) : detail;
}

QString Error::text() const
{
    return where.isEmpty() ? localizedDescription() : where + QStringLiteral(": ") + localizedDescription();
}

Error asOSStatus(const Error& error)
{
    if (error.code.category() == std::generic_category())
        return Error::osStatus(statusFromErrno(error.code.value()));
    return error;
}

} // namespace platform
