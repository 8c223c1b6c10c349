#include "Options.h"

#include "Emitter.h"
#include "Terminal.h"
#include "app/FileChecker.h"
#include "platform/FileUrl.h"

#include <QCommandLineParser>

namespace cli {

namespace {

const QString kDescription =
    QStringLiteral("Checks the information property lists (Info.plist) of macOS bundles.\n"
                   "PATH is a bundle directory, a .plist file, a file carrying a 'plst' resource, or an archive\n"
                   "(.zip, .ipa, .tar, .tar.gz, .tgz, .tar.bz2, .tar.xz, .xar) of bundles.\n"
                   "Exit status: 0 nothing at or above --fail-on found, 1 such findings (or a file could not be "
                   "read), 2 usage error or the report could not be written.");

QCommandLineOption option(const char* name, const char* description, const char* valueName = nullptr,
                          const char* defaultValue = nullptr)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                              QString::fromLatin1(valueName), QString::fromLatin1(defaultValue));
}

// "Write the report as text (default), gnu (...) ... or github (...).", from the table.
QCommandLineOption formatOption()
{
    QString described;
    QStringList names;
    for (const Format& format : formats()) {
        if (!described.isEmpty())
            described += &format == &formats().back() ? QLatin1String(" or ") : QLatin1String(", ");
        described += format.name + QLatin1Char(' ') + format.description;
        names += format.name;
    }
    return QCommandLineOption(QStringLiteral("format"), QStringLiteral("Write the report as %1.").arg(described),
                              names.join(QLatin1Char('|')), QStringLiteral("text"));
}

// The options, in the order --help lists them.
struct Known {
    QCommandLineOption jobs{{QStringLiteral("j"), QStringLiteral("jobs")},
                            QStringLiteral("Check N files at a time (default: one per core); the report is the "
                                           "same for every N."),
                            QStringLiteral("N")};
    QCommandLineOption rules = option("rules", "Use these rules instead of the built-in ones.", "FILE");
    QCommandLineOption strings = option("strings", "Use this strings table for the report's texts.", "FILE");
    QCommandLineOption resources = option("resources",
                                          "Look for resources (rules.plist, en.lproj/Localizable.strings) in DIR "
                                          "first (also: environment variable OSTREL_RESOURCES).",
                                          "DIR");
    QCommandLineOption noDeprecation = option("no-deprecation-notes", "No notes about deprecated keys, this run.");
    QCommandLineOption noUnknown =
        option("no-unknown-key-notes", "No notes about unknown keys that are no near miss, this run.");
    QCommandLineOption buildSettings =
        option("build-settings", "Accept build-setting references such as $(PRODUCT_NAME) in values, this run.");
    QCommandLineOption noNested = option(
        "no-nested", "Check only each PATH's own dictionary: not the bundles inside it, nor its files, this run.");
    QCommandLineOption sevenZip =
        option("7zip", "Read disk images with this 7-Zip program (default: 7zz, 7z or 7za on PATH).", "PROGRAM");
    QCommandLineOption format = formatOption();
    QCommandLineOption ignore =
        option("ignore", "Leave out the findings with this message key, or only the one at KEYPATH (repeatable).",
               "ID[:KEYPATH]");
    QCommandLineOption ignoreFile = option("ignore-file",
                                           "Read --ignore entries from FILE, one a line, # for comments (default: "
                                           "./.ostrel-ignore if there is one).",
                                           "FILE");
    QCommandLineOption failOn =
        option("fail-on", "Exit with status 1 when a finding of this severity or worse remains (default: error).",
               "error|warning|note", "error");
    QCommandLineOption fix =
        option("fix", "Apply the safe fixes to the files (each replaced atomically), then report what remains.");
    QCommandLineOption unsafeFixes =
        option("unsafe-fixes", "With --fix or --diff, also the fixes that may change the meaning (type conversions).");
    QCommandLineOption diff = option("diff", "Print a unified diff of what --fix would change, and change nothing; "
                                             "the exit status tells whether findings would remain.");
    QCommandLineOption dump = option("dump", "Print each FILE's property list as JSON instead of checking it.");
    QCommandLineOption rtfd =
        option("rtfd", "Also save the report as an RTFD document at OUT; an existing one is replaced whole.", "OUT");
    QCommandLineOption color = option("color",
                                      "Colour the severities and make the headings bold: always, never, or auto "
                                      "(default) on a terminal unless NO_COLOR is set or TERM is dumb.",
                                      "auto|always|never", "auto");
    QCommandLineOption explain = option(
        "explain", "Print what the finding ID means, why it matters, how to fix it and what turns it off.", "ID");
    QCommandLineOption listFindings =
        option("list-findings", "List the ID, severity and title of every finding (as JSON lines with --format json).");
    QCommandLineOption findingsUrl{QStringLiteral("findings-url"),
                                   QStringLiteral("The address of the findings' page (docs/findings.md) that each "
                                                  "SARIF rule links to as URL#ID (default: %1).")
                                       .arg(QLatin1String(kFindingsPage)),
                                   QStringLiteral("URL")};
    QCommandLineOption lsp = option("lsp", "Serve editors as a language server on standard input and output.");

