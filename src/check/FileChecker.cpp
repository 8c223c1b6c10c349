#include "check/FileChecker.h"

#include "platform/FileUrl.h"
#include "report/RtfdWriter.h"

namespace check {

FileChecker::FileChecker(bool keepReport) : mKeepReport(keepReport), mCurrentDirectory(platform::currentDirectoryPath())
{
    mWindow.setRtfdWriter([](const report::TextStorage& report, const QString& path, QString* error) {
        return report::WriteRtfd(report, path, error);
    });
    mController.setWindow(&mWindow);
}

FileReport FileChecker::checkFile(const QString& path)
{
    const report::TextStorage& report = mWindow.textStorage();
    const qsizetype firstRun = report.runs().size();
    const qsizetype firstFinding = report.findings().size();
    const qsizetype firstChecked = mController.checkedPaths().size();
    bool completed = false;
    PerformCommand([&] {
        mController.safeOpenURL(platform::fileURLWithPath(path, mCurrentDirectory));
        completed = true;
    });
    return FileReport{path,
                      report,
                      firstRun,
                      report.runs().size(),
                      firstFinding,
                      platform::fileSystemPath(mController.urlRead()),
                      mController.checkedPaths().mid(firstChecked),
                      completed};
}

void FileChecker::forgetReport()
{
    if (!mKeepReport)
        mWindow.textStorage().clear();
}

} // namespace check
