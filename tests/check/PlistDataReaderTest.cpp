// The reader on real files: the two roads, the fork order, the statuses, and
// inputs that must give a clear error at once.
#include "check/PlistDataReader.h"

#include "platform/AppleDouble.h"
#include "platform/FourCharCode.h"
#include "platform/OSStatus.h"
#include "platform/ResourceWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace platform;
using check::PlistData;

namespace {

constexpr FourCharCode kPlst = fourCharCode("plst");
constexpr FourCharCode kAppl = fourCharCode("APPL");
constexpr FourCharCode kOstl = fourCharCode("Ostl");

const QByteArray kForkPlist = "<dict>from the resource fork</dict>";
const QByteArray kDataPlist = "<dict>from the data fork</dict>";

QByteArray resources(const QByteArray& plist, std::int16_t id = 0)
{
    return makeResourceFile({{fourCharCode("vers"), 1, "1.0", {}}, {kPlst, id, plist, {}}});
}

QByteArray sidecar(std::optional<QByteArray> fork, bool finderInfo = true)
{
    QList<AppleDoublePart> parts;
    if (finderInfo)
        parts.append({kEntryFinderInfo, makeFinderInfo(kAppl, kOstl)});
    if (fork)
        parts.append({kEntryResourceFork, *fork});
    return makeAppleDouble(parts);
}

class PlistDataReaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mDir.isValid()); }

    QString path(const QString& name) const { return mDir.filePath(name); }

    void write(const QString& name, const QByteArray& bytes)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    PlistData read(const QString& name) { return check::readURL(QUrl::fromLocalFile(path(name))); }

    static void expectStatus(const PlistData& out, OSStatus status)
    {
        EXPECT_FALSE(out.bytes.has_value());
        EXPECT_EQ(out.error.code, osStatusCode(status));
        EXPECT_TRUE(out.error.detail.isEmpty());
        EXPECT_EQ(out.fileType, 0u);
        EXPECT_EQ(out.creator, 0u);
    }

    static void expectBytes(const PlistData& out, const QByteArray& bytes, FourCharCode type, FourCharCode creator)
    {
        ASSERT_TRUE(out.bytes.has_value()) << out.error.code.value();
        EXPECT_EQ(*out.bytes, bytes);
        EXPECT_FALSE(out.error.code);
        EXPECT_EQ(out.fileType, type);
        EXPECT_EQ(out.creator, creator);
    }

    QTemporaryDir mDir;
};

TEST_F(PlistDataReaderTest, MissingFileOnEachRoad)
{
    const PlistData plist = read(QStringLiteral("missing.plist"));
    EXPECT_FALSE(plist.bytes);
    EXPECT_EQ(plist.error.code, std::errc::no_such_file_or_directory);
    EXPECT_EQ(plist.error.localizedDescription(), QStringLiteral("No such file or directory"));
    EXPECT_EQ(plist.fileType, 0u);

    expectStatus(read(QStringLiteral("missing")), fnfErr);
    expectStatus(read(QStringLiteral("missing.PLIST")), fnfErr);
    // A sidecar alone is no file.
    write(QStringLiteral("._orphan"), sidecar(resources(kForkPlist)));
    expectStatus(read(QStringLiteral("orphan")), fnfErr);
}

