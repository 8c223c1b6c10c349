#include "platform/FileUrl.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace {

QUrl url(const char* path)
{
    return QUrl::fromLocalFile(QString::fromUtf8(path));
}

TEST(FileUrl, LastComponentAndExtension)
{
    for (const QStringList& row : caseRows("url-components.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 3);
        const QUrl given = QUrl::fromLocalFile(row[0]);
        EXPECT_EQ(platform::lastPathComponent(given), row[1]);
        EXPECT_EQ(platform::pathExtension(given), row[2] == "-" ? std::nullopt : std::optional(row[2]));
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

// Of a directory made there, the bytes' tests below show the rest.
TEST(FileUrl, PathsOfExistingThings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    testsupport::writeFile(dir.filePath("B.app/f.plist"));
    const QUrl dirUrl = platform::fileURLWithPath(dir.filePath(QStringLiteral("B.app")));
    const QUrl fileUrl = platform::fileURLWithPath(dir.filePath(QStringLiteral("B.app/f.plist")));
    EXPECT_TRUE(platform::fileExists(dirUrl));
    EXPECT_FALSE(platform::isDirectoryURL(fileUrl));
    EXPECT_TRUE(platform::fileExists(fileUrl));
    EXPECT_FALSE(platform::fileExists(platform::fileURLWithPath(dir.filePath(QStringLiteral("gone")))));
    EXPECT_FALSE(platform::fileExists(QUrl()));

    // A relative path against a directory given, as against the current one.
    EXPECT_EQ(platform::fileURLWithPath(QStringLiteral("./x/../B.app"), dir.path()), dirUrl);
    EXPECT_EQ(platform::absoluteFilePath(QStringLiteral("/a/./b"), dir.path()), QStringLiteral("/a/b"));
    EXPECT_EQ(platform::absoluteFilePath(QStringLiteral("f"), QString()),
              platform::currentDirectoryPath() + QStringLiteral("/f"));
}

// Names as the system has them: bytes, not always UTF-8.

TEST(FileUrl, NamesDecodeToTextAndBackToTheSameBytes)
{
    for (const QStringList& row : caseRows("file-names.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 3);
        QString decoded = row[2];
        for (qsizetype at; (at = decoded.indexOf(QLatin1String("\\x"))) >= 0;)
            decoded.replace(at, 4, QChar(char16_t(0xDC00 + decoded.mid(at + 2, 2).toInt(nullptr, 16))));
        EXPECT_EQ(platform::decodeFileName(unescaped(row[1])), decoded);
        EXPECT_EQ(platform::encodeFileName(decoded), unescaped(row[1]));
    }
    // A surrogate pair is one character, even when its low half looks like an escaped byte.
    const QString pair = QString(QChar(char16_t(0xD83D))) + QChar(char16_t(0xDCFF));
    EXPECT_EQ(platform::encodeFileName(pair), pair.toUtf8());
}

class BytesDirectory : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(mDir.isValid()); }
    // A path in the directory from the bytes of its name.
    QString path(const QByteArray& name) const { return mDir.path() + '/' + platform::decodeFileName(name); }
    // A directory when the name ends in '/', else a file.
    void make(const QByteArray& name) const
    {
        const QByteArray path = QFile::encodeName(mDir.path()) + '/' + name;
        if (name.endsWith('/'))
            ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
        else
            std::ofstream(path.toStdString()) << "{}";
    }

    QTemporaryDir mDir;
};

TEST_F(BytesDirectory, NamesThatAreNotUtf8AreFoundAsTheyAre)
{
    make("B\xFE.app/");
    make("B\xFE.app/Contents/");
    make("B\xFE.app/Contents/Info\xFF.plist");

    const QUrl bundle = platform::fileURLWithPath(path("B\xFE.app"));
    EXPECT_TRUE(platform::isDirectoryURL(bundle));
    EXPECT_EQ(platform::lastPathComponent(bundle), platform::decodeFileName("B\xFE.app"));
    EXPECT_EQ(platform::fileSystemPath(bundle), path("B\xFE.app"));
    EXPECT_TRUE(bundle.toString(QUrl::FullyEncoded).endsWith("/B%FE.app/"));

    const QUrl inside = platform::appendingPathComponent(bundle, platform::decodeFileName("Contents/Info\xFF.plist"));
    EXPECT_TRUE(platform::fileExists(inside));
    EXPECT_EQ(platform::pathExtension(inside), QStringLiteral("plist"));
    EXPECT_FALSE(platform::fileExists(platform::appendingPathComponent(bundle, "Contents/Info\xC3\xBF.plist")));
}

TEST_F(BytesDirectory, NamesThatQtDecodedAreRecoveredWhenOnlyOneFits)
{
    make("d\xE9j\xE0/");
    make("d\xE9j\xE0/one\xFF.plist");
    make("d\xE9j\xE0/two\xFE.plist");
    make("d\xE9j\xE0/two\xFD.plist");
    make("d\xE9j\xE0/real\xEF\xBF\xBD.plist"); // a true U+FFFD, which is valid UTF-8
    // What Qt's file dialog gives: each byte that is not UTF-8 as U+FFFD.
    auto shownByQt = [this](const QByteArray& name) { return mDir.path() + '/' + QString::fromUtf8(name); };

    const struct {
        QByteArray name;
        QString recovered; // empty: left as it was
        bool lost;
    } rows[] = {
        {"d\xE9j\xE0/one\xFF.plist", path("d\xE9j\xE0/one\xFF.plist"), false},
        {"d\xE9j\xE0/two\xFE.plist", QString(), true},    // two names fit
        {"d\xE9j\xE0/three\xFF.plist", QString(), false}, // none fits: it is not there
        {"d\xE9j\xE0/real\xEF\xBF\xBD.plist", path("d\xE9j\xE0/real\xEF\xBF\xBD.plist"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name.toHex().toStdString());
        const QString given = shownByQt(row.name);
        const QString recovered = platform::recoverUndecodableBytes(given);
        EXPECT_EQ(recovered, row.recovered.isEmpty() ? given : row.recovered);
        EXPECT_EQ(platform::fileExists(recovered), !row.recovered.isEmpty());
        EXPECT_EQ(platform::lostUndecodableBytes(given), row.lost);
        EXPECT_EQ(platform::fileExists(platform::fileURLWithPath(given)), !row.recovered.isEmpty());
    }
}

TEST_F(BytesDirectory, DirectoryEntriesKeepTheirBytes)
{
    make("Plug\xFFIns/");
    make("Plug\xFFIns/.hidden");
    make("Plug\xFFIns/b\xE9.appex");
    make("Plug\xFFIns/A.appex");
    const QStringList entries = platform::directoryEntries(path("Plug\xFFIns"));
    EXPECT_EQ(entries, QStringList({".hidden", "A.appex", platform::decodeFileName("b\xE9.appex")}));
    for (const QString& entry : entries)
        EXPECT_TRUE(platform::fileExists(path("Plug\xFFIns/") + entry)) << entry.toStdString();
    EXPECT_TRUE(platform::directoryEntries(path("missing")).isEmpty());
}

} // namespace
