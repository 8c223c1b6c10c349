// The desktop application's one window: the report view, the menus, the
// panels and sheets the controller asks for, and every road by which files
// reach it (command line, drops, a second launch, the Open command).
#pragma once

#include "check/FileChecker.h"
#include "check/OstrelAppDelegate.h"
#include "check/ReportWindow.h"
#include "report/TextStorage.h"

#include <QMainWindow>
#include <QStringList>

#include <atomic>
#include <memory>

class QAction;
class QPrinter;
class QProgressBar;

namespace Ui {
class MainWindow;
}

namespace gui {

class ReportView;

class MainWindow : public QMainWindow, public check::ReportWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    check::OstrelAppDelegate& delegate() { return *mDelegate; }
    ReportView* textView() const;

    // Opens files as the desktop hands them over. A batch is checked on worker
    // threads, one a core, and each file's report is appended whole in the
    // order given, as if they were checked one after another; the window goes
    // on meanwhile. Files that arrive during a batch wait their turn behind it.
    void openPaths(const QStringList& paths);
    bool isBusy() const { return mBusy; }

    // Brings the view up to date with the report (it is filled in between events).
    void flushReport();

    // Whether the view shows the findings of a severity (the Show control).
    bool shows(report::Severity severity) const { return mShows[static_cast<int>(severity)]; }
    // The findings in the selection, or all when nothing is selected, that the
    // view shows: one JSON object a line, as ostrel-check --format json has them.
    QByteArray findingsAsJson() const;

    // The work of the print sheet, on a printer already chosen.
    bool printReport(QPrinter& printer, const QString& jobTitle);
    // Writes the report as PDF at path, replacing a file there atomically.
    bool exportPdf(const QString& path, QString* error);

    // check::ReportWindow
    report::TextStorage& textStorage() override { return mTextStorage; }
    int runOpenPanel(const check::OpenPanelOptions& options, QList<QUrl>& urls) override;
    void beginSaveSheet(const check::SavePanelOptions& options,
                        std::function<void(int returnCode, const QUrl& url)> didEnd) override;
    bool writeRTFDToFile(const QString& path, bool atomically, QString* error) override;
    void beginPrintSheet(const check::PrintOptions& options, std::function<void(bool success)> didRun) override;
    void presentError(const QString& message) override;
    void batchProgress(int done, int total) override;
    bool checkBatch(const QList<QUrl>& urls) override;

signals:
    // A batch has ended and no file waits.
    void batchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpActions();
    void bindSetting(QAction* action, const QString& key);
    void setUpShowControl();
    void setShown(report::Severity severity, bool shown);
    // Fills the view afresh from the report, showing only what the Show control lets through.
    void renderReportAgain();
    void copyAsJson();
    void runBatch();
    // Appends the reports of the batch's files that are ready, in order.
    void takeCheckedFiles();
    void beginBatch();
    void endBatch();
    void exportAsPdf();
    void showAbout();

    std::unique_ptr<Ui::MainWindow> mUi;
    report::TextStorage mTextStorage;
    std::unique_ptr<check::OstrelAppDelegate> mDelegate;
    bool mFlushScheduled = false;
    // What the view has of the report: the runs looked at so far (shown or
    // hidden), the length of its text, and where each finding it shows stands.
    struct ShownFinding {
        int start;
        int end;
        qsizetype finding;
    };
    qsizetype mRunsLookedAt = 0;
    int mViewLength = 0;
    QList<ShownFinding> mShownFindings;
    bool mShows[3] = {true, true, true}; // error, warning, note

    // What a worker's check of one file brings to the window.
    struct CheckedPart {
        report::TextStorage report;
        QStringList checkedPaths;
    };
    std::unique_ptr<check::CheckPool<CheckedPart>> mPool;
    std::atomic_bool mTakeScheduled = false;
    int mBatchSize = 0;

    QStringList mWaiting;
    bool mBusy = false;
    bool mClosing = false;
    bool mBusyCursor = false;
    QProgressBar* mProgress = nullptr;
};

} // namespace gui
