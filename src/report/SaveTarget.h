// Which places a saved document may take. A save replaces only a previous
// document of its own kind (or an empty folder, for RTFD); anything else the
// user has there is left alone and the save is refused with the reason.
#pragma once

#include <QString>
#include <QStringList>

namespace report {

enum class DocumentKind { Rtfd, Pdf };

// Why a document of kind may not be saved at path, or an empty string when it
// may (nothing there yet, or a document of ours to replace). checkedPaths are
// the files and bundles being checked: none of them, and no folder above one,
// is ever replaced; nor is the working directory or a folder above it.
QString saveTargetRefusal(const QString& path, DocumentKind kind, const QStringList& checkedPaths = {});

} // namespace report
