#include "lsp/DocumentCheck.h"

#include "check/MessageFormat.h"
#include "platform/Bundle.h"
#include "plist/Parse.h"
#include "report/FindingCatalogue.h"

#include <QJsonObject>

#include <algorithm>

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

// The offset in text of a byte offset of bytes, the text as bytesToCheck made it.
qsizetype textOffsetOf(const QByteArray& bytes, const QString& text, qint64 byteOffset)
{
    byteOffset = std::clamp<qint64>(byteOffset, 0, bytes.size());
    if (bytes.startsWith("\xFF\xFE"))
        return std::min<qsizetype>(text.size(), std::max<qint64>(0, byteOffset - 2) / 2);
    return QString::fromUtf8(bytes.left(byteOffset)).size();
}

QString decoded(const QByteArray& bytes, const QByteArray& replacement)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QString(reinterpret_cast<const QChar*>(replacement.constData()), replacement.size() / 2);
    return QString::fromUtf8(replacement);
}

// A fix's byte-range edits as the protocol's text edits, with its title and safety.
QJsonObject fixData(const report::Fix& fix, const QByteArray& bytes, const QString& text)
{
    QJsonArray edits;
    for (const report::TextEdit& edit : fix.edits) {
        const qsizetype start = textOffsetOf(bytes, text, edit.offset);
        const qsizetype end = textOffsetOf(bytes, text, edit.offset + edit.length);
        edits.append(
            QJsonObject{{QStringLiteral("range"), QJsonObject{{QStringLiteral("start"), place(placeOf(text, start))},
                                                              {QStringLiteral("end"), place(placeOf(text, end))}}},
                        {QStringLiteral("newText"), decoded(bytes, edit.replacement)}});
    }
    return QJsonObject{
        {QStringLiteral("title"), fix.title}, {QStringLiteral("safe"), fix.safe}, {QStringLiteral("edits"), edits}};
}

// The comment that suppresses id: on its own line before the finding's
// line (wholeFile false), or at the file's top; in the comment form of the
// text (XML or old-style). Empty where no comment can go: a binary list, or
// a finding before any place a comment may stand.
QJsonObject suppressionData(const report::Finding& finding, const QByteArray& bytes, const QString& text,
                            bool wholeFile)
{
    if (bytes.startsWith("bplist"))
        return {};
    const bool xml = text.trimmed().startsWith(QLatin1Char('<'));
    const QString newline = text.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
    const QString marker = wholeFile ? QStringLiteral("ostrel-ignore-file: ") : QStringLiteral("ostrel-ignore: ");
    const QString comment = xml ? QStringLiteral("<!-- %1%2 -->").arg(marker, finding.messageKey)
                                : QStringLiteral("// %1%2").arg(marker, finding.messageKey);
    // Nothing may come before an XML declaration.
    const bool declared = text.startsWith(QLatin1String("<?xml")) || text.startsWith(QChar(0xFEFF));
    int line = 0;
    if (wholeFile) {
        line = xml && declared ? 1 : 0;
    } else {
        if (finding.position.line <= 0)
            return {};
        line = finding.position.line - 1;
        if (line == 0 && xml && declared)
            return {};
    }
    const qsizetype lineStart = offsetOf(text, {line, 0});
    if (line > 0 && lineStart == offsetOf(text, {line - 1, 0}))
        return {}; // past the end of the text
    // Indented as the line it stands before.
    qsizetype indentEnd = lineStart;
    while (indentEnd < text.size() && (text[indentEnd] == QLatin1Char(' ') || text[indentEnd] == QLatin1Char('\t')))
        ++indentEnd;
    const QString indent = wholeFile ? QString() : text.mid(lineStart, indentEnd - lineStart);
    const QJsonObject at = place({line, 0});
    return QJsonObject{
        {QStringLiteral("title"), wholeFile ? QStringLiteral("Ignore %1 in this file").arg(finding.messageKey)
                                            : QStringLiteral("Ignore %1 here").arg(finding.messageKey)},
        {QStringLiteral("edits"),
         QJsonArray{QJsonObject{
             {QStringLiteral("range"), QJsonObject{{QStringLiteral("start"), at}, {QStringLiteral("end"), at}}},
             {QStringLiteral("newText"), indent + comment + newline}}}}};
}

} // namespace

DocumentCheck::DocumentCheck(report::FindingFilter ignored)
{
    mController.setIgnored(std::move(ignored));
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
            report::Finding finding =
                report::makeFinding(report::FindingId::ParseErr, QString(), {check::arg(parsed.errorText())},
                                    report::Position{parsed.error.line, parsed.error.column, parsed.error.offset});
            finding.fileRead = path;
            finding.text =
                check::messageLine(platform::Bundle::main().localizedString(finding.messageKey), finding.arguments);
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

QJsonArray diagnosticsOf(const QList<report::Finding>& findings, const QByteArray& bytes, const QString& text,
                         const QString& findingsPage)
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
        QJsonObject data;
        if (finding.fix)
            data.insert(QStringLiteral("fix"), fixData(*finding.fix, bytes, text));
        // A suppression of a suppression's own note would make no sense.
        if (finding.messageKey != QLatin1String("UnusedSuppression")) {
            if (const QJsonObject here = suppressionData(finding, bytes, text, false); !here.isEmpty())
                data.insert(QStringLiteral("ignoreHere"), here);
            if (const QJsonObject file = suppressionData(finding, bytes, text, true); !file.isEmpty())
                data.insert(QStringLiteral("ignoreInFile"), file);
        }
        if (!data.isEmpty())
            diagnostic.insert(QStringLiteral("data"), data);
        diagnostics.append(diagnostic);
    }
    return diagnostics;
}

QJsonArray codeActionsOf(const QString& uri, const QJsonArray& diagnostics)
{
    QJsonArray actions;
    // The finding's fix first, then its suppressions on the line and in the file.
    for (const QJsonValue& diagnostic : diagnostics) {
        const QJsonObject data = diagnostic[QStringLiteral("data")].toObject();
        for (const char* name : {"fix", "ignoreHere", "ignoreInFile"}) {
            const QJsonObject action = data.value(QLatin1String(name)).toObject();
            if (action.isEmpty())
                continue;
            actions.append(QJsonObject{
                {QStringLiteral("title"), action.value(QStringLiteral("title"))},
                {QStringLiteral("kind"), QStringLiteral("quickfix")},
                {QStringLiteral("diagnostics"), QJsonArray{diagnostic}},
                {QStringLiteral("isPreferred"), action.value(QStringLiteral("safe")).toBool()},
                {QStringLiteral("edit"),
                 QJsonObject{{QStringLiteral("changes"), QJsonObject{{uri, action.value(QStringLiteral("edits"))}}}}},
            });
        }
    }
    return actions;
}

} // namespace lsp
