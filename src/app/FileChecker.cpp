#include "app/FileChecker.h"

#include "platform/FileUrl.h"
#include "platform/UserDefaults.h"
#include "report/RtfdWriter.h"

namespace app {

using namespace check;

namespace {

QString& standardInputNameSet()
{
    static QString name = kStandardInputPath;
    return name;
}

} // namespace

void setStandardInputName(const QString& name)
{
    standardInputNameSet() = name;
}

const QString& standardInputName()
{
    return standardInputNameSet();
}

FileChecker::FileChecker(bool keepReport, report::FindingFilter ignored, SettingsForPath settingsFor)
    : mKeepReport(keepReport), mSettingsFor(std::move(settingsFor)), mCurrentDirectory(platform::currentDirectoryPath())
{
    mController.setIgnored(std::move(ignored));
    mWindow.setRtfdWriter(
        [](const report::TextStorage& report, const QString& path) { return report::WriteRtfd(report, path); });
    mController.setWindow(&mWindow);
}

FileReport FileChecker::checkFile(const QString& path)
{
    const report::TextStorage& report = mWindow.textStorage();
    const qsizetype firstRun = report.runs().size();
    const qsizetype firstFinding = report.findings().size();
    const qsizetype firstChecked = mController.checkedPaths().size();
    const int ignoredBefore = mController.ignoredCount();
    bool completed = false;
    const bool standardInput = path == kStandardInputPath;
    if (mSettingsFor)
        platform::UserDefaults::standard().setThreadValues(mSettingsFor(path));
    PerformCommand([&] {
        if (standardInput)
            mController.safeCheckStandardInput(standardInputName());
        else
            mController.safeOpenURL(platform::fileURLWithPath(path, mCurrentDirectory));
        completed = true;
    });
    return FileReport{standardInput ? standardInputName() : path,
                      report,
                      firstRun,
                      report.runs().size(),
                      firstFinding,
                      standardInput ? standardInputName() : platform::fileSystemPath(mController.urlRead()),
                      mController.checkedPaths().mid(firstChecked),
                      completed,
                      mController.ignoredCount() - ignoredBefore};
}

FileReport FileChecker::renderFailed(const FileReport& failed, const std::exception& e)
{
    // What was too large to render goes first, unless the whole report is kept.
    const QString read = failed.read;
    const QStringList checkedPaths = failed.checkedPaths;
    const int ignored = failed.ignored;
    forgetReport();
    const report::TextStorage& report = mWindow.textStorage();
    const qsizetype firstRun = report.runs().size();
    const qsizetype firstFinding = report.findings().size();
    mController.appendHeading(platform::lastPathComponent(platform::fileURLWithPath(failed.path, mCurrentDirectory)),
                              read);
    mController.appendCaughtException(e);
    return FileReport{failed.path,  report, firstRun, report.runs().size(), firstFinding, read,
                      checkedPaths, true,   ignored};
}

void FileChecker::forgetReport()
{
    if (!mKeepReport)
        mWindow.textStorage().clear();
}

} // namespace app
