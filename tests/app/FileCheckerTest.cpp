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
    const QDir examples(qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/examples");
    QStringList paths;
    for (const QString& name : examples.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name))
        paths << examples.filePath(name);
    paths << examples.filePath("missing.plist");
    const QDir corpus(qEnvironmentVariable("OSTREL_TEST_DATA") + "/real");
    for (const QString& name : corpus.entryList({"*.plist"}, QDir::Files, QDir::Name))
        paths << corpus.filePath(name);
    return paths;
}

// A file's report as text, with the keys of its findings.
QString render(const app::FileReport& file)
{
    QString text =
        file.path + '>' + file.read + '\n' + report::plainText(file.report, file.firstRun, file.endRun, false);
    for (qsizetype f = file.firstFinding; f < file.report.findings().size(); ++f)
        text += file.report.findings()[f].messageKey + ' ';
    return text;
}

} // namespace

// On one thread and on worker threads alike; a report that cannot be rendered
// (the first render of Mistakes.app runs out of memory) becomes the caught
// exception, and the run goes on.
TEST(FileChecker, PoolsOfAnySizeHandOverWhatOneCheckerWritesInOrder)
{
    const QStringList paths = corpusAndExamples();
    ASSERT_GT(paths.size(), 140);
    QStringList serial;
    app::FileChecker checker(false);
    for (const QString& path : paths)
        serial << checker.check(path, render);
    ASSERT_TRUE(serial.join(QString()).contains("error:"));
    QStringList expected = serial;
    const qsizetype mistakes = paths.indexOf(qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/examples/Mistakes.app");
    const QString read = paths[mistakes] + "/Contents/Info.plist";
    expected[mistakes] = paths[mistakes] + '>' + read + "\nChecking Mistakes.app\n" + read +
                         "\nsafeOpenURL: Caught std::bad_alloc: std::bad_alloc [CaughtException]CaughtException ";

    for (const int jobs : {1, 2, 5}) {
        SCOPED_TRACE(jobs);
        std::atomic<bool> failed = false;
        const auto failOnce = [&](const app::FileReport& file) {
            if (file.path == paths[mistakes] && !failed.exchange(true))
                throw std::bad_alloc();
            return render(file);
        };
        QStringList taken;
        app::checkInOrder<QString>(paths, jobs, failOnce, [&](qsizetype index, QString& text) {
            EXPECT_EQ(index, taken.size());
            taken << text;
        });
        EXPECT_EQ(taken, expected);
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
