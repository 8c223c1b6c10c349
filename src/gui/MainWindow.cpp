#include "gui/MainWindow.h"

#include "gui/BundleOpenDialog.h"
#include "gui/DocumentSaveDialog.h"
#include "gui/ReportView.h"
#include "gui/SourcePane.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"
#include "platform/Interruption.h"
#include "platform/UserDefaults.h"
#include "report/FindingCatalogue.h"
#include "report/ReportText.h"
#include "report/RtfdWriter.h"
#include "report/SaveTarget.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include <sys/stat.h>

namespace gui {

namespace {

const QString kGeometryKey = QStringLiteral("MainWindow/Geometry");
// How often the view is brought up to date during a batch, in milliseconds.
constexpr int kBatchFlushInterval = 100;
// The Show control's settings: which findings the view shows.
const QString kShowErrorsKey = QStringLiteral("ShowErrors");
const QString kShowWarningsKey = QStringLiteral("ShowWarnings");
const QString kShowNotesKey = QStringLiteral("ShowNotes");
const QString kWatchFilesKey = QStringLiteral("WatchFiles");
const QString kRecentFilesKey = QStringLiteral("RecentFiles");
constexpr int kRecentFiles = 10;
// How long changes of a file settle before it is checked again, in milliseconds.
constexpr int kChangeSettleInterval = 200;

// Local files and directories among dropped URLs, in order.
QStringList localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.append(platform::fileSystemPath(url)); // keeps the bytes of names that are not UTF-8
    }
    return paths;
}

// The desktop's binding for a command; where the platform names none (some
// leave Save As and Quit unbound), the one GNOME and KDE use.
void setStandardShortcut(QAction* action, QKeySequence::StandardKey key, const QString& fallback)
{
    const QList<QKeySequence> bindings = QKeySequence::keyBindings(key);
    action->setShortcuts(bindings.isEmpty() ? QList<QKeySequence>{QKeySequence(fallback)} : bindings);
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), mUi(std::make_unique<Ui::MainWindow>())
{
    // As the window is loaded the controller is made (fonts, icons, rules,
    // validator); the outlets are connected before awakeFromNib.
    mDelegate = std::make_unique<app::OstrelAppDelegate>();
    mUi->setupUi(this);
    textView()->setFont(ReportView::fontFor(mDelegate->font()));
    textView()->viewport()->installEventFilter(this);

    // The view is filled between events, in one edit for all runs appended
    // meanwhile: far cheaper than laying out every run on its own. During a
    // batch, a few times a second.
    mTextStorage.setObserver([this](const report::StyledString&) {
        if (!mFlushScheduled) {
            mFlushScheduled = true;
            QTimer::singleShot(mBusy ? kBatchFlushInterval : 0, this, &MainWindow::flushReport);
        }
    });

    mProgress = new QProgressBar(this);
    mProgress->setMaximumWidth(200);
    mProgress->setTextVisible(false);
    mProgress->hide();
    statusBar()->addPermanentWidget(mProgress);
    mTotals = new QLabel(this);
    mTotals->setObjectName(QStringLiteral("totalsLabel"));
    statusBar()->addPermanentWidget(mTotals);
    mHeadingPrefix = platform::Bundle::main().localizedString(QStringLiteral("CheckingPrefix"));

    setUpActions();
    const QByteArray geometry = platform::UserDefaults::standard().store().value(kGeometryKey).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);

    mDelegate->setWindow(this);
    mDelegate->awakeFromNib();
    mIntroRuns = mTextStorage.runs().size();
    // Without rules only the reading and the bundle's files are checked; the
    // user is told so, as the command line refuses such a rules file.
    if (!mDelegate->rulesDict())
        statusBar()->showMessage(
            tr("The rules file %1 could not be read as a property list; dictionaries are checked without rules.")
                .arg(platform::Bundle::main().pathForResource(QStringLiteral("rules.plist"))));
}

MainWindow::~MainWindow()
{
    // The workers stop first: they call back into this window. Then the
    // controller: it holds on to this window.
    mPool.reset();
    mDelegate.reset();
}

ReportView* MainWindow::textView() const
{
    return mUi->oTextView;
}

void MainWindow::setUpActions()
{
    Ui::MainWindow& ui = *mUi;
    setStandardShortcut(ui.actionOpen, QKeySequence::Open, QStringLiteral("Ctrl+O"));
    setStandardShortcut(ui.actionSaveAs, QKeySequence::SaveAs, QStringLiteral("Ctrl+Shift+S"));
    setStandardShortcut(ui.actionPrint, QKeySequence::Print, QStringLiteral("Ctrl+P"));
    setStandardShortcut(ui.actionQuit, QKeySequence::Quit, QStringLiteral("Ctrl+Q"));
    setStandardShortcut(ui.actionCopy, QKeySequence::Copy, QStringLiteral("Ctrl+C"));
    setStandardShortcut(ui.actionSelectAll, QKeySequence::SelectAll, QStringLiteral("Ctrl+A"));

    connect(ui.actionOpen, &QAction::triggered, this, [this] {
        if (!mBusy)
            app::PerformCommand([this] { mDelegate->openFiles(); });
    });
    connect(ui.actionSaveAs, &QAction::triggered, this,
            [this] { app::PerformCommand([this] { mDelegate->saveDocumentAs(); }); });
    connect(ui.actionPrint, &QAction::triggered, this,
            [this] { app::PerformCommand([this] { mDelegate->printText(); }); });
    connect(ui.actionExportPdf, &QAction::triggered, this, &MainWindow::exportAsPdf);
    auto* exportHtmlAction = new QAction(tr("Export as &HTML…"), this);
    exportHtmlAction->setObjectName(QStringLiteral("actionExportHtml"));
    connect(exportHtmlAction, &QAction::triggered, this, &MainWindow::exportAsHtml);
    ui.menuFile->insertAction(ui.actionExportPdf, exportHtmlAction);
    ui.menuFile->insertAction(exportHtmlAction, ui.actionExportPdf);
    connect(ui.actionQuit, &QAction::triggered, this, &QWidget::close);

    ReportView* view = textView();
    ui.actionCopy->setEnabled(false);
    connect(view, &QPlainTextEdit::copyAvailable, ui.actionCopy, &QAction::setEnabled);
    connect(ui.actionCopy, &QAction::triggered, view, &QPlainTextEdit::copy);
    connect(ui.actionSelectAll, &QAction::triggered, view, &QPlainTextEdit::selectAll);
    ui.actionCopyAsJson->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+C")));
    connect(ui.actionCopyAsJson, &QAction::triggered, this, &MainWindow::copyAsJson);
    setUpShowControl();
    setUpNavigation();
    setUpFileLoop();
    setUpFixes();
    setUpSourcePane();

    bindSetting(ui.actionDeprecationNotes, platform::DeprecationNotesKey);
    bindSetting(ui.actionNoteUnknownKeys, platform::NoteUnknownKeysKey);
    bindSetting(ui.actionAllowBuildSettings, platform::AllowBuildSettingsKey);
    bindSetting(ui.actionCheckNestedBundles, platform::CheckNestedBundlesKey);

    connect(ui.actionAbout, &QAction::triggered, this, &MainWindow::showAbout);
    auto* manual = new QAction(QIcon::fromTheme(QStringLiteral("help-contents")), tr("&Manual"), this);
    manual->setObjectName(QStringLiteral("actionManual"));
    setStandardShortcut(manual, QKeySequence::HelpContents, QStringLiteral("F1"));
    connect(manual, &QAction::triggered, this, [this] {
        // The manual page, in the desktop's help viewer.
        if (!QDesktopServices::openUrl(QUrl(QStringLiteral("man:ostrel(1)"))))
            presentError(tr("No help viewer could open the manual. In a terminal: man ostrel"));
    });
    ui.menuHelp->insertAction(ui.actionAbout, manual);
}

