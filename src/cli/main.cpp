// ostrel-check: checks bundles and property lists from the command line and
// writes the report to stdout, as text or as JSON lines.
#include "FindingHelp.h"
#include "Terminal.h"
#include "check/FileChecker.h"
#include "check/PlistDataReader.h"
#include "check/ProjectSettings.h"
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

enum class Format { Text, Gnu, Json, Sarif, GitHub };

std::optional<Format> formatNamed(const QString& name)
{
    static const std::pair<const char*, Format> kNames[] = {{"text", Format::Text},
                                                            {"gnu", Format::Gnu},
                                                            {"json", Format::Json},
                                                            {"sarif", Format::Sarif},
                                                            {"github", Format::GitHub}};
    for (const auto& [text, format] : kNames)
        if (name == QLatin1String(text))
            return format;
    return std::nullopt;
}

// Where docs/findings.md is published, unless --findings-url says otherwise.
const char kFindingsPage[] = "https://ostrel.org/docs/findings.md";

// --explain ID and --list-findings: the catalogue of findings, and no check.
int showCatalogue(const QString& explained, bool list, const QString& formatName, bool pathsGiven)
{
    if (list && !explained.isEmpty())
        return usageError(QStringLiteral("--explain and --list-findings go one at a time"));
    if (pathsGiven)
        return usageError(QStringLiteral("--%1 checks no PATH").arg(list ? "list-findings" : "explain"));
    const bool json = formatName == QLatin1String("json");
    if (formatName != QLatin1String("text") && !(list && json))
        return usageError(list ? QStringLiteral("--list-findings writes text or json")
                               : QStringLiteral("--explain writes text"));
    if (list) {
        writeOut(cli::findingList(json));
        return finish(kExitClean);
    }
    QString problem;
    const QString text = cli::explanation(explained, problem);
    if (text.isEmpty())
        return usageError(problem);
    writeOut(text.toUtf8());
    return finish(kExitClean);
}

