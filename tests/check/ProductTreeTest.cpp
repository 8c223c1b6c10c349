// A bundle folder on disk as the product walk sees it: what each path is, and
// where the links along a path lead, from the folder's own top or from the
// working directory.
#include "check/ProductTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

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
        file("Contents/Info.plist", false);
        file("Contents/MacOS/Shop", true);
        link("Contents/Current", "Resources");           // a folder beside it
        link("Contents/Resources/Up", "../MacOS/Shop");  // climbs, stays inside
        link("Contents/Out", "../../Shop.app/Contents"); // climbs above the top
        link("Contents/Absolute", "/etc");               // leaves by its absolute target
        link("Contents/Dangling", "Nothing");            // points at nothing
        link("Contents/Loop", "Loop");                   // points at itself
    }
    void file(const QString& relative, bool executable)
    {
        QFile f(top + "/" + relative);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (executable)
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    }
    void link(const QString& relative, const QString& target)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(top + "/" + relative).constData()),
                  0);
    }

    QTemporaryDir dir;
    QString top;
};

TEST_F(ProductTreeTest, NodesAreWhatIsOnDisk)
{
    const struct {
        const char* path;
        Kind kind;
        bool executable;
        const char* linkTarget;
    } rows[] = {
        {"", Kind::Directory, false, ""},
        {"Contents", Kind::Directory, true, ""},
        {"Contents/Info.plist", Kind::File, false, ""},
        {"Contents/MacOS/Shop", Kind::File, true, ""},
        {"Contents/Current", Kind::Link, false, "Resources"},
        {"Contents/Resources/Up", Kind::Link, false, "../MacOS/Shop"},
        {"Contents/Nothing", Kind::Missing, false, ""},
        {"Contents/Info.plist/Inside", Kind::Missing, false, ""},
    };
    // Given as it is, and through a name relative to the working directory.
    const QString working = QDir::currentPath();
    for (const QString& given : {top, QDir(working).relativeFilePath(top)}) {
        const check::DiskTree tree(given);
        for (const auto& row : rows) {
            const check::ProductTree::Node node = tree.node(QString::fromUtf8(row.path));
            EXPECT_EQ(node.kind, row.kind) << row.path << " in " << given.toStdString();
            if (row.kind == Kind::File) {
                EXPECT_EQ(node.executable, row.executable) << row.path;
            }
            EXPECT_EQ(node.linkTarget, QString::fromUtf8(row.linkTarget)) << row.path;
        }
    }
}

TEST_F(ProductTreeTest, LinksAreFollowedWithinTheTop)
{
    const struct {
        const char* path;
        Resolution resolution;
        const char* resolved;
        Kind kind;
    } rows[] = {
        {"Contents/Info.plist", Resolution::Found, "Contents/Info.plist", Kind::File},
        {"./Contents//MacOS/../Info.plist", Resolution::Found, "Contents/Info.plist", Kind::File},
        {"Contents/Current/en.lproj", Resolution::Found, "Contents/Resources/en.lproj", Kind::Directory},
        {"Contents/Current/Up", Resolution::Found, "Contents/MacOS/Shop", Kind::File},
        {"Contents/Out/Info.plist", Resolution::Outside, "", Kind::Missing},
        {"Contents/Absolute/passwd", Resolution::Outside, "/etc", Kind::Missing},
        {"..", Resolution::Outside, "", Kind::Missing},
        {"Contents/Dangling", Resolution::Missing, "Contents/Nothing", Kind::Missing},
        {"Contents/Info.plist/Inside", Resolution::Missing, "Contents/Info.plist", Kind::Missing},
        {"Contents/Loop", Resolution::Loop, "Contents/Loop", Kind::Missing},
    };
    const check::DiskTree tree(top);
    for (const auto& row : rows) {
        const check::ProductTree::Resolved resolved = tree.resolve(QString::fromUtf8(row.path));
        EXPECT_EQ(resolved.resolution, row.resolution) << row.path;
        EXPECT_EQ(resolved.path, QString::fromUtf8(row.resolved)) << row.path;
        EXPECT_EQ(resolved.node.kind, row.kind) << row.path;
    }
    // Within a part of the product, climbing out of that part leads outside too.
    EXPECT_EQ(tree.resolve("Contents/Resources/Up", "Contents/Resources").resolution, Resolution::Outside);
    EXPECT_EQ(tree.resolve("Contents/Current/en.lproj", "Contents/Resources").resolution, Resolution::Found);
}

} // namespace
