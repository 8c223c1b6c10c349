// ostrel-check: checks bundles and property lists from the command line and
// writes the report to stdout, as text or as JSON lines.
#include "Emitter.h"
#include "FindingHelp.h"
#include "Options.h"
#include "Terminal.h"
#include "check/FileChecker.h"
#include "check/PlistDataReader.h"
#include "fix/Fixer.h"
#include "lsp/Server.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"
#include "platform/OSStatus.h"
#include "platform/UserDefaults.h"
#include "plist/JsonWriter.h"
#include "plist/Parse.h"
#include "report/Escaping.h"
#include "report/FindingCatalogue.h"
#include "report/FindingFormats.h"
#include "report/IgnoreList.h"
#include "report/ReportText.h"
#include "report/SaveTarget.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSet>
#include <QThread>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFindings = 1;
constexpr int kExitUsage = 2;

// Progress is shown only for batches at least this long.
constexpr qsizetype kProgressThreshold = 20;

void writeErr(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

// The report cannot be written: a reader that went away (| head) ends the
// run quietly; any other failure is told. Either way nothing more is done.
[[noreturn]] void writeFailed(int error)
{
    if (error != EPIPE)
        writeErr(QStringLiteral("ostrel-check: cannot write the report: %1\n")
                     .arg(QString::fromLocal8Bit(std::strerror(error))));
    std::_Exit(kExitUsage);
}

void writeOut(const QByteArray& bytes)
{
    if (std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout) !=
        static_cast<size_t>(bytes.size()))
        writeFailed(errno);
}

// Hands what is buffered to the system; a failure there ends the run too.
void flushOut()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        writeFailed(errno ? errno : EIO);
}

// The status, once everything written has been handed over.
int finish(int status)
{
    flushOut();
    return status;
}

// A closed standard output or error is held by /dev/null, read-only: no file
// opened later takes its number, and writes to stdout fail and are told.
void holdClosedStandardStreams()
{
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int held = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (held >= 0 && held != fd) {
            ::dup2(held, fd);
            ::close(held);
        }
    }
}

int usageError(const QString& message)
{
    writeErr(QStringLiteral("ostrel-check: %1\nTry 'ostrel-check --help' for more information.\n").arg(message));
    return kExitUsage;
}

// A save target that holds something of the user's: nothing is written.
int refusedSave(const QString& path, const QString& reason)
{
    writeErr(QStringLiteral("ostrel-check: will not save the report as %1: %2\n")
                 .arg(report::escapeControlCharacters(path), report::escapeControlCharacters(reason)));
    return kExitUsage;
}

// A file the user named in place of a resource must exist and parse.
QString unusableTable(const QString& path)
{
    const check::PlistData data = check::readSettingsFile(path, platform::kMaxPropertyListSize);
    if (!data.ok())
        return QStringLiteral("cannot read %1: %2")
            .arg(report::escapeControlCharacters(path), data.error.localizedDescription());
    const plist::ParseResult parsed = plist::parse(*data.bytes);
    if (!parsed.ok())
        return QStringLiteral("%1 is not a property list: %2")
            .arg(report::escapeControlCharacters(path), report::escapeControlCharacters(parsed.errorText()));
    if (!parsed.value->isDictionary())
        return QStringLiteral("%1 holds no dictionary").arg(report::escapeControlCharacters(path));
    return {};
}

// Each file's property list as JSON, read as a check reads it: regular files
// of a sensible size only, a 'plst' resource for files not named .plist.
int dump(const QStringList& paths)
{
    int status = kExitClean;
    for (const QString& path : paths) {
        const QString shown = report::escapeControlCharacters(path);
        const check::PlistData data = path == check::kStandardInputPath
                                          ? check::readStandardInput()
                                          : check::readURL(platform::fileURLWithPath(path));
        if (!data.ok()) {
            const platform::Error& error = data.error;
            const platform::Bundle& bundle = platform::Bundle::main();
            const QString reason = error.domain == platform::OSStatusErrorDomain && error.code == platform::resNotFound
                                       ? bundle.localizedString(QStringLiteral("NoPlstRes"))
                                       : report::escapeControlCharacters(error.localizedDescription());
            writeErr(QStringLiteral("%1: error: %2%3\n")
                         .arg(shown, bundle.localizedString(QStringLiteral("NoData")), reason));
            status = kExitFindings;
            continue;
        }
        const plist::ParseResult parsed = plist::parse(*data.bytes);
        if (!parsed.ok()) {
            writeErr(QStringLiteral("%1: error: %2\n").arg(shown, report::escapeControlCharacters(parsed.errorText())));
            status = kExitFindings;
            continue;
        }
        writeOut(plist::toJson(*parsed.value));
    }
    return finish(status);
}

