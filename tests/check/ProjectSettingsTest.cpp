// Project settings: what a .ostrel.toml may say, where it is found, and the
// suppressions of a project's files.
#include "check/ProjectSettings.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include "platform/UserDefaults.h"
#include "report/FindingCatalogue.h"

#include <QDir>
#include <QFile>
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

// A tree: top/.git, top/.ostrel.toml, top/a/b/, top/a/below/.ostrel.toml; above/ holds top.
class ProjectTree : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mDir.isValid());
        QDir().mkpath(path("above/top/.git"));
        writeFile(path("above/.ostrel.toml"), "nested = false\n");
        writeFile(path("above/top/.ostrel.toml"), "deprecation-notes = false\n");
        writeFile(path("above/top/a/b/Info.plist"), "<plist/>");
        writeFile(path("above/top/a/below/.ostrel.toml"), "nested = true\n");
        writeFile(path("other/.ostrel.toml"), "build-settings = true\n");
        writeFile(path("other/x/Loose.plist"), "<plist/>");
    }
    QString path(const QString& relative) const { return mDir.filePath(relative); }
    QTemporaryDir mDir;
};

TEST_F(ProjectTree, FoundAboveAndBesideGitNeverBelowNorPastIt)
{
    const struct {
        const char* checked;
        const char* found; // empty: none
    } rows[] = {
        {"above/top/a/b/Info.plist", "above/top/.ostrel.toml"}, // above, stopping at the .git folder
        {"above/top/a/b", "above/top/.ostrel.toml"},
        {"above/top", "above/top/.ostrel.toml"},                 // beside .git
        {"above/top/a", "above/top/.ostrel.toml"},               // the one below is not looked at
        {"above/top/a/below", "above/top/a/below/.ostrel.toml"}, // the nearest wins
        {"other/x/Loose.plist", "other/.ostrel.toml"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.checked);
        EXPECT_EQ(check::findUpwards(path(row.checked), check::kProjectFileName), path(row.found));
    }
    QFile::remove(path("above/top/.ostrel.toml"));
    EXPECT_EQ(check::findUpwards(path("above/top/a/b"), check::kProjectFileName), QString());
}

TEST_F(ProjectTree, IsolatedReadsNoneAndConfigServesEveryPath)
{
    const QString checked = path("above/top/a/b/Info.plist");
    const QString loose = path("other/x/Loose.plist");
    const struct {
        const char* name;
        bool isolated;
        QString config;
        QString forChecked, forLoose;
    } rows[] = {
        {"found", false, {}, path("above/top/.ostrel.toml"), path("other/.ostrel.toml")},
        {"isolated", true, {}, {}, {}},
        {"config", false, path("other/.ostrel.toml"), path("other/.ostrel.toml"), path("other/.ostrel.toml")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        check::Projects projects(report::findingIds(), row.isolated, row.config);
        ASSERT_EQ(projects.load(checked), "");
        ASSERT_EQ(projects.load(loose), "");
        EXPECT_EQ(projects.settingsFor(checked).file, row.forChecked);
        EXPECT_EQ(projects.settingsFor(loose).file, row.forLoose);
    }
    check::Projects missing(report::findingIds(), false, path("none.toml"));
    EXPECT_TRUE(missing.load(checked).startsWith(QStringLiteral("cannot read ")));
}

report::Finding finding(const QString& given, const QString& read, const char* key, const char* keyPath = "")
{
    report::Finding f;
    f.fileGiven = given;
    f.fileRead = read;
    f.messageKey = QString::fromLatin1(key);
    f.keyPath = QString::fromLatin1(keyPath);
    return f;
}

TEST_F(ProjectTree, PerPathAndIgnoreFileEntriesAndThoseThatSilenceNothing)
{
    writeFile(path("above/top/.ostrel.toml"),
              "ignore = [\"BadVers:CFBundleVersion\"]\n"
              "[[per-path]]\npaths = [\"**/Frameworks/**\"]\nignore = [\"DeprecKey\"]\n");
    writeFile(path("above/top/.ostrel-ignore"), "# accepted\nKeyTypo:NSPrincipleClass  # until 2.0\n"
                                                "a/*/Info.plist: UnknownTopKey\nNotDict\n");
    const QString app = path("above/top/a/App.app");
    const QString plist = app + QStringLiteral("/Contents/Info.plist");
    const QString framework = app + QStringLiteral("/Contents/Frameworks/K.framework/Resources/Info.plist");
    check::Projects projects(report::findingIds(), false);
    ASSERT_EQ(projects.load(app), "");
    const struct {
        report::Finding finding;
        bool ignored;
    } rows[] = {
        {finding(app, framework, "DeprecKey"), true},
        {finding(app, plist, "DeprecKey"), false},
        {finding(app, plist, "KeyTypo", "NSPrincipleClass"), true},
        {finding(app, plist, "KeyTypo", "Other"), false},
        {finding(app, path("above/top/a/b/Info.plist"), "UnknownTopKey"), true},
        {finding(app, plist, "UnknownTopKey"), false}, // a/*/ is one folder deep
        {finding(app, plist, "BadVers", "CFBundleVersion"), true},
        {finding(path("other/x/Loose.plist"), path("other/x/Loose.plist"), "DeprecKey"), false}, // not loaded
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.finding.messageKey.toStdString() + " " + row.finding.fileRead.toStdString());
        EXPECT_EQ(projects.ignores(row.finding), row.ignored);
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