struct Counts {
    int bySeverity[3] = {0, 0, 0}; // error, warning, note
    int ignored = 0;
    int baselined = 0;
    int checked = 0; // the headings: each file, archive and bundle, nested ones too
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
    if (counts.baselined > 0)
        text += QStringLiteral("%1%2 in the baseline")
                    .arg(counts.ignored > 0 ? QLatin1String(", ") : QLatin1String(", and "))
                    .arg(counts.baselined);
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

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks the information property lists (Info.plist) of macOS bundles.\n"
                       "PATH is a bundle directory, a .plist file, a file carrying a 'plst' resource, or an archive\n"
                       "(.zip, .ipa, .tar, .tar.gz, .tgz, .tar.bz2, .tar.xz, .xar) of bundles.\n"
                       "Exit status: 0 nothing at or above --fail-on found, 1 such findings (or a file could not be "
                       "read), 2 usage error or the report could not be written."));
    const QCommandLineOption rulesOption(QStringLiteral("rules"),
                                         QStringLiteral("Use these rules instead of the built-in ones."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption stringsOption(QStringLiteral("strings"),
                                           QStringLiteral("Use this strings table for the report's texts."),
                                           QStringLiteral("FILE"));
    const QCommandLineOption resourcesOption(
        QStringLiteral("resources"),
        QStringLiteral("Look for resources (rules.plist, en.lproj/Localizable.strings) in DIR first "
                       "(also: environment variable OSTREL_RESOURCES)."),
        QStringLiteral("DIR"));
    const QCommandLineOption noDeprecationOption(QStringLiteral("no-deprecation-notes"),
                                                 QStringLiteral("No notes about deprecated keys, this run."));
    const QCommandLineOption noUnknownOption(
        QStringLiteral("no-unknown-key-notes"),
        QStringLiteral("No notes about unknown keys that are no near miss, this run."));
    const QCommandLineOption buildSettingsOption(
        QStringLiteral("build-settings"),
        QStringLiteral("Accept build-setting references such as $(PRODUCT_NAME) in values, this run."));
    const QCommandLineOption noNestedOption(
        QStringLiteral("no-nested"),
        QStringLiteral("Check only each PATH's own dictionary: not the bundles inside it, nor its files, this run."));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral(
            "Write the report as text (default), gnu (file:line:column: severity: text [ID]), json (one "
            "object a finding, a line each), sarif (one SARIF 2.1.0 log) or github (GitHub Actions annotations)."),
        QStringLiteral("text|gnu|json|sarif|github"), QStringLiteral("text"));
    const QCommandLineOption ignoreOption(
        QStringLiteral("ignore"),
        QStringLiteral("Leave out the findings with this message key, or only the one at KEYPATH (repeatable)."),
        QStringLiteral("ID[:KEYPATH]"));
    const QCommandLineOption ignoreFileOption(
        QStringLiteral("ignore-file"),
        QStringLiteral("Read --ignore entries from FILE, one a line, # for comments (default: ./.ostrel-ignore if "
                       "there is one)."),
        QStringLiteral("FILE"));
    const QCommandLineOption failOnOption(
        QStringLiteral("fail-on"),
        QStringLiteral("Exit with status 1 when a finding of this severity or worse remains (default: error)."),
        QStringLiteral("error|warning|note"), QStringLiteral("error"));
    const QCommandLineOption dumpOption(
        QStringLiteral("dump"), QStringLiteral("Print each FILE's property list as JSON instead of checking it."));
    const QCommandLineOption rtfdOption(
        QStringLiteral("rtfd"),
        QStringLiteral("Also save the report as an RTFD document at OUT; an existing one is replaced whole."),
        QStringLiteral("OUT"));
    const QCommandLineOption explainOption(
        QStringLiteral("explain"),
        QStringLiteral("Print what the finding ID means, why it matters, how to fix it and what turns it off."),
        QStringLiteral("ID"));
    const QCommandLineOption listFindingsOption(
        QStringLiteral("list-findings"),
        QStringLiteral("List the ID, severity and title of every finding (as JSON lines with --format json)."));
    const QCommandLineOption findingsUrlOption(
        QStringLiteral("findings-url"),
        QStringLiteral("The address of the findings' page (docs/findings.md) that each SARIF rule links to as "
                       "URL#ID (default: %1).")
            .arg(QLatin1String(kFindingsPage)),
        QStringLiteral("URL"));
    const QCommandLineOption jobsOption(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Check N files at a time (default: one per core); the report is the same for every N."),
        QStringLiteral("N"));
    const QCommandLineOption colorOption(
        QStringLiteral("color"),
        QStringLiteral("Colour the severities and make the headings bold: always, never, or auto (default) on a "
                       "terminal unless NO_COLOR is set or TERM is dumb."),
        QStringLiteral("auto|always|never"), QStringLiteral("auto"));
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Read the project settings from FILE instead of the .ostrel.toml found above each PATH."),
        QStringLiteral("FILE"));
    const QCommandLineOption isolatedOption(QStringLiteral("isolated"),
                                            QStringLiteral("Read no .ostrel.toml and no .ostrel-ignore."));
    const QCommandLineOption userSettingsOption(
        QStringLiteral("user-settings"),
        QStringLiteral("Also use the desktop application's settings (~/.config/Ostrel/Ostrel.ini), behind the "
                       "project's."));
    const QCommandLineOption baselineOption(
        QStringLiteral("baseline"),
        QStringLiteral("Leave out the findings this baseline holds; only new ones count toward the exit status."),
        QStringLiteral("FILE"));
    const QCommandLineOption writeBaselineOption(
        QStringLiteral("write-baseline"), QStringLiteral("Write the findings of this run as a baseline to FILE."),
        QStringLiteral("FILE"));
    const QList<QCommandLineOption> projectOptions{configOption, isolatedOption, userSettingsOption, baselineOption,
                                                   writeBaselineOption};
    const QList<QCommandLineOption> options{
        jobsOption,          rulesOption,    stringsOption, resourcesOption, noDeprecationOption, noUnknownOption,
        buildSettingsOption, noNestedOption, formatOption,  ignoreOption,    ignoreFileOption,    failOnOption,
        dumpOption,          rtfdOption,     colorOption,   explainOption,   listFindingsOption,  findingsUrlOption};
    parser.addOptions(options);
    parser.addOptions(projectOptions);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("Files and bundle directories to check; - reads a property list from standard input."),
        QStringLiteral("PATH..."));

    // Not app.arguments(): Qt turns the bytes of names that are not UTF-8 into U+FFFD.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(platform::decodeFileName(QByteArray(argv[i])));
    if (!parser.parse(arguments)) {
        QString text = parser.errorText();
        if (!parser.unknownOptionNames().isEmpty()) {
            QStringList known{QStringLiteral("help"), QStringLiteral("help-all"), QStringLiteral("version")};
            for (const QCommandLineOption& option : options + projectOptions)
                known += option.names();
            if (const QString near = cli::nearestOption(parser.unknownOptionNames().constFirst(), known);
                !near.isEmpty())
                text += QStringLiteral(" Did you mean --%1?").arg(near);
        }
        return usageError(text);
    }
    // Qt's --help-all adds only Qt's own options, which this program has none of.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        writeOut(parser.helpText().toLocal8Bit());
        return finish(kExitClean);
    }
    if (parser.isSet(versionOption)) {
        writeOut(QStringLiteral("ostrel-check %1\n").arg(QCoreApplication::applicationVersion()).toLocal8Bit());
        return finish(kExitClean);
    }
    const QStringList paths = parser.positionalArguments();
    if (parser.isSet(explainOption) || parser.isSet(listFindingsOption))
        return showCatalogue(parser.value(explainOption), parser.isSet(listFindingsOption), parser.value(formatOption),
                             !paths.isEmpty());
    if (paths.isEmpty())
        return usageError(QStringLiteral("no PATH given"));
    // An empty argument is a slip (an unset variable), not the current directory.
    if (paths.contains(QString()))
        return usageError(QStringLiteral("an empty PATH was given"));
    if (paths.count(check::kStandardInputPath) > 1)
        return usageError(QStringLiteral("- (standard input) can be given once"));
    // Only the files to check are opened by their bytes; the files these
    // options name go through Qt, which cannot name such a file.
    for (const QCommandLineOption& option : {rulesOption, stringsOption, resourcesOption, rtfdOption, ignoreFileOption,
                                             configOption, baselineOption, writeBaselineOption}) {
        if (platform::hasUndecodableBytes(parser.value(option)))
            return usageError(QStringLiteral("the name given to --%1 is not valid UTF-8 and cannot be opened")
                                  .arg(option.names().constFirst()));
    }
    if (parser.isSet(dumpOption)) {
        if (parser.isSet(rtfdOption))
            return usageError(QStringLiteral("--rtfd saves a report; --dump writes none"));
        return dump(paths);
    }
    const QString rtfdPath = parser.value(rtfdOption);
    if (parser.isSet(rtfdOption) && rtfdPath.isEmpty())
        return usageError(QStringLiteral("--rtfd needs a file name"));
    // Told before any checking: the document would replace something of the user's.
    if (!rtfdPath.isEmpty()) {
        if (const QString refusal = report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths);
            !refusal.isEmpty())
            return refusedSave(rtfdPath, refusal);
    }

    // Each PATH's project settings; those for the whole run come from the first PATH's.
    check::Projects projects(report::findingIds(), parser.isSet(isolatedOption), parser.value(configOption),
                             parser.value(ignoreFileOption));
    for (const QString& path : paths)
        if (const QString problem = projects.load(path); !problem.isEmpty())
            return usageError(problem);
    const check::ProjectSettings& project = projects.settingsFor(paths.constFirst());

    const QString formatName = parser.value(formatOption);
    const std::optional<Format> format = formatNamed(formatName);
    if (!format)
        return usageError(QStringLiteral("unknown format '%1' (use text, gnu, json, sarif or github)").arg(formatName));
    const QUrl findingsPage(parser.isSet(findingsUrlOption) ? parser.value(findingsUrlOption)
                                                            : QLatin1String(kFindingsPage),
                            QUrl::StrictMode);
    if (!findingsPage.isValid() || findingsPage.isRelative() || findingsPage.hasFragment())
        return usageError(QStringLiteral("--findings-url needs an absolute URL without a fragment, not '%1'")
                              .arg(parser.value(findingsUrlOption)));
    const std::optional<report::Severity> failOn = !parser.isSet(failOnOption) && project.failOn
                                                       ? project.failOn
                                                       : report::severityFromName(parser.value(failOnOption));
    if (!failOn)
        return usageError(QStringLiteral("unknown severity '%1' for --fail-on (use error, warning or note)")
                              .arg(parser.value(failOnOption)));

    platform::Bundle& bundle = platform::Bundle::main();
    if (parser.isSet(resourcesOption)) {
        const QString directory = parser.value(resourcesOption);
        if (!QFileInfo(directory).isDir())
            return usageError(QStringLiteral("%1 is not a directory").arg(report::escapeControlCharacters(directory)));
        bundle.setResourceDirectory(directory);
    }
    const bool rulesGiven = parser.isSet(rulesOption) || project.rules;
    if (rulesGiven) {
        const QString path = parser.isSet(rulesOption) ? parser.value(rulesOption) : *project.rules;
        if (const QString problem = unusableTable(path); !problem.isEmpty())
            return usageError(problem);
        bundle.setResourcePath(QStringLiteral("rules.plist"), path);
    }
    // Rules from a resources folder (--resources, OSTREL_RESOURCES) must parse
    // as those of --rules must: without them nothing would be checked.
    if (const QString rules = bundle.pathForResource(QStringLiteral("rules.plist"));
        !rulesGiven && !rules.startsWith(QLatin1String(":/"))) {
        if (const QString problem = unusableTable(rules); !problem.isEmpty())
            return usageError(problem);
    }
    if (parser.isSet(stringsOption)) {
        const QString path = parser.value(stringsOption);
        if (const QString problem = unusableTable(path); !problem.isEmpty())
            return usageError(problem);
        bundle.setStringsFile(path);
    }
    report::IgnoreList ignored(report::findingIds());
    for (const QString& entry : parser.values(ignoreOption))
        if (const QString problem = ignored.add(entry); !problem.isEmpty())
            return usageError(QStringLiteral("--ignore %1: %2").arg(report::escapedExcerpt(entry), problem));
    const report::FindingFilter isIgnored = [&ignored, &projects](const report::Finding& f) {
        // Both asked, so that neither entry is called unused.
        const bool byOption = ignored.ignores(f);
        return projects.ignores(f) || byOption;
    };
    // Taken out as each check writes them, before the cap counts them.
    const report::FindingFilter& ignoredFindings = isIgnored;

    // Findings a baseline holds are left out; with --write-baseline the run's findings make one.
    std::unique_ptr<report::Baseline> baseline;
    std::unique_ptr<report::Baseline> newBaseline;
    const QString baselinePath =
        parser.isSet(baselineOption) ? parser.value(baselineOption) : project.baseline.value_or(QString());
    if (parser.isSet(writeBaselineOption)) {
        if (parser.value(writeBaselineOption).isEmpty())
            return usageError(QStringLiteral("--write-baseline needs a file name"));
        newBaseline = std::make_unique<report::Baseline>(QFileInfo(parser.value(writeBaselineOption)).absolutePath());
    } else if (!baselinePath.isEmpty()) {
        QString problem;
        baseline = report::Baseline::read(baselinePath, problem);
        if (!baseline)
            return usageError(report::escapeControlCharacters(problem));
    }

    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    // The window's settings are the window's, unless asked for.
    if (!parser.isSet(userSettingsOption))
        defaults.ignoreStore();
    const check::SettingsForPath settingsFor = [&projects](const QString& path) {
        return projects.settingsFor(path).defaults();
    };
    if (parser.isSet(noDeprecationOption))
        defaults.setVolatile(platform::DeprecationNotesKey, false);
    if (parser.isSet(noUnknownOption))
        defaults.setVolatile(platform::NoteUnknownKeysKey, false);
    if (parser.isSet(buildSettingsOption))
        defaults.setVolatile(platform::AllowBuildSettingsKey, true);
    if (parser.isSet(noNestedOption))
        defaults.setVolatile(platform::CheckNestedBundlesKey, false);

    int jobs = QThread::idealThreadCount();
    if (parser.isSet(jobsOption)) {
        bool ok = false;
        jobs = parser.value(jobsOption).toInt(&ok);
        if (!ok || jobs < 1)
            return usageError(
                QStringLiteral("-j needs a number of at least 1, not '%1'").arg(parser.value(jobsOption)));
    }
    const std::optional<bool> colorChosen = cli::colorWanted(parser.value(colorOption), STDOUT_FILENO);
    if (!colorChosen)
        return usageError(
            QStringLiteral("unknown --color '%1' (use auto, always or never)").arg(parser.value(colorOption)));
    const bool ansi = format == Format::Text && *colorChosen;
    // Paths in the one-line forms are relative to the working directory, as
    // SARIF's are; GitHub's annotations take them from the workspace's top.
    const QString workingDirectory = QDir::currentPath();
    const QString githubWorkspace =
        qEnvironmentVariableIsEmpty("GITHUB_WORKSPACE") ? workingDirectory : qEnvironmentVariable("GITHUB_WORKSPACE");

    // Runs on the checking threads: reads only the options and the ignore list.
    const check::CheckPool<CheckedFile>::Render render = [&](const check::FileReport& file) {
        CheckedFile checked;
        // An exception the guard did not catch left no finding behind; it fails all the same.
        checked.failed = !file.completed;
        checked.counts.ignored = file.ignored;
        checked.counts.checked = headingCount(file);
        const report::TextStorage& report = file.report;
        QSet<const report::Finding*> inBaseline;
        for (qsizetype f = file.firstFinding; f < report.findings().size(); ++f) {
            const report::Finding& finding = report.findings()[f];
            if (isIgnored(finding)) {
                ++checked.counts.ignored;
                // The note of the findings over the cap stands for them: hiding it hides none of them.
                if (finding.messageKey == QLatin1String("FindingsLeftOut"))
                    checked.failed = checked.failed || finding.severity <= *failOn;
                continue;
            }
            if (newBaseline)
                newBaseline->add(finding);
            if (baseline && baseline->takes(finding)) {
                ++checked.counts.baselined;
                inBaseline.insert(&finding);
                continue;
            }
            ++checked.counts.bySeverity[static_cast<int>(finding.severity)];
            checked.failed = checked.failed || finding.severity <= *failOn;
            if (format == Format::Gnu)
                checked.out += (report::gnuLine(finding, workingDirectory) + QLatin1Char('\n')).toUtf8();
            else if (format == Format::GitHub)
                checked.out += (report::githubLine(finding, githubWorkspace) + QLatin1Char('\n')).toUtf8();
            else if (format == Format::Json)
                checked.out +=
                    QJsonDocument(report::jsonLine(finding, file.path)).toJson(QJsonDocument::Compact) + '\n';
            else if (format == Format::Sarif)
                checked.kept.append(finding);
        }
        if (format == Format::Text) {
            const report::FindingFilter shown = [&](const report::Finding& f) {
                return !isIgnored(f) && !inBaseline.contains(&f);
            };
            QString text = report::plainText(report, file.firstRun, file.endRun, ansi, shown);
            // The guard's line has no line end of its own; the next file starts anew.
            if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
                text += QLatin1Char('\n');
            checked.out = text.toUtf8();
        }
        return checked;
    };

    bool failed = false;
    Counts counts;
    QList<report::Finding> sarifFindings;
    Progress progress(paths.size());
    // A terminal shows each file's report as soon as it is done; a file or a
    // pipe gets it at the latest a second later.
    QElapsedTimer sinceFlushed;
    sinceFlushed.start();
    const auto deliver = [&](qsizetype index, CheckedFile& file) {
        failed = failed || file.failed;
        for (int s = 0; s < 3; ++s)
            counts.bySeverity[s] += file.counts.bySeverity[s];
        counts.ignored += file.counts.ignored;
        counts.baselined += file.counts.baselined;
        counts.checked += file.counts.checked;
        sarifFindings += file.kept;
        progress.clear();
        writeOut(file.out);
        if (outToTerminal || sinceFlushed.elapsed() >= 1000) {
            flushOut();
            sinceFlushed.restart();
        }
        progress.update(index + 1);
    };
    // The saved report is the whole run's, so it is checked on one thread
    // that keeps it; otherwise each file's report is written and forgotten.
    std::optional<check::FileChecker> keeper;
    if (!rtfdPath.isEmpty()) {
        keeper.emplace(true, ignoredFindings, settingsFor);
        for (qsizetype i = 0; i < paths.size(); ++i) {
            CheckedFile file = keeper->check(paths[i], render);
            deliver(i, file);
        }
    } else {
        check::checkInOrder<CheckedFile>(paths, jobs, render, deliver, ignoredFindings, settingsFor);
    }
    progress.clear();
    // The project files' suppressions that silenced nothing, at the places they stand.
    for (const report::Finding& finding : projects.unusedFindings()) {
        if (ignored.ignores(finding))
            continue;
        CheckedFile file;
        ++file.counts.bySeverity[static_cast<int>(finding.severity)];
        file.failed = finding.severity <= *failOn;
        if (format == Format::Text)
            file.out =
                (report::escapeControlCharacters(finding.fileRead) + QStringLiteral("\n%1: line %2: %3 [%4]\n")
                                                                         .arg(report::severityName(finding.severity))
                                                                         .arg(finding.position.line)
                                                                         .arg(finding.text, finding.messageKey))
                    .toUtf8();
        else if (format == Format::Gnu)
            file.out = (report::gnuLine(finding, workingDirectory) + QLatin1Char('\n')).toUtf8();
        else if (format == Format::GitHub)
            file.out = (report::githubLine(finding, githubWorkspace) + QLatin1Char('\n')).toUtf8();
        else if (format == Format::Json)
            file.out =
                QJsonDocument(report::jsonLine(finding, finding.fileGiven)).toJson(QJsonDocument::Compact) + '\n';
        else
            file.kept.append(finding);
        deliver(paths.size() - 1, file);
    }
    if (baseline) {
        const QList<report::Baseline::Entry> stale = baseline->stale();
        if (!stale.isEmpty())
            writeErr(QStringLiteral("ostrel-check: %1 entries of the baseline %2 no longer match; prune them with "
                                    "--write-baseline:\n")
                         .arg(stale.size())
                         .arg(report::escapeControlCharacters(baselinePath)));
        for (const report::Baseline::Entry& entry : stale)
            writeErr(
                QStringLiteral("  %1 %2 %3 (%4 more than found)\n")
                    .arg(entry.id, report::escapeControlCharacters(entry.file),
                         entry.keyPath.isEmpty() ? QStringLiteral("-") : report::escapeControlCharacters(entry.keyPath))
                    .arg(entry.count));
    }
    if (newBaseline) {
        QString why;
        if (!newBaseline->write(parser.value(writeBaselineOption), why)) {
            writeErr(QStringLiteral("ostrel-check: cannot write the baseline %1: %2\n")
                         .arg(report::escapeControlCharacters(parser.value(writeBaselineOption)),
                              report::escapeControlCharacters(why)));
            return finish(kExitUsage);
        }
        // Every finding of the run is in it now.
        failed = false;
    }
    if (format == Format::Sarif) {
        report::SarifTool tool{QStringLiteral("ostrel-check"), QCoreApplication::applicationVersion(),
                               QStringLiteral("https://ostrel.org/"), findingsPage.toString(QUrl::FullyEncoded)};
        writeOut(QJsonDocument(report::sarifLog(sarifFindings, tool, QDir::currentPath())).toJson());
    }
    flushOut();
    if (format == Format::Text)
        writeErr(summary(counts) + QLatin1Char('\n'));
    if (!rtfdPath.isEmpty()) {
        // Again, as things are now.
        if (const QString refusal = report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths);
            !refusal.isEmpty())
            return refusedSave(rtfdPath, refusal);
        QString why;
        if (!keeper->window().writeRTFDToFile(rtfdPath, true, &why)) {
            // What was put at OUT while the document was written is refused as at the start.
            if (!report::saveTargetRefusal(rtfdPath, report::DocumentKind::Rtfd, paths).isEmpty())
                return refusedSave(rtfdPath, why);
            writeErr(QStringLiteral("ostrel-check: the report could not be saved as %1: %2\n")
                         .arg(report::escapeControlCharacters(rtfdPath), report::escapeControlCharacters(why)));
            failed = true;
        }
    }
    return finish(failed ? kExitFindings : kExitClean);
}
