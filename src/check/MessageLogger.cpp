#include "check/MessageLogger.h"

#include "check/MessageFormat.h"
#include "platform/Bundle.h"
#include "report/Escaping.h"

#include <utility>

namespace check {

void MessageLogger::addFinding(report::Finding finding, const FindingLine& line)
{
    completeFinding(finding, line);
    recordFinding(std::move(finding));
}

void MessageLogger::completeFinding(report::Finding& finding, const FindingLine& line)
{
    QString text;
    if (line.lead)
        text = messageLine(messageText(report::nameOf(*line.lead)), line.leadArgs);
    const QByteArray key = finding.messageKey.toLatin1();
    text += messageLine(messageText(std::string_view(key.constData(), static_cast<std::size_t>(key.size()))),
                        finding.arguments);
    finding.text = text + line.hints;
    if (line.lead)
        finding.arguments = line.leadArgs + finding.arguments;
}

QString MessageLogger::hint(const char* textKey, const FormatArgs& args)
{
    return formatMessage(messageText(textKey), args);
}

const QString& MessageLogger::messageText(std::string_view messageKey)
{
    const platform::Bundle& bundle = platform::Bundle::main();
    if (const int generation = bundle.stringsGeneration(); generation != mTextsGeneration) {
        mTexts.clear();
        mTextsGeneration = generation;
    }
    auto known = mTexts.find(messageKey);
    if (known == mTexts.end()) {
        const QString key = QString::fromLatin1(messageKey.data(), static_cast<qsizetype>(messageKey.size()));
        QString text = bundle.localizedString(key);
        // The finding's call ends its line, not the text.
        if (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        // A table from outside could forge report lines (a "::set-env" line
        // for a CI log) or merge them: its control characters are escaped.
        if (!bundle.stringsBuiltIn())
            text = report::escapeControlCharacters(text);
        known = mTexts.emplace(messageKey, QString(text.constData(), text.size())).first;
    }
    return known->second;
}

} // namespace check
