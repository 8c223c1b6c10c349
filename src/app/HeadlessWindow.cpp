#include "app/HeadlessWindow.h"

#include "report/Escaping.h"

#include <cstdio>

namespace app {

int HeadlessWindow::runOpenPanel(const OpenPanelOptions&, QList<QUrl>& urls)
{
    if (mOpenPanelURLs.isEmpty())
        return kPanelCancel;
    urls = mOpenPanelURLs;
    return kPanelOK;
}

void HeadlessWindow::beginSaveSheet(const SavePanelOptions&,
                                    std::function<void(int returnCode, const QUrl& url)> didEnd)
{
    if (mSaveURL.isEmpty())
        didEnd(kPanelCancel, QUrl());
    else
        didEnd(kPanelOK, mSaveURL);
}

platform::Result<void> HeadlessWindow::writeRTFDToFile(const QString& path, bool)
{
    if (mRtfdWriter)
        return mRtfdWriter(mTextStorage, path);
    return platform::Error::posix(ENOTSUP, QStringLiteral("this program cannot write RTFD documents"));
}

void HeadlessWindow::beginPrintSheet(const PrintOptions&, std::function<void(bool success)> didRun)
{
    didRun(false);
}

void HeadlessWindow::presentError(const QString& message)
{
    // The message names files, whose names may hold control characters.
    std::fprintf(stderr, "%s\n", report::escapeControlCharacters(message).toLocal8Bit().constData());
}

} // namespace app
