#include "report/Finding.h"

namespace report {

QString severityName(Severity severity)
{
    switch (severity) {
    case Severity::Error: return QStringLiteral("error");
    case Severity::Warning: return QStringLiteral("warning");
    case Severity::Note: return QStringLiteral("note");
    }
    return {};
}

std::optional<Severity> severityFromName(const QString& name)
{
    for (Severity severity : {Severity::Error, Severity::Warning, Severity::Note})
        if (name == severityName(severity))
            return severity;
    return std::nullopt;
}

} // namespace report
