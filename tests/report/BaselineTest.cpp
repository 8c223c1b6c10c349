// A baseline: written from a run's findings, read back, and what it still holds.
#include "report/Baseline.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using testsupport::writeFile;

namespace {

report::Finding at(const QString& read, const QString& key, const QString& keyPath, int line)
{
    report::Finding f;
    f.fileGiven = read;
    f.fileRead = read;
    f.messageKey = key;
    f.keyPath = keyPath;
    f.position.line = line;
    return f;
}

TEST(Baseline, WrittenWithoutLinesAndTakenOnceForEachCounted)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plist = dir.filePath(QStringLiteral("A.app/Contents/Info.plist"));
    report::Baseline written(dir.path());
    written.add(at(plist, "KeyTypo", "NSPrincipleClass", 19));
    written.add(at(plist, "BadType", "A[0]", 3));
    written.add(at(plist, "BadType", "A[0]", 4));
    const QString file = dir.filePath(QStringLiteral("baseline.json"));
    QString error;
    ASSERT_TRUE(written.write(file, error)) << error.toStdString();
    const QList<report::Baseline::Entry> expected{{"BadType", "A.app/Contents/Info.plist", "A[0]", 2},
                                                  {"KeyTypo", "A.app/Contents/Info.plist", "NSPrincipleClass", 1}};
    EXPECT_EQ(written.entries(), expected);

    std::unique_ptr<report::Baseline> read = report::Baseline::read(file, error);
    ASSERT_TRUE(read) << error.toStdString();
    EXPECT_EQ(read->entries(), expected);
    for (const QStringList& row : caseRows("report-baseline-takes.tsv")) {
        SCOPED_TRACE(row.join(' ').toStdString());
        ASSERT_EQ(row.size(), 5);
        const report::Finding f = at(dir.filePath(row[2]), row[0], row[1], row[3].toInt());
        EXPECT_EQ(read->takes(f), row[4] == "1");
    }
    // One BadType was fixed: its entry is listed, to be pruned.
    EXPECT_EQ(read->stale(), (QList<report::Baseline::Entry>{{"BadType", "A.app/Contents/Info.plist", "A[0]", 1}}));
}

TEST(Baseline, FilesThatAreNoBaselineAreRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.json"));
    for (const QStringList& row : caseRows("report-baselines.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 2);
        writeFile(path, row[0].toUtf8());
        QString error;
        EXPECT_FALSE(report::Baseline::read(path, error));
        EXPECT_TRUE(error.contains(row[1])) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(report::Baseline::read(dir.filePath(QStringLiteral("none.json")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("no such file")));
}

} // namespace
