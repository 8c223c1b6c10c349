// Saves the report as an RTFD document: a directory holding TXT.rtf (the
// text with its fonts and bold runs) and the image files of its icons, each
// icon in the text referring to its file.
#pragma once

#include "report/TextStorage.h"

#include <QByteArray>
#include <QHash>
#include <QString>

namespace report {

// The family written for runs whose font names none (the desktop's default
// font); the desktop application passes the font it shows.
inline const QString kRtfFallbackFamily = QStringLiteral("Helvetica");

// Writes the document at path, atomically: it is built beside the target and
// swapped in, so an existing document there is replaced whole or left as it
// was. Anything at path that is no RTFD document of ours is refused (see
// saveTargetRefusal). On failure returns false with the reason in *error
// (when given).
bool WriteRtfd(const TextStorage& report, const QString& path, QString* error);
bool WriteRtfd(const TextStorage& report, const QString& path, QString* error, const QString& defaultFamily);

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
// after an exchange it holds what was at target before.
bool ReplaceAtomically(const QString& built, const QString& target, QString* error);

} // namespace report
