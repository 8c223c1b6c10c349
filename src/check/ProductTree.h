// The files of a product as the product walk sees them: a folder on disk or
// the contents of an archive, addressed by "/"-separated paths relative to
// the tree's top ("" is the top itself). Symbolic links are resolved within
// the tree, never outside it.
#pragma once

#include "check/PlistDataReader.h"
#include "platform/ArchiveReader.h"
#include "platform/ByteSource.h"
#include "platform/Error.h"
#include "platform/FileUrl.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace check {

class ProductTree {
public:
    enum class Kind { Missing, File, Directory, Link, Other };
    struct Node {
        Kind kind = Kind::Missing;
        QString linkTarget;
    };

    virtual ~ProductTree() = default;

    // What is at path itself; a link there is not followed.
    virtual Node node(const QString& path) const = 0;
    // Whether the file at path (resolved) may be run.
    virtual bool isExecutable(const QString& path) const = 0;
    // The names in the directory at path (links along path already resolved), sorted.
    virtual QStringList children(const QString& path) const = 0;
    // Why children() gave no names for the directory at path when it could
    // not be read: the system's errno; 0 when it was read.
    virtual int childrenError(const QString& /*path*/) const { return 0; }
    // The bytes of the file at path (resolved; on disk a link met on the way is
    // not followed, however it got there), at most a property list's size.
    virtual platform::Result<QByteArray> read(const QString& path) const = 0;
    // The file at path (resolved), to read parts of it: a program's load
    // commands, not all of a large program. Null when it cannot be read.
    virtual std::unique_ptr<platform::ByteSource> open(const QString& path) const;
    // How the report names the file at path: a path on disk, or the
    // archive's path followed by the path inside it.
    virtual QString displayPath(const QString& path) const = 0;

    enum class Resolution { Found, Missing, Outside, Loop };
    struct Resolved {
        Resolution resolution = Resolution::Missing;
        QString path; // with every link along it replaced by its target
        Node node;    // what is there (never a link)
    };
    // Follows the links along path and at its end. A link whose target is
    // absolute or climbs above `within` leads Outside; more than a few dozen
    // links in a row are a Loop.
    Resolved resolve(const QString& path, const QString& within = QString()) const;
};

// A directory on disk.
class DiskTree : public ProductTree {
public:
    explicit DiskTree(QString top);
    ~DiskTree() override;
    DiskTree(const DiskTree&) = delete;
    DiskTree& operator=(const DiskTree&) = delete;
    Node node(const QString& path) const override;
    bool isExecutable(const QString& path) const override;
    QStringList children(const QString& path) const override;
    int childrenError(const QString& path) const override;
    platform::Result<QByteArray> read(const QString& path) const override;
    std::unique_ptr<platform::ByteSource> open(const QString& path) const override;
    QString displayPath(const QString& path) const override;
    // Many names are about to be looked for in folder: it is read when it is
    // first looked for, and that read tells that it is a folder.
    void expectLookupsIn(const QString& folder);
    void setReadThrough(ReadThrough through) { mReadThrough = std::move(through); }

private:
    ReadThrough mReadThrough;
    // A folder's entries as one read of it gave them.
    struct Listing {
        bool read = false;                                    // false when the folder could not be read
        int error = 0;                                        // then why, when it was tried
        QStringList names;                                    // sorted as children() gives them
        QHash<QString, platform::DirectoryEntry::Type> types; // what the folder says each is
        bool allAscii = true;
        // What the listing alone says of name: a file, a folder, or nothing
        // at all; nullopt when only a look at the path can say (links, names
        // that a case-insensitive file system might take for another).
        std::optional<Node> answer(const QString& name) const;
    };
    QString absolute(const QString& path) const;
    // The folder's listing, read now if need be.
    const Listing& listing(const QString& folder) const;
    // Keeps what a read of the folder gave.
    const Listing& keep(const QString& folder, const QList<platform::DirectoryEntry>& entries) const;
    // The listing to answer a lookup in the folder from, if it is worth reading.
    const Listing* listingForLookup(const QString& folder) const;
    // A lookup not yet answered: from the folder's listing if it tells, else
    // by a look at the path.
    Node look(const QString& path, const Listing* folder) const;

    QString mTop;
    // Walks resolve the same folders again and again; each is looked at once.
    mutable QHash<QString, Node> mNodes;
    // A walk looks for many names in a bundle's folders, most of them absent:
    // a folder asked for a second name is read once, and the rest are
    // answered from what it holds.
    mutable QHash<QString, int> mLookupsIn;
    mutable QHash<QString, Listing> mListings;
    QStringList mExpected; // folders to read as soon as they are looked for
};

// What an archive holds; directories that only the paths of their entries
// imply exist all the same. One node a part of a path: a path as deep as an
// archive may hold costs no more than its length.
class ArchiveTree : public ProductTree {
public:
    // Reads the bytes of files not kept yet (once, for all that were not),
    // or none.
    using Loader = std::function<void()>;
    ArchiveTree(QString archivePath, const platform::ArchiveContents& contents, Loader loadMissing = {});
    Node node(const QString& path) const override;
    bool isExecutable(const QString& path) const override;
    QStringList children(const QString& path) const override;
    platform::Result<QByteArray> read(const QString& path) const override;
    QString displayPath(const QString& path) const override;

private:
    struct TreeNode {
        QStringView name; // within an entry's path
        qsizetype entry = -1;
        qsizetype firstChild = -1;
        qsizetype nextSibling = -1;
    };
    // The node at path, or -1.
    qsizetype nodeAt(QStringView path) const;
    const platform::ArchiveEntry* entryAt(const QString& path) const;

    QString mArchivePath;
    const platform::ArchiveContents& mContents;
    std::vector<TreeNode> mNodes; // the top first
    QHash<std::pair<qsizetype, QStringView>, qsizetype> mChildNamed;
    Loader mLoadMissing;
    mutable bool mLoaded = false;
};

// Path helpers: the parent ("" for a top-level name) and a join that leaves out empty parts.
QString parentPath(const QString& path);
QString joinPath(const QString& directory, const QString& name);

} // namespace check
