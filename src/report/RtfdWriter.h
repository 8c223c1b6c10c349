// Saves the report as an RTFD document: a directory holding TXT.rtf (the
// text with its fonts and bold runs) and the image files of its icons, each
// icon in the text referring to its file.
#pragma once

#include "platform/Error.h"
#include "report/SaveTarget.h"
#include "report/TextStorage.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

namespace report {

// The family written for runs whose font names none (the desktop's default
// font); the desktop application passes the font it shows.
inline const QString kRtfFallbackFamily = QStringLiteral("Helvetica");

// Writes the document at path, atomically: it is built beside the target and
// swapped in, so an existing document there is replaced whole or left as it
// was. Anything at path that is no RTFD document of ours is refused (see
// saveTargetRefusal), and so is anything put there while the document is
// built. SIGINT, SIGTERM or SIGHUP meanwhile: nothing is left beside the
// target, and the signal then ends the program.
platform::Result<void> WriteRtfd(const TextStorage& report, const QString& path,
                                 const QString& defaultFamily = QString());

// The RTF text of the runs. attachmentFiles maps each attachment to the file
// name it is saved under in the document.
QByteArray RtfFromRuns(const QList<StyledString>& runs, const QHash<const TextAttachment*, QString>& attachmentFiles,
                       const QString& defaultFamily);

// The file names the attachments are saved under: their own names, made safe,
// and made unique where two different images share one. Each image once.
QHash<const TextAttachment*, QString> AttachmentFileNames(const QList<StyledString>& runs);

// Moves the file or directory at built to target, replacing what is there
// in one step where the file system allows it (else through a backup that
// is put back on failure). built must be on the same file system as target;
// after an exchange it holds what was at target before. With judged, what
// is taken out must be what was judged at target (see takenOutRefusal), or
// it is put back and the replace fails.
platform::Result<void> ReplaceAtomically(const QString& built, const QString& target,
                                         const JudgedTarget* judged = nullptr);

// For tests: runs once a document is built, just before it is swapped in.
void SetRtfdBuiltHookForTests(std::function<void()> hook);

} // namespace report
