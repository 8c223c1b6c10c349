// Files opened below a folder part by part: a link on the way or at the end
// is refused, even one put there after the path was looked at.
#include "platform/ByteSource.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>

namespace {

TEST(OpenBeneath, NoLinkIsFollowedBelowTheFolder)
{
    QTemporaryDir dir;
    const QString top = dir.filePath("Top.app");
    QDir().mkpath(top + "/Contents");
    QFile file(top + "/Contents/Info.plist");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<plist/>");
    file.close();
    ASSERT_TRUE(QFile::link("Contents", top + "/Linked"));
    ASSERT_TRUE(QFile::link("Info.plist", top + "/Contents/Linked.plist"));
    ASSERT_TRUE(QFile::link(top, dir.filePath("TopLink.app")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(top + "/Contents/fifo").constData(), 0644), 0);

    using platform::FileSource;
    const struct {
        QString folder;
        const char* relative;
        FileSource::Seen seen;
        int error; // 0: opened
        bool notRegular;
    } rows[] = {
        {top, "Contents/Info.plist", FileSource::Seen::Nothing, 0, false},
        {dir.filePath("TopLink.app"), "Contents//Info.plist", FileSource::Seen::Nothing, 0, false},
        {top, "Linked/Info.plist", FileSource::Seen::Nothing, ELOOP, false},
        {top, "Contents/Linked.plist", FileSource::Seen::Nothing, ELOOP, false},
        // What the caller saw is not taken for what is there now.
        {top, "Contents/Linked.plist", FileSource::Seen::RegularFile, ELOOP, false},
        {top, "Contents/../Contents/Info.plist", FileSource::Seen::Nothing, EINVAL, false},
        {top, "Contents/Missing.plist", FileSource::Seen::Nothing, ENOENT, false},
        {top, "Contents/fifo", FileSource::Seen::Nothing, 0, true},
        {top, "Contents", FileSource::Seen::Nothing, 0, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.relative);
        const FileSource::Opened opened = FileSource::openBeneath(row.folder, row.relative, row.seen);
        EXPECT_EQ(opened.error, row.error);
        EXPECT_EQ(opened.notRegular, row.notRegular);
        EXPECT_EQ(opened.file != nullptr, row.error == 0 && !row.notRegular);
    }
}

} // namespace
