#include "report/ReportText.h"

namespace report {

QString plainText(const TextStorage& report, qsizetype firstRun, qsizetype endRun, bool ansiBold,
                  const FindingFilter& shown)
{
    QString text;
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

QList<ReportLine> reportLines(const TextStorage& report, qsizetype firstRun, qsizetype endRun,
                              const FindingFilter& shown)
{
    QList<ReportLine> lines;
    QString open;         // text outside findings, not yet ended by a line end
    bool started = false; // a line is under way, even an empty one
    auto finish = [&] {
        // The heading's two lines count even when empty; later empty lines do not.
        if (started && (!open.isEmpty() || lines.size() < 2))
            lines << ReportLine{lines.size() < 2 ? QStringLiteral("heading") : QStringLiteral("text"), open};
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

} // namespace report
