// Disk images through 7-Zip, here through stand-ins for it: what each kind of
// child does (hangs, fails, lists too much, unpacks) and what the image's own
// bytes tell (encrypted, a licence agreement); the private folder goes away.
#include "platform/DiskImage.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QtEndian>

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace {

using Status = platform::UnpackedImage::Status;

// A UDIF trailer whose resource list holds a licence agreement when licence is set.
QByteArray udif(bool licence)
{
    const QByteArray xml =
        QByteArray("<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>resource-fork</key><dict>") +
        (licence ? "<key>LPic</key><array/>" : "") + "<key>plst</key><array/></dict></dict></plist>";
    QByteArray trailer(512, '\0');
    trailer.replace(0, 4, "koly");
    qToBigEndian<quint64>(quint64(16), trailer.data() + 0xD8);
    qToBigEndian<quint64>(quint64(xml.size()), trailer.data() + 0xE0);
    return QByteArray(16, 'd') + xml + trailer;
}

class DiskImageTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        testsupport::writeFile(dir.filePath(name), bytes);
        return dir.filePath(name);
    }

    QTemporaryDir dir;
};

TEST_F(DiskImageTest, EachChildAndImageGivesItsOutcome)
{
    write("plain", udif(false));
    write("encrypted", "encrcdsa" + QByteArray(600, '\0'));
    const QByteArray lists = "case $1 in l) printf 'Path = a\\nSize = 10\\n\\nPath = b\\nSize = 10\\n\\nPath = "
                             "c\\nSize = 10\\nAlternate Stream = +\\n\\nPath = d\\nSize = 10\\n';; x) for a; do case "
                             "$a in -o*) mkdir -p \"${a#-o}/App.app/Contents\"; chmod 555 \"${a#-o}/App.app\";; esac; "
                             "done;; esac";
    const std::map<QString, Status> statuses = {{"Unpacked", Status::Unpacked},
                                                {"NoProgram", Status::NoProgram},
                                                {"Encrypted", Status::Encrypted},
                                                {"Failed", Status::Failed}};
    for (const QStringList& row : caseRows("platform-disk-images.tsv")) {
        ASSERT_EQ(row.size(), 8);
        SCOPED_TRACE(row[0].toStdString());
        QString child;
        if (row[1] != "-") {
            child = write("7zz", "#!/bin/sh\n" + (row[1] == "lists" ? lists : row[1].toUtf8()) + "\n");
            QFile::setPermissions(child, QFile::permissions(child) | QFileDevice::ExeOwner);
        }
        platform::DiskImageLimits limits;
        limits.maxEntries = row[3] == "-" ? limits.maxEntries : row[3].toULongLong();
        limits.maxTotalBytes = row[4] == "-" ? limits.maxTotalBytes : row[4].toULongLong();
        limits.timeout = row[5] == "-" ? limits.timeout : std::chrono::milliseconds(row[5].toInt());
        QElapsedTimer timer;
        timer.start();
        QString folder;
        {
            const platform::UnpackedImage image = platform::unpackDiskImage(dir.filePath(row[2]), child, limits);
            EXPECT_LT(timer.elapsed(), 10'000);
            EXPECT_EQ(image.status, statuses.at(row[6]));
            EXPECT_TRUE(image.error.contains(row[7])) << image.error.toStdString();
            folder = image.folder;
            if (row[6] == "Unpacked") {
                EXPECT_TRUE(QFileInfo(folder + "/App.app/Contents").isDir());
                const QFileInfo top(QFileInfo(folder).path());
                struct stat info {};
                ASSERT_EQ(::stat(QFile::encodeName(top.filePath()).constData(), &info), 0);
                EXPECT_EQ(info.st_mode & 0777, 0700u);
                EXPECT_EQ(top.path(), QDir::tempPath());
            }
        }
        if (!folder.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(QFileInfo(folder).path())); // read-only folders and all
        }
    }
}

TEST_F(DiskImageTest, TheTrailerTellsOfALicenceAgreement)
{
    EXPECT_TRUE(platform::diskImageTraits(write("licence.dmg", udif(true))).licenceAgreement);
    EXPECT_FALSE(platform::diskImageTraits(write("plain.dmg", udif(false))).licenceAgreement);
    EXPECT_FALSE(platform::diskImageTraits(write("short.dmg", "koly")).licenceAgreement);
}

} // namespace
