// Disk images: unpacked through 7-Zip into a private folder, then checked as
// the top of an archive is, as if the image were mounted.
#pragma once

#include <QString>

namespace check {

class CheckSink;

// Checks every bundle and property list on the image at path; displayName
// names it in headings. False when nothing on it could be read.
bool CheckDiskImage(CheckSink& sink, const QString& path, const QString& displayName, bool nested);

} // namespace check
