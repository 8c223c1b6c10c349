// Checking on several threads: the pool hands over the files' reports in the
// given order, as one checker on one thread writes them, and stops early
// without checking far ahead.
#include "app/FileChecker.h"

#include "report/ReportText.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

namespace {

// The examples, a missing file and the real corpus, so that clean files,
// findings and failures to read alternate.
QStringList corpusAndExamples()
{
    const QDir examples(qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/examples"));
    QStringList paths;
    for (const QString& name : examples.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name))
        paths << examples.filePath(name);
    paths << examples.filePath(QStringLiteral("missing.plist"));
    const QDir corpus(qEnvironmentVariable("OSTREL_TEST_DATA") + QStringLiteral("/real"));
    for (const QString& name : corpus.entryList({QStringLiteral("*.plist")}, QDir::Files, QDir::Name))
        paths << corpus.filePath(name);
    return paths;
}

// A file's report as text, with the keys of its findings.
QString render(const app::FileReport& file)
{
    QString text = file.path + QLatin1Char('>') + file.read + QLatin1Char('\n') +
                   report::plainText(file.report, file.firstRun, file.endRun, false);
    for (qsizetype f = file.firstFinding; f < file.report.findings().size(); ++f)
        text += file.report.findings()[f].messageKey + QLatin1Char(' ');
    return text;
}

} // namespace

TEST(FileChecker, PoolsOfAnySizeHandOverWhatOneCheckerWritesInOrder)
{
    const QStringList paths = corpusAndExamples();
    ASSERT_GT(paths.size(), 140);
    QStringList serial;
    app::FileChecker checker(false);
    for (const QString& path : paths)
        serial << checker.check(path, render);
    ASSERT_TRUE(serial.join(QString()).contains(QStringLiteral("error:")));

    for (const int jobs : {1, 2, 5}) {
        SCOPED_TRACE(jobs);
        QStringList taken;
        app::checkInOrder<QString>(paths, jobs, render, [&](qsizetype index, QString& text) {
            EXPECT_EQ(index, taken.size());
            taken << text;
        });
        EXPECT_EQ(taken, serial);
    }

    // Taken as it comes, without waiting: the same, in the same order.
    QStringList taken;
    app::CheckPool<QString> pool(paths, 3, render);
    while (pool.deliver([&](qsizetype, QString& text) { taken << text; }, false) < pool.size())
        std::this_thread::yield();
    EXPECT_EQ(taken, serial);
}

TEST(FileChecker, APoolChecksOnlyAFewFilesAheadCuesOnceItMustWaitAndStopsEarly)
{
    QStringList paths;
    for (int i = 0; i < 10; ++i)
        paths += corpusAndExamples();
    constexpr int kAhead = app::CheckPool<int>::kAheadPerThread;
    ASSERT_GT(paths.size(), 3 * 4 * kAhead); // room to stop short more than once
    for (const int jobs : {1, 2, 4}) {
        SCOPED_TRACE(jobs);
        std::atomic<int> checked = 0;
        std::atomic<int> cues = 0;
        int taken = 0;
        {
            // Released once as many files are checked as the pool may check ahead.
            std::latch aheadChecked(kAhead * jobs);
            app::CheckPool<int> pool(
                paths, jobs,
                [&](const app::FileReport&) {
                    const int n = ++checked;
                    if (n <= kAhead * jobs)
                        aheadChecked.count_down();
                    return n;
                },
                [&] { ++cues; });
            // Nothing taken: the workers check as far ahead as they may, no further, and say so.
            aheadChecked.wait();
            while (cues == 0)
                std::this_thread::yield();
            const int ahead = checked;
            EXPECT_EQ(ahead, kAhead * jobs);
            EXPECT_LE(cues, jobs); // not a cue a file
            // All of them are there to take (the last ones as soon as their workers store them).
            while (taken < ahead)
                taken = static_cast<int>(pool.deliver([](qsizetype, int&) {}, false));
            // Taking lets them go on until they must wait again.
            while (cues < 2)
                std::this_thread::yield();
        }
        // Those under way were finished, and no more were started.
        EXPECT_LE(checked, taken + kAhead * jobs);
    }

    // Nothing to check: nothing handed over, no wait.
    app::CheckPool<int> empty({}, 4, [](const app::FileReport&) { return 0; });
    EXPECT_EQ(empty.deliver([](qsizetype, int&) { ADD_FAILURE(); }, true), 0);
}

TEST(FileChecker, AReportThatCannotBeRenderedBecomesTheCaughtExceptionAndTheRunGoesOn)
{
    const QString examples = qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/examples/");
    const QStringList paths{examples + QStringLiteral("Correct.app"), examples + QStringLiteral("Mistakes.app"),
                            examples + QStringLiteral("Loose.plist")};
    QStringList serial;
    app::FileChecker checker(false);
    for (const QString& path : paths)
        serial << checker.check(path, render);
    // On one thread and on worker threads alike: the first render of Mistakes.app runs out of memory.
    for (const int jobs : {1, 3}) {
        SCOPED_TRACE(jobs);
        std::atomic<bool> failed = false;
        const auto failOnce = [&](const app::FileReport& file) {
            if (file.path.endsWith(QStringLiteral("Mistakes.app")) && !failed.exchange(true))
                throw std::bad_alloc();
            return render(file);
        };
        QStringList taken;
        app::checkInOrder<QString>(paths, jobs, failOnce, [&](qsizetype, QString& text) { taken << text; });
        ASSERT_EQ(taken.size(), 3);
        EXPECT_EQ(taken[0], serial[0]);
        const QString read = examples + QStringLiteral("Mistakes.app/Contents/Info.plist");
        EXPECT_EQ(taken[1].toStdString(),
                  (paths[1] + QLatin1Char('>') + read + QStringLiteral("\nChecking Mistakes.app\n") + read +
                   QStringLiteral("\nsafeOpenURL: Caught std::bad_alloc: "
                                  "std::bad_alloc [CaughtException]CaughtException "))
                      .toStdString());
        EXPECT_EQ(taken[2], serial[2]);
    }
}
