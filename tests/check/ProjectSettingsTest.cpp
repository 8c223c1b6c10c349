// Project settings: what a .ostrel.toml may say, where it is found, and the
// suppressions of a project's files.
#include "check/ProjectSettings.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include "platform/UserDefaults.h"
#include "report/FindingCatalogue.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using testsupport::writeFile;

TEST(ProjectSettings, RefusalsNameTheLineAndTheSetting)
{
    for (const QStringList& row : caseRows("project-settings.tsv")) {
        ASSERT_EQ(row.size(), 2);
        SCOPED_TRACE(row[0].toStdString());
        QString error;
        const bool parsed =
            check::parseProjectSettings(unescaped(row[0]), QStringLiteral("p/.ostrel.toml"), error).has_value();
        EXPECT_EQ(parsed, row[1].isEmpty());
        EXPECT_TRUE(parsed ? error.isEmpty() : error.startsWith(row[1])) << error.toStdString();
    }
}

TEST(ProjectSettings, ValuesAndPathsRelativeToTheFile)
{
    QString error;
    const auto settings = check::parseProjectSettings(
        "fail-on = \"warning\"\nnested = false\nunknown-key-notes = false\nrules = \"ci/rules.plist\"\n"
        "baseline = \"/abs/base.json\"\n",
        QStringLiteral("/p/q/.ostrel.toml"), error);
    ASSERT_TRUE(settings) << error.toStdString();
    EXPECT_EQ(settings->failOn, report::Severity::Warning);
    EXPECT_EQ(settings->rules, QStringLiteral("/p/q/ci/rules.plist"));
    EXPECT_EQ(settings->baseline, QStringLiteral("/abs/base.json"));
    // Only what the file names is set: the rest stays with the command line and the defaults.
    const QVariantMap expected{{platform::CheckNestedBundlesKey, false}, {platform::NoteUnknownKeysKey, false}};
    EXPECT_EQ(settings->defaults(), expected);
}

// The tree tests/data/cases/check-project-tree.tsv describes, and its rows of a kind.
class ProjectTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mDir.isValid());
        for (const QStringList& row : rows("file"))
            writeFile(path(row.value(1)), unescaped(row.value(2)));
    }
    QString path(const QString& relative) const { return relative.isEmpty() ? QString() : mDir.filePath(relative); }
    static std::vector<QStringList> rows(const QString& kind)
    {
        std::vector<QStringList> rows;
        for (const QStringList& row : caseRows("check-project-tree.tsv"))
            if (row[0] == kind)
                rows.push_back(row);
        EXPECT_FALSE(rows.empty()) << kind.toStdString();
        return rows;
    }
    QTemporaryDir mDir;
};

TEST_F(ProjectTree, FoundAboveAndBesideGitNeverBelowNorPastIt)
{
    for (const QStringList& row : rows("found")) {
        ASSERT_EQ(row.size(), 3);
        EXPECT_EQ(check::findUpwards(path(row[1]), check::kProjectFileName), path(row[2])) << row[1].toStdString();
    }
}

TEST_F(ProjectTree, IsolatedReadsNoneAndConfigServesEveryPath)
{
    for (const QStringList& row : rows("served")) {
        ASSERT_EQ(row.size(), 6);
        SCOPED_TRACE(row[1].toStdString());
        const QString config = row[1].startsWith("config=") ? path(row[1].mid(7)) : QString();
        check::Projects projects(report::findingIds(), row[1] == "isolated", config);
        for (int i = 2; i < 6; i += 2)
            ASSERT_EQ(projects.load(path(row[i])), "");
        for (int i = 2; i < 6; i += 2)
            EXPECT_EQ(projects.settingsFor(path(row[i])).file, path(row[i + 1]));
    }
    check::Projects missing(report::findingIds(), false, path("none.toml"));
    EXPECT_TRUE(missing.load(path("other/x/Loose.plist")).startsWith(QStringLiteral("cannot read ")));
}

TEST_F(ProjectTree, PerPathAndIgnoreFileEntriesAndThoseThatSilenceNothing)
{
    check::Projects projects(report::findingIds(), false);
    ASSERT_EQ(projects.load(path("above/top/a/App.app")), "");
    for (const QStringList& row : rows("ignored")) {
        ASSERT_EQ(row.size(), 6);
        SCOPED_TRACE(row.join(' ').toStdString());
        report::Finding finding;
        finding.fileGiven = path(row[1]);
        finding.fileRead = path(row[2]);
        finding.messageKey = row[3];
        finding.keyPath = row[4];
        EXPECT_EQ(projects.ignores(finding), row[5] == "yes");
    }
    const QList<report::Finding> unused = projects.unusedFindings();
    ASSERT_EQ(unused.size(), 1);
    EXPECT_EQ(unused[0].fileRead, path("above/top/.ostrel-ignore"));
    EXPECT_EQ(unused[0].position.line, 4);
    EXPECT_EQ(unused[0].messageKey, "UnusedSuppression");
    EXPECT_TRUE(unused[0].text.contains(QStringLiteral("NotDict"))) << unused[0].text.toStdString();

    writeFile(path("other/.ostrel.toml"), "ignore = [\"NoSuchID\"]\n");
    check::Projects refused(report::findingIds(), false);
    EXPECT_EQ(refused.load(path("other/x/Loose.plist")),
              path("other/.ostrel.toml") + QStringLiteral(":1: ignore: unknown message key 'NoSuchID'"));
}

} // namespace
