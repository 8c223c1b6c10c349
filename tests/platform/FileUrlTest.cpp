#include "platform/FileUrl.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QUrl url(const char* path)
{
    return QUrl::fromLocalFile(QString::fromUtf8(path));
}

TEST(FileUrl, LastComponentAndExtension)
{
    struct Case {
        const char* path;
        const char* last;
        std::optional<QString> extension;
    };
    const Case cases[] = {
        {"/a/b/Info.plist", "Info.plist", QStringLiteral("plist")},
        {"/a/b/Info.PLIST", "Info.PLIST", QStringLiteral("PLIST")},
        {"/a/Some App.app/", "Some App.app", QStringLiteral("app")},
        {"/a/archive.tar.gz", "archive.tar.gz", QStringLiteral("gz")},
        {"/a/v1.2/Tool", "Tool", std::nullopt},
        {"/a/trailing.", "trailing.", QString()},
        {"/a/100%.plist", "100%.plist", QStringLiteral("plist")},
        {"/", "/", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::lastPathComponent(url(c.path)), QString::fromUtf8(c.last)) << c.path;
        EXPECT_EQ(platform::pathExtension(url(c.path)), c.extension) << c.path;
    }
}

TEST(FileUrl, AppendingKeepsOneSeparator)
{
    const QUrl bundle = url("/x/My App.app/");
    const QUrl plist = platform::appendingPathComponent(bundle, QStringLiteral("Contents/Info.plist"));
    EXPECT_EQ(platform::fileSystemPath(plist), QStringLiteral("/x/My App.app/Contents/Info.plist"));
    EXPECT_FALSE(platform::isDirectoryURL(plist));
    const QUrl noSlash = platform::appendingPathComponent(url("/x/Dir"), QStringLiteral("100%.plist"));
    EXPECT_EQ(platform::fileSystemPath(noSlash), QStringLiteral("/x/Dir/100%.plist"));
    EXPECT_TRUE(platform::isDirectoryURL(platform::appendingPathComponent(bundle, QStringLiteral("Contents/"))));
}

TEST(FileUrl, PathsOfExistingThings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkdir(QStringLiteral("B.app"));
    QFile file(dir.filePath(QStringLiteral("f.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const QUrl dirUrl = platform::fileURLWithPath(dir.filePath(QStringLiteral("B.app")));
    EXPECT_TRUE(platform::isDirectoryURL(dirUrl));
    EXPECT_EQ(platform::lastPathComponent(dirUrl), QStringLiteral("B.app"));
    EXPECT_EQ(platform::fileSystemPath(dirUrl), dir.filePath(QStringLiteral("B.app")));
    EXPECT_TRUE(platform::fileExists(dirUrl));

    const QUrl fileUrl = platform::fileURLWithPath(file.fileName());
    EXPECT_FALSE(platform::isDirectoryURL(fileUrl));
    EXPECT_TRUE(platform::fileExists(fileUrl));
    EXPECT_FALSE(platform::fileExists(platform::fileURLWithPath(dir.filePath(QStringLiteral("gone")))));
    EXPECT_FALSE(platform::fileExists(QUrl()));
}

} // namespace
