// A window for tests: each panel answers as the test scripted it, and every
// request is recorded so the test can look at it afterwards.
#pragma once

#include "check/ReportWindow.h"

#include <QStringList>

#include <deque>

namespace check {

class ScriptedWindow : public ReportWindow {
public:
    struct PanelAnswer {
        int returnCode = kPanelCancel;
        QList<QUrl> urls; // the open panel's choice, or the save panel's file (first)
    };

    TextStorage& textStorage() override { return mTextStorage; }

    // Answers are used in order; with none left a panel is cancelled.
    void scriptOpenPanel(PanelAnswer answer) { mOpenAnswers.push_back(std::move(answer)); }
    void scriptSavePanel(PanelAnswer answer) { mSaveAnswers.push_back(std::move(answer)); }
    // Whether writing RTFD succeeds; a success writes a small file at the path.
    void scriptRtfdWrite(bool succeeds, QString failure = {})
    {
        mRtfdSucceeds = succeeds;
        mRtfdFailure = std::move(failure);
    }

    int runOpenPanel(const OpenPanelOptions& options, QList<QUrl>& urls) override;
    void beginSaveSheet(const SavePanelOptions& options,
                        std::function<void(int returnCode, const QUrl& url)> didEnd) override;
    bool writeRTFDToFile(const QString& path, bool atomically, QString* error) override;
    void beginPrintSheet(const PrintOptions& options, std::function<void(bool success)> didRun) override;
    void presentError(const QString& message) override { presentedErrors << message; }
    void batchProgress(int done, int total) override { progress.append({done, total}); }

    // What was asked of the window.
    QList<OpenPanelOptions> openPanels;
    QList<SavePanelOptions> savePanels;
    QList<PrintOptions> printJobs;
    QStringList rtfdWrites; // the paths
    QStringList presentedErrors;
    QList<std::pair<int, int>> progress;

private:
    TextStorage mTextStorage;
    std::deque<PanelAnswer> mOpenAnswers;
    std::deque<PanelAnswer> mSaveAnswers;
    bool mRtfdSucceeds = true;
    QString mRtfdFailure;
};

} // namespace check
