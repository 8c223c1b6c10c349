// Applying the findings' fixes: which to take, the edited bytes, a unified
// diff of them, and the atomic replacement of the file, for the command line
// and the window alike.
#pragma once

#include "report/Finding.h"
#include "report/ReportText.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace fix {

struct Options {
    bool unsafe = false;        // the fixes that may change the meaning too
    QSet<QString> unfixable;    // IDs whose fixes are never applied
    int rounds = 4;             // a fix can make way for another: checked again up to this often
    report::FindingFilter only; // when set, the fixes of the findings it takes, and no others
};

// Whether the finding has a fix these options apply.
bool wanted(const report::Finding& finding, const Options& options);

// The edits of the wanted fixes among the findings, in the order of the file:
// a fix whose edits overlap those of one taken before waits for a later
// round. fixesTaken counts the fixes taken.
QList<report::TextEdit> chooseEdits(const QList<report::Finding>& findings, const Options& options,
                                    QStringList* titlesTaken = nullptr);

// The bytes with the edits made; the edits are in order and do not overlap.
QByteArray applyEdits(const QByteArray& bytes, const QList<report::TextEdit>& edits);

// One file's fixes over all rounds.
struct FileFix {
    QString path;        // the file read
    QByteArray before;   // as it was read
    QByteArray after;    // with the fixes made
    QStringList applied; // the fixes' titles
    QString notInPlace;  // why the file cannot be rewritten (in an archive, standard input), or empty
};

struct FixRun {
    QList<FileFix> files;
    // What a check of the fixed files finds.
    QList<report::Finding> remaining;
};

// Checks each path, and its files once fixed in memory, until no wanted fix
// is left or the rounds are used up. Nothing is written.
FixRun fixPaths(const QStringList& paths, const Options& options, const report::FindingFilter& ignored = {});

// Replaces the file with the fixed bytes: a temporary file in its folder with
// its mode, synced and renamed over it. Refused for a link, a file with
// several hard links, one not writable or changed since it was read. Returns
// why nothing was written, or an empty text.
QString writeFixed(const FileFix& file);

// Called between the last look at the file and the rename over it (tests).
void setBeforeReplaceHook(std::function<void(const QString& path)> hook);

// A unified diff of the file's fix (a/PATH, b/PATH with PATH relative to
// baseDirectory where it lies below it), empty where nothing changed; the
// reason where diff cannot be run.
QByteArray unifiedDiff(const FileFix& file, const QString& baseDirectory, QString* error = nullptr);

// --fix and --diff: the fixes of the paths' files written (write) or shown
// as one diff, with a line for each file fixed or refused.
struct Outcome {
    QByteArray diff;
    QStringList messages;
    QList<report::Finding> remaining;
};
Outcome fixFiles(const QStringList& paths, const Options& options, const report::FindingFilter& ignored, bool write,
                 const QString& baseDirectory);

} // namespace fix
