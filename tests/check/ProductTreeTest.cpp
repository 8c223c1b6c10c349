// A bundle folder on disk as the product walk sees it: what each path is, and
// where the links along a path lead, from the folder's own top or from the
// working directory.
#include "check/ProductTree.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using Kind = check::ProductTree::Kind;
using Resolution = check::ProductTree::Resolution;

class ProductTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        top = dir.filePath("Shop.app");
        for (const char* folder : {"Contents/MacOS", "Contents/Resources/en.lproj", "Elsewhere"})
            ASSERT_TRUE(QDir().mkpath(top + "/" + folder));
        testsupport::writeFile(top + "/Contents/Info.plist", {});
        testsupport::writeFile(top + "/Contents/MacOS/Shop", {});
        QFile::setPermissions(top + "/Contents/MacOS/Shop", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        link("Contents/Current", "Resources");           // a folder beside it
        link("Contents/Resources/Up", "../MacOS/Shop");  // climbs, stays inside
        link("Contents/Out", "../../Shop.app/Contents"); // climbs above the top
        link("Contents/Absolute", "/etc");               // leaves by its absolute target
        link("Contents/Dangling", "Nothing");            // points at nothing
        link("Contents/Loop", "Loop");                   // points at itself
    }
    void link(const QString& relative, const QString& target)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(top + "/" + relative).constData()),
                  0);
    }

    QTemporaryDir dir;
    QString top;
};

// The rows of tests/data/cases/product-tree.tsv of one kind, without it.
std::vector<QStringList> rows(const QString& kind)
{
    std::vector<QStringList> rows;
    for (const QStringList& row : caseRows("product-tree.tsv")) {
        EXPECT_EQ(row.size(), 5);
        if (row[0] == kind)
            rows.push_back(row.mid(1));
    }
    return rows;
}

Kind kindNamed(const QString& name)
{
    return static_cast<Kind>(QStringList{"Missing", "File", "Directory", "Link", "Other"}.indexOf(name));
}

TEST_F(ProductTreeTest, NodesAreWhatIsOnDisk)
{
    // Given as it is, and through a name relative to the working directory.
    for (const QString& given : {top, QDir::current().relativeFilePath(top)}) {
        const check::DiskTree tree(given);
        for (const QStringList& row : rows("node")) {
            SCOPED_TRACE(row[0].toStdString() + " in " + given.toStdString());
            const check::ProductTree::Node node = tree.node(row[0]);
            EXPECT_EQ(node.kind, kindNamed(row[1]));
            if (node.kind == Kind::File) {
                EXPECT_EQ(tree.isExecutable(row[0]), row[2] == "executable");
            }
            EXPECT_EQ(node.linkTarget, row[3]);
        }
    }
}

TEST_F(ProductTreeTest, LinksAreFollowedWithinTheTop)
{
    const check::DiskTree tree(top);
    for (const QStringList& row : rows("resolve")) {
        SCOPED_TRACE(row[0].toStdString());
        const check::ProductTree::Resolved resolved = tree.resolve(row[0]);
        EXPECT_EQ(resolved.resolution,
                  static_cast<Resolution>(QStringList{"Found", "Missing", "Outside", "Loop"}.indexOf(row[1])));
        EXPECT_EQ(resolved.path, row[2]);
        EXPECT_EQ(resolved.node.kind, kindNamed(row[3]));
    }
    // Within a part of the product, climbing out of that part leads outside too.
    EXPECT_EQ(tree.resolve("Contents/Resources/Up", "Contents/Resources").resolution, Resolution::Outside);
    EXPECT_EQ(tree.resolve("Contents/Current/en.lproj", "Contents/Resources").resolution, Resolution::Found);
}

// A folder asked for several names is read once and answers the rest itself;
// every answer must be what a look at the path gives.
TEST_F(ProductTreeTest, ReadFoldersAnswerAsALookWould)
{
    ASSERT_TRUE(QDir().mkpath(top + QString::fromUtf8("/Contents/Ressourc\u00E9s")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(top + "/Contents/Pipe").constData(), 0600), 0);
    const char* paths[] = {
        "Contents",         "Contents/Info.plist",      "Contents/MacOS",        "Contents/MacOS/Shop",
        "Contents/Current", "Contents/Resources",       "Contents/Resources/Up", "Contents/Nothing",
        "Contents/macos",   "Contents/Ressourc\u00E9s", "Contents/Pipe",         "Contents/Info.plist/Inside",
        "Elsewhere",        "Contents/Frameworks",      "Contents/Loop",         "Contents/Dangling",
    };
    const check::DiskTree listed(top);
    for (const char* folder : {"", "Contents", "Contents/MacOS", "Contents/Resources"})
        EXPECT_FALSE(listed.children(QString::fromUtf8(folder)).isEmpty()) << folder;
    // Told that names will be looked for in these: each is read as soon as it
    // is looked for, whatever it turns out to be.
    check::DiskTree expecting(top);
    for (const char* folder : {"Contents", "Contents/Current", "Contents/Nothing", "Contents/Info.plist",
                               "Contents/Pipe", "Contents/Dangling"})
        expecting.expectLookupsIn(QString::fromUtf8(folder));
    for (const char* path : paths) {
        const QString name = QString::fromUtf8(path);
        const check::DiskTree looked(top); // asked for this name alone, so it looks
        const check::ProductTree::Node expected = looked.node(name);
        for (const check::DiskTree* tree : {&listed, &std::as_const(expecting)}) {
            EXPECT_EQ(tree->node(name).kind, expected.kind) << path;
            EXPECT_EQ(tree->node(name).linkTarget, expected.linkTarget) << path;
            if (expected.kind == Kind::File) {
                EXPECT_EQ(tree->isExecutable(name), looked.isExecutable(name)) << path;
            }
        }
    }
    EXPECT_EQ(listed.node("Contents/Pipe").kind, Kind::Other);
    EXPECT_EQ(listed.node(QString::fromUtf8("Contents/Ressourc\u00E9s")).kind, Kind::Directory);
    EXPECT_EQ(listed.children("Contents/Missing"), QStringList());
}

} // namespace
