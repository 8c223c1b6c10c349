// The forms the report of ostrel-check takes (--format), one table of
// emitters: a new form is one more entry in it.
#pragma once

#include "app/FileChecker.h"
#include "report/Finding.h"
#include "report/FindingFormats.h"
#include "report/ReportText.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QList>
#include <QString>

#include <span>

namespace cli {

// What a form needs to know of the run besides the findings.
struct RunContext {
    QString workingDirectory;    // files below it are named relative to it
    QString githubWorkspace;     // GitHub's annotations name files from its top
    bool ansi = false;           // the terminal's colours and bold in the text
    bool quiet = false;          // the text leaves out the files with nothing shown
    report::FindingFilter shown; // the findings the text shows
    report::Severity failOn = report::Severity::Error;
    report::SarifTool tool;
};

class Emitter {
public:
    virtual ~Emitter() = default;
    // What comes before the first file.
    virtual QByteArray begin(const RunContext& run) const;
    // One file's part of the report, written as soon as the file is done;
    // findings are those of the file that the run shows. Runs on a checking thread.
    virtual QByteArray file(const app::FileReport& file, const QList<const report::Finding*>& findings,
                            const RunContext& run) const;
    // Findings about a file no check reads (a project's settings file), by
    // themselves; the forms of one finding a line write them as file() does.
    virtual QByteArray findingsOf(const QString& path, const QList<const report::Finding*>& findings,
                                  const RunContext& run) const = 0;
    // Forms that are one document for the whole run keep the findings and
    // write them at the end.
    virtual bool keepsFindings() const { return false; }
    virtual QByteArray end(const QList<report::Finding>& kept, const RunContext& run) const;
    // The summary line on standard error, for a reader rather than a program.
    virtual bool writesSummary() const { return false; }
};

struct Format {
    QLatin1StringView name;
    // How --help describes it, after its name.
    QLatin1StringView description;
    const Emitter& emitter;
};

// Every form, the default (text) first.
std::span<const Format> formats();
// The emitter of the form so named, or none.
const Emitter* emitterNamed(const QString& name);
// "text, gnu, json, sarif or github"
QString formatNamesInWords();

} // namespace cli