void MainWindow::bindSetting(QAction* action, const QString& key)
{
    // Read afresh for each dictionary checked, so a change holds from the next check on.
    action->setChecked(platform::UserDefaults::standard().boolForKey(key));
    action->setProperty("ownText", action->text());
    mSettingActions.append({action, key});
    connect(action, &QAction::toggled, this, [key](bool on) { platform::UserDefaults::standard().setBool(key, on); });
}

void MainWindow::showProjectSettings(const QStringList& paths)
{
    for (const auto& [action, key] : mSettingActions) {
        QStringList files;
        for (const QString& path : paths) {
            const check::ProjectSettings& settings = mProjects->settingsFor(path);
            if (settings.defaults().contains(key) && !files.contains(settings.file))
                files.append(settings.file);
        }
        const QString own = action->property("ownText").toString();
        action->setText(files.isEmpty() ? own : tr("%1 (set by %2)").arg(own, files.join(QLatin1String(", "))));
        action->setToolTip(files.isEmpty() ? QString()
                                           : tr("The project file %1 decides this for its files; this setting "
                                                "holds for the others.")
                                                 .arg(files.join(QLatin1String(", "))));
    }
}

// The Show control: errors, warnings and notes each shown or hidden, as the
// settings say. The view is filled again from the findings' records; nothing
// is checked again.

void MainWindow::setUpShowControl()
{
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    defaults.registerDefaults({{kShowErrorsKey, true}, {kShowWarningsKey, true}, {kShowNotesKey, true}});
    const struct {
        QAction* action;
        report::Severity severity;
        QString key;
        const report::StyledString* icon;
    } toggles[] = {
        {mUi->actionShowErrors, report::Severity::Error, kShowErrorsKey, mDelegate->errorIcon()},
        {mUi->actionShowWarnings, report::Severity::Warning, kShowWarningsKey, mDelegate->warningIcon()},
        {mUi->actionShowNotes, report::Severity::Note, kShowNotesKey, mDelegate->noteIcon()},
    };
    QToolBar* bar = addToolBar(tr("Show"));
    bar->setObjectName(QStringLiteral("showBar"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->addWidget(new QLabel(tr("Show:"), bar));
    // On and off readable at a glance: a lit, bold button or a faint one.
    bar->setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid palette(mid); border-radius: 3px; padding: 2px 6px; margin: 2px; }"
        "QToolButton:checked { background: palette(highlight); color: palette(highlighted-text); font-weight: bold; }"
        "QToolButton:!checked { color: palette(mid); }"
        "QToolButton:focus { border: 2px solid palette(highlight); }"));
    for (const auto& toggle : toggles) {
        if (toggle.icon && toggle.icon->attachment)
            toggle.action->setIcon(QIcon(QPixmap::fromImage(QImage::fromData(toggle.icon->attachment->contents))));
        mShows[static_cast<int>(toggle.severity)] = defaults.boolForKey(toggle.key);
        // Ctrl+1, Ctrl+2, Ctrl+3: errors, warnings, notes.
        toggle.action->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + static_cast<int>(toggle.severity))));
        toggle.action->setChecked(shows(toggle.severity));
        connect(toggle.action, &QAction::toggled, this, [this, key = toggle.key, severity = toggle.severity](bool on) {
            platform::UserDefaults::standard().setBool(key, on);
            setShown(severity, on);
        });
        bar->addAction(toggle.action);
        // In the Tab order, where Space toggles it.
        if (QWidget* button = bar->widgetForAction(toggle.action))
            button->setFocusPolicy(Qt::StrongFocus);
    }
    updateTotals();
}

void MainWindow::setUpNavigation()
{
    auto* next = new QAction(tr("&Next Finding"), this);
    next->setObjectName(QStringLiteral("actionNextFinding"));
    next->setShortcut(QKeySequence(Qt::Key_F8));
    connect(next, &QAction::triggered, this, [this] { goToFinding(true); });
    auto* previous = new QAction(tr("&Previous Finding"), this);
    previous->setObjectName(QStringLiteral("actionPreviousFinding"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F8));
    connect(previous, &QAction::triggered, this, [this] { goToFinding(false); });
    mUi->menuView->addSeparator();
    mUi->menuView->addAction(next);
    mUi->menuView->addAction(previous);

    // The find bar, below the report while it is wanted.
    mFindBar = new QToolBar(tr("Find"), this);
    mFindBar->setObjectName(QStringLiteral("findBar"));
    mFindBar->setMovable(false);
    mFindBar->addWidget(new QLabel(tr("Find:"), mFindBar));
    mFindField = new QLineEdit(mFindBar);
    mFindField->setObjectName(QStringLiteral("findField"));
    mFindField->setAccessibleName(tr("Find in the report"));
    mFindField->setClearButtonEnabled(true);
    mFindBar->addWidget(mFindField);
    addToolBar(Qt::BottomToolBarArea, mFindBar);
    mFindBar->hide();
    connect(mFindField, &QLineEdit::returnPressed, this,
            [this] { findText(mFindField->text(), QGuiApplication::keyboardModifiers() & Qt::ShiftModifier); });
    auto* close = new QAction(mFindField);
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    close->setShortcutContext(Qt::WidgetShortcut);
    connect(close, &QAction::triggered, this, [this] {
        mFindBar->hide();
        textView()->setFocus();
    });
    mFindField->addAction(close);
    auto* find = new QAction(tr("&Find…"), this);
    find->setObjectName(QStringLiteral("actionFind"));
    setStandardShortcut(find, QKeySequence::Find, QStringLiteral("Ctrl+F"));
    connect(find, &QAction::triggered, this, [this] {
        mFindBar->show();
        mFindField->setFocus();
        mFindField->selectAll();
    });
    mUi->menuEdit->addSeparator();
    mUi->menuEdit->addAction(find);
}

