#include "lsp/DocumentCheck.h"

#include "check/MessageFormat.h"
#include "platform/Bundle.h"
#include "plist/Parse.h"
#include "report/FindingCatalogue.h"

#include <QJsonObject>

namespace lsp {

namespace {

// The protocol's DiagnosticSeverity.
int severityOf(report::Severity severity)
{
    switch (severity) {
    case report::Severity::Error: return 1;
    case report::Severity::Warning: return 2;
    case report::Severity::Note: return 3;
    }
    return 3;
}

QJsonObject place(const TextPlace& p)
{
    return QJsonObject{{QStringLiteral("line"), p.line}, {QStringLiteral("character"), p.character}};
}

} // namespace

DocumentCheck::DocumentCheck()
{
    mController.setWindow(&mWindow);
}

QList<report::Finding> DocumentCheck::check(const QString& path, DocumentKind kind, const QByteArray& bytes)
{
    report::TextStorage& storage = mWindow.textStorage();
    storage.clear();
    QList<report::Finding> findings;
    if (kind == DocumentKind::PropertyList) {
        // Its own rules are not the Info.plist's: only whether it parses.
        const plist::ParseResult parsed = plist::parse(bytes);
        if (!parsed.ok()) {
            report::Finding finding;
            finding.messageKey = QStringLiteral("ParseErr");
            finding.position = {parsed.error.line, parsed.error.column, parsed.error.offset};
            finding.fileRead = path;
            finding.text = check::formatMessage(platform::Bundle::main().localizedString(QStringLiteral("ParseErr")),
                                                {check::arg(parsed.errorText())})
                               .trimmed();
            findings.append(finding);
        }
        return findings;
    }
    mController.safeCheckUnsaved(path, bytes);
    mController.forgetCheckedPaths();
    for (const report::Finding& finding : storage.findings())
        if (finding.fileRead == path)
            findings.append(finding);
    storage.clear();
    return findings;
}

QJsonArray diagnosticsOf(const QList<report::Finding>& findings, const QString& text, const QString& findingsPage)
{
    QJsonArray diagnostics;
    for (const report::Finding& finding : findings) {
        // A finding without a line is about the whole file: its first line.
        const int line = std::max(0, finding.position.line - 1);
        const qsizetype lineStart = offsetOf(text, {line, 0});
        const TextPlace start{line,
                              finding.position.column > 0 ? utf16Column(text, lineStart, finding.position.column) : 0};
        const TextPlace end{line, utf16Column(text, lineStart, std::numeric_limits<int>::max())};
        QJsonObject diagnostic{
            {QStringLiteral("range"),
             QJsonObject{{QStringLiteral("start"), place(start)}, {QStringLiteral("end"), place(end)}}},
            {QStringLiteral("severity"), severityOf(finding.severity)},
            {QStringLiteral("code"), finding.messageKey},
            {QStringLiteral("source"), QStringLiteral("ostrel")},
            {QStringLiteral("message"), finding.text},
        };
        if (const report::FindingEntry* entry = report::findingNamed(finding.messageKey))
            diagnostic.insert(QStringLiteral("codeDescription"),
                              QJsonObject{{QStringLiteral("href"), report::helpUri(findingsPage, entry->id)}});
        diagnostics.append(diagnostic);
    }
    return diagnostics;
}

} // namespace lsp
