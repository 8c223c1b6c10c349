#include "check/MessageLogger.h"

#include "platform/Bundle.h"

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
        const QString text = bundle.localizedString(QString::fromLatin1(messageKey));
        known = mTexts.emplace(messageKey, QString(text.constData(), text.size())).first;
    }
    return known->second;
}

} // namespace check
