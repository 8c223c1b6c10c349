#include "Emitter.h"

#include "report/Escaping.h"

#include <QJsonDocument>

namespace cli {

QByteArray Emitter::begin(const RunContext&) const
{
    return {};
}

QByteArray Emitter::end(const QList<report::Finding>&, const RunContext&) const
{
    return {};
}

QByteArray Emitter::file(const app::FileReport& file, const QList<const report::Finding*>& findings,
                         const RunContext& run) const
{
    return findingsOf(file.path, findings, run);
}

namespace {

// The report as the window shows it, with each finding's severity in words.
class TextEmitter final : public Emitter {
public:
    QByteArray file(const app::FileReport& file, const QList<const report::Finding*>& findings,
                    const RunContext& run) const override
    {
        if (run.quiet && findings.isEmpty())
            return {};
        QString text = report::plainText(file.report, file.firstRun, file.endRun, run.ansi, run.shown);
        // The guard's line has no line end of its own; the next file starts anew.
        if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
        return text.toUtf8();
    }
    // "FILE" and a line a finding, as a checked file's report has them.
    QByteArray findingsOf(const QString& path, const QList<const report::Finding*>& findings,
                          const RunContext&) const override
    {
        if (findings.isEmpty())
            return {};
        QString text = report::escapeControlCharacters(path) + QLatin1Char('\n');
        for (const report::Finding* finding : findings)
            text += QStringLiteral("%1: line %2: %3 [%4]\n")
                        .arg(report::severityName(finding->severity))
                        .arg(finding->position.line)
                        .arg(finding->text, finding->messageKey);
        return text.toUtf8();
    }
    bool writesSummary() const override { return true; }
};

// One line a finding, made by line.
template <typename Line> class LineEmitter final : public Emitter {
public:
    explicit constexpr LineEmitter(Line line) : mLine(line) {}
    QByteArray findingsOf(const QString& path, const QList<const report::Finding*>& findings,
                          const RunContext& run) const override
    {
        QByteArray out;
        for (const report::Finding* finding : findings)
            out += mLine(*finding, path, run) + '\n';
        return out;
    }

private:
    Line mLine;
};

QByteArray gnuLine(const report::Finding& finding, const QString&, const RunContext& run)
{
    return report::gnuLine(finding, run.workingDirectory).toUtf8();
}

QByteArray githubLine(const report::Finding& finding, const QString&, const RunContext& run)
{
    return report::githubLine(finding, run.githubWorkspace).toUtf8();
}

QByteArray jsonLine(const report::Finding& finding, const QString& path, const RunContext&)
{
    return QJsonDocument(report::jsonLine(finding, path)).toJson(QJsonDocument::Compact);
}

using FindingLine = QByteArray (*)(const report::Finding&, const QString& path, const RunContext&);

// The findings of every file in one SARIF log.
class SarifEmitter final : public Emitter {
public:
    QByteArray findingsOf(const QString&, const QList<const report::Finding*>&, const RunContext&) const override
    {
        return {};
    }
    bool keepsFindings() const override { return true; }
    QByteArray end(const QList<report::Finding>& kept, const RunContext& run) const override
    {
        return QJsonDocument(report::sarifLog(kept, run.tool, run.workingDirectory)).toJson();
    }
};

// GitLab's Code Quality report: one array of every file's issues.
class GitLabEmitter final : public Emitter {
public:
    QByteArray findingsOf(const QString&, const QList<const report::Finding*>&, const RunContext&) const override
    {
        return {};
    }
    bool keepsFindings() const override { return true; }
    QByteArray end(const QList<report::Finding>& kept, const RunContext& run) const override
    {
        return QJsonDocument(report::gitlabReport(kept, run.workingDirectory)).toJson();
    }
};

// JUnit's XML: a test suite a file, written as each file is done.
class JUnitEmitter final : public Emitter {
public:
    QByteArray begin(const RunContext&) const override
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"ostrel-check\">\n";
    }
    QByteArray findingsOf(const QString& path, const QList<const report::Finding*>& findings,
                          const RunContext& run) const override
    {
        return report::junitSuite(path, findings, run.failOn, run.workingDirectory);
    }
    QByteArray end(const QList<report::Finding>&, const RunContext&) const override { return "</testsuites>\n"; }
};

const TextEmitter kText;
const LineEmitter<FindingLine> kGnu(gnuLine);
const LineEmitter<FindingLine> kJson(jsonLine);
const SarifEmitter kSarif;
const LineEmitter<FindingLine> kGitHub(githubLine);
const GitLabEmitter kGitLab;
const JUnitEmitter kJUnit;

using namespace Qt::Literals::StringLiterals;

const Format kFormats[] = {
    {"text"_L1, "(default)"_L1, kText},
    {"gnu"_L1, "(file:line:column: severity: text [ID])"_L1, kGnu},
    {"json"_L1, "(one object a finding, a line each)"_L1, kJson},
    {"sarif"_L1, "(one SARIF 2.1.0 log)"_L1, kSarif},
    {"github"_L1, "(GitHub Actions annotations)"_L1, kGitHub},
    {"gitlab"_L1, "(a GitLab Code Quality report)"_L1, kGitLab},
    {"junit"_L1, "(JUnit XML, a test suite a file)"_L1, kJUnit},
};

} // namespace

std::span<const Format> formats()
{
    return kFormats;
}

const Emitter* emitterNamed(const QString& name)
{
    for (const Format& format : kFormats)
        if (name == format.name)
            return &format.emitter;
    return nullptr;
}

QString formatNamesInWords()
{
    QString words;
    for (const Format& format : kFormats) {
        if (!words.isEmpty())
            words += &format == &kFormats[std::size(kFormats) - 1] ? QLatin1String(" or ") : QLatin1String(", ");
        words += format.name;
    }
    return words;
}

} // namespace cli
