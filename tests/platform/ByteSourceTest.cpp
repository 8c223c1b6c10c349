// Files opened below a folder part by part: a link on the way or at the end
// is refused, even one put there after the path was looked at.
#include "platform/ByteSource.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <sys/stat.h>

namespace {

TEST(OpenBeneath, NoLinkIsFollowedBelowTheFolder)
{
    QTemporaryDir dir;
    const QString top = dir.filePath("Top.app");
    testsupport::writeFile(top + "/Contents/Info.plist", "<plist/>");
    ASSERT_TRUE(QFile::link("Contents", top + "/Linked"));
    ASSERT_TRUE(QFile::link("Info.plist", top + "/Contents/Linked.plist"));
    ASSERT_TRUE(QFile::link(top, dir.filePath("TopLink.app")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(top + "/Contents/fifo").constData(), 0644), 0);

    using platform::FileSource;
    const std::map<QString, int> errors = {{"0", 0}, {"ELOOP", ELOOP}, {"EINVAL", EINVAL}, {"ENOENT", ENOENT}};
    for (const QStringList& row : caseRows("platform-open-beneath.tsv")) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[1].toStdString());
        const auto seen = row[2] == "RegularFile" ? FileSource::Seen::RegularFile : FileSource::Seen::Nothing;
        const FileSource::Opened opened = FileSource::openBeneath(dir.filePath(row[0]), row[1], seen);
        EXPECT_EQ(opened.error, errors.at(row[3]));
        EXPECT_EQ(opened.notRegular, row[4] == "1");
        EXPECT_EQ(opened.file != nullptr, row[3] == "0" && row[4] == "0");
    }
}

} // namespace
