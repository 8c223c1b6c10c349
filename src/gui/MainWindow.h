// The desktop application's one window: the report view, the menus, the
// panels and sheets the controller asks for, and every road by which files
// reach it (command line, drops, a second launch, the Open command).
#pragma once

#include "app/FileChecker.h"
#include "app/OstrelAppDelegate.h"
#include "app/ReportWindow.h"
#include "check/ProjectSettings.h"
#include "fix/Fixer.h"
#include "report/SaveTarget.h"
#include "report/TextStorage.h"

#include <QMainWindow>
#include <QStringList>

#include <atomic>
#include <memory>

class QAction;
class QFileSystemWatcher;
class QMenu;
class QLabel;
class QLineEdit;
class QToolBar;
class QPrinter;
class QProgressBar;

namespace Ui {
class MainWindow;
}

namespace gui {

class ReportView;
class SourcePane;

class MainWindow : public QMainWindow, public app::ReportWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    app::OstrelAppDelegate& delegate() { return *mDelegate; }
    ReportView* textView() const;

    // Opens files as the desktop hands them over. A batch is checked on worker
    // threads, one a core, and each file's report is appended whole in the
    // order given, as if they were checked one after another; the window goes
    // on meanwhile. Files that arrive during a batch wait their turn behind it.
    void openPaths(const QStringList& paths);
    bool isBusy() const { return mBusy; }
    // The files and bundles the report holds, in its order.
    QStringList checkedFiles() const;
    // Checks every file of the report again; the new report replaces the old.
    void reload();
    // Takes every file's report out, back to the introduction.
    void clearReport();

    // Brings the view up to date with the report (it is filled in between events).
    void flushReport();

    // Whether the view shows the findings of a severity (the Show control).
    bool shows(report::Severity severity) const { return mShows[static_cast<int>(severity)]; }
    // The findings in the selection, or all when nothing is selected, that the
    // view shows: one JSON object a line, as ostrel-check --format json has them.
    QByteArray findingsAsJson() const;

    // The findings of each severity in the report, and the bundles (headings) it checks.
    int count(report::Severity severity) const { return mCounts[static_cast<int>(severity)]; }
    int bundleCount() const { return mBundles; }
    // "3 errors, 8 warnings in 6 bundles", as the title and the status bar show it.
    QString totalsText() const;
    // Selects the next (or previous) finding the view shows, from the cursor on, round the end.
    void goToFinding(bool forward);
    // Selects the next (or previous) place of text in the report, round the end; false when there is none.
    bool findText(const QString& text, bool backward = false);

    // The finding the view shows at a position of its text, or null.
    const report::Finding* findingAt(int position) const;
    // Opens the source pane at the finding at a position of the view; false when none is there.
    bool openSource(int position);
    SourcePane* sourcePane() const { return mSource; }

    // The work of the print sheet, on a printer already chosen.
    bool printReport(QPrinter& printer, const QString& jobTitle);
    // Writes the report as PDF at path, replacing a file there atomically.
    bool exportPdf(const QString& path, QString* error);
    // The report as one self-contained HTML file: the icons inline, each
    // bundle's findings a list with their lines and IDs. Well-formed XML too.
    QByteArray reportAsHtml() const;
    bool exportHtml(const QString& path, QString* error);