// The edit-check loop: Reload, Clear, Open Recent, Watch Files.

void MainWindow::setUpFileLoop()
{
    auto* reloadAction = new QAction(QIcon::fromTheme(QStringLiteral("view-refresh")), tr("&Reload"), this);
    reloadAction->setObjectName(QStringLiteral("actionReload"));
    reloadAction->setToolTip(tr("Check every file of the report again"));
    setStandardShortcut(reloadAction, QKeySequence::Refresh, QStringLiteral("F5"));
    connect(reloadAction, &QAction::triggered, this, &MainWindow::reload);
    auto* clearAction = new QAction(QIcon::fromTheme(QStringLiteral("edit-clear")), tr("C&lear"), this);
    clearAction->setObjectName(QStringLiteral("actionClear"));
    clearAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
    connect(clearAction, &QAction::triggered, this, &MainWindow::clearReport);

    mRecentMenu = new QMenu(tr("Open &Recent"), this);
    mRecentMenu->setObjectName(QStringLiteral("menuRecent"));
    connect(mRecentMenu, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    QAction* afterOpen = mUi->menuFile->actions().value(1);
    mUi->menuFile->insertMenu(afterOpen, mRecentMenu);
    mUi->menuFile->insertAction(afterOpen, reloadAction);
    mUi->menuFile->insertAction(afterOpen, clearAction);
    addAction(reloadAction);
    addAction(clearAction);

    mWatcher = new QFileSystemWatcher(this);
    auto* settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(kChangeSettleInterval);
    connect(settle, &QTimer::timeout, this, &MainWindow::recheckChanged);
    connect(mWatcher, &QFileSystemWatcher::fileChanged, this, [this, settle](const QString& path) {
        if (!mChanged.contains(path))
            mChanged << path;
        settle->start();
    });
    auto* watchAction = new QAction(tr("&Watch Files"), this);
    watchAction->setObjectName(QStringLiteral("actionWatchFiles"));
    watchAction->setCheckable(true);
    watchAction->setToolTip(tr("Check a file again when it changes on disk"));
    platform::UserDefaults::standard().registerDefaults({{kWatchFilesKey, false}});
    watchAction->setChecked(platform::UserDefaults::standard().boolForKey(kWatchFilesKey));
    connect(watchAction, &QAction::toggled, this, [this](bool on) {
        platform::UserDefaults::standard().setBool(kWatchFilesKey, on);
        if (!mWatcher->files().isEmpty())
            mWatcher->removePaths(mWatcher->files());
        for (const CheckedFile& file : std::as_const(mFiles))
            watch(file.checkedPaths);
    });
    mUi->menuView->addSeparator();
    mUi->menuView->addAction(watchAction);
}

void MainWindow::watch(const QStringList& paths)
{
    if (!platform::UserDefaults::standard().boolForKey(kWatchFilesKey))
        return;
    // The files read, not the bundles' folders: a check reads only those.
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isFile() && !mWatcher->files().contains(path))
            files << path;
    }
    if (!files.isEmpty())
        mWatcher->addPaths(files);
}

void MainWindow::recheckChanged()
{
    const QStringList changed = std::exchange(mChanged, {});
    for (qsizetype i = 0; i < mFiles.size(); ++i) {
        const bool touched = std::any_of(changed.cbegin(), changed.cend(),
                                         [&](const QString& path) { return mFiles[i].checkedPaths.contains(path); });
        const bool waiting = std::any_of(mWaiting.cbegin(), mWaiting.cend(),
                                         [&](const Pending& pending) { return pending.replaces == i; });
        if (touched && !waiting)
            mWaiting.append(Pending{mFiles[i].path, i});
    }
    // An editor that saves by replacing the file leaves the watcher without it.
    watch(changed);
    runBatch();
}

void MainWindow::rememberRecent(const QStringList& paths)
{
    QSettings& store = platform::UserDefaults::standard().store();
    QStringList recent = store.value(kRecentFilesKey).toStringList();
    // Only the last few of a large batch can stay.
    for (const QString& path : paths.mid(std::max<qsizetype>(0, paths.size() - kRecentFiles))) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        recent.removeAll(absolute);
        recent.prepend(absolute);
    }
    store.setValue(kRecentFilesKey, recent.mid(0, kRecentFiles));
}

void MainWindow::fillRecentMenu()
{
    mRecentMenu->clear();
    const QStringList recent = platform::UserDefaults::standard().store().value(kRecentFilesKey).toStringList();
    for (const QString& path : recent) {
        QAction* open = mRecentMenu->addAction(QDir::toNativeSeparators(path));
        open->setEnabled(!mBusy);
        connect(open, &QAction::triggered, this, [this, path] { openPaths({path}); });
    }
    if (recent.isEmpty())
        mRecentMenu->addAction(tr("No Recent Files"))->setEnabled(false);
    mRecentMenu->addSeparator();
    QAction* forget = mRecentMenu->addAction(tr("Clear Menu"));
    forget->setEnabled(!recent.isEmpty());
    connect(forget, &QAction::triggered, this,
            [] { platform::UserDefaults::standard().store().remove(kRecentFilesKey); });
}

// The source pane and what a finding leads to.

void MainWindow::setUpSourcePane()
{
    ReportView* view = textView();
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName(QStringLiteral("reportSplitter"));
    mUi->centralLayout->removeWidget(view);
    splitter->addWidget(view);
    mSource = new SourcePane(splitter);
    mSource->setObjectName(QStringLiteral("sourcePane"));
    splitter->addWidget(mSource);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    mSource->hide();
    mUi->centralLayout->addWidget(splitter);
    view->installEventFilter(this);
    // The pane follows the finding in hand.
    connect(view, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (mSource->isVisible())
            openSource(textView()->textCursor().position());
    });
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &MainWindow::showContextMenu);
}

const report::Finding* MainWindow::findingAt(int position) const
{
    const auto it = std::partition_point(mShownFindings.cbegin(), mShownFindings.cend(),
                                         [&](const ShownFinding& shown) { return shown.end <= position; });
    if (it == mShownFindings.cend() || it->start > position)
        return nullptr;
    return &mTextStorage.findings().at(it->finding);
}

