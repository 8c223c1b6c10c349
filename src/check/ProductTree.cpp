#include "check/ProductTree.h"

#include "check/PlistDataReader.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace check {

namespace {

// More links than this in one path is a loop (the system gives up at 40 too).
constexpr int kMaxLinksFollowed = 40;

bool isAscii(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isWithin(const QString& path, const QString& within)
{
    return within.isEmpty() || path == within || path.startsWith(within + QLatin1Char('/'));
}

} // namespace

QString parentPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

QString joinPath(const QString& directory, const QString& name)
{
    if (directory.isEmpty())
        return name;
    if (name.isEmpty())
        return directory;
    return directory + QLatin1Char('/') + name;
}

ProductTree::Resolved ProductTree::resolve(const QString& path, const QString& within) const
{
    // The parts still to resolve are those of pending from `at` on; a link
    // met on the way puts its target's parts before them.
    QString pending = path;
    qsizetype at = 0;
    const auto morePartsAhead = [&] {
        for (qsizetype i = at; i < pending.size(); ++i) {
            if (pending[i] != QLatin1Char('/'))
                return true;
        }
        return false;
    };
    QString done; // the parts resolved so far, joined
    done.reserve(path.size());
    int linksFollowed = 0;
    Resolved result;
    while (at < pending.size()) {
        qsizetype slash = pending.indexOf(QLatin1Char('/'), at);
        if (slash < 0)
            slash = pending.size();
        const QStringView part = QStringView(pending).sliced(at, slash - at);
        at = slash + 1;
        if (part.isEmpty() || part == u".")
            continue;
        if (part == u"..") {
            // Climbing above the product leads out of it, wherever it goes on.
            if (done.isEmpty() || !isWithin(parentPath(done), within)) {
                result.resolution = Resolution::Outside;
                return result;
            }
            done.truncate(std::max<qsizetype>(done.lastIndexOf(QLatin1Char('/')), 0));
            continue;
        }
        const qsizetype doneLength = done.size();
        if (!done.isEmpty())
            done += QLatin1Char('/');
        done += part;
        const Node here = node(done);
        if (here.kind == Kind::Link) {
            if (++linksFollowed > kMaxLinksFollowed) {
                result.resolution = Resolution::Loop;
                result.path = done;
                return result;
            }
            if (here.linkTarget.isEmpty() || here.linkTarget.startsWith(QLatin1Char('/'))) {
                result.resolution = Resolution::Outside;
                result.path = here.linkTarget;
                return result;
            }
            // The target is relative to the link's own directory: what is done so far.
            done.truncate(doneLength);
            QString next = here.linkTarget + QLatin1Char('/');
            next += QStringView(pending).sliced(std::min(at, pending.size()));
            pending = std::move(next);
            at = 0;
            continue;
        }
        if (here.kind == Kind::Missing || (here.kind != Kind::Directory && morePartsAhead())) {
            result.path = done;
            return result;
        }
    }
    result.path = done;
    if (!isWithin(result.path, within)) {
        result.resolution = Resolution::Outside;
        return result;
    }
    result.node = node(result.path);
    result.resolution = Resolution::Found;
    return result;
}

// On disk

DiskTree::DiskTree(QString top) : mTop(std::move(top))
{
}

DiskTree::~DiskTree() = default;

QString DiskTree::absolute(const QString& path) const
{
    return path.isEmpty() ? mTop : mTop + QLatin1Char('/') + path;
}

ProductTree::Node DiskTree::node(const QString& path) const
{
    if (path.isEmpty()) {
        Node top;
        top.kind = Kind::Directory;
        return top;
    }
    if (const auto known = mNodes.constFind(path); known != mNodes.constEnd())
        return *known;
    if (mExpected.contains(path)) {
        // Read straight away, a link at its end refused: what was read is a folder.
        int error = 0;
        const auto entries = platform::readDirectory(absolute(path), platform::LinkAtEnd::Refuse, &error);
        if (entries || error == ENOENT) {
            Node node;
            if (entries) {
                keep(path, *entries);
                node.kind = Kind::Directory;
            }
            return mNodes[path] = node;
        }
        // A link, a file, or a folder that may not be read: looked at as any other name.
    }
    return look(path, listingForLookup(parentPath(path)));
}

ProductTree::Node DiskTree::look(const QString& path, const Listing* folder) const
{
    Node result;
    if (folder) {
        if (const std::optional<Node> answer = folder->answer(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)))
            return mNodes[path] = *answer;
    }
    const QByteArray native = platform::encodeFileName(absolute(path));
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return mNodes[path] = result;
    if (S_ISLNK(info.st_mode)) {
        result.kind = Kind::Link;
        QByteArray target(qsizetype(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(native.constData(), target.data(), size_t(target.size()));
        if (length > 0 && length < target.size())
            result.linkTarget = platform::decodeFileName(target.left(qsizetype(length)));
        return mNodes[path] = result;
    }
    result.kind = S_ISREG(info.st_mode) ? Kind::File : S_ISDIR(info.st_mode) ? Kind::Directory : Kind::Other;
    return mNodes[path] = result;
}

bool DiskTree::isExecutable(const QString& path) const
{
    struct stat info {};
    return ::stat(platform::encodeFileName(absolute(path)).constData(), &info) == 0 &&
           (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

void DiskTree::expectLookupsIn(const QString& folder)
{
    mExpected.append(folder);
}

const DiskTree::Listing* DiskTree::listingForLookup(const QString& folder) const
{
    if (const auto known = mListings.constFind(folder); known != mListings.constEnd())
        return &*known;
    if (++mLookupsIn[folder] < 2)
        return nullptr; // one look costs less than reading the folder
    return &listing(folder);
}

const DiskTree::Listing& DiskTree::listing(const QString& folder) const
{
    if (const auto known = mListings.constFind(folder); known != mListings.constEnd())
        return *known;
    int error = 0;
    if (const auto entries = platform::readDirectory(absolute(folder), platform::LinkAtEnd::Follow, &error))
        return keep(folder, *entries);
    Listing& unread = mListings[folder]; // not read: every lookup in it looks
    unread.error = error;
    return unread;
}

const DiskTree::Listing& DiskTree::keep(const QString& folder, const QList<platform::DirectoryEntry>& entries) const
{
    Listing& listing = mListings[folder];
    listing.read = true;
    listing.names.reserve(entries.size());
    for (const platform::DirectoryEntry& entry : entries) {
        listing.names.append(entry.name);
        listing.types.insert(entry.name, entry.type);
        listing.allAscii = listing.allAscii && isAscii(entry.name);
    }
    return listing;
}

std::optional<ProductTree::Node> DiskTree::Listing::answer(const QString& name) const
{
    if (!read)
        return std::nullopt;
    Node node;
    if (const auto type = types.constFind(name); type != types.constEnd()) {
        if (*type == platform::DirectoryEntry::Type::Directory)
            node.kind = Kind::Directory;
        else if (*type == platform::DirectoryEntry::Type::File)
            node.kind = Kind::File;
        else
            return std::nullopt; // a link's target, or a type the listing did not give: only a look tells
        return node;
    }
    // A file system that ignores case (or folds Unicode) may still find the
    // name under another spelling; only plain ASCII names all round are sure.
    if (!allAscii || !isAscii(name) || std::any_of(names.begin(), names.end(), [&](const QString& entry) {
            return entry.compare(name, Qt::CaseInsensitive) == 0;
        }))
        return std::nullopt;
    return node; // Missing
}

QStringList DiskTree::children(const QString& path) const
{
    // Kept: it answers the lookups in the folder that follow as well.
    return listing(path).names;
}

int DiskTree::childrenError(const QString& path) const
{
    return listing(path).error;
}

std::unique_ptr<platform::ByteSource> ProductTree::open(const QString& path) const
{
    platform::Result<QByteArray> bytes = read(path);
    if (!bytes)
        return nullptr;
    return std::make_unique<platform::MemorySource>(std::move(*bytes));
}

platform::Result<QByteArray> DiskTree::read(const QString& path) const
{
    // A path looked for and not found (a bundle without its dictionary) is
    // opened as it stands, so that the system says why; a link on the way is
    // not followed, and a link that led nowhere makes it missing.
    const Resolved resolved = resolve(path);
    const bool found = resolved.resolution == Resolution::Found;
    // A file the walk found is a regular file already looked at.
    const platform::FileSource::Seen seen = found && resolved.node.kind == Kind::File
                                                ? platform::FileSource::Seen::RegularFile
                                                : platform::FileSource::Seen::Nothing;
    // Taken from the top part by part: a link put on the way since it was resolved is not followed either.
    const auto readIt = [&] { return readWholeFileBeneath(mTop, found ? resolved.path : path, seen); };
    PlistData data = mReadThrough ? mReadThrough(absolute(path), readIt) : readIt();
    if (data.bytes)
        return std::move(*data.bytes);
    if (resolved.resolution == Resolution::Missing && data.error.code == std::errc::too_many_symbolic_link_levels)
        return platform::Error::posix(ENOENT);
    return data.error;
}

std::unique_ptr<platform::ByteSource> DiskTree::open(const QString& path) const
{
    const Resolved resolved = resolve(path);
    if (resolved.resolution != Resolution::Found || resolved.node.kind != Kind::File)
        return nullptr;
    platform::FileSource::Opened opened =
        platform::FileSource::openBeneath(mTop, resolved.path, platform::FileSource::Seen::RegularFile);
    return std::move(opened.file);
}

QString DiskTree::displayPath(const QString& path) const
{
    return absolute(path);
}

// In an archive

ArchiveTree::ArchiveTree(QString archivePath, const platform::ArchiveContents& contents, Loader loadMissing)
    : mArchivePath(std::move(archivePath)), mContents(contents), mLoadMissing(std::move(loadMissing))
{
    mNodes.emplace_back();
    for (qsizetype i = 0; i < contents.entries.size(); ++i) {
        // Every directory on the way holds the next part, listed or not.
        const QString& path = contents.entries[i].path;
        qsizetype at = 0;
        qsizetype parent = 0;
        while (at <= path.size()) {
            qsizetype slash = path.indexOf(QLatin1Char('/'), at);
            if (slash < 0)
                slash = path.size();
            const QStringView part = QStringView(path).sliced(at, slash - at);
            at = slash + 1;
            const auto known = mChildNamed.constFind({parent, part});
            if (known != mChildNamed.constEnd()) {
                parent = *known;
                continue;
            }
            TreeNode child;
            child.name = part;
            child.nextSibling = mNodes[size_t(parent)].firstChild;
            const qsizetype made = qsizetype(mNodes.size());
            mNodes[size_t(parent)].firstChild = made;
            mNodes.push_back(child);
            mChildNamed.insert({parent, part}, made);
            parent = made;
        }
        mNodes[size_t(parent)].entry = i;
    }
}

qsizetype ArchiveTree::nodeAt(QStringView path) const
{
    qsizetype at = 0;
    if (path.isEmpty())
        return at;
    for (const QStringView part : path.tokenize(u'/')) {
        const auto child = mChildNamed.constFind({at, part});
        if (child == mChildNamed.constEnd())
            return -1;
        at = *child;
    }
    return at;
}

const platform::ArchiveEntry* ArchiveTree::entryAt(const QString& path) const
{
    const qsizetype at = nodeAt(path);
    const qsizetype entry = at < 0 ? -1 : mNodes[size_t(at)].entry;
    return entry < 0 ? nullptr : &mContents.entries[entry];
}

ProductTree::Node ArchiveTree::node(const QString& path) const
{
    Node result;
    const qsizetype at = nodeAt(path);
    if (at < 0)
        return result;
    if (const qsizetype entry = mNodes[size_t(at)].entry; entry >= 0) {
        switch (mContents.entries[entry].kind) {
        case platform::ArchiveEntryKind::File: result.kind = Kind::File; break;
        case platform::ArchiveEntryKind::Directory: result.kind = Kind::Directory; break;
        case platform::ArchiveEntryKind::Link: result.kind = Kind::Link; break;
        case platform::ArchiveEntryKind::Other: result.kind = Kind::Other; break;
        }
        result.linkTarget = mContents.entries[entry].linkTarget;
    } else {
        result.kind = Kind::Directory;
    }
    return result;
}

bool ArchiveTree::isExecutable(const QString& path) const
{
    const platform::ArchiveEntry* entry = entryAt(path);
    return entry && (entry->mode & 0111) != 0;
}

QStringList ArchiveTree::children(const QString& path) const
{
    QStringList names;
    const qsizetype at = nodeAt(path);
    for (qsizetype child = at < 0 ? -1 : mNodes[size_t(at)].firstChild; child >= 0;
         child = mNodes[size_t(child)].nextSibling)
        names.append(mNodes[size_t(child)].name.toString());
    names.sort();
    return names;
}

platform::Result<QByteArray> ArchiveTree::read(const QString& path) const
{
    const platform::ArchiveEntry* entry = entryAt(path);
    if (entry && entry->kind == platform::ArchiveEntryKind::File && !entry->bytes && !entry->tooLarge &&
        !entry->overBudget && !mLoaded && mLoadMissing) {
        mLoaded = true;
        mLoadMissing();
    }
    if (entry && entry->bytes)
        return *entry->bytes;
    if (entry && entry->tooLarge)
        return platform::Error::posix(EFBIG, QStringLiteral("The entry is too large to be a property list; entries "
                                                            "over %1 MiB are not read.")
                                                 .arg(platform::kMaxPropertyListSize >> 20));
    if (entry && entry->overBudget)
        return platform::Error::posix(EFBIG,
                                      platform::Bundle::main().localizedString(QStringLiteral("ArchiveKeptTooMuch")));
    return platform::Error::osStatus(platform::fnfErr);
}

QString ArchiveTree::displayPath(const QString& path) const
{
    return joinPath(mArchivePath, path);
}

} // namespace check
