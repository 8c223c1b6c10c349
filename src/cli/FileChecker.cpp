#include "FileChecker.h"

#include "platform/FileUrl.h"
#include "report/RtfdWriter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace cli {

namespace {

// How many files each thread may check ahead of the one being written.
constexpr qsizetype kAheadPerThread = 4;

} // namespace

FileChecker::FileChecker(Render render, bool keepReport) : mRender(std::move(render)), mKeepReport(keepReport)
{
    mWindow.setRtfdWriter([](const report::TextStorage& report, const QString& path, QString* error) {
        return report::WriteRtfd(report, path, error);
    });
    mController.setWindow(&mWindow);
}

CheckedFile FileChecker::check(const QString& path)
{
    report::TextStorage& report = mWindow.textStorage();
    const qsizetype firstRun = report.runs().size();
    const qsizetype firstFinding = report.findings().size();
    bool completed = false;
    check::PerformCommand([&] {
        mController.applicationOpenFile(path);
        completed = true;
    });
    CheckedFile checked = mRender(FileReport{path, report, firstRun, report.runs().size(), firstFinding,
                                             platform::fileSystemPath(mController.urlRead()), completed});
    if (!mKeepReport)
        report.clear();
    return checked;
}

void checkInOrder(const QStringList& paths, int jobs, const Render& render,
                  const std::function<void(qsizetype index, CheckedFile& file)>& deliver)
{
    const qsizetype count = paths.size();
    jobs = static_cast<int>(std::clamp<qsizetype>(jobs, 1, count));
    if (jobs == 1) {
        FileChecker checker(render, false);
        for (qsizetype i = 0; i < count; ++i) {
            CheckedFile file = checker.check(paths[i]);
            deliver(i, file);
        }
        return;
    }

    const qsizetype ahead = kAheadPerThread * jobs;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<CheckedFile>> done(static_cast<std::size_t>(count));
    qsizetype next = 0;      // the next file a thread takes
    qsizetype delivered = 0; // files handed to deliver so far

    const auto work = [&] {
        FileChecker checker(render, false);
        for (;;) {
            qsizetype index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return next >= count || next < delivered + ahead; });
                if (next >= count)
                    return;
                index = next++;
            }
            CheckedFile file = checker.check(paths[index]);
            {
                std::lock_guard lock(mutex);
                done[static_cast<std::size_t>(index)] = std::move(file);
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(jobs));
    for (int i = 0; i < jobs; ++i)
        threads.emplace_back(work);

    for (qsizetype i = 0; i < count; ++i) {
        CheckedFile file;
        {
            std::unique_lock lock(mutex);
            std::optional<CheckedFile>& slot = done[static_cast<std::size_t>(i)];
            changed.wait(lock, [&] { return slot.has_value(); });
            file = std::move(*slot);
            slot.reset();
            delivered = i + 1;
        }
        changed.notify_all();
        deliver(i, file);
    }
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace cli
