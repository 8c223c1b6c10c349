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

QList<ReportLine> reportLines(const TextStorage& report, qsizetype firstRun, qsizetype endRun,
                              const FindingFilter& shown)
{
    QList<ReportLine> lines;
    QString open;         // text outside findings, not yet ended by a line end
    bool started = false; // a line is under way, even an empty one
    // A heading is two lines: the check's first two, and the two of each later
    // heading (a bundle inside the product), known by the name in bold.
    int headingLinesLeft = 2;
    auto finish = [&] {
        // A heading's lines count even when empty; other empty lines do not.
        if (started && (!open.isEmpty() || headingLinesLeft > 0))
            lines << ReportLine{headingLinesLeft > 0 ? QStringLiteral("heading") : QStringLiteral("text"), open};
        if (started && headingLinesLeft > 0)
            --headingLinesLeft;
        open.clear();
        started = false;
    };
    for (qsizetype i = firstRun; i < endRun; ++i) {
        if (const Finding* finding = report.findingOfRun(i)) {
            if ((finding->firstRun == i || i == firstRun) && (!shown || shown(*finding))) {
                finish();
                lines << ReportLine{severityName(finding->severity), finding->text, finding};
            }
            continue;
        }
        QStringView text(report.runs().at(i).text);
        if (report.runs().at(i).kind() == StyledString::Kind::Bold && lines.size() >= 2)
            headingLinesLeft = 2;
        started = started || !text.isEmpty();
        while (!text.isEmpty()) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'));
            if (end < 0) {
                open += text;
                break;
            }
            open += text.left(end);
            finish();
            text = text.mid(end + 1);
            started = !text.isEmpty();
        }
    }
    finish();
    return lines;
}

QJsonObject jsonLine(const ReportLine& line, const QString& file, const QString& read)
{
    QJsonObject object{{QStringLiteral("file"), file},
                       {QStringLiteral("read"), line.finding ? line.finding->fileRead : read},
                       {QStringLiteral("severity"), line.severity},
                       {QStringLiteral("text"), line.text}};
    if (line.finding)
        addJsonMembers(object, *line.finding);
    return object;
}

} // namespace report
