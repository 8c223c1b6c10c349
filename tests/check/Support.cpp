#include "Support.h"

#include <QSaveFile>

namespace testsupport {

using namespace check;

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

bool ScriptedWindow::writeRTFDToFile(const QString& path, bool, QString* error)
{
    rtfdWrites << path;
    if (!mRtfdSucceeds) {
        if (error)
            *error = mRtfdFailure;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(mTextStorage.string().toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

void ScriptedWindow::beginPrintSheet(const PrintOptions& options, std::function<void(bool success)> didRun)
{
    printJobs << options;
    didRun(true);
}

} // namespace testsupport
