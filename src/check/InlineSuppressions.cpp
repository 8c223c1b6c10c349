#include "check/InlineSuppressions.h"

#include <QRegularExpression>
#include <QString>

namespace check {

QList<InlineSuppression> findInlineSuppressions(const QByteArray& bytes)
{
    QList<InlineSuppression> found;
    // The common case costs one search: most files hold no suppression.
    if (bytes.startsWith("bplist") || !bytes.contains("ostrel-ignore"))
        return found;
    static const QRegularExpression kComment(
        QStringLiteral(R"((?:<!--|/\*|//)\s*(ostrel-ignore(-file)?:\s*([A-Za-z0-9_]+(?:\s*,\s*[A-Za-z0-9_]+)*)))"));
    static const QRegularExpression kComma(QStringLiteral(R"(\s*,\s*)"));
    // The markers are ASCII, so any encoding that keeps ASCII is read alike.
    const QList<QByteArray> lines = bytes.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains("ostrel-ignore"))
            continue;
        const QString line = QString::fromLatin1(lines[i]);
        for (auto it = kComment.globalMatch(line); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            found.append({static_cast<int>(i + 1), match.hasCaptured(2), match.captured(3).split(kComma),
                          match.captured(1), false});
        }
    }
    return found;
}

bool suppresses(QList<InlineSuppression>& suppressions, const report::Finding& finding)
{
    const int line = finding.position.line;
    bool silenced = false;
    for (InlineSuppression& suppression : suppressions) {
        const bool applies =
            suppression.wholeFile || (line > 0 && (suppression.line == line || suppression.line == line - 1));
        if (applies && suppression.ids.contains(finding.messageKey)) {
            suppression.used = true;
            silenced = true;
        }
    }
    return silenced;
}

} // namespace check
