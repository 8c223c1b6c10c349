// Checking files for the command line: one checker per thread, each with its
// own controller and report, and a runner that checks on several threads and
// hands the results over in the order the files were given.
#pragma once

#include "check/HeadlessWindow.h"
#include "check/OstrelAppDelegate.h"
#include "report/Finding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace cli {

struct Counts {
    int bySeverity[3] = {0, 0, 0}; // error, warning, note
    int ignored = 0;
};

// What one file's check comes to: its report as it is written, and what it
// adds to the run's status and summary.
struct CheckedFile {
    QByteArray out;
    bool failed = false;
    Counts counts;
    QList<report::Finding> kept; // findings the run writes at its end (SARIF)
};

// One file's part of a checker's report, for the caller to render.
struct FileReport {
    const QString& path;
    const report::TextStorage& report;
    qsizetype firstRun, endRun, firstFinding;
    QString read;   // the file read
    bool completed; // false when an exception escaped the guard
};
// Called on the checking thread; must only read what it shares with others.
using Render = std::function<CheckedFile(const FileReport&)>;

class FileChecker {
public:
    // keepReport: keep every file's runs (to save the whole report);
    // otherwise each file's report is forgotten once it is rendered.
    FileChecker(Render render, bool keepReport);
    CheckedFile check(const QString& path);
    check::HeadlessWindow& window() { return mWindow; }

private:
    Render mRender;
    bool mKeepReport;
    check::HeadlessWindow mWindow;
    check::OstrelAppDelegate mController;
};

// Checks the files on jobs threads (each with a checker of its own that
// forgets each report) and calls deliver on the calling thread for each file
// in the given order, as soon as it and all before it are done. At most a few
// files per thread are checked ahead of the one being delivered, so memory
// stays bounded however many files there are.
void checkInOrder(const QStringList& paths, int jobs, const Render& render,
                  const std::function<void(qsizetype index, CheckedFile& file)>& deliver);

} // namespace cli