TEST_F(PlistDataReaderTest, RoadsForkOrderAndStatuses)
{
    struct Case {
        const char* name;
        std::optional<QByteArray> dataFork; // none: an empty file
        std::optional<QByteArray> sidecar;  // none: no "._NAME"
        std::optional<QByteArray> expected; // none: expect the status
        OSStatus status;
        bool codes;
    };
    const Case cases[] = {
        // Exactly "plist": the whole file, and no codes even beside a sidecar.
        {"Info.plist", kDataPlist, sidecar(resources(kForkPlist)), kDataPlist, noErr, false},
        // Another letter case is no "plist": the resource road.
        {"Tool.PLIST", resources(kDataPlist), std::nullopt, kDataPlist, noErr, false},
        {"Tool.Plist", resources(kDataPlist), std::nullopt, kDataPlist, noErr, false},
        {"ForkWins", resources(kDataPlist), sidecar(resources(kForkPlist)), kForkPlist, noErr, true},
        // No 'plst' 0 in the resource fork: -192, and the data fork is not tried.
        {"NoPlstInFork", resources(kDataPlist), sidecar(resources(kForkPlist, 1)), std::nullopt, resNotFound, false},
        {"NoSidecar", resources(kDataPlist), std::nullopt, kDataPlist, noErr, false},
        {"SidecarWithoutFork", resources(kDataPlist), sidecar(std::nullopt), kDataPlist, noErr, true},
        {"EmptyForkEntry", resources(kDataPlist), sidecar(QByteArray()), kDataPlist, noErr, true},
        {"SidecarNoAppleDouble", resources(kDataPlist), QByteArray("just text"), kDataPlist, noErr, false},
        {"NoForkAnywhere", std::nullopt, std::nullopt, std::nullopt, resFNotFound, false},
        {"DataForkNoResourceFile", QByteArray("#!/bin/sh\necho hi\n"), std::nullopt, std::nullopt, eofErr, false},
        // A damaged resource fork reports its own status; the data fork is not tried.
        {"DamagedFork", resources(kDataPlist), sidecar(resources(kForkPlist).left(100)), std::nullopt, eofErr, false},
        {"DamagedSidecar", resources(kDataPlist), sidecar(resources(kForkPlist)).left(40), std::nullopt, eofErr, false},
        {"EmptyPlst", QByteArray(), sidecar(resources(QByteArray())), QByteArray(""), noErr, true},
        {"NoFinderInfo", QByteArray(), sidecar(resources(kForkPlist), false), kForkPlist, noErr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromUtf8(c.name);
        write(name, c.dataFork.value_or(QByteArray()));
        if (c.sidecar)
            write(QStringLiteral("._") + name, *c.sidecar);
        const PlistData out = read(name);
        if (c.expected)
            expectBytes(out, *c.expected, c.codes ? kAppl : 0, c.codes ? kOstl : 0);
        else
            expectStatus(out, c.status);
    }
}

TEST_F(PlistDataReaderTest, FinderInfoFromTheNetatalkAttribute)
{
    write(QStringLiteral("Tool"), resources(kDataPlist));
    const QByteArray metadata = makeAppleDouble({{kEntryFinderInfo, makeFinderInfo(kAppl, kOstl)}});
    const QByteArray native = QFile::encodeName(path(QStringLiteral("Tool")));
    if (::setxattr(native.constData(), kNetatalkMetadataAttribute, metadata.constData(), size_t(metadata.size()), 0) !=
        0)
        GTEST_SKIP() << "no user extended attributes here";
    expectBytes(read(QStringLiteral("Tool")), kDataPlist, kAppl, kOstl);

    // The sidecar's entry comes first.
    write(QStringLiteral("._Tool"), makeAppleDouble({{kEntryFinderInfo, makeFinderInfo(fourCharCode("BNDL"), 0)}}));
    expectBytes(read(QStringLiteral("Tool")), kDataPlist, fourCharCode("BNDL"), 0);
}

TEST_F(PlistDataReaderTest, NonRegularFilesFailAtOnce)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.plist"))).constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe"))).constData(), 0600), 0);
    ASSERT_TRUE(QDir(mDir.path()).mkdir(QStringLiteral("Folder.plist")));

    const PlistData fifo = read(QStringLiteral("pipe.plist"));
    EXPECT_FALSE(fifo.bytes);
    EXPECT_EQ(fifo.error.code.category(), std::generic_category());
    EXPECT_TRUE(fifo.error.detail.contains(QStringLiteral("regular file")));

    const PlistData folder = read(QStringLiteral("Folder.plist"));
    EXPECT_FALSE(folder.bytes);
    EXPECT_EQ(folder.error.code, std::errc::is_a_directory);
    EXPECT_EQ(folder.error.detail, QStringLiteral("Is a directory"));

    expectStatus(read(QStringLiteral("pipe")), errFSNotAFile);
    // A pipe named like a sidecar is no sidecar: the data fork is tried.
    write(QStringLiteral("Tool"), resources(kDataPlist));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("._Tool"))).constData(), 0600), 0);
    expectBytes(read(QStringLiteral("Tool")), kDataPlist, 0, 0);
}

TEST_F(PlistDataReaderTest, HugePlistIsRefusedWithItsSize)
{
    QFile file(path(QStringLiteral("big.plist")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(256) * 1024 * 1024 + 1)); // sparse: costs no disk
    file.close();
    const PlistData out = read(QStringLiteral("big.plist"));
    EXPECT_FALSE(out.bytes);
    EXPECT_EQ(out.error.code, std::errc::file_too_large);
    EXPECT_TRUE(out.error.detail.contains(QStringLiteral("268435457 bytes"))) << out.error.detail.toStdString();
}

TEST_F(PlistDataReaderTest, UnreadableFilesReportPermission)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads everything";
    write(QStringLiteral("Locked.plist"), kDataPlist);
    write(QStringLiteral("Locked"), resources(kDataPlist));
    write(QStringLiteral("Hidden"), resources(kDataPlist));
    write(QStringLiteral("._Hidden"), sidecar(resources(kForkPlist)));
    for (const char* name : {"Locked.plist", "Locked", "._Hidden"})
        ASSERT_EQ(::chmod(QFile::encodeName(path(QString::fromUtf8(name))).constData(), 0), 0);

    const PlistData plist = read(QStringLiteral("Locked.plist"));
    EXPECT_EQ(plist.error.code, std::errc::permission_denied);
    EXPECT_EQ(plist.error.detail, QStringLiteral("Permission denied"));
    expectStatus(read(QStringLiteral("Locked")), permErr);
    // The sidecar exists but cannot be read: that is no -193, so no data fork.
    expectStatus(read(QStringLiteral("Hidden")), permErr);
}

TEST(ReaderStatusTexts, EveryReportedStatusHasAText)
{
    // The report prints these texts after "NoData"; resNotFound has its own message.
    for (const OSStatus status :
         {fnfErr, resFNotFound, eofErr, mapReadErr, ioErr, permErr, memFullErr, errFSNotAFile}) {
        const QString text = Error::osStatus(status).localizedDescription();
        EXPECT_FALSE(text.startsWith(QStringLiteral("The operation couldn't"))) << status;
        EXPECT_FALSE(text.endsWith(QLatin1Char('.'))) << status; // the report ends the line itself
    }
}

} // namespace

TEST(ReadWholeFile, AFileThatSaysItIsEmptyIsReadByItsContent)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.plist"));
    QFile file(empty);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const PlistData none = check::readWholeFile(empty);
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none.bytes->isEmpty());

    // The kernel's files say 0 bytes and hold text all the same.
    QFile proc(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(proc.open(QIODevice::ReadOnly));
    ASSERT_EQ(proc.size(), 0);
    const PlistData status = check::readWholeFile(proc.fileName());
    ASSERT_TRUE(status.ok()) << status.error.detail.toStdString();
    EXPECT_TRUE(status.bytes->startsWith("Name:")) << status.bytes->left(40).toStdString();
}
