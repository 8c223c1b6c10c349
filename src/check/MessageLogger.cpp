#include "check/MessageLogger.h"

#include "platform/Bundle.h"
#include "report/Escaping.h"

namespace check {

void MessageLogger::appendMessageWithArgs(const char* messageKey, const QString& keyPath, const FormatArgs& args)
{
    (void)keyPath;
    const QString& text = messageText(messageKey);
    if (args.isEmpty())
        appendString(text);
    else
        appendWithFormat(text, args);
}

const QString& MessageLogger::messageText(const char* messageKey)
{
    const platform::Bundle& bundle = platform::Bundle::main();
    if (const int generation = bundle.stringsGeneration(); generation != mTextsGeneration) {
        mTexts.clear();
        mTextsGeneration = generation;
    }
    auto known = mTexts.find(std::string_view(messageKey));
    if (known == mTexts.end()) {
        const QString key = QString::fromLatin1(messageKey);
        QString text = bundle.localizedString(key);
        if (!bundle.stringsBuiltIn()) {
            // A table from outside could forge report lines (a "::set-env" line
            // for a CI log) or merge them: its control characters are escaped,
            // and it ends its line where the built-in text does.
            const bool endsLine = platform::Bundle::builtInString(key).endsWith(QLatin1Char('\n'));
            if (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
            text = report::escapeControlCharacters(text);
            if (endsLine)
                text += QLatin1Char('\n');
        }
        known = mTexts.emplace(messageKey, QString(text.constData(), text.size())).first;
    }
    return known->second;
}

} // namespace check
