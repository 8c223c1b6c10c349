#include "Support.h"

#include <QSaveFile>

namespace testsupport {

using namespace app;

int ScriptedWindow::runOpenPanel(const OpenPanelOptions& options, QList<QUrl>& urls)
{
    openPanels << options;
    if (mOpenAnswers.empty())
        return kPanelCancel;
    PanelAnswer answer = std::move(mOpenAnswers.front());
    mOpenAnswers.pop_front();
    urls = answer.urls;
    return answer.returnCode;
}

void ScriptedWindow::beginSaveSheet(const SavePanelOptions& options,
                                    std::function<void(int returnCode, const QUrl& url)> didEnd)
{
    savePanels << options;
    PanelAnswer answer;
    if (!mSaveAnswers.empty()) {
        answer = std::move(mSaveAnswers.front());
        mSaveAnswers.pop_front();
    }
    didEnd(answer.returnCode, answer.urls.value(0));
}

platform::Result<void> ScriptedWindow::writeRTFDToFile(const QString& path, bool)
{
    rtfdWrites << path;
    if (!mRtfdSucceeds)
        return platform::Error::posix(EIO, mRtfdFailure);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(mTextStorage.string().toUtf8()) < 0 || !file.commit())
        return platform::Error::posix(EIO, file.errorString());
    return {};
}

void ScriptedWindow::beginPrintSheet(const PrintOptions& options, std::function<void(bool success)> didRun)
{
    printJobs << options;
    didRun(true);
}

} // namespace testsupport
