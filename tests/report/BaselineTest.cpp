// A baseline: written from a run's findings, read back, and what it still holds.
#include "report/Baseline.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

report::Finding at(const QString& read, const char* key, const char* keyPath, int line)
{
    report::Finding f;
    f.fileGiven = read;
    f.fileRead = read;
    f.messageKey = QString::fromLatin1(key);
    f.keyPath = QString::fromLatin1(keyPath);
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
    // The file was edited above the key: other lines, the same findings.
    const struct {
        report::Finding finding;
        bool taken;
    } rows[] = {
        {at(plist, "KeyTypo", "NSPrincipleClass", 25), true},
        {at(plist, "KeyTypo", "NSPrincipleClass", 26), false}, // a second one is new
        {at(plist, "BadType", "A[0]", 9), true},
        {at(dir.filePath(QStringLiteral("B.plist")), "KeyTypo", "NSPrincipleClass", 19), false},
        {at(plist, "BadType", "A[1]", 9), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.finding.messageKey.toStdString() + " " + row.finding.keyPath.toStdString());
        EXPECT_EQ(read->takes(row.finding), row.taken);
    }
    // One BadType was fixed: its entry is listed, to be pruned.
    EXPECT_EQ(read->stale(), (QList<report::Baseline::Entry>{{"BadType", "A.app/Contents/Info.plist", "A[0]", 1}}));
}

TEST(Baseline, FilesThatAreNoBaselineAreRefused)
{
    QTemporaryDir dir;
    const struct {
        const char* text;
        const char* error;
    } rows[] = {
        {"{", "is no baseline of ostrel-check: "},
        {"{\"findings\": []}", "is no baseline of ostrel-check"},
        {"{\"ostrel-baseline\": 1, \"findings\": [{\"id\": \"KeyTypo\", \"file\": \"a\", \"count\": 0}]}",
         "entry 1 needs an id, a file and a count of at least 1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const QString path = dir.filePath(QStringLiteral("b.json"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(row.text);
        file.close();
        QString error;
        EXPECT_FALSE(report::Baseline::read(path, error));
        EXPECT_TRUE(error.contains(QString::fromLatin1(row.error))) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(report::Baseline::read(dir.filePath(QStringLiteral("none.json")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("no such file")));
}

} // namespace