struct Counts {
    int bySeverity[3] = {0, 0, 0}; // error, warning, note
    int ignored = 0;
    int checked = 0;         // the headings: each file, archive and bundle, nested ones too
    int fixable[2] = {0, 0}; // findings with a safe fix, with an unsafe one
};

// What one file's check comes to: its report as it is written, and what it
// adds to the run's status and summary.
struct CheckedFile {
    QByteArray out;
    bool failed = false;
    Counts counts;
    QList<report::Finding> kept; // findings the run writes at its end (SARIF)
};

// "3 errors, 12 warnings, 40 notes in 25 files, and 4 ignored"
QString summary(const Counts& counts)
{
    const auto count = [](int n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QString text = count(counts.bySeverity[0], "error", "errors") + QLatin1String(", ") +
                   count(counts.bySeverity[1], "warning", "warnings") + QLatin1String(", ") +
                   count(counts.bySeverity[2], "note", "notes") + QLatin1String(" in ") +
                   count(counts.checked, "file", "files");
    if (counts.ignored > 0)
        text += QStringLiteral(", and %1 ignored").arg(counts.ignored);
    return text;
}

// Each check opens with a heading whose name, and only that, is bold.
int headingCount(const check::FileReport& file)
{
    const QList<report::StyledString>& runs = file.report.runs();
    return static_cast<int>(
        std::count_if(runs.begin() + file.firstRun, runs.begin() + file.endRun,
                      [](const report::StyledString& run) { return run.kind() == report::StyledString::Kind::Bold; }));
}

class Progress {
public:
    explicit Progress(qsizetype total) : mTotal(total), mShown(total >= kProgressThreshold && isatty(STDERR_FILENO))
    {
        mTimer.start();
    }
    // Clears the progress line so that the report can be written.
    void clear()
    {
        if (mShown && mVisible) {
            writeErr(QStringLiteral("\r\x1b[K"));
            mVisible = false;
        }
    }
    void update(qsizetype done)
    {
        if (!mShown || (mTimer.elapsed() < 100 && done < mTotal))
            return;
        mTimer.restart();
        writeErr(QStringLiteral("\r[%1/%2] checked").arg(done).arg(mTotal));
        std::fflush(stderr);
        mVisible = true;
    }

private:
    qsizetype mTotal;
    bool mShown;
    bool mVisible = false;
    QElapsedTimer mTimer;
};

// The message keys a finding can carry: the catalogue's IDs.
QSet<QString> knownMessageKeys()
{
    QSet<QString> keys;
    for (const report::FindingEntry& entry : report::kFindingEntries)
        keys.insert(report::nameText(entry.id));
    return keys;
}

// --explain ID and --list-findings: the catalogue of findings, and no check.
int showCatalogue(const cli::CommandLine& line)
{
    if (line.action == cli::Action::ListFindings) {
        writeOut(cli::findingList(line.options.formatName == QLatin1String("json")));
        return finish(kExitClean);
    }
    QString problem;
    const QString text = cli::explanation(line.options.explain, problem);
    if (text.isEmpty())
        return usageError(problem);
    writeOut(text.toUtf8());
    return finish(kExitClean);
}

// The resources and settings the options name, for this run: the first
// that cannot be used, or nothing.
QString useResources(const cli::Options& options)
{
    platform::Bundle& bundle = platform::Bundle::main();
    if (!options.resources.isEmpty()) {
        if (!QFileInfo(options.resources).isDir())
            return QStringLiteral("%1 is not a directory").arg(report::escapeControlCharacters(options.resources));
        bundle.setResourceDirectory(options.resources);
    }
    if (!options.rules.isEmpty()) {
        if (const QString problem = unusableTable(options.rules); !problem.isEmpty())
            return problem;
        bundle.setResourcePath(QStringLiteral("rules.plist"), options.rules);
    }
    // Rules from a resources folder (--resources, OSTREL_RESOURCES) must parse
    // as those of --rules must: without them nothing would be checked.
    if (const QString rules = bundle.pathForResource(QStringLiteral("rules.plist"));
        options.rules.isEmpty() && !rules.startsWith(QLatin1String(":/"))) {
        if (const QString problem = unusableTable(rules); !problem.isEmpty())
            return problem;
    }
    if (!options.strings.isEmpty()) {
        if (const QString problem = unusableTable(options.strings); !problem.isEmpty())
            return problem;
        bundle.setStringsFile(options.strings);
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (options.noDeprecationNotes)
        defaults.setVolatile(platform::DeprecationNotesKey, false);
    if (options.noUnknownKeyNotes)
        defaults.setVolatile(platform::NoteUnknownKeysKey, false);
    if (options.buildSettings)
        defaults.setVolatile(platform::AllowBuildSettingsKey, true);
    if (options.noNested)
        defaults.setVolatile(platform::CheckNestedBundlesKey, false);
    if (!options.sevenZip.isEmpty())
        defaults.setVolatile(platform::SevenZipProgramKey, options.sevenZip);
    return {};
}

// --ignore and the ignore file: the first entry refused, or nothing.
QString readIgnoreList(const cli::Options& options, report::IgnoreList& ignored)
{
    for (const QString& entry : options.ignore)
        if (const QString problem = ignored.add(entry); !problem.isEmpty())
            return QStringLiteral("--ignore %1: %2").arg(report::escapedExcerpt(entry), problem);
    // A link there counts too, dangling or not: it is told, not passed over.
    const QFileInfo found(options.ignoreFile);
    if (!options.ignoreFileGiven && !found.exists() && !found.isSymLink())
        return {};
    // One found in the working directory (a repository's) may not lead out of it.
    const check::PlistData data = check::readSettingsFile(
        options.ignoreFile, check::kMaxIgnoreFileSize,
        options.ignoreFileGiven ? check::SettingsLink::Anywhere : check::SettingsLink::WithinItsFolder);
    const QString shownName = report::escapeControlCharacters(options.ignoreFile);
    if (!data.ok())
        return QStringLiteral("cannot read %1: %2").arg(shownName, data.error.localizedDescription());
    if (const QString problem = ignored.addLines(QString::fromUtf8(*data.bytes)); !problem.isEmpty())
        return QStringLiteral("%1, %2").arg(shownName, problem);
    return {};
}

// The files to check, as the command line names them.
QStringList gatherPaths(const cli::Options& options)
{
    return options.paths;
}

// What the run comes to: the counts, the findings kept for the end and
// whether it failed.
struct Outcome {
    bool failed = false;
    Counts counts;
    QList<report::Finding> kept;
};

// Checks the paths and writes each file's part of the report as it is done.
// keeper, when given, checks every file on this thread and keeps the whole report.
// ignoredFindings are taken out as each check writes them, before the cap counts them.
Outcome checkPaths(const QStringList& paths, const cli::Options& options, const cli::RunContext& run,
                   const report::IgnoreList& ignored, const report::FindingFilter& ignoredFindings,
                   check::FileChecker* keeper, bool outToTerminal)
{
    const cli::Emitter& emitter = *options.emitter;
    // Runs on the checking threads: reads only the options and the ignore list.
    const check::CheckPool<CheckedFile>::Render render = [&](const check::FileReport& file) {
        CheckedFile checked;
        // An exception the guard did not catch left no finding behind; it fails all the same.
        checked.failed = !file.completed;
        checked.counts.ignored = file.ignored;
        checked.counts.checked = headingCount(file);
        const QList<report::Finding>& findings = file.report.findings();
        QList<const report::Finding*> shown;
        for (qsizetype f = file.firstFinding; f < findings.size(); ++f) {
            const report::Finding& finding = findings[f];
            if (ignored.ignores(finding)) {
                ++checked.counts.ignored;
                // The note of the findings over the cap stands for them: hiding it hides none of them.
                if (finding.messageKey == QLatin1String("FindingsLeftOut"))
                    checked.failed = checked.failed || finding.severity <= options.failOn;
                continue;
            }
            ++checked.counts.bySeverity[static_cast<int>(finding.severity)];
            if (finding.fix)
                ++checked.counts.fixable[finding.fix->safe ? 0 : 1];
            checked.failed = checked.failed || finding.severity <= options.failOn;
            shown.append(&finding);
            if (emitter.keepsFindings())
                checked.kept.append(finding);
        }
        checked.out = emitter.file(file, shown, run);
        return checked;
    };

    Outcome outcome;
    Progress progress(paths.size());
    // A terminal shows each file's report as soon as it is done; a file or a
    // pipe gets it at the latest a second later.
    QElapsedTimer sinceFlushed;
    sinceFlushed.start();
    const auto deliver = [&](qsizetype index, CheckedFile& file) {
        outcome.failed = outcome.failed || file.failed;
        for (int s = 0; s < 3; ++s)
            outcome.counts.bySeverity[s] += file.counts.bySeverity[s];
        outcome.counts.ignored += file.counts.ignored;
        outcome.counts.checked += file.counts.checked;
        for (int k = 0; k < 2; ++k)
            outcome.counts.fixable[k] += file.counts.fixable[k];
        outcome.kept += file.kept;
        progress.clear();
        writeOut(file.out);
        if (outToTerminal || sinceFlushed.elapsed() >= 1000) {
            flushOut();
            sinceFlushed.restart();
        }
        progress.update(index + 1);
    };
    if (keeper) {
        for (qsizetype i = 0; i < paths.size(); ++i) {
            CheckedFile file = keeper->check(paths[i], render);
            deliver(i, file);
        }
    } else {
        const int jobs = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
        check::checkInOrder<CheckedFile>(paths, jobs, render, deliver, ignoredFindings);
    }
    progress.clear();
    return outcome;
}

// The whole run's report saved as an RTFD document: kExitClean once saved,
// kExitUsage when the target is refused, kExitFindings when the save failed.
int saveRtfd(const QString& rtfdPath, const QStringList& paths, check::FileChecker& keeper)
{
    // Again, as things are now.
    if (const QString refusal = report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths);
        !refusal.isEmpty())
        return refusedSave(rtfdPath, refusal);
    QString why;
    if (keeper.window().writeRTFDToFile(rtfdPath, true, &why))
        return kExitClean;
    // What was put at OUT while the document was written is refused as at the start.
    if (!report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths).isEmpty())
        return refusedSave(rtfdPath, why);
    writeErr(QStringLiteral("ostrel-check: the report could not be saved as %1: %2\n")
                 .arg(report::escapeControlCharacters(rtfdPath), report::escapeControlCharacters(why)));
    return kExitFindings;
}