bool MainWindow::openSource(int position)
{
    flushReport();
    const report::Finding* finding = findingAt(position);
    if (!finding || finding->fileRead.isEmpty())
        return false;
    if (!mSource->showFinding(finding->fileRead, *finding, mTextStorage.findings())) {
        statusBar()->showMessage(tr("“%1” cannot be read.").arg(finding->fileRead), 5000);
        return false;
    }
    mSource->show();
    // Once the pane has its height.
    QTimer::singleShot(0, mSource, [pane = mSource] { pane->centerCursor(); });
    return true;
}

void MainWindow::showContextMenu(const QPoint& at)
{
    ReportView* view = textView();
    std::unique_ptr<QMenu> menu(view->createStandardContextMenu(at));
    const int position = view->cursorForPosition(at).position();
    if (const report::Finding* found = findingAt(position)) {
        const report::Finding finding = *found;
        menu->addSeparator();
        menu->addAction(tr("Show Source"), this, [this, position] { openSource(position); });
        menu->addAction(tr("Copy ID"), this, [id = finding.messageKey] { QGuiApplication::clipboard()->setText(id); });
        const report::FindingEntry* entry = report::findingNamed(finding.messageKey);
        QAction* explain = menu->addAction(tr("Explain"), this, [this, entry] {
            QMessageBox::information(this, QString::fromUtf8(entry->title), QString::fromUtf8(entry->text));
        });
        explain->setEnabled(entry != nullptr);
        if (finding.fix) {
            // Says what it does; a fix that may change the meaning says so too.
            const QString title = QString(finding.fix->title).replace(QLatin1Char('&'), QLatin1String("&&"));
            const QString label =
                finding.fix->safe ? tr("Fix: %1").arg(title) : tr("Fix (may change the meaning): %1").arg(title);
            QAction* fixAction = menu->addAction(label, this, [this, finding] {
                fix::Options options;
                options.unsafe = true; // chosen by the user, for this finding alone
                options.rounds = 1;
                options.only = [finding](const report::Finding& f) {
                    return f.fileRead == finding.fileRead && f.messageKey == finding.messageKey &&
                           f.keyPath == finding.keyPath;
                };
                applyFixes({finding.fileGiven}, options);
            });
            fixAction->setObjectName(QStringLiteral("actionFixFinding"));
            fixAction->setEnabled(!mBusy);
        }
        menu->addAction(tr("Open in Editor"), this, [this, finding] { openInEditor(finding); });
        menu->addAction(tr("Show in File Manager"), this, [finding] {
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(finding.fileRead).absolutePath()));
        });
    }
    menu->exec(view->viewport()->mapToGlobal(at));
}

void MainWindow::setUpFixes()
{
    auto* fixAll = new QAction(tr("Fix All &Safe"), this);
    fixAll->setObjectName(QStringLiteral("actionFixAllSafe"));
    fixAll->setToolTip(tr("Apply every safe fix to the files of the report, and check them again"));
    connect(fixAll, &QAction::triggered, this, [this] {
        // A file checked again is in the report more than once; it is fixed and checked once.
        QStringList paths = checkedFiles();
        paths.removeDuplicates();
        applyFixes(paths, fix::Options());
    });
    auto* undo = new QAction(tr("&Undo Fix"), this);
    undo->setObjectName(QStringLiteral("actionUndoFix"));
    undo->setEnabled(false);
    connect(undo, &QAction::triggered, this, &MainWindow::undoFix);
    mUi->menuEdit->addSeparator();
    mUi->menuEdit->addAction(fixAll);
    mUi->menuEdit->addAction(undo);
}

void MainWindow::applyFixes(const QStringList& paths, const fix::Options& options)
{
    if (mBusy || paths.isEmpty())
        return;
    const fix::FixRun run = fix::fixPaths(paths, options);
    QList<fix::FileFix> written;
    QStringList refusals;
    for (const fix::FileFix& file : run.files) {
        if (const QString why = fix::writeFixed(file); !why.isEmpty())
            refusals << tr("%1 was not fixed: %2").arg(file.path, why);
        else if (!file.applied.isEmpty())
            written << file;
    }
    if (!written.isEmpty()) {
        mLastFix = written;
        mLastFixPaths = paths;
    }
    findChild<QAction*>(QStringLiteral("actionUndoFix"))->setEnabled(!mLastFix.isEmpty());
    if (!refusals.isEmpty())
        presentError(refusals.join(QLatin1Char('\n')));
    qsizetype fixes = 0;
    for (const fix::FileFix& file : written)
        fixes += file.applied.size();
    statusBar()->showMessage(fixes == 1 ? tr("Applied 1 fix.") : tr("Applied %1 fixes.").arg(fixes), 5000);
    if (!written.isEmpty())
        openPaths(paths);
}

void MainWindow::undoFix()
{
    if (mBusy || mLastFix.isEmpty())
        return;
    QStringList refusals;
    for (const fix::FileFix& file : std::exchange(mLastFix, {})) {
        // The fixed bytes are what must be there now; the file as read goes back.
        const fix::FileFix back{file.path, file.after, file.before, file.applied, QString()};
        if (const QString why = fix::writeFixed(back); !why.isEmpty())
            refusals << tr("%1 was not put back: %2").arg(file.path, why);
    }
    findChild<QAction*>(QStringLiteral("actionUndoFix"))->setEnabled(false);
    if (!refusals.isEmpty())
        presentError(refusals.join(QLatin1Char('\n')));
    openPaths(std::exchange(mLastFixPaths, {}));
}

void MainWindow::openInEditor(const report::Finding& finding)
{
    // The user's editor, which takes +LINE, or else the desktop's application for the file.
    QString editor = qEnvironmentVariable("VISUAL");
    if (editor.isEmpty())
        editor = qEnvironmentVariable("EDITOR");
    QStringList command = QProcess::splitCommand(editor);
    if (!command.isEmpty()) {
        const QString program = command.takeFirst();
        if (finding.position.line > 0)
            command << QStringLiteral("+%1").arg(finding.position.line);
        command << finding.fileRead;
        if (QProcess::startDetached(program, command))
            return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(finding.fileRead));
}

bool MainWindow::isHeading(qsizetype run) const
{
    const QList<report::StyledString>& runs = mTextStorage.runs();
    return run + 1 < runs.size() && runs[run].kind() == report::StyledString::Kind::Regular &&
           runs[run].text == mHeadingPrefix && runs[run + 1].kind() == report::StyledString::Kind::Bold;
}

