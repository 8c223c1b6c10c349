// What the controller's tests share: a window whose panels answer as the test
// scripted them.
#pragma once

#include "app/ReportWindow.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <utility>

namespace testsupport {

// A window for the controller's tests: each panel answers as the test
// scripted it, and every request is recorded for the test to look at.
class ScriptedWindow : public app::ReportWindow {
public:
    struct PanelAnswer {
        int returnCode = app::kPanelCancel;
        QList<QUrl> urls; // the open panel's choice, or the save panel's file (first)
    };

    report::TextStorage& textStorage() override { return mTextStorage; }

    // Answers are used in order; with none left a panel is cancelled.
    void scriptOpenPanel(PanelAnswer answer) { mOpenAnswers.push_back(std::move(answer)); }
    void scriptSavePanel(PanelAnswer answer) { mSaveAnswers.push_back(std::move(answer)); }
    // Whether writing RTFD succeeds; a success writes a small file at the path.
    void scriptRtfdWrite(bool succeeds, QString failure = {})
    {
        mRtfdSucceeds = succeeds;
        mRtfdFailure = std::move(failure);
    }

    int runOpenPanel(const app::OpenPanelOptions& options, QList<QUrl>& urls) override;
    void beginSaveSheet(const app::SavePanelOptions& options,
                        std::function<void(int returnCode, const QUrl& url)> didEnd) override;
    platform::Result<void> writeRTFDToFile(const QString& path, bool atomically) override;
    void beginPrintSheet(const app::PrintOptions& options, std::function<void(bool success)> didRun) override;
    void presentError(const QString& message) override { presentedErrors << message; }
    void batchProgress(int done, int total) override { progress.append({done, total}); }

    // What was asked of the window.
    QList<app::OpenPanelOptions> openPanels;
    QList<app::SavePanelOptions> savePanels;
    QList<app::PrintOptions> printJobs;
    QStringList rtfdWrites; // the paths
    QStringList presentedErrors;
    QList<std::pair<int, int>> progress;

private:
    report::TextStorage mTextStorage;
    std::deque<PanelAnswer> mOpenAnswers;
    std::deque<PanelAnswer> mSaveAnswers;
    bool mRtfdSucceeds = true;
    QString mRtfdFailure;
};

} // namespace testsupport