    QCommandLineOption outputFile{{QStringLiteral("o"), QStringLiteral("output-file")},
                                  QStringLiteral("Write the report to FILE instead of standard output; a file there "
                                                 "is replaced once the report is whole, anything else is left alone."),
                                  QStringLiteral("FILE")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Report errors only, without the summary; the exit status still "
                                            "follows --fail-on.")};
    QCommandLineOption statistics =
        option("statistics", "After the report, write the count of each finding ID to standard error.");
    QCommandLineOption stdinFilename = option("stdin-filename",
                                              "Report the property list read from standard input (-, the PATH "
                                              "when none is given) as NAME.",
                                              "NAME");

    QCommandLineOption config = option(
        "config", "Read the project settings from FILE instead of the .ostrel.toml found above each PATH.", "FILE");
    QCommandLineOption isolated = option("isolated", "Read no .ostrel.toml and no .ostrel-ignore.");
    QCommandLineOption userSettings = option("user-settings", "Also use the desktop application's settings "
                                                              "(~/.config/Ostrel/Ostrel.ini), behind the project's.");
    QCommandLineOption baseline = option(
        "baseline", "Leave out the findings this baseline holds; only new ones count toward the exit status.", "FILE");
    QCommandLineOption writeBaseline =
        option("write-baseline", "Write the findings of this run as a baseline to FILE.", "FILE");

    QList<QCommandLineOption> all() const
    {
        return {jobs,          rules,        strings,  resources,    noDeprecation, noUnknown, buildSettings,
                noNested,      sevenZip,     format,   ignore,       ignoreFile,    failOn,    fix,
                unsafeFixes,   diff,         dump,     rtfd,         outputFile,    quiet,     statistics,
                stdinFilename, color,        explain,  listFindings, findingsUrl,   lsp,       config,
                isolated,      userSettings, baseline, writeBaseline};
    }
};