namespace {

// "3 errors, 1 warning", leaving out the kinds of which there are none.
QString countsText(const int counts[3])
{
    QStringList parts;
    if (counts[0])
        parts << (counts[0] == 1 ? MainWindow::tr("1 error") : MainWindow::tr("%1 errors").arg(counts[0]));
    if (counts[1])
        parts << (counts[1] == 1 ? MainWindow::tr("1 warning") : MainWindow::tr("%1 warnings").arg(counts[1]));
    if (counts[2])
        parts << (counts[2] == 1 ? MainWindow::tr("1 note") : MainWindow::tr("%1 notes").arg(counts[2]));
    return parts.join(QStringLiteral(", "));
}

} // namespace

QString MainWindow::totalsText() const
{
    const QString counts = countsText(mCounts);
    const QString bundles = mBundles == 1 ? tr("1 bundle") : tr("%1 bundles").arg(mBundles);
    return counts.isEmpty() ? tr("No problems found in %1").arg(bundles) : tr("%1 in %2").arg(counts, bundles);
}

void MainWindow::updateTotals()
{
    const struct {
        QAction* action;
        QString text;
    } buttons[] = {
        {mUi->actionShowErrors, tr("Errors %1")},
        {mUi->actionShowWarnings, tr("Warnings %1")},
        {mUi->actionShowNotes, tr("Notes %1")},
    };
    for (int kind = 0; kind < 3; ++kind) {
        buttons[kind].action->setText(buttons[kind].text.arg(mCounts[kind]));
        if (QWidget* button = findChild<QToolBar*>(QStringLiteral("showBar"))->widgetForAction(buttons[kind].action))
            button->setAccessibleName(tr("Show %1").arg(buttons[kind].action->text()));
    }
    const QString totals = mBundles ? totalsText() : QString();
    mTotals->setText(totals);
    setWindowTitle(totals.isEmpty() ? tr("Ostrel") : tr("Ostrel — %1").arg(totals));
}

void MainWindow::goToFinding(bool forward)
{
    flushReport();
    if (mShownFindings.isEmpty())
        return;
    ReportView* view = textView();
    const QTextCursor at = view->textCursor();
    const auto after = std::find_if(mShownFindings.cbegin(), mShownFindings.cend(), [&](const ShownFinding& shown) {
        return forward ? shown.start >= (at.hasSelection() ? at.selectionEnd() : at.position())
                       : shown.start >= at.selectionStart();
    });
    const ShownFinding& target = forward ? (after == mShownFindings.cend() ? mShownFindings.first() : *after)
                                         : (after == mShownFindings.cbegin() ? mShownFindings.last() : *(after - 1));
    QTextCursor cursor(view->document());
    cursor.setPosition(target.start);
    // The line end stays out, so that the selection is the finding's line.
    cursor.setPosition(std::max(target.start, target.end - 1), QTextCursor::KeepAnchor);
    view->setTextCursor(cursor);
    view->centerCursor();
}

bool MainWindow::findText(const QString& text, bool backward)
{
    flushReport();
    ReportView* view = textView();
    const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (text.isEmpty())
        return false;
    if (view->find(text, flags)) {
        statusBar()->clearMessage();
        return true;
    }
    // Round the end.
    QTextCursor wrapped(view->document());
    wrapped.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    const QTextCursor found = view->document()->find(text, wrapped, flags);
    if (found.isNull()) {
        statusBar()->showMessage(tr("“%1” is not in the report.").arg(text), 5000);
        return false;
    }
    view->setTextCursor(found);
    view->centerCursor();
    return true;
}

void MainWindow::setShown(report::Severity severity, bool shown)
{
    bool& showing = mShows[static_cast<int>(severity)];
    if (showing == shown)
        return;
    showing = shown;
    renderReportAgain();
}

void MainWindow::renderReportAgain()
{
    textView()->removeAll();
    mRunsLookedAt = 0;
    mViewLength = 0;
    mBundles = 0;
    mShownFindings.clear();
    flushReport();
}

QByteArray MainWindow::findingsAsJson() const
{
    const QTextCursor selection = textView()->textCursor();
    const bool whole = !selection.hasSelection();
    QByteArray lines;
    for (const ShownFinding& shown : mShownFindings) {
        if (!whole && (shown.end <= selection.selectionStart() || shown.start >= selection.selectionEnd()))
            continue;
        const report::Finding& finding = mTextStorage.findings().at(shown.finding);
        lines += QJsonDocument(report::jsonLine(finding, finding.fileGiven)).toJson(QJsonDocument::Compact);
        lines += '\n';
    }
    return lines;
}

void MainWindow::copyAsJson()
{
    flushReport();
    const QByteArray lines = findingsAsJson();
    QGuiApplication::clipboard()->setText(QString::fromUtf8(lines));
    const qsizetype count = lines.count('\n');
    statusBar()->showMessage(
        count == 1 ? tr("Copied 1 finding as JSON.") : tr("Copied %1 findings as JSON.").arg(count), 5000);
}

// Files

void MainWindow::openPaths(const QStringList& paths)
{
    for (const QString& path : paths)
        mWaiting.append(Pending{path});
    rememberRecent(paths);
    runBatch();
}

QStringList MainWindow::checkedFiles() const
{
    QStringList paths;
    for (const CheckedFile& file : mFiles)
        paths << file.path;
    return paths;
}

void MainWindow::reload()
{
    if (mBusy)
        return;
    const QStringList paths = checkedFiles();
    clearReport();
    for (const QString& path : paths)
        mWaiting.append(Pending{path});
    runBatch();
}

void MainWindow::clearReport()
{
    if (mBusy)
        return;
    mFiles.clear();
    mSource->hide();
    rebuildReport();
}

void MainWindow::rebuildReport(qsizetype index, const report::TextStorage* replacement)
{
    const report::TextStorage old = mTextStorage;
    const QList<report::Finding>& oldFindings = old.findings();
    mTextStorage.clear();
    mTextStorage.appendReport(old, 0, mIntroRuns, 0);
    for (qsizetype i = 0; i < mFiles.size(); ++i) {
        CheckedFile& file = mFiles[i];
        const qsizetype start = mTextStorage.runs().size();
        if (i == index && replacement) {
            mTextStorage.appendReport(*replacement, 0, replacement->runs().size(), 0);
        } else {
            const qsizetype firstFinding =
                std::partition_point(oldFindings.cbegin(), oldFindings.cend(),
                                     [&](const report::Finding& f) { return f.firstRun < file.firstRun; }) -
                oldFindings.cbegin();
            mTextStorage.appendReport(old, file.firstRun, file.endRun, firstFinding);
        }
        file.firstRun = start;
        file.endRun = mTextStorage.runs().size();
    }
    // Where the user was reading stays in view.
    const int scrolled = textView()->verticalScrollBar()->value();
    renderReportAgain();
    textView()->verticalScrollBar()->setValue(scrolled);
}

