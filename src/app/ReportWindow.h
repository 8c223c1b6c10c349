// What the controller needs of a window: the report's text storage, a modal
// open panel, a save sheet, a print sheet. The desktop application supplies
// real widgets; the command line a headless window; tests a scripted one.
#pragma once

#include "platform/Error.h"
#include "report/TextStorage.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace app {

// What a modal panel ends with.
constexpr int kPanelCancel = 0;
constexpr int kPanelOK = 1;

struct OpenPanelOptions {
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = true;
    // false: a bundle directory is offered and chosen as one item, not entered.
    bool treatsFilePackagesAsDirectories = false;
};

struct SavePanelOptions {
    QString requiredFileType;     // "rtfd": the chosen name gets this extension
    QString nameFieldStringValue; // the proposed name
};

struct PrintOptions {
    QString jobTitle;
    bool verticallyCentered = true;
};

class ReportWindow {
public:
    virtual ~ReportWindow() = default;

    // The report shown by the window's text view.
    virtual report::TextStorage& textStorage() = 0;

    // Runs a modal open panel; returns kPanelOK with the chosen items in the
    // panel's order, or kPanelCancel. Bundle directories come as directory
    // URLs (their path ends in "/").
    virtual int runOpenPanel(const OpenPanelOptions& options, QList<QUrl>& urls) = 0;

    // Shows a save panel as a sheet on the window; didEnd gets the return
    // code (kPanelOK or kPanelCancel) and the chosen file, when the sheet ends.
    virtual void beginSaveSheet(const SavePanelOptions& options,
                                std::function<void(int returnCode, const QUrl& url)> didEnd) = 0;

    // Writes the whole report as an RTFD document at path. Atomically: an
    // existing document is replaced whole or left as it was.
    virtual platform::Result<void> writeRTFDToFile(const QString& path, bool atomically) = 0;

    // Prints the report as a sheet on the window; didRun gets whether it
    // printed, when the sheet ends.
    virtual void beginPrintSheet(const PrintOptions& options, std::function<void(bool success)> didRun) = 0;

    // Tells the user of a failure the report does not show (a failed save).
    virtual void presentError(const QString& message) = 0;

    // Takes the files chosen in the open panel to check them its own way (the
    // desktop window on worker threads, each file's report appended whole and
    // in order). The default leaves them to the controller, which checks them
    // one after another.
    virtual bool checkBatch(const QList<QUrl>& urls)
    {
        (void)urls;
        return false;
    }

    // Between the files of a batch: done of total checked. The window may
    // show progress and repaint; the default does nothing.
    virtual void batchProgress(int done, int total)
    {
        (void)done;
        (void)total;
    }
};

} // namespace app
