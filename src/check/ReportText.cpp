#include "check/ReportText.h"

namespace check {

QString severityOfRun(const StyledString& run)
{
    if (!run.attachment)
        return {};
    const QString& name = run.attachment->fileName;
    for (const char* severity : {"error", "warning", "note"})
        if (name.startsWith(QLatin1String(severity)))
            return QString::fromLatin1(severity);
    return {};
}

QString plainText(std::span<const StyledString> runs, bool ansiBold)
{
    QString text;
    for (const StyledString& run : runs) {
        if (run.attachment) {
            const QString severity = severityOfRun(run);
            text += severity.isEmpty() ? QStringLiteral("[image]") : severity + QLatin1Char(':');
        } else if (ansiBold && run.kind() == StyledString::Kind::Bold) {
            text += QLatin1String("\x1b[1m") + run.text + QLatin1String("\x1b[0m");
        } else {
            text += run.text;
        }
    }
    return text;
}

QList<ReportLine> reportLines(std::span<const StyledString> runs)
{
    QList<ReportLine> lines;
    ReportLine line;
    bool open = false;      // something is on the current line
    bool afterIcon = false; // the next blank is the icon's own
    auto finish = [&] {
        if (line.severity.isEmpty()) {
            if (line.text.startsWith(QLatin1String("safeOpenURL: Caught ")))
                line.severity = QStringLiteral("error");
            else if (lines.size() < 2)
                line.severity = QStringLiteral("heading");
            else
                line.severity = QStringLiteral("text");
        }
        if (!line.text.isEmpty() || line.severity != QLatin1String("text"))
            lines << line;
        line = ReportLine();
        open = false;
    };
    for (const StyledString& run : runs) {
        if (run.attachment) {
            if (open)
                finish();
            const QString severity = severityOfRun(run);
            line.severity = severity.isEmpty() ? QStringLiteral("text") : severity;
            open = true;
            afterIcon = true;
            continue;
        }
        QStringView text(run.text);
        if (afterIcon && text.startsWith(QLatin1Char(' ')))
            text = text.mid(1);
        afterIcon = false;
        while (!text.isEmpty()) {
            const qsizetype end = text.indexOf(QLatin1Char('\n'));
            if (end < 0) {
                line.text += text;
                open = true;
                break;
            }
            line.text += text.left(end);
            finish();
            text = text.mid(end + 1);
        }
    }
    if (open)
        finish();
    return lines;
}

} // namespace check
