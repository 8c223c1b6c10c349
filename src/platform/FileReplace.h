// Replacing a file's contents by an atomic rename, so that a reader, a crash
// or a full disk sees the old file or the new one, never a part.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <functional>

namespace platform {

struct ReplaceMode {
    mode_t mode = 0;  // the new file's permissions
    uid_t owner = -1; // kept where the writer may (root); -1 leaves it the writer's
    gid_t group = -1;
};

// Writes bytes to a new file beside name, with the mode and owner, syncs it,
// asks lastLook (when set) whether to go on, renames it over name and syncs
// the folder. Every step is checked: a short write leaves name as it was and
// nothing beside it. Returns why nothing was written, or an empty text.
QString replaceFile(const QByteArray& name, const QByteArray& bytes, const ReplaceMode& mode,
                    const std::function<QString()>& lastLook = {});

// The same for a file that may not exist yet: one that does keeps its
// permissions, a new one gets those the umask leaves.
QString replaceFile(const QString& path, const QByteArray& bytes);

} // namespace platform