bool MainWindow::checkBatch(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            paths.append(platform::fileSystemPath(url));
    }
    openPaths(paths);
    return true;
}

void MainWindow::runBatch()
{
    if (mPool || mClosing)
        return;
    if (mWaiting.isEmpty()) {
        emit batchFinished();
        return;
    }
    mBatch = std::exchange(mWaiting, {});
    QStringList batch;
    for (const Pending& pending : mBatch)
        batch << pending.path;
    beginBatch();
    mBatchSize = static_cast<int>(batch.size());
    batchProgress(0, mBatchSize);
    // On a worker thread: the file's part of the worker's report, copied out
    // before the worker forgets it.
    const auto render = [](const app::FileReport& file) {
        CheckedPart part;
        part.report.appendReport(file.report, file.firstRun, file.endRun, file.firstFinding);
        part.checkedPaths = file.checkedPaths;
        return part;
    };
    // Each file's .ostrel.toml and .ostrel-ignore, as ostrel-check reads them; one
    // that cannot be used is told, and its files are checked without it.
    auto projects = std::make_shared<check::Projects>(report::findingIds(), false);
    for (const QString& path : batch)
        if (const QString problem = projects->load(path); !problem.isEmpty())
            statusBar()->showMessage(tr("Project settings not used: %1").arg(problem), 10000);
    mProjects = projects;
    showProjectSettings(batch);
    mPool = std::make_unique<app::CheckPool<CheckedPart>>(
        batch, QThread::idealThreadCount(), render,
        [this] {
            // One cue at a time: the window takes all that is ready when it gets to it.
            if (!mTakeScheduled.exchange(true))
                QMetaObject::invokeMethod(this, &MainWindow::takeCheckedFiles, Qt::QueuedConnection);
        },
        [projects](const report::Finding& finding) { return projects->ignores(finding); },
        [projects](const QString& path) { return projects->settingsFor(path).defaults(); });
}

void MainWindow::takeCheckedFiles()
{
    mTakeScheduled = false;
    if (!mPool)
        return;
    const qsizetype taken = mPool->deliver(
        [this](qsizetype index, CheckedPart& part) {
            const Pending& pending = mBatch[index];
            mDelegate->addCheckedPaths(part.checkedPaths);
            watch(part.checkedPaths);
            const qsizetype replaced = pending.replaces;
            if (replaced >= 0 && replaced < mFiles.size() && mFiles[replaced].path == pending.path) {
                mFiles[replaced].checkedPaths = part.checkedPaths;
                rebuildReport(replaced, &part.report);
                return;
            }
            const qsizetype start = mTextStorage.runs().size();
            mTextStorage.appendReport(part.report, 0, part.report.runs().size(), 0);
            mFiles.append(CheckedFile{pending.path, start, mTextStorage.runs().size(), part.checkedPaths});
        },
        false);
    batchProgress(static_cast<int>(taken), mBatchSize);
    if (taken < mPool->size())
        return;
    mPool.reset();
    endBatch();
    runBatch();
}

void MainWindow::beginBatch()
{
    mBusy = true;
    mUi->actionOpen->setEnabled(false);
    findChild<QAction*>(QStringLiteral("actionReload"))->setEnabled(false);
    findChild<QAction*>(QStringLiteral("actionClear"))->setEnabled(false);
    textView()->setIdleLayoutInterval(kBatchFlushInterval);
}

void MainWindow::endBatch()
{
    mBusy = false;
    mUi->actionOpen->setEnabled(true);
    findChild<QAction*>(QStringLiteral("actionReload"))->setEnabled(true);
    findChild<QAction*>(QStringLiteral("actionClear"))->setEnabled(true);
    textView()->setIdleLayoutInterval(0);
    mProgress->hide();
    if (mBusyCursor) {
        QApplication::restoreOverrideCursor();
        mBusyCursor = false;
    }
    flushReport();
}

void MainWindow::batchProgress(int done, int total)
{
    // A disk image or package alone takes a while to unpack: its progress is shown too, without steps.
    const QString single = total == 1 && !mBatch.isEmpty() ? mBatch.first().path : QString();
    const bool unpacked = single.endsWith(QLatin1String(".dmg"), Qt::CaseInsensitive) ||
                          single.endsWith(QLatin1String(".pkg"), Qt::CaseInsensitive);
    if (total > 1 || unpacked) {
        if (done < total) {
            mProgress->setRange(0, unpacked ? 0 : total);
            mProgress->setValue(done);
            mProgress->show();
            if (!mBusyCursor) {
                QApplication::setOverrideCursor(Qt::BusyCursor);
                mBusyCursor = true;
            }
            statusBar()->showMessage(unpacked ? tr("Checking %1…").arg(QFileInfo(single).fileName())
                                              : tr("Checking %1 of %2 files…").arg(done + 1).arg(total));
        } else if (unpacked) {
            mProgress->hide();
            statusBar()->clearMessage();
        } else {
            mProgress->hide();
            statusBar()->showMessage(tr("Checked %1 files.").arg(total), 5000);
        }
    }
}

void MainWindow::flushReport()
{
    mFlushScheduled = false;
    const QList<report::StyledString>& runs = mTextStorage.runs();
    const QList<report::Finding>& findings = mTextStorage.findings();
    if (mRunsLookedAt >= runs.size())
        return;
    QList<report::StyledString> shown;
    const auto show = [&](qsizetype run) {
        shown.append(runs[run]);
        // An icon stands in the view as one character, as in the report.
        mViewLength += runs[run].attachment ? 1 : static_cast<int>(runs[run].text.size());
    };
    // The findings are in the order of their runs: start at the first that
    // reaches the runs not looked at yet (it may have begun before them).
    qsizetype f =
        std::partition_point(findings.cbegin(), findings.cend(),
                             [this](const report::Finding& finding) { return finding.endRun <= mRunsLookedAt; }) -
        findings.cbegin();
    qsizetype i = mRunsLookedAt;
    while (i < runs.size()) {
        while (f < findings.size() && findings[f].endRun <= i)
            ++f;
        if (isHeading(i)) {
            // The heading shows what its part of the report holds: up to the
            // next heading, which is all there by now (a file comes whole).
            qsizetype next = i + 2;
            while (next < runs.size() && !isHeading(next))
                ++next;
            int counts[3] = {0, 0, 0};
            for (qsizetype g = f; g < findings.size() && findings[g].firstRun < next; ++g)
                ++counts[static_cast<int>(findings[g].severity)];
            show(i++);
            show(i++);
            const QString summary = countsText(counts);
            shown.append(
                report::StyledString{QStringLiteral("  —  ") + (summary.isEmpty() ? tr("No problems found") : summary),
                                     mDelegate->font(), nullptr});
            mViewLength += static_cast<int>(shown.last().text.size());
            ++mBundles;
            continue;
        }
        if (f == findings.size() || findings[f].firstRun > i) {
            show(i++);
            continue;
        }
        // A finding's runs, icon to line end, are shown or left out together.
        const report::Finding& finding = findings[f];
        if (shows(finding.severity)) {
            const int start = mViewLength;
            for (qsizetype r = i; r < finding.endRun; ++r)
                show(r);
            if (!mShownFindings.isEmpty() && mShownFindings.last().finding == f)
                mShownFindings.last().end = mViewLength; // its first runs came with an earlier flush
            else
                mShownFindings.append(ShownFinding{start, mViewLength, f});
        }
        i = finding.endRun;
    }
    mRunsLookedAt = runs.size();
    std::fill(std::begin(mCounts), std::end(mCounts), 0);
    for (const report::Finding& finding : findings)
        ++mCounts[static_cast<int>(finding.severity)];
    updateTotals();
    if (!shown.isEmpty())
        textView()->appendRuns(shown);
}

