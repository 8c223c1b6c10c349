#include "report/ReportText.h"

#include "report/FindingFormats.h"

namespace report {

namespace {

// The severity word in the colours compilers give it on a terminal.
QString colouredSeverity(Severity severity)
{
    static const char* const kColours[] = {"\x1b[1;31m", "\x1b[1;35m", "\x1b[1;36m"}; // error, warning, note
    return QLatin1String(kColours[static_cast<int>(severity)]) + severityName(severity) + QLatin1String(":\x1b[0m");
}

} // namespace

QString plainText(const TextStorage& report, qsizetype firstRun, qsizetype endRun, bool ansi,
                  const FindingFilter& shown)
{
    // Room for all of it at once: appending run by run would grow the text many times.
    qsizetype size = 0;
    for (qsizetype i = firstRun; i < endRun; ++i)
        size += report.runs().at(i).text.size() + 16; // a severity or the terminal's markers in place of an icon
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
            if (!finding || finding->firstRun != i)
                text += QStringLiteral("[image]");
            else
                text += ansi ? colouredSeverity(finding->severity) : severityName(finding->severity) + QLatin1Char(':');
        } else if (ansi && run.kind() == StyledString::Kind::Bold) {
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
