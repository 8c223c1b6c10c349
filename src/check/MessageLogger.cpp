#include "check/MessageLogger.h"

#include "platform/Bundle.h"

namespace check {

void MessageLogger::appendMessageWithArgs(const char* messageKey, const QString& keyPath, const FormatArgs& args)
{
    (void)keyPath;
    const QString text = platform::Bundle::main().localizedString(QString::fromLatin1(messageKey));
    if (args.isEmpty())
        appendString(text);
    else
        appendWithFormat(text, args);
}

} // namespace check