int MainWindow::runOpenPanel(const app::OpenPanelOptions& options, QList<QUrl>& urls)
{
    BundleOpenDialog dialog(this);
    if (!options.allowsMultipleSelection)
        dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return app::kPanelCancel;
    urls.clear();
    for (const QString& path : dialog.chosenPaths())
        urls.append(platform::fileURLWithPath(path));
    return app::kPanelOK;
}

// Drops: files and bundle directories, checked once the drop is over.

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (!localPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // Not in the drop itself: the application the files came from waits for it.
    QTimer::singleShot(0, this, [this, paths] { openPaths(paths); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // Enter on a finding opens it in the source pane.
    if (watched == textView() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && openSource(textView()->textCursor().position()))
            return true;
    }
    // The report view leaves drops to the window; a double-click on a finding opens it.
    if (watched == textView()->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonDblClick:
            return openSource(
                textView()->cursorForPosition(static_cast<QMouseEvent*>(event)->position().toPoint()).position());
        case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(event)); return true;
        case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(event)); return true;
        case QEvent::Drop: dropEvent(static_cast<QDropEvent*>(event)); return true;
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    mClosing = true;
    // No further file is started; those under way are waited for.
    if (mPool) {
        mPool.reset();
        endBatch();
    }
    mWaiting.clear();
    platform::UserDefaults::standard().store().setValue(kGeometryKey, saveGeometry());
    event->accept();
}

// Save, print, export

void MainWindow::beginSaveSheet(const app::SavePanelOptions& options,
                                std::function<void(int returnCode, const QUrl& url)> didEnd)
{
    const QString suffix = options.requiredFileType.isEmpty() ? QStringLiteral("rtfd") : options.requiredFileType;
    auto* dialog = new DocumentSaveDialog(this, report::DocumentKind::Rtfd, suffix, options.nameFieldStringValue,
                                          tr("Rich text with images (*.%1)").arg(suffix), mDelegate->checkedPaths());
    dialog->setWindowTitle(tr("Save As"));
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [dialog, didEnd](int result) {
        dialog->deleteLater();
        const bool ok = result == QDialog::Accepted && !dialog->chosenPath().isEmpty();
        app::PerformCommand([&] {
            didEnd(ok ? app::kPanelOK : app::kPanelCancel, ok ? QUrl::fromLocalFile(dialog->chosenPath()) : QUrl());
        });
    });
    dialog->open();
}

platform::Result<void> MainWindow::writeRTFDToFile(const QString& path, bool)
{
    // Always atomic: a document the user has is replaced whole or not at all.
    return report::WriteRtfd(mTextStorage, path, ReportView::fontFor(mDelegate->font()).family());
}

void MainWindow::beginPrintSheet(const app::PrintOptions& options, std::function<void(bool success)> didRun)
{
    // A new printer each time: the print system's settings for a new job.
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(options.jobTitle);
    auto* dialog = new QPrintDialog(printer.get(), this);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, dialog, printer, options, didRun](int result) {
        dialog->deleteLater();
        const bool accepted = result == QDialog::Accepted;
        const bool printed = accepted && printReport(*printer, options.jobTitle);
        app::PerformCommand([&] { didRun(printed); });
        // A job that could not even start (a file that cannot be written) is
        // not kept from the user.
        if (accepted && !printed)
            presentError(tr("The report could not be printed.") +
                         (printer->outputFileName().isEmpty()
                              ? QString()
                              : QLatin1Char(' ') + tr("“%1” cannot be written.").arg(printer->outputFileName())));
    });
    dialog->open();
}

bool MainWindow::printReport(QPrinter& printer, const QString& jobTitle)
{
    flushReport();
    printer.setDocName(jobTitle);
    // From the top of the first page, as the text flows.
    textView()->printDocument()->print(&printer);
    return printer.printerState() != QPrinter::Error && printer.printerState() != QPrinter::Aborted;
}

void MainWindow::exportAsPdf()
{
    exportWithDialog(report::DocumentKind::Pdf, QStringLiteral("pdf"), tr("Ostrel Log.pdf"),
                     tr("PDF documents (*.pdf)"), tr("Export as PDF"), &MainWindow::exportPdf);
}

void MainWindow::exportWithDialog(report::DocumentKind kind, const QString& suffix, const QString& name,
                                  const QString& filter, const QString& title,
                                  bool (MainWindow::*write)(const QString&, QString*))
{
    auto* dialog = new DocumentSaveDialog(this, kind, suffix, name, filter, mDelegate->checkedPaths());
    dialog->setWindowTitle(title);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, [this, dialog, write](int result) {
        dialog->deleteLater();
        if (result != QDialog::Accepted || dialog->chosenPath().isEmpty())
            return;
        QString error;
        if (!(this->*write)(dialog->chosenPath(), &error))
            presentError(tr("The report could not be exported as “%1”: %2").arg(dialog->chosenPath(), error));
    });
    dialog->open();
}

bool MainWindow::exportPdf(const QString& path, QString* error)
{
    const bool written = writeDocument(
        path, report::DocumentKind::Pdf,
        [this](const QString& built) {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(built);
            return printReport(printer, platform::Bundle::main().localizedString(QStringLiteral("Ostrel Log"))) &&
                   QFileInfo(built).size() > 0;
        },
        error);
    if (!written && error->isEmpty())
        *error = tr("the PDF could not be written");
    return written;
}

bool MainWindow::exportHtml(const QString& path, QString* error)
{
    const bool written = writeDocument(
        path, report::DocumentKind::Html,
        [this](const QString& built) {
            QFile file(built);
            const QByteArray html = reportAsHtml();
            return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(html) == html.size() &&
                   file.flush();
        },
        error);
    if (!written && error->isEmpty())
        *error = tr("the HTML file could not be written");
    return written;
}