// Not app.arguments(): Qt turns the bytes of names that are not UTF-8 into U+FFFD.
QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(platform::decodeFileName(QByteArray(argv[i])));
    return arguments;
}

} // namespace

int main(int argc, char** argv)
{
    holdClosedStandardStreams();
    // Reports going to a file or a pipe are handed over in large blocks.
    static char outBuffer[64 * 1024];
    const bool outToTerminal = isatty(STDOUT_FILENO);
    if (!outToTerminal)
        std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ostrel-check"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));

    // 1. The options.
    const cli::CommandLine line = cli::parseCommandLine(argumentsOf(argc, argv));
    if (!line.error.isEmpty())
        return usageError(line.error);
    const cli::Options& options = line.options;
    switch (line.action) {
    case cli::Action::Help: writeOut(line.helpText.toLocal8Bit()); return finish(kExitClean);
    case cli::Action::Version:
        writeOut(QStringLiteral("ostrel-check %1\n").arg(QCoreApplication::applicationVersion()).toLocal8Bit());
        return finish(kExitClean);
    case cli::Action::Explain:
    case cli::Action::ListFindings: return showCatalogue(line);
    case cli::Action::Dump: return dump(options.paths);
    case cli::Action::Check:
    case cli::Action::Serve: break;
    }

    // 2. The paths, and a save target that would replace none of them.
    const QStringList paths = gatherPaths(options);
    // Told before any checking: the document would replace something of the user's.
    if (!options.rtfd.isEmpty()) {
        if (const QString refusal = report::saveTargetRefusal(options.rtfd, report::DocumentKind::Rtfd, paths);
            !refusal.isEmpty())
            return refusedSave(options.rtfd, refusal);
    }

    // 3. The resources, settings and ignore list of this run.
    if (const QString problem = useResources(options); !problem.isEmpty())
        return usageError(problem);
    if (line.action == cli::Action::Serve)
        return lsp::serve(STDIN_FILENO, STDOUT_FILENO, {options.findingsPage.toString(QUrl::FullyEncoded)});
    report::IgnoreList ignored(knownMessageKeys());
    if (const QString problem = readIgnoreList(options, ignored); !problem.isEmpty())
        return usageError(problem);
    cli::RunContext run;
    run.shown = [&ignored](const report::Finding& f) { return !ignored.ignores(f); };
    report::FindingFilter ignoredFindings;
    if (!ignored.isEmpty())
        ignoredFindings = [&ignored](const report::Finding& f) { return ignored.ignores(f); };
    run.ansi = *cli::colorWanted(options.color, STDOUT_FILENO);
    // Paths in the one-line forms are relative to the working directory, as
    // SARIF's are; GitHub's annotations take them from the workspace's top.
    run.workingDirectory = QDir::currentPath();
    run.githubWorkspace = qEnvironmentVariableIsEmpty("GITHUB_WORKSPACE") ? run.workingDirectory
                                                                          : qEnvironmentVariable("GITHUB_WORKSPACE");
    run.failOn = options.failOn;
    run.tool = {QStringLiteral("ostrel-check"), QCoreApplication::applicationVersion(),
                QStringLiteral("https://ostrel.org/"), options.findingsPage.toString(QUrl::FullyEncoded)};

    // 3b. The fixes, written (--fix) or shown as a diff (--diff, which writes nothing else).
    if (options.fix || options.diff) {
        const fix::Outcome fixed = fix::fixFiles(paths, fix::Options{options.unsafeFixes, {}, 4, {}}, ignoredFindings,
                                                 !options.diff, run.workingDirectory);
        for (const QString& message : fixed.messages)
            writeErr(QStringLiteral("ostrel-check: %1\n").arg(report::escapeControlCharacters(message)));
        if (options.diff) {
            writeOut(fixed.diff);
            const bool remain = std::any_of(fixed.remaining.begin(), fixed.remaining.end(),
                                            [&](const report::Finding& f) { return f.severity <= options.failOn; });
            return finish(remain ? kExitFindings : kExitClean);
        }
    }

    // 4. The check, each file's report written as it is done. The saved report
    // is the whole run's, so it is checked on one thread that keeps it;
    // otherwise each file's report is written and forgotten.
    writeOut(options.emitter->begin(run));
    std::optional<check::FileChecker> keeper;
    if (!options.rtfd.isEmpty())
        keeper.emplace(true, ignoredFindings);
    Outcome outcome =
        checkPaths(paths, options, run, ignored, ignoredFindings, keeper ? &*keeper : nullptr, outToTerminal);

    // 5. The report's end, the summary and the saved document.
    writeOut(options.emitter->end(outcome.kept, run));
    flushOut();
    if (options.emitter->writesSummary()) {
        writeErr(summary(outcome.counts) + QLatin1Char('\n'));
        // A line of its own, so that the summary reads as it always has.
        if (outcome.counts.fixable[0] + outcome.counts.fixable[1] > 0)
            writeErr(QStringLiteral("fix available: %1 with --fix, %2 more with --unsafe-fixes\n")
                         .arg(outcome.counts.fixable[0])
                         .arg(outcome.counts.fixable[1]));
    }
    if (keeper) {
        const int saved = saveRtfd(options.rtfd, paths, *keeper);
        if (saved == kExitUsage)
            return saved;
        outcome.failed = outcome.failed || saved != kExitClean;
    }

    // 6. The exit status.
    return finish(outcome.failed ? kExitFindings : kExitClean);
}
