// Which places a saved document may take. A save replaces only a previous
// document of its own kind (or an empty folder, for RTFD); anything else the
// user has there is left alone and the save is refused with the reason.
#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace report {

// Plain: any regular file, such as the command line's report in whatever form.
enum class DocumentKind { Rtfd, Pdf, Html, Plain };

// TXT.rtf of an RTFD document of ours names us in its generator group
// ({\*\generator Ostrel 1.4;}, which RTF readers skip); only a folder whose
// TXT.rtf carries it in its header is taken for an earlier report.
inline constexpr char kRtfGeneratorGroup[] = "{\\*\\generator Ostrel";

// What stood at a target when it was judged: nothing, or one file or folder,
// so that a save can tell whether what it takes out is still that.
struct JudgedTarget {
    DocumentKind kind = DocumentKind::Rtfd;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Why a document of kind may not be saved at path, or an empty string when it
// may (nothing there yet, or a document of ours to replace). checkedPaths are
// the files and bundles being checked: none of them, nothing inside one and no
// folder above one is ever replaced; nor is the working directory or a folder
// above it. judged, when given, gets what stands at path.
QString saveTargetRefusal(const QString& path, DocumentKind kind, const QStringList& checkedPaths = {},
                          JudgedTarget* judged = nullptr);

// Why what a save took out of its target, now at takenOut, is not what was
// judged there (another file or folder put there meanwhile, or one no longer
// a document of ours), or an empty string when it is.
QString takenOutRefusal(const QString& takenOut, const JudgedTarget& judged);

} // namespace report
