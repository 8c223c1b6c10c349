// A whole product: after a bundle's own dictionary, what the dictionary says
// about the bundle's files (executable, icon, main nib, identifier, package
// type, localized strings), then every bundle inside it in the places the
// platform looks (frameworks, plug-ins, extensions, XPC services, login items,
// helpers, ...), each under its own heading after its container. The same
// walk serves a bundle folder on disk and the bundles in an archive.
#pragma once

#include "check/BundleLayout.h"
#include "check/ProductTree.h"
#include "platform/MachO.h"
#include "plist/Value.h"

#include <QSet>
#include <QString>

#include <optional>

namespace check {

class CheckSink;

// Bundles inside bundles are looked into this many levels deep, no deeper.
constexpr int kMaxBundleDepth = 8;

class ProductWalk {
public:
    // headingPrefix: how headings name the tree's top ("Shop.app" for a folder,
    // "Shop.zip" for an archive). productTop: the product's own folder in the
    // tree; no link may lead out of it.
    // nested: look at the bundles' files and into them; else only the top dictionary.
    ProductWalk(CheckSink& sink, const ProductTree& tree, QString headingPrefix, QString productTop,
                bool nested = true);

    // For the product's top bundle, whose dictionary the caller has checked
    // already: the cross-checks, then the bundles inside it. infoDict is null
    // when there was none.
    void checkContents(const plist::Dictionary* infoDict);
    // Checks the product's top bundle whole: heading, dictionary, the rest.
    void checkProduct();

private:
    using Layout = BundleLayout;
    struct Bundle {
        QString found; // the path it was reached by, for the report
        QString path;  // links resolved, for reading
        QString plist; // the dictionary's file, links resolved
        Layout layout = Layout::Contents;
        QString leadsOut; // the dictionary's place in the bundle when a link there leads out of the product
    };
    struct Container {
        QString applicationIdentifier; // empty unless the container is an application with an identifier
        bool heldToPrefix = false;     // the bundle's identifier must start with the application's
        // The containing application's dictionary, for the parts that carry its
        // versions (extensions, Watch applications, XPC services); else null.
        const plist::Dictionary* application = nullptr;
        bool versionsHeld = false; // the bundle is such a part
        bool minimumHeld = false;  // and runs on the application's system
    };

    Bundle locate(const QString& found, const QString& path) const;
    void checkBundle(const Bundle& bundle, const Container& container, int depth);
    void checkAgainstFiles(const Bundle& bundle, const plist::Dictionary& infoDict, const Container& container);
    void checkNested(const Bundle& bundle, const plist::Dictionary* infoDict, int depth);
    void checkExecutable(const Bundle& bundle, const plist::Dictionary& infoDict);
    void checkIcon(const Bundle& bundle, const plist::Dictionary& infoDict);
    void checkMainNibs(const Bundle& bundle, const plist::Dictionary& infoDict);
    void checkIdentifier(const plist::Dictionary& infoDict, const Container& container);
    void checkPackageType(const Bundle& bundle, const plist::Dictionary& infoDict);
    void checkLocalizedStrings(const Bundle& bundle, const plist::Dictionary& infoDict);
    // The file CFBundleExecutable names, found: a program or a script, and the
    // program against the dictionary.
    void checkProgram(const Bundle& bundle, const plist::Dictionary& infoDict, const QString& path,
                      const QString& where);
    void checkPartAgreesWithApplication(const Bundle& bundle, const plist::Dictionary& infoDict,
                                        const Container& container);
    // The privacy manifest under its own heading, and the APIs the program imports against it.
    void checkPrivacyManifest(const Bundle& bundle, const plist::Dictionary& infoDict);
    // The helper tools the bundle keeps where the system looks for them, each
    // through the property list in its program.
    void checkHelperTools(const Bundle& bundle);

    // A string the dictionary holds under key and that names something to
    // look for; none when absent, empty, or filled in by a build setting.
    std::optional<QString> namedValue(const plist::Dictionary& infoDict, const QString& key) const;
    // What is at path, links followed within the product.
    ProductTree::Resolved find(const QString& path) const;
    // The names in the folder inBundle of the bundle, none when there is no such folder.
    QStringList folderEntries(const Bundle& bundle, const QString& inBundle);
    // The names in the folder at path (resolved), found as the report names it;
    // a folder that cannot be read is an error, told once.
    QStringList listFolder(const QString& path, const QString& found);
    // A path of the tree as the report shows it.
    QString shown(const QString& path) const;
    static QString resourcesFolder(const Bundle& bundle);

    CheckSink& mSink;
    const ProductTree& mTree;
    QString mHeadingPrefix;
    QString mProductTop;
    QSet<QString> mChecked;    // bundle folders, links resolved
    QSet<QString> mUnreadable; // folders told as unreadable, links resolved
    bool mNested = true;
    bool mAllowBuildSettings = false;
    // The program of the bundle being checked against its files, and where it is as the report names it.
    std::optional<platform::MachOFile> mProgram;
    QString mProgramShown;
};

// Checks every bundle (and loose property list, and file with a resource
// fork) at the top of the archive at path, or in its Payload folder, as if it
// were unpacked; displayName names the archive in headings. nested: look into
// the bundles and at their files. False when the archive could not be read.
bool CheckArchive(CheckSink& sink, const QString& path, const QString& displayName, bool nested);

// Checks the archive at path as CheckArchive does, without a heading of its
// own, naming its files as if they were inside shownAs; how many items were
// checked, -1 when the archive could not be read (told).
int CheckArchiveTop(CheckSink& sink, const QString& path, const QString& shownAs, const QString& displayName,
                    bool nested);
// As an archive's top is checked, the top of a product tree of another kind
// (an unpacked disk image or payload); how many items were checked.
int CheckTreeTop(CheckSink& sink, const ProductTree& tree, const QString& displayName, bool nested);

} // namespace check