bool MainWindow::writeDocument(const QString& path, report::DocumentKind kind,
                               const std::function<bool(const QString& built)>& write, QString* error)
{
    // Only a file is replaced, and never one being checked.
    report::JudgedTarget judged;
    *error = report::saveTargetRefusal(path, kind, mDelegate->checkedPaths(), &judged);
    if (!error->isEmpty())
        return false;
    const QFileInfo target(path);
    if (!QFileInfo(target.absolutePath()).isDir()) {
        *error = tr("The folder “%1” does not exist.").arg(target.absolutePath());
        return false;
    }
    // A signal while the document is built is noted; the half-built file goes
    // first (it is destroyed before the guard), then the signal ends the run.
    const platform::InterruptionGuard interruptions;
    // Written beside the target, then swapped in.
    QTemporaryFile built(
        QDir(target.absolutePath()).filePath(QStringLiteral(".ostrel-export-XXXXXX.") + target.suffix()));
    if (!built.open()) {
        *error = built.errorString();
        return false;
    }
    built.close();
    if (!write(built.fileName()))
        return false;
    if (platform::InterruptionGuard::interrupted()) {
        *error = tr("Interrupted.");
        return false;
    }
    built.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                         QFileDevice::ReadOther);
    // After an exchange the old file is where the new one was, and goes with it.
    struct stat ours {};
    ::lstat(QFile::encodeName(built.fileName()).constData(), &ours);
    const platform::Result<void> replaced =
        report::ReplaceAtomically(built.fileName(), target.absoluteFilePath(), &judged);
    if (replaced)
        return true;
    *error = replaced.error().localizedDescription();
    // A file put there meanwhile that could not be put back is not deleted as ours.
    struct stat now {};
    if (::lstat(QFile::encodeName(built.fileName()).constData(), &now) == 0 && now.st_ino != ours.st_ino)
        built.setAutoRemove(false);
    return false;
}

void MainWindow::exportAsHtml()
{
    exportWithDialog(report::DocumentKind::Html, QStringLiteral("html"), tr("Ostrel Log.html"),
                     tr("HTML documents (*.html)"), tr("Export as HTML"), &MainWindow::exportHtml);
}

QByteArray MainWindow::reportAsHtml() const
{
    const auto escape = [](const QString& text) { return text.toHtmlEscaped(); };
    const QList<report::StyledString>& runs = mTextStorage.runs();
    const QList<report::Finding>& findings = mTextStorage.findings();
    const QString title = platform::Bundle::main().localizedString(QStringLiteral("Ostrel Log"));
    QString html = QStringLiteral("<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
                                  "<meta charset=\"utf-8\"/>\n<title>%1</title>\n<style>\n"
                                  "body { font-family: sans-serif; max-width: 60em; margin: 2em auto; }\n"
                                  "ul { list-style: none; padding-left: 0; }\n"
                                  "li { margin: 0.3em 0; }\n"
                                  "li img { width: 1em; height: 1em; vertical-align: -0.15em; }\n"
                                  ".error .severity { color: #b00; } .warning .severity { color: #a60; }\n"
                                  ".note .severity { color: #05a; }\n"
                                  ".line, .id { color: #666; font-size: 90%; }\n"
                                  "</style>\n</head>\n<body>\n<h1>%1</h1>\n")
                       .arg(escape(title));
    if (mBundles)
        html += QStringLiteral("<p class=\"totals\">%1</p>\n").arg(escape(totalsText()));
    QString text; // plain text between findings and headings
    bool inList = false;
    bool inSection = false;
    const auto flushText = [&] {
        const QString trimmed = text.trimmed();
        text.clear();
        if (trimmed.isEmpty())
            return;
        if (inList) {
            html += QStringLiteral("</ul>\n");
            inList = false;
        }
        html += QStringLiteral("<p>%1</p>\n").arg(escape(trimmed).replace(QLatin1Char('\n'), QStringLiteral("<br/>")));
    };
    qsizetype f = 0;
    for (qsizetype i = 0; i < runs.size();) {
        while (f < findings.size() && findings[f].endRun <= i)
            ++f;
        if (isHeading(i)) {
            flushText();
            if (inList)
                html += QStringLiteral("</ul>\n");
            if (inSection)
                html += QStringLiteral("</section>\n");
            inList = false;
            inSection = true;
            html +=
                QStringLiteral("<section>\n<h2>%1<b>%2</b></h2>\n").arg(escape(runs[i].text), escape(runs[i + 1].text));
            i += 2;
            continue;
        }
        if (f < findings.size() && findings[f].firstRun <= i) {
            flushText();
            const report::Finding& finding = findings[f];
            const QString severity = report::severityName(finding.severity);
            // The icon is the finding's first run.
            const auto& attachment = runs[finding.firstRun].attachment;
            const QString icon = attachment ? QStringLiteral("<img alt=\"\" src=\"data:image/png;base64,%1\"/> ")
                                                  .arg(QString::fromLatin1(attachment->contents.toBase64()))
                                            : QString();
            if (!inList)
                html += QStringLiteral("<ul>\n");
            inList = true;
            html += QStringLiteral("<li class=\"%1\">%2<span class=\"severity\">%1:</span> %3")
                        .arg(severity, icon, escape(finding.text.trimmed()));
            if (finding.position.line > 0)
                html += QStringLiteral(" <span class=\"line\">line %1</span>").arg(finding.position.line);
            html += QStringLiteral(" <code class=\"id\">[%1]</code></li>\n").arg(escape(finding.messageKey));
            i = finding.endRun;
            continue;
        }
        if (!runs[i].attachment)
            text += runs[i].text;
        ++i;
    }
    flushText();
    if (inList)
        html += QStringLiteral("</ul>\n");
    if (inSection)
        html += QStringLiteral("</section>\n");
    html += QStringLiteral("</body>\n</html>\n");
    return html.toUtf8();
}

void MainWindow::presentError(const QString& message)
{
    auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void MainWindow::showAbout()
{
    QMessageBox::about(this, tr("About Ostrel"),
                       tr("<h3>Ostrel %1</h3>"
                          "<p>Checks the information property lists (Info.plist) of macOS bundles: "
                          "value types and formats, required and recommended keys, deprecated and unknown keys.</p>"
                          "<p>Drop bundles or property lists on the window, or open them with "
                          "File&nbsp;▸&nbsp;Open. The command-line checker is <tt>ostrel-check</tt>.</p>")
                           .arg(QCoreApplication::applicationVersion()));
}

} // namespace gui
