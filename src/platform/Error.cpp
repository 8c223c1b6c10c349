#include "platform/Error.h"

#include "platform/Bundle.h"

namespace platform {

QString Error::localizedDescription() const
{
    if (!description.isEmpty())
        return description;
    if (domain == OSStatusErrorDomain) {
        // The strings table holds a text for each status the reader reports.
        const QString key = QStringLiteral("OSStatus%1").arg(code);
        const QString text = Bundle::main().localizedString(key);
        if (text != key)
            return text;
    }
    return QStringLiteral("The operation couldn't be completed (%1 error %2).").arg(domain).arg(code);
}

} // namespace platform
