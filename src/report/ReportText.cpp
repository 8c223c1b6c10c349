#include "report/ReportText.h"

#include "report/FindingFormats.h"

namespace report {

QString plainText(const TextStorage& report, qsizetype firstRun, qsizetype endRun, bool ansiBold,
                  const FindingFilter& shown)
{
    // Room for all of it at once: appending run by run would grow the text many times.
    qsizetype size = 0;
    for (qsizetype i = firstRun; i < endRun; ++i)
        size += report.runs().at(i).text.size() + 8; // a severity or the bold markers in place of an icon
    QString text;
    text.reserve(size);
    for (qsizetype i = firstRun; i < endRun; ++i) {
        const StyledString& run = report.runs().at(i);
        const Finding* finding = report.findingOfRun(i);
        if (finding && shown && !shown(*finding)) {
            i = finding->endRun - 1;
            continue;
        }
        if (run.attachment) {
            text += finding && finding->firstRun == i ? severityName(finding->severity) + QLatin1Char(':')
                                                      : QStringLiteral("[image]");
        } else if (ansiBold && run.kind() == StyledString::Kind::Bold) {
            text += QLatin1String("\x1b[1m") + run.text + QLatin1String("\x1b[0m");
        } else {
            text += run.text;
        }
    }
    return text;
}

QJsonObject jsonLine(const Finding& finding, const QString& file)
{
    QJsonObject object{{QStringLiteral("file"), file},
                       {QStringLiteral("read"), finding.fileRead},
                       {QStringLiteral("severity"), severityName(finding.severity)},
                       {QStringLiteral("text"), finding.text}};
    addJsonMembers(object, finding);
    return object;
}

} // namespace report