// An option as a user types it: -o, --rtfd.
QString shownName(const QCommandLineOption& option)
{
    const QString& name = option.names().constFirst();
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// The names a mistyped option may have meant.
QStringList knownNames(const QList<QCommandLineOption>& options)
{
    QStringList known{QStringLiteral("help"), QStringLiteral("help-all"), QStringLiteral("version")};
    for (const QCommandLineOption& option : options)
        known += option.names();
    return known;
}

// --explain ID and --list-findings print the catalogue and check nothing.
QString catalogueError(const CommandLine& line, const QString& formatName)
{
    const bool list = line.action == Action::ListFindings;
    if (!line.options.paths.isEmpty())
        return QStringLiteral("--%1 checks no PATH").arg(list ? "list-findings" : "explain");
    if (formatName != QLatin1String("text") && !(list && formatName == QLatin1String("json")))
        return list ? QStringLiteral("--list-findings writes text or json") : QStringLiteral("--explain writes text");
    return {};
}

// What the options mean for a check; the first thing wrong with them, or nothing.
QString readCheckOptions(const QCommandLineParser& parser, const Known& known, Options& options)
{
    if (parser.isSet(known.stdinFilename)) {
        options.stdinFilename = parser.value(known.stdinFilename);
        if (options.stdinFilename.isEmpty())
            return QStringLiteral("--stdin-filename needs a name");
        if (options.paths.isEmpty())
            options.paths = QStringList{app::kStandardInputPath};
        else if (!options.paths.contains(app::kStandardInputPath))
            return QStringLiteral("--stdin-filename names standard input, which no PATH reads (give -)");
    }
    // A language server checks what its editor opens.
    if (parser.isSet(known.lsp) && !options.paths.isEmpty())
        return QStringLiteral("--lsp checks the documents its editor opens, no PATH");
    if (options.paths.isEmpty() && !parser.isSet(known.lsp))
        return QStringLiteral("no PATH given");
    // An empty argument is a slip (an unset variable), not the current directory.
    if (options.paths.contains(QString()))
        return QStringLiteral("an empty PATH was given");
    if (options.paths.count(app::kStandardInputPath) > 1)
        return QStringLiteral("- (standard input) can be given once");
    // Only the files to check are opened by their bytes; the files these
    // options name go through Qt, which cannot name such a file.
    for (const QCommandLineOption& option : {known.rules, known.strings, known.resources, known.rtfd, known.ignoreFile,
                                             known.outputFile, known.config, known.baseline, known.writeBaseline}) {
        if (platform::hasUndecodableBytes(parser.value(option)))
            return QStringLiteral("the name given to --%1 is not valid UTF-8 and cannot be opened")
                .arg(option.names().constFirst());
    }
    if (parser.isSet(known.dump) && parser.isSet(known.rtfd))
        return QStringLiteral("--rtfd saves a report; --dump writes none");
    if (parser.isSet(known.dump) && parser.isSet(known.outputFile))
        return QStringLiteral("-o writes a check's report; --dump writes to standard output");
    for (const auto& [option, into] : {std::pair{&known.outputFile, &options.outputFile},
                                       {&known.rtfd, &options.rtfd},
                                       {&known.config, &options.config},
                                       {&known.baseline, &options.baseline},
                                       {&known.writeBaseline, &options.writeBaseline}}) {
        *into = parser.value(*option);
        if (parser.isSet(*option) && into->isEmpty())
            return QStringLiteral("%1 needs a file name").arg(shownName(*option));
    }
    options.statistics = parser.isSet(known.statistics);
    options.quiet = parser.isSet(known.quiet);

    options.emitter = emitterNamed(options.formatName);
    if (!options.emitter)
        return QStringLiteral("unknown format '%1' (use %2)").arg(options.formatName, formatNamesInWords());
    const QString page =
        parser.isSet(known.findingsUrl) ? parser.value(known.findingsUrl) : QString::fromLatin1(kFindingsPage);
    options.findingsPage = QUrl(page, QUrl::StrictMode);
    if (!options.findingsPage.isValid() || options.findingsPage.isRelative() || options.findingsPage.hasFragment())
        return QStringLiteral("--findings-url needs an absolute URL without a fragment, not '%1'")
            .arg(parser.value(known.findingsUrl));
    const std::optional<report::Severity> failOn = report::severityFromName(parser.value(known.failOn));
    if (!failOn)
        return QStringLiteral("unknown severity '%1' for --fail-on (use error, warning or note)")
            .arg(parser.value(known.failOn));
    options.failOn = *failOn;
    options.failOnGiven = parser.isSet(known.failOn);

    options.rules = parser.value(known.rules);
    options.strings = parser.value(known.strings);
    options.resources = parser.value(known.resources);
    options.noDeprecationNotes = parser.isSet(known.noDeprecation);
    options.noUnknownKeyNotes = parser.isSet(known.noUnknown);
    options.buildSettings = parser.isSet(known.buildSettings);
    options.noNested = parser.isSet(known.noNested);
    options.sevenZip = parser.value(known.sevenZip);
    options.ignore = parser.values(known.ignore);
    options.ignoreFileGiven = parser.isSet(known.ignoreFile);
    if (options.ignoreFileGiven)
        options.ignoreFile = parser.value(known.ignoreFile);

    if (parser.isSet(known.jobs)) {
        bool ok = false;
        options.jobs = parser.value(known.jobs).toInt(&ok);
        if (!ok || options.jobs < 1)
            return QStringLiteral("-j needs a number of at least 1, not '%1'").arg(parser.value(known.jobs));
    }
    options.fix = parser.isSet(known.fix);
    options.unsafeFixes = parser.isSet(known.unsafeFixes);
    options.diff = parser.isSet(known.diff);
    if (options.unsafeFixes && !options.fix && !options.diff)
        return QStringLiteral("--unsafe-fixes goes with --fix or --diff");
    options.isolated = parser.isSet(known.isolated);
    if (options.isolated && !options.config.isEmpty())
        return QStringLiteral("--isolated reads no settings file; --config names one");
    options.userSettings = parser.isSet(known.userSettings);
    options.color = parser.value(known.color);
    if (!colorWanted(options.color, -1))
        return QStringLiteral("unknown --color '%1' (use auto, always or never)").arg(options.color);
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine line;
    const Known known;
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addOptions(known.all());
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("PATH"),
        QStringLiteral("Files and bundle directories to check; - reads a property list from standard input."),
        QStringLiteral("PATH..."));

    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        if (!parser.unknownOptionNames().isEmpty()) {
            if (const QString near = nearestOption(parser.unknownOptionNames().constFirst(), knownNames(known.all()));
                !near.isEmpty())
                line.error += QStringLiteral(" Did you mean --%1?").arg(near);
        }
        return line;
    }
    Options& options = line.options;
    options.paths = parser.positionalArguments();
    options.formatName = parser.value(known.format);
    // Qt's --help-all adds only Qt's own options, which this program has none of.
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        line.action = Action::Help;
        line.helpText = parser.helpText();
        return line;
    }
    if (parser.isSet(versionOption)) {
        line.action = Action::Version;
        return line;
    }
    if (parser.isSet(known.explain) || parser.isSet(known.listFindings)) {
        if (parser.isSet(known.explain) && parser.isSet(known.listFindings)) {
            line.error = QStringLiteral("--explain and --list-findings go one at a time");
            return line;
        }
        line.action = parser.isSet(known.explain) ? Action::Explain : Action::ListFindings;
        options.explain = parser.value(known.explain);
        line.error = catalogueError(line, options.formatName);
        return line;
    }
    line.action = parser.isSet(known.lsp) ? Action::Serve : parser.isSet(known.dump) ? Action::Dump : Action::Check;
    line.error = readCheckOptions(parser, known, options);
    return line;
}

} // namespace cli
