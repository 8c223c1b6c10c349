// The reader on real files: the two roads, the fork order, the statuses, and
// inputs that must give a clear error at once.
#include "check/PlistDataReader.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include "platform/AppleDouble.h"
#include "platform/FourCharCode.h"
#include "platform/OSStatus.h"
#include "platform/ResourceWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
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

// What a read gave, as one line (tests/data/cases/check-reader.tsv describes it).
QString described(const PlistData& out, const QString& dir)
{
    const auto code = [](FourCharCode c) { return c ? stringFromFourCharCode(c) : QStringLiteral("-"); };
    const QString codes = code(out.fileType) + ' ' + code(out.creator);
    if (out.ok())
        return "read " + QString::fromUtf8(*out.bytes) + ' ' + codes;
    return QStringLiteral("%1 %2 %3: %4")
        .arg(QString::fromUtf8(out.error.code.category().name()), QString::number(out.error.code.value()), codes,
             out.error.localizedDescription().replace(dir, "DIR"));
}

class PlistDataReaderTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return mDir.filePath(name); }
    QString read(const QString& name) const
    {
        return described(check::readURL(QUrl::fromLocalFile(path(name))), mDir.path());
    }

    // Makes the file a row of the table names: a FIFO, a folder, a sparse file past the size limit,
    // one of the resource blobs below or escaped bytes, "locked:" before it for no permissions.
    void make(const QString& name, const QString& what) const
    {
        const QByteArray native = QFile::encodeName(path(name));
        if (what == "fifo") {
            ASSERT_EQ(::mkfifo(native.constData(), 0600), 0);
        } else if (what == "folder") {
            ASSERT_TRUE(QDir().mkdir(path(name)));
        } else if (what == "sparse") {
            testsupport::writeFile(path(name), {});
            ASSERT_TRUE(QFile::resize(path(name), qint64(kMaxPropertyListSize) + 1));
        } else if (what != "none") {
            const QString blob = what.startsWith("locked:") ? what.mid(7) : what;
            const std::map<QString, QByteArray> blobs = {
                {"res", resources(kDataPlist)},
                {"double", sidecar(resources(kForkPlist))},
                {"double-id1", sidecar(resources(kForkPlist, 1))},
                {"double-nofork", sidecar(std::nullopt)},
                {"double-emptyfork", sidecar(QByteArray())},
                {"double-cutfork", sidecar(resources(kForkPlist).left(100))},
                {"double-cut", sidecar(resources(kForkPlist)).left(40)},
                {"double-emptyplst", sidecar(resources(QByteArray()))},
                {"double-noinfo", sidecar(resources(kForkPlist), false)},
            };
            testsupport::writeFile(path(name), blobs.contains(blob) ? blobs.at(blob) : unescaped(blob));
            ASSERT_TRUE(blob == what || ::chmod(native.constData(), 0) == 0);
        }
    }

    QTemporaryDir mDir;
};

TEST_F(PlistDataReaderTest, Table)
{
    for (const QStringList& row : caseRows("check-reader.tsv")) {
        ASSERT_EQ(row.size(), 4);
        if (::geteuid() == 0 && row.join(' ').contains("locked:"))
            continue; // root reads everything
        SCOPED_TRACE(row.mid(0, 3).join(' ').toStdString());
        make(row[0], row[1]);
        make("._" + row[0], row[2]);
        EXPECT_EQ(read(row[0]), row[3]);
    }
}

TEST_F(PlistDataReaderTest, FinderInfoFromTheNetatalkAttribute)
{
    make("Tool", "res");
    const QByteArray metadata = makeAppleDouble({{kEntryFinderInfo, makeFinderInfo(kAppl, kOstl)}});
    const QByteArray native = QFile::encodeName(path(QStringLiteral("Tool")));
    if (::setxattr(native.constData(), kNetatalkMetadataAttribute, metadata.constData(), size_t(metadata.size()), 0) !=
        0)
        GTEST_SKIP() << "no user extended attributes here";
    EXPECT_EQ(read("Tool"), "read <dict>from the data fork</dict> APPL Ostl");

    // The sidecar's entry comes first.
    testsupport::writeFile(path("._Tool"),
                           makeAppleDouble({{kEntryFinderInfo, makeFinderInfo(fourCharCode("BNDL"), 0)}}));
    EXPECT_EQ(read("Tool"), "read <dict>from the data fork</dict> BNDL -");
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

// The kernel's files say 0 bytes and hold text all the same.
TEST(ReadWholeFile, AFileThatSaysItIsEmptyIsReadByItsContent)
{
    QFile proc(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(proc.open(QIODevice::ReadOnly));
    ASSERT_EQ(proc.size(), 0);
    const PlistData status = check::readWholeFile(proc.fileName());
    ASSERT_TRUE(status.ok()) << status.error.detail.toStdString();
    EXPECT_TRUE(status.bytes->startsWith("Name:")) << status.bytes->left(40).toStdString();
}
