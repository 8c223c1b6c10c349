// The command line read into values: what each word means, and the usage
// error of each word that is wrong.
#include "cli/Options.h"
#include "CaseRows.h"

#include "cli/Emitter.h"

#include <gtest/gtest.h>

#include <map>

namespace {

cli::CommandLine parsed(const QStringList& words)
{
    return cli::parseCommandLine(QStringList{QStringLiteral("ostrel-check")} + words);
}

} // namespace

TEST(Options, UsageErrorsNameWhatIsWrong)
{
    for (const QStringList& row : caseRows(QStringLiteral("usage-errors.tsv"))) {
        SCOPED_TRACE(row.mid(1).join(QLatin1Char(' ')).toStdString());
        const QString error = parsed(row.mid(1)).error;
        EXPECT_TRUE(error.contains(row[0])) << error.toStdString();
    }
}

TEST(Options, WordsBecomeTheirValues)
{
    const cli::CommandLine line =
        parsed({"-j", "3", "--fail-on", "warning", "--format", "sarif", "--no-nested", "--ignore", "NoData", "--ignore",
                "KeyTypo:X", "--ignore-file", "i.txt", "--color", "never", "a.app", "-"});
    ASSERT_TRUE(line.error.isEmpty()) << line.error.toStdString();
    const cli::Options& o = line.options;
    EXPECT_EQ(line.action, cli::Action::Check);
    EXPECT_EQ(o.paths, (QStringList{"a.app", "-"}));
    EXPECT_EQ(o.jobs, 3);
    EXPECT_EQ(o.failOn, report::Severity::Warning);
    EXPECT_EQ(o.emitter, cli::emitterNamed(QStringLiteral("sarif")));
    EXPECT_TRUE(o.noNested);
    EXPECT_FALSE(o.buildSettings);
    EXPECT_EQ(o.ignore, (QStringList{"NoData", "KeyTypo:X"}));
    EXPECT_TRUE(o.ignoreFileGiven);
    EXPECT_EQ(o.ignoreFile, QStringLiteral("i.txt"));
    EXPECT_EQ(o.findingsPage.toString(), QLatin1String(cli::kFindingsPage));

    // Without the options: the defaults, and the text form.
    const cli::Options plain = parsed({"a.app"}).options;
    EXPECT_EQ(plain.jobs, 0);
    EXPECT_EQ(plain.failOn, report::Severity::Error);
    EXPECT_EQ(plain.emitter, &cli::formats().front().emitter);
    EXPECT_FALSE(plain.quiet || plain.statistics);

    // A name for standard input and no PATH: standard input is the PATH.
    const cli::CommandLine named = parsed({"--stdin-filename", "A.app/Info.plist", "-q", "--statistics"});
    EXPECT_TRUE(named.error.isEmpty()) << named.error.toStdString();
    EXPECT_EQ(named.options.paths, QStringList{"-"});
    EXPECT_EQ(named.options.stdinFilename, QStringLiteral("A.app/Info.plist"));
    EXPECT_TRUE(named.options.quiet && named.options.statistics);
    EXPECT_FALSE(plain.ignoreFileGiven);
}

TEST(Options, ActionsThatCheckNothingNeedNoPath)
{
    const std::map<QString, cli::Action> actions{{"Help", cli::Action::Help},
                                                 {"Version", cli::Action::Version},
                                                 {"Explain", cli::Action::Explain},
                                                 {"ListFindings", cli::Action::ListFindings},
                                                 {"Dump", cli::Action::Dump}};
    for (const QStringList& row : caseRows(QStringLiteral("cli-actions.tsv"))) {
        SCOPED_TRACE(row.join(QLatin1Char(' ')).toStdString());
        const cli::CommandLine line = parsed(row.mid(1));
        EXPECT_TRUE(line.error.isEmpty()) << line.error.toStdString();
        EXPECT_EQ(line.action, actions.at(row[0]));
    }
}
