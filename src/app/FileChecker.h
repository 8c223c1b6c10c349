// Checking many files on several threads, for the command line and the
// window alike: one checker per thread, each with its own controller and
// report, and a pool that hands over what each file's check comes to in the
// order the files were given.
#pragma once

#include "app/HeadlessWindow.h"
#include "app/OstrelAppDelegate.h"
#include "report/ReportText.h"
#include "report/TextStorage.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace app {

// The path that stands for standard input, read as a property list.
inline const QString kStandardInputPath = QStringLiteral("-");

// The name standard input's property list is reported under, in its heading
// and as its findings' file: kStandardInputPath unless set otherwise, once,
// before any check starts.
void setStandardInputName(const QString& name);
const QString& standardInputName();

// The settings a path's check runs with (a project's), in front of the stored ones.
using SettingsForPath = std::function<QVariantMap(const QString& path)>;

// One file's part of a checker's report, for the caller to render.
struct FileReport {
    const QString& path;
    const report::TextStorage& report;
    qsizetype firstRun, endRun, firstFinding;
    QString read;             // the file read
    QStringList checkedPaths; // what the check named and read, which no save may replace
    bool completed;           // false when an exception escaped the guard
    int ignored;              // findings the ignore list took out of the report
};

class FileChecker {
public:
    // keepReport: keep every file's runs (to save the whole report);
    // otherwise each file's report is forgotten once it is rendered.
    // ignored: the findings to leave out of the reports (none when empty).
    explicit FileChecker(bool keepReport, report::FindingFilter ignored = {}, SettingsForPath settingsFor = {});

    // Checks one file and returns what render makes of its report. A report
    // that cannot be rendered (memory runs out) gives way to one that says so.
    template <typename Render> auto check(const QString& path, const Render& render)
    {
        const FileReport file = checkFile(path);
        std::optional<decltype(render(file))> rendered;
        try {
            rendered.emplace(render(file));
        } catch (const std::exception& e) {
            rendered.emplace(render(renderFailed(file, e)));
        }
        forgetReport();
        return std::move(*rendered);
    }
    HeadlessWindow& window() { return mWindow; }
    void setReadThrough(check::ReadThrough through) { mController.setReadThrough(std::move(through)); }

private:
    FileReport checkFile(const QString& path);
    // In place of a report that could not be rendered: its heading and the exception.
    FileReport renderFailed(const FileReport& failed, const std::exception& e);
    void forgetReport();

    bool mKeepReport;
    SettingsForPath mSettingsFor;
    // Relative paths are taken against the current directory as it was when
    // the checker was made; the programs do not change it while checking.
    QString mCurrentDirectory;
    HeadlessWindow mWindow;
    OstrelAppDelegate mController;
};

