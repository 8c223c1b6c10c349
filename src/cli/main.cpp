// ostrel-check: checks bundles and property lists from the command line and
// writes the report to stdout, as text or as JSON lines.
#include "Emitter.h"
#include "FindingHelp.h"
#include "Options.h"
#include "OutputFile.h"
#include "Terminal.h"
#include "app/FileChecker.h"
#include "check/PlistDataReader.h"
#include "check/ProjectSettings.h"
#include "fix/Fixer.h"
#include "lsp/Server.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"
#include "platform/OSStatus.h"
#include "platform/UserDefaults.h"
#include "plist/JsonWriter.h"
#include "plist/Parse.h"
#include "report/Baseline.h"
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

// -o FILE: where the report goes instead of standard output.
cli::OutputFile* gOutput = nullptr;

// The report cannot be written: a reader that went away (| head) ends the
// run quietly; any other failure is told. Either way nothing more is done,
// and the file -o names stays as it was.
[[noreturn]] void writeFailed(int error)
{
    if (gOutput)
        gOutput->discard();
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
        const check::PlistData data = path == app::kStandardInputPath ? check::readStandardInput()
                                                                      : check::readURL(platform::fileURLWithPath(path));
        if (!data.ok()) {
            const platform::Error& error = data.error;
            const platform::Bundle& bundle = platform::Bundle::main();
            const QString reason = error.code == platform::osStatusCode(platform::resNotFound)
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
    int baselined = 0;       // left out as the baseline holds them
    int checked = 0;         // the headings: each file, archive and bundle, nested ones too
    int fixable[2] = {0, 0}; // findings with a safe fix, with an unsafe one
};

// What findings come to, for a file and for the run: whether one fails it,
// the counts of the summary and the findings kept for the end.
struct Tally {
    bool failed = false;
    Counts counts;
    QHash<QString, int> byId;    // the findings shown, by ID (--statistics)
    QList<report::Finding> kept; // findings the run writes at its end (SARIF)

    // A finding neither ignored nor in the baseline; whether the report shows it.
    bool take(const report::Finding& finding, const cli::RunContext& run, bool keep)
    {
        failed = failed || finding.severity <= run.failOn;
        if (run.quiet && finding.severity != report::Severity::Error)
            return false;
        ++counts.bySeverity[static_cast<int>(finding.severity)];
        if (finding.fix)
            ++counts.fixable[finding.fix->safe ? 0 : 1];
        ++byId[finding.messageKey];
        if (keep)
            kept.append(finding);
        return true;
    }
    void add(const Tally& other)
    {
        failed = failed || other.failed;
        for (int s = 0; s < 3; ++s)
            counts.bySeverity[s] += other.counts.bySeverity[s];
        counts.ignored += other.counts.ignored;
        counts.baselined += other.counts.baselined;
        counts.checked += other.counts.checked;
        for (int k = 0; k < 2; ++k)
            counts.fixable[k] += other.counts.fixable[k];
        kept += other.kept;
        for (auto it = other.byId.cbegin(); it != other.byId.cend(); ++it)
            byId[it.key()] += it.value();
    }
};

// What one file's check comes to: its report as it is written, and its tally.
struct CheckedFile {
    QByteArray out;
    Tally tally;
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
    if (counts.baselined > 0)
        text += QStringLiteral("%1%2 in the baseline")
                    .arg(counts.ignored > 0 ? QLatin1String(", ") : QLatin1String(", and "))
                    .arg(counts.baselined);
    return text;
}

// --statistics: "    12  KeyTypo  Unknown key that is a near miss of a known one", most first.
QString statistics(const QHash<QString, int>& byId)
{
    QList<std::pair<QString, int>> counts(byId.keyValueBegin(), byId.keyValueEnd());
    std::sort(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    qsizetype width = 0;
    for (const auto& [id, count] : counts)
        width = std::max(width, id.size());
    QString text;
    for (const auto& [id, count] : counts) {
        const report::FindingEntry* entry = report::findingNamed(id);
        text += QStringLiteral("%1  %2  %3\n")
                    .arg(count, 6)
                    .arg(id, -static_cast<int>(width))
                    .arg(entry ? QString::fromUtf8(entry->title) : QString());
    }
    return text;
}

// Each check opens with a heading whose name, and only that, is bold.
int headingCount(const app::FileReport& file)
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

// The resources and settings the options and the project name, for this
// run: the first that cannot be used, or nothing. The options win over the
// project's settings file.
QString useResources(const cli::Options& options, const check::ProjectSettings& project)
{
    platform::Bundle& bundle = platform::Bundle::main();
    if (!options.resources.isEmpty()) {
        if (!QFileInfo(options.resources).isDir())
            return QStringLiteral("%1 is not a directory").arg(report::escapeControlCharacters(options.resources));
        bundle.setResourceDirectory(options.resources);
    }
    const QString rulesGiven = !options.rules.isEmpty() ? options.rules : project.rules.value_or(QString());
    if (!rulesGiven.isEmpty()) {
        if (const QString problem = unusableTable(rulesGiven); !problem.isEmpty())
            return problem;
        bundle.setResourcePath(QStringLiteral("rules.plist"), rulesGiven);
    }
    // Rules from a resources folder (--resources, OSTREL_RESOURCES) must parse
    // as those of --rules must: without them nothing would be checked.
    if (const QString rules = bundle.pathForResource(QStringLiteral("rules.plist"));
        rulesGiven.isEmpty() && !rules.startsWith(QLatin1String(":/"))) {
        if (const QString problem = unusableTable(rules); !problem.isEmpty())
            return problem;
    }
    if (!options.strings.isEmpty()) {
        if (const QString problem = unusableTable(options.strings); !problem.isEmpty())
            return problem;
        bundle.setStringsFile(options.strings);
    }
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // The window's settings are the window's, unless asked for.
    if (!options.userSettings)
        defaults.ignoreStore();
    if (options.noDeprecationNotes)
        defaults.setVolatile(platform::DeprecationNotesKey, false);
    if (options.noUnknownKeyNotes)
        defaults.setVolatile(platform::NoteUnknownKeysKey, false);
    if (options.buildSettings)
        defaults.setVolatile(platform::AllowBuildSettingsKey, true);
    if (options.noNested)
        defaults.setVolatile(platform::CheckNestedBundlesKey, false);
    if (const QString sevenZip = !options.sevenZip.isEmpty() ? options.sevenZip : project.sevenZip.value_or(QString());
        !sevenZip.isEmpty())
        defaults.setVolatile(platform::SevenZipProgramKey, sevenZip);
    return {};
}

// --ignore: the first entry refused, or nothing. The ignore files are the projects'.
QString readIgnoreList(const cli::Options& options, report::IgnoreList& ignored)
{
    for (const QString& entry : options.ignore)
        if (const platform::Result<void> added = ignored.add(entry); !added)
            return QStringLiteral("--ignore %1: %2").arg(report::escapedExcerpt(entry), added.error().text());
    return {};
}

// The files to check, as the command line names them, and the name
// standard input is reported under.
QStringList gatherPaths(const cli::Options& options)
{
    if (!options.stdinFilename.isEmpty())
        app::setStandardInputName(options.stdinFilename);
    return options.paths;
}

// What a run leaves out and how: the ignore entries (the options' and the
// projects'), a baseline that holds findings, and one being written.
struct Suppression {
    report::FindingFilter ignores;
    report::Baseline* baseline = nullptr;
    report::Baseline* newBaseline = nullptr;
    app::SettingsForPath settingsFor;
};

// Checks the paths and writes each file's part of the report as it is done.
// keeper, when given, checks every file on this thread and keeps the whole report.
// The ignored findings are taken out as each check writes them, before the cap counts them.
Tally checkPaths(const QStringList& paths, const cli::Options& options, const cli::RunContext& run,
                 const Suppression& suppression, app::FileChecker* keeper, bool outToTerminal)
{
    const cli::Emitter& emitter = *options.emitter;
    // Runs on the checking threads: reads only the options and the ignore
    // lists; the baselines guard themselves.
    const app::CheckPool<CheckedFile>::Render render = [&](const app::FileReport& file) {
        CheckedFile checked;
        Tally& tally = checked.tally;
        // An exception the guard did not catch left no finding behind; it fails all the same.
        tally.failed = !file.completed;
        tally.counts.ignored = file.ignored;
        tally.counts.checked = headingCount(file);
        const QList<report::Finding>& findings = file.report.findings();
        QList<const report::Finding*> shown;
        for (qsizetype f = file.firstFinding; f < findings.size(); ++f) {
            const report::Finding& finding = findings[f];
            if (suppression.ignores && suppression.ignores(finding)) {
                ++tally.counts.ignored;
                // The note of the findings over the cap stands for them: hiding it hides none of them.
                if (finding.messageKey == QLatin1String("FindingsLeftOut"))
                    tally.failed = tally.failed || finding.severity <= run.failOn;
                continue;
            }
            if (suppression.newBaseline)
                suppression.newBaseline->add(finding);
            if (suppression.baseline && suppression.baseline->takes(finding)) {
                ++tally.counts.baselined;
                continue;
            }
            if (tally.take(finding, run, emitter.keepsFindings()))
                shown.append(&finding);
        }
        cli::RunContext fileRun = run;
        // The text shows what is left of the file's report.
        const QSet<const report::Finding*> left(shown.begin(), shown.end());
        fileRun.shown = [&left](const report::Finding& f) { return left.contains(&f); };
        checked.out = emitter.file(file, shown, fileRun);
        return checked;
    };

    Tally outcome;
    Progress progress(paths.size());
    // A terminal shows each file's report as soon as it is done; a file or a
    // pipe gets it at the latest a second later.
    QElapsedTimer sinceFlushed;
    sinceFlushed.start();
    const auto deliver = [&](qsizetype index, CheckedFile& file) {
        outcome.add(file.tally);
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
        app::checkInOrder<CheckedFile>(paths, jobs, render, deliver, suppression.ignores, suppression.settingsFor);
    }
    progress.clear();
    return outcome;
}

// The project files' entries that left out nothing, as notes at the places
// they stand, after the checked files.
void reportUnusedEntries(const check::Projects& projects, const report::IgnoreList& ignored,
                         const cli::Emitter& emitter, const cli::RunContext& run, Tally& outcome)
{
    const QList<report::Finding> unused = projects.unusedFindings();
    for (const report::Finding& finding : unused) {
        if (ignored.ignores(finding))
            continue;
        if (outcome.take(finding, run, emitter.keepsFindings()))
            writeOut(emitter.findingsOf(finding.fileGiven, {&finding}, run));
    }
}

// A baseline's entries that matched fewer findings than they hold, so that it can be pruned.
void listStaleEntries(const report::Baseline& baseline, const QString& path)
{
    const QList<report::Baseline::Entry> stale = baseline.stale();
    if (stale.isEmpty())
        return;
    writeErr(QStringLiteral("ostrel-check: %1 entries of the baseline %2 no longer match; prune them with "
                            "--write-baseline:\n")
                 .arg(stale.size())
                 .arg(report::escapeControlCharacters(path)));
    for (const report::Baseline::Entry& entry : stale)
        writeErr(
            QStringLiteral("  %1 %2 %3 (%4 more than found)\n")
                .arg(entry.id, report::escapeControlCharacters(entry.file),
                     entry.keyPath.isEmpty() ? QStringLiteral("-") : report::escapeControlCharacters(entry.keyPath))
                .arg(entry.count));
}

// The whole run's report saved as an RTFD document: kExitClean once saved,
// kExitUsage when the target is refused, kExitFindings when the save failed.
int saveRtfd(const QString& rtfdPath, const QStringList& paths, app::FileChecker& keeper)
{
    // Again, as things are now.
    if (const QString refusal = report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths);
        !refusal.isEmpty())
        return refusedSave(rtfdPath, refusal);
    const platform::Result<void> saved = keeper.window().writeRTFDToFile(rtfdPath, true);
    if (saved)
        return kExitClean;
    const QString why = saved.error().localizedDescription();
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

// Reports going to a file or a pipe are handed over in large blocks.
char outBuffer[64 * 1024];

} // namespace

int main(int argc, char** argv)
{
    holdClosedStandardStreams();
    bool outToTerminal = isatty(STDOUT_FILENO);
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

    // The report goes to -o FILE once it is whole, in large blocks.
    cli::OutputFile output;
    if (!options.outputFile.isEmpty()) {
        if (const QString refusal = output.open(options.outputFile, paths); !refusal.isEmpty()) {
            writeErr(QStringLiteral("ostrel-check: will not write the report to %1: %2\n")
                         .arg(report::escapeControlCharacters(options.outputFile),
                              report::escapeControlCharacters(refusal)));
            return kExitUsage;
        }
        gOutput = &output;
        if (outToTerminal)
            std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
        outToTerminal = false;
    }

    // 3. Each PATH's project settings, read once; those of the whole run
    // (fail-on, rules, baseline, fixes) come from the first PATH's.
    check::Projects projects(report::findingIds(), options.isolated, options.config,
                             options.ignoreFileGiven ? options.ignoreFile : QString());
    for (const QString& path : paths)
        if (const QString problem = projects.load(path); !problem.isEmpty())
            return usageError(problem);
    const check::ProjectSettings& project = projects.settingsFor(paths.value(0)); // none for --lsp
    const report::Severity failOn = !options.failOnGiven && project.failOn ? *project.failOn : options.failOn;

    // The resources, settings and ignore lists of this run.
    if (const QString problem = useResources(options, project); !problem.isEmpty())
        return usageError(problem);
    report::IgnoreList ignored(report::findingIds());
    if (const QString problem = readIgnoreList(options, ignored); !problem.isEmpty())
        return usageError(problem);
    Suppression suppression;
    suppression.ignores = [&ignored, &projects](const report::Finding& f) {
        // Both asked, so that neither entry is called unused.
        const bool byOption = ignored.ignores(f);
        return projects.ignores(f) || byOption;
    };
    suppression.settingsFor = [&projects](const QString& path) { return projects.settingsFor(path).defaults(); };

    // Findings a baseline holds are left out; with --write-baseline the run's findings make one.
    std::unique_ptr<report::Baseline> baseline;
    std::unique_ptr<report::Baseline> newBaseline;
    const QString baselinePath = !options.baseline.isEmpty() ? options.baseline : project.baseline.value_or(QString());
    if (!options.writeBaseline.isEmpty()) {
        newBaseline = std::make_unique<report::Baseline>(QFileInfo(options.writeBaseline).absolutePath());
        suppression.newBaseline = newBaseline.get();
    } else if (!baselinePath.isEmpty()) {
        QString problem;
        baseline = report::Baseline::read(baselinePath, problem);
        if (!baseline)
            return usageError(report::escapeControlCharacters(problem));
        suppression.baseline = baseline.get();
    }

    cli::RunContext run;
    run.quiet = options.quiet;
    if (line.action == cli::Action::Serve) {
        lsp::ServerOptions serving;
        serving.findingsPage = options.findingsPage.toString(QUrl::FullyEncoded);
        serving.ignored = suppression.ignores;
        serving.isolated = options.isolated;
        serving.config = options.config;
        return lsp::serve(STDIN_FILENO, STDOUT_FILENO, serving);
    }
    run.ansi = *cli::colorWanted(options.color, STDOUT_FILENO);
    // Paths in the one-line forms are relative to the working directory, as
    // SARIF's are; GitHub's annotations take them from the workspace's top.
    run.workingDirectory = QDir::currentPath();
    run.githubWorkspace = qEnvironmentVariableIsEmpty("GITHUB_WORKSPACE") ? run.workingDirectory
                                                                          : qEnvironmentVariable("GITHUB_WORKSPACE");
    run.failOn = failOn;
    run.tool = {QStringLiteral("ostrel-check"), QCoreApplication::applicationVersion(),
                QStringLiteral("https://ostrel.org/"), options.findingsPage.toString(QUrl::FullyEncoded)};

    // 3b. The fixes, written (--fix) or shown as a diff (--diff, which writes nothing else).
    const bool fixWanted = options.fix || (!options.diff && project.fix.value_or(false));
    if (fixWanted || options.diff) {
        const QSet<QString> unfixable(project.unfixable.begin(), project.unfixable.end());
        const fix::Options fixOptions{options.unsafeFixes || project.unsafeFixes.value_or(false), unfixable, 4, {}};
        const fix::Outcome fixed =
            fix::fixFiles(paths, fixOptions, suppression.ignores, !options.diff, run.workingDirectory);
        for (const QString& message : fixed.messages)
            writeErr(QStringLiteral("ostrel-check: %1\n").arg(report::escapeControlCharacters(message)));
        if (options.diff) {
            writeOut(fixed.diff);
            const bool remain = std::any_of(fixed.remaining.begin(), fixed.remaining.end(),
                                            [&](const report::Finding& f) { return f.severity <= failOn; });
            return finish(remain ? kExitFindings : kExitClean);
        }
    }

    // 4. The check, each file's report written as it is done. The saved report
    // is the whole run's, so it is checked on one thread that keeps it;
    // otherwise each file's report is written and forgotten.
    writeOut(options.emitter->begin(run));
    std::optional<app::FileChecker> keeper;
    if (!options.rtfd.isEmpty())
        keeper.emplace(true, suppression.ignores, suppression.settingsFor);
    Tally outcome = checkPaths(paths, options, run, suppression, keeper ? &*keeper : nullptr, outToTerminal);
    reportUnusedEntries(projects, ignored, *options.emitter, run, outcome);

    // 5. The report's end, the summary and the saved document.
    writeOut(options.emitter->end(outcome.kept, run));
    flushOut();
    if (gOutput) {
        if (const QString why = output.commit(); !why.isEmpty()) {
            writeErr(
                QStringLiteral("ostrel-check: cannot write the report to %1: %2\n")
                    .arg(report::escapeControlCharacters(options.outputFile), report::escapeControlCharacters(why)));
            return kExitUsage;
        }
        gOutput = nullptr;
    }
    if (options.emitter->writesSummary() && !options.quiet) {
        writeErr(summary(outcome.counts) + QLatin1Char('\n'));
        // A line of its own, so that the summary reads as it always has.
        if (outcome.counts.fixable[0] + outcome.counts.fixable[1] > 0)
            writeErr(QStringLiteral("fix available: %1 with --fix, %2 more with --unsafe-fixes\n")
                         .arg(outcome.counts.fixable[0])
                         .arg(outcome.counts.fixable[1]));
    }
    if (options.statistics)
        writeErr(statistics(outcome.byId));
    if (baseline)
        listStaleEntries(*baseline, baselinePath);
    if (newBaseline) {
        QString why;
        if (!newBaseline->write(options.writeBaseline, why)) {
            writeErr(
                QStringLiteral("ostrel-check: cannot write the baseline %1: %2\n")
                    .arg(report::escapeControlCharacters(options.writeBaseline), report::escapeControlCharacters(why)));
            return kExitUsage;
        }
        // Every finding of the run is in it now.
        outcome.failed = false;
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