    // app::ReportWindow
    report::TextStorage& textStorage() override { return mTextStorage; }
    int runOpenPanel(const app::OpenPanelOptions& options, QList<QUrl>& urls) override;
    void beginSaveSheet(const app::SavePanelOptions& options,
                        std::function<void(int returnCode, const QUrl& url)> didEnd) override;
    platform::Result<void> writeRTFDToFile(const QString& path, bool atomically) override;
    void beginPrintSheet(const app::PrintOptions& options, std::function<void(bool success)> didRun) override;
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
    // Each setting's menu item names the project files that decide it for these paths.
    void showProjectSettings(const QStringList& paths);
    void setUpShowControl();
    void setShown(report::Severity severity, bool shown);
    void setUpNavigation();
    // The counts after the report grew or was filled again: Show bar, title, status bar.
    void updateTotals();
    // Whether a run opens a file's heading ("Checking " and the name in bold).
    bool isHeading(qsizetype run) const;
    // Fills the view afresh from the report, showing only what the Show control lets through.
    void renderReportAgain();
    void copyAsJson();
    void runBatch();
    // Appends the reports of the batch's files that are ready, in order.
    void takeCheckedFiles();
    void beginBatch();
    void endBatch();
    void exportAsPdf();
    void exportAsHtml();
    // Asks where to export, then writes there with write; a failure is shown.
    void exportWithDialog(report::DocumentKind kind, const QString& suffix, const QString& name, const QString& filter,
                          const QString& title, bool (MainWindow::*write)(const QString&, QString*));
    // Writes a document of kind at path through write (given the file to fill
    // beside the target), then swaps it in atomically.
    bool writeDocument(const QString& path, report::DocumentKind kind,
                       const std::function<bool(const QString& built)>& write, QString* error);
    void showAbout();
    void setUpFileLoop();
    void setUpSourcePane();
    void showContextMenu(const QPoint& at);
    // Fixes: one finding's, or every safe one of the report's files; then
    // the files are checked again. The last can be undone while the files
    // stay as it left them.
    void setUpFixes();
    void applyFixes(const QStringList& paths, const fix::Options& options);
    void undoFix();
    void openInEditor(const report::Finding& finding);
    void rememberRecent(const QStringList& paths);
    void fillRecentMenu();
    // Watches the files a check read, while Watch Files is on.
    void watch(const QStringList& paths);
    void recheckChanged();
    // Makes the report afresh from the introduction and each file's part,
    // file index's part taken from replacement when it is given.
    void rebuildReport(qsizetype index = -1, const report::TextStorage* replacement = nullptr);

    std::unique_ptr<Ui::MainWindow> mUi;
    report::TextStorage mTextStorage;
    std::unique_ptr<app::OstrelAppDelegate> mDelegate;
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
    int mCounts[3] = {0, 0, 0};
    int mBundles = 0;
    QString mHeadingPrefix;
    QLabel* mTotals = nullptr;
    QToolBar* mFindBar = nullptr;
    QLineEdit* mFindField = nullptr;

    // What a worker's check of one file brings to the window.
    struct CheckedPart {
        report::TextStorage report;
        QStringList checkedPaths;
    };
    std::unique_ptr<app::CheckPool<CheckedPart>> mPool;
    // The project settings and suppressions of the batch under way.
    std::shared_ptr<check::Projects> mProjects;
    QList<std::pair<QAction*, QString>> mSettingActions; // with the key each one sets
    std::atomic_bool mTakeScheduled = false;
    int mBatchSize = 0;

    // A file waiting to be checked, and the file of the report whose part
    // its report replaces (-1: it is appended).
    struct Pending {
        QString path;
        qsizetype replaces = -1;
    };
    QList<Pending> mWaiting;
    QList<Pending> mBatch;
    // Each file's part of the report: runs [firstRun, endRun), and what its check read.
    struct CheckedFile {
        QString path;
        qsizetype firstRun = 0;
        qsizetype endRun = 0;
        QStringList checkedPaths;
    };
    QList<CheckedFile> mFiles;
    QList<fix::FileFix> mLastFix; // what Undo Fix puts back
    QStringList mLastFixPaths;
    qsizetype mIntroRuns = 0;
    QFileSystemWatcher* mWatcher = nullptr;
    QStringList mChanged;
    QMenu* mRecentMenu = nullptr;
    SourcePane* mSource = nullptr;
    bool mBusy = false;
    bool mClosing = false;
    bool mBusyCursor = false;
    QProgressBar* mProgress = nullptr;
};

} // namespace gui