// Checks files on worker threads, each with a checker of its own that forgets
// each report, and hands over each file's result in the given order. At most
// kAheadPerThread files per thread are checked ahead of the next one handed
// over, so memory stays bounded however many files there are. Results are handed
// over in batches, so that the threads wake one another once a batch, not once
// a file. A pool destroyed early starts no further file and waits only for
// those under way.
template <typename Result> class CheckPool {
public:
    using Render = std::function<Result(const FileReport&)>;
    using Take = std::function<void(qsizetype index, Result& result)>;

    // filesDone is called on a worker thread when a file is done and the
    // workers can go no further until files are taken (or all are taken):
    // the owner's cue to take what is ready. Not once a file, which would
    // wake the owner far more often than it needs.
    // At most maxJobs() threads are started, and no more than there are
    // files; when the system refuses a thread, the pool goes on with those it
    // has. Throws std::system_error when it could start none.
    CheckPool(QStringList paths, int jobs, Render render, std::function<void()> filesDone = {},
              report::FindingFilter ignored = {}, SettingsForPath settingsFor = {})
        : mPaths(std::move(paths)), mRender(std::move(render)), mFilesDone(std::move(filesDone)),
          mIgnored(std::move(ignored)), mSettingsFor(std::move(settingsFor)),
          mDone(static_cast<std::size_t>(mPaths.size()))
    {
        jobs = static_cast<int>(std::clamp<qsizetype>(jobs, 1, std::min<qsizetype>(mPaths.size(), maxJobs())));
        mAhead = kAheadPerThread * jobs;
        mThreads.reserve(static_cast<std::size_t>(jobs));
        for (int i = 0; i < jobs; ++i) {
            try {
                mThreads.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                if (mThreads.empty())
                    throw;
                break;
            }
        }
        std::lock_guard lock(mMutex);
        mAhead = kAheadPerThread * static_cast<qsizetype>(mThreads.size());
    }

    // Threads beyond a few per core only cost memory (each has its own rules
    // and report), and past some hundreds they fail to start.
    static int maxJobs()
    {
        return std::min(256, 4 * std::max(1, static_cast<int>(std::thread::hardware_concurrency())));
    }

    ~CheckPool()
    {
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        mRoom.notify_all();
        for (std::thread& thread : mThreads)
            thread.join();
    }
    CheckPool(const CheckPool&) = delete;
    CheckPool& operator=(const CheckPool&) = delete;

    qsizetype size() const { return mPaths.size(); }

    // Hands each file that is ready, in order, to take (on this thread); with
    // wait, waits until every file is handed over. Returns how many files have
    // been handed over so far.
    qsizetype deliver(const Take& take, bool wait)
    {
        std::vector<Result> batch;
        for (;;) {
            qsizetype first = 0;
            {
                std::unique_lock lock(mMutex);
                if (mDelivered >= size())
                    return mDelivered;
                if (wait) {
                    mOwnerWaiting = true;
                    mReady.wait(lock, [&] { return batchReady(); });
                    mOwnerWaiting = false;
                }
                first = mDelivered;
                for (; mDelivered < mReadyUpTo; ++mDelivered) {
                    std::optional<Result>& slot = mDone[static_cast<std::size_t>(mDelivered)];
                    batch.push_back(std::move(*slot));
                    slot.reset();
                }
                if (batch.empty())
                    return mDelivered;
                if (mWorkersWaiting > 0)
                    mRoom.notify_all();
            }
            for (std::size_t i = 0; i < batch.size(); ++i)
                take(first + static_cast<qsizetype>(i), batch[i]);
            batch.clear();
        }
    }

    // How many files each thread may check ahead of the next one handed over:
    // enough that the threads seldom wait for one another, few enough that
    // what is kept for them stays small (a file's rendered report).
    static constexpr qsizetype kAheadPerThread = 64;

private:
    // With the mutex held: enough files are done, in order, to hand over.
    bool batchReady() const { return mReadyUpTo - mDelivered >= std::min(mAhead / 2, size() - mDelivered); }

    void work()
    {
        FileChecker checker(false, mIgnored, mSettingsFor);
        for (;;) {
            qsizetype index = 0;
            {
                std::unique_lock lock(mMutex);
                const auto mayGoOn = [&] { return mStopping || mNext >= size() || mNext < mDelivered + mAhead; };
                if (!mayGoOn()) {
                    ++mWorkersWaiting;
                    mRoom.wait(lock, mayGoOn);
                    --mWorkersWaiting;
                }
                if (mStopping || mNext >= size())
                    return;
                index = mNext++;
            }
            Result result = checker.check(mPaths[index], mRender);
            bool wakeOwner = false;
            bool stalled = false;
            {
                std::lock_guard lock(mMutex);
                mDone[static_cast<std::size_t>(index)] = std::move(result);
                while (mReadyUpTo < size() && mDone[static_cast<std::size_t>(mReadyUpTo)])
                    ++mReadyUpTo;
                wakeOwner = mOwnerWaiting && batchReady();
                // The last file done before the workers wait always sees this.
                stalled = mNext >= size() || mNext >= mDelivered + mAhead;
            }
            if (wakeOwner)
                mReady.notify_one();
            if (stalled && mFilesDone)
                mFilesDone();
        }
    }

    const QStringList mPaths;
    const Render mRender;
    const std::function<void()> mFilesDone;
    const report::FindingFilter mIgnored;
    const SettingsForPath mSettingsFor;
    qsizetype mAhead = 0;
    std::mutex mMutex;
    std::condition_variable mReady; // the owner waits here for a batch
    std::condition_variable mRoom;  // workers wait here for room ahead
    std::vector<std::optional<Result>> mDone;
    qsizetype mNext = 0;      // the next file a thread takes
    qsizetype mReadyUpTo = 0; // the first file not yet done
    qsizetype mDelivered = 0; // files handed over so far
    bool mOwnerWaiting = false;
    int mWorkersWaiting = 0;
    bool mStopping = false;
    std::vector<std::thread> mThreads; // last: started once all else is set
};

// Checks the files on jobs threads and calls take on this thread for each, in
// the given order; with one job, or when no thread can be started, on this
// thread alone.
template <typename Result>
void checkInOrder(const QStringList& paths, int jobs, const typename CheckPool<Result>::Render& render,
                  const typename CheckPool<Result>::Take& take, const report::FindingFilter& ignored = {},
                  const SettingsForPath& settingsFor = {})
{
    if (jobs > 1 && paths.size() > 1) {
        std::optional<CheckPool<Result>> pool;
        try {
            pool.emplace(paths, jobs, render, std::function<void()>(), ignored, settingsFor);
        } catch (const std::system_error&) {
        }
        if (pool) {
            pool->deliver(take, true);
            return;
        }
    }
    FileChecker checker(false, ignored, settingsFor);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        Result result = checker.check(paths[i], render);
        take(i, result);
    }
}

} // namespace app
