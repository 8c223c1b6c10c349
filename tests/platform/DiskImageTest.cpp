// Disk images through 7-Zip, here through stand-ins for it: what each kind of
// child does (hangs, fails, lists too much, unpacks) and what the image's own
// bytes tell (encrypted, a licence agreement); the private folder goes away.
#include "platform/DiskImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <QtEndian>

#include <gtest/gtest.h>

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
    QString write(const QString& name, const QByteArray& bytes, bool executable = false)
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return file.fileName();
    }
    QString program(const QByteArray& body) { return write("7zz", "#!/bin/sh\n" + body + "\n", true); }

    QTemporaryDir dir;
};

TEST_F(DiskImageTest, EachChildAndImageGivesItsOutcome)
{
    const QString plain = write("plain.dmg", udif(false));
    const QString encrypted = write("encrypted.dmg", "encrcdsa" + QByteArray(600, '\0'));
    // Lists three entries of 10 bytes each, then unpacks an application to the folder -o names.
    const QByteArray lists = "case $1 in l) printf 'Path = a\\nSize = 10\\n\\nPath = b\\nSize = 10\\n\\nPath = "
                             "c\\nSize = 10\\nAlternate Stream = +\\n\\nPath = d\\nSize = 10\\n';; x) for a; do case "
                             "$a in -o*) mkdir -p \"${a#-o}/App.app/Contents\"; chmod 555 \"${a#-o}/App.app\";; esac; "
                             "done;; esac";
    const struct {
        const char* what;
        QByteArray child; // empty: no program
        QString image;
        platform::DiskImageLimits limits;
        Status status;
        const char* error;
    } rows[] = {
        {"no 7-Zip", "", plain, {}, Status::NoProgram, ""},
        {"encrypted, told by its header", "exit 0", encrypted, {}, Status::Encrypted, ""},
        {"encrypted, told by 7-Zip", "echo 'ERROR: Wrong password?' >&2; exit 2", plain, {}, Status::Encrypted, ""},
        {"hangs", "sleep 30", plain, {.timeout = std::chrono::milliseconds(300)}, Status::Failed, "longer than"},
        {"fails",
         "echo \"ERROR: Unexpected end of data : $7\" >&2; exit 2",
         plain,
         {},
         Status::Failed,
         "Unexpected end of data"},
        {"lists too many entries", lists, plain, {.maxEntries = 2}, Status::Failed, "more than 2 entries"},
        {"lists too many bytes", lists, plain, {.maxTotalBytes = 39}, Status::Failed, "more than 39 bytes"},
        {"unpacks", lists, plain, {.maxEntries = 3, .maxTotalBytes = 40}, Status::Unpacked, ""},
        {"unpacks nothing", "exit 0", plain, {}, Status::Failed, "unpacked nothing"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const QString child = row.child.isEmpty() ? QString() : program(row.child);
        QElapsedTimer timer;
        timer.start();
        QString folder;
        {
            const platform::UnpackedImage image = platform::unpackDiskImage(row.image, child, row.limits);
            EXPECT_LT(timer.elapsed(), 10'000);
            EXPECT_EQ(image.status, row.status);
            EXPECT_TRUE(image.error.contains(QLatin1String(row.error))) << image.error.toStdString();
            folder = image.folder;
            if (row.status == Status::Unpacked) {
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

TEST_F(DiskImageTest, TheProgramNamedOrOnPath)
{
    const QString named = program("exit 0");
    EXPECT_EQ(platform::findSevenZip(named), named);
    EXPECT_EQ(platform::findSevenZip(dir.filePath("missing")), QString());
    EXPECT_EQ(platform::findSevenZip("no-such-7zip-program"), QString());
}

} // namespace
