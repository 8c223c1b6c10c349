// A window without a display, for the command line: the report is kept in
// memory (an observer may print it as it grows), the "open panel" answers with
// a list of files given beforehand, and there is nothing to print on.
#pragma once

#include "app/ReportWindow.h"

#include <functional>

namespace app {

class HeadlessWindow : public ReportWindow {
public:
    using RtfdWriter = std::function<platform::Result<void>(const report::TextStorage& report, const QString& path)>;

    report::TextStorage& textStorage() override { return mTextStorage; }

    // The files the open panel answers with; none means the panel is cancelled.
    void setOpenPanelURLs(QList<QUrl> urls) { mOpenPanelURLs = std::move(urls); }
    int runOpenPanel(const OpenPanelOptions& options, QList<QUrl>& urls) override;

    // The save panel answers at once with this file; an empty URL cancels it.
    void setSaveURL(QUrl url) { mSaveURL = std::move(url); }
    void beginSaveSheet(const SavePanelOptions& options,
                        std::function<void(int returnCode, const QUrl& url)> didEnd) override;
    // Writing RTFD needs a writer; without one the write fails and says so.
    void setRtfdWriter(RtfdWriter writer) { mRtfdWriter = std::move(writer); }
    platform::Result<void> writeRTFDToFile(const QString& path, bool atomically) override;

    // No printer here: the sheet ends at once, unsuccessful.
    void beginPrintSheet(const PrintOptions& options, std::function<void(bool success)> didRun) override;
    // To stderr.
    void presentError(const QString& message) override;

private:
    report::TextStorage mTextStorage;
    QList<QUrl> mOpenPanelURLs;
    QUrl mSaveURL;
    RtfdWriter mRtfdWriter;
};

} // namespace app
