// Whole products: a generated application holding a bundle of every kind, in
// every place, with each cross-check broken once and kept once; unreadable
// folders; nesting off; and files of every kind made from a case table.
#include "check/ProductWalk.h"
#include "CaseRows.h"
#include "Support.h"
#include "TestFiles.h"
#include "app/HeadlessWindow.h"
#include "app/OstrelAppDelegate.h"
#include "platform/ArchiveWriting.h"
#include "platform/Bundle.h"
#include "platform/ResourceWriter.h"
#include "platform/UserDefaults.h"
#include "report/ReportText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using testing_archives::Format;
using testing_archives::Item;
using testsupport::readFile;

QByteArray infoPlist(const QList<std::pair<QString, QString>>& strings)
{
    QByteArray body;
    for (const auto& [key, value] : strings)
        body += "<key>" + key.toUtf8() + "</key><string>" + value.toUtf8() + "</string>\n";
    return "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict>\n" + body + "</dict></plist>\n";
}

// The items as an archive of the format walk-files.tsv names; pbzx: a cpio in one chunk stored as it is.
QByteArray archive(const QString& format, const QList<Item>& items)
{
    if (format == "pbzx") {
        const QByteArray plain = testing_archives::makeArchive(Format::Cpio, items);
        QByteArray header(24, '\0');
        qToBigEndian<quint64>(0x1000000, header.data());
        qToBigEndian<quint64>(plain.size(), header.data() + 8);
        qToBigEndian<quint64>(plain.size(), header.data() + 16);
        return "pbzx" + header + plain;
    }
    for (Format known : {Format::Zip, Format::Tar, Format::TarGz, Format::Xar, Format::CpioGz})
        if (format == testing_archives::formatName(known))
            return testing_archives::makeArchive(known, items);
    ADD_FAILURE() << "no archive format " << format.toStdString();
    return {};
}

// A field with each {N*TEXT} in it as N copies of TEXT.
QString copiesExpanded(QString field)
{
    static const QRegularExpression copies(QStringLiteral(R"(\{(\d+)\*([^}]*)\})"));
    for (QRegularExpressionMatch m = copies.match(field); m.hasMatch(); m = copies.match(field))
        field.replace(m.capturedStart(), m.capturedLength(), m.captured(2).repeated(m.captured(1).toInt()));
    return field;
}

class ProductWalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::UserDefaults::standard().useStore(
            std::make_unique<QSettings>(dir.filePath("settings.ini"), QSettings::IniFormat));
        platform::Bundle::main().setStringsFile(qEnvironmentVariable("OSTREL_TEST_DATA") + "/cases/walk.strings");
        platform::Bundle::main().setResourcePath("rules.plist", dir.filePath("rules.plist"));
        useRules("<plist><dict/></plist>"); // the validator has nothing to say
    }
    void TearDown() override
    {
        platform::Bundle::main().setResourcePath("rules.plist", QString());
        platform::Bundle::main().setStringsFile(QString());
        platform::UserDefaults::standard().clearVolatile();
    }

    // Rules of the test's own, for a controller made anew.
    void useRules(const QByteArray& rules)
    {
        write("rules.plist", rules);
        controller = std::make_unique<app::OstrelAppDelegate>();
        controller->setWindow(&window);
    }
    void write(const QString& relative, const QByteArray& bytes)
    {
        testsupport::writeFile(dir.filePath(relative), bytes);
    }
    // The file items in the test's folder.
    void writeItems(const QList<Item>& items)
    {
        for (const Item& item : items) {
            const QString path = dir.filePath(item.path);
            testsupport::writeFile(path, item.bytes);
            if (item.mode & 0100)
                QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        }
    }

    // A product of tests/data/products (its README says what it holds) and its report.
    void copyProduct(const QString& name)
    {
        std::filesystem::copy((qEnvironmentVariable("OSTREL_TEST_DATA") + "/products/" + name).toStdString(),
                              dir.path().toStdString(),
                              std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
    }

    // The report's lines, emptied after, without the paths read (the line after each heading),
    // and the findings without their places and IDs, which the controller's tests look at.
    QStringList check(const QString& relative)
    {
        controller->applicationOpenFile(dir.filePath(relative));
        const report::TextStorage& storage = window.textStorage();
        QStringList lines = report::plainText(storage, 0, storage.runs().size(), false).split('\n', Qt::SkipEmptyParts);
        window.textStorage() = report::TextStorage();
        static const QRegularExpression placeAndId(QStringLiteral(R"(^(\w+: )(line \d+: )?(.*?)( \[\w+\])?$)"));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (lines[i].startsWith("Checking ") && i + 1 < lines.size())
                lines.removeAt(i + 1);
            else if (!lines[i].startsWith("Checking "))
                lines[i].replace(placeAndId, QStringLiteral("\\1\\3"));
        }
        return lines;
    }

    QTemporaryDir dir;
    app::HeadlessWindow window;
    std::unique_ptr<app::OstrelAppDelegate> controller;
};

TEST_F(ProductWalkTest, EveryBundleOnceAfterItsContainerWithItsCrossChecks)
{
    copyProduct("shop");
    const QString expected = QString::fromUtf8(readFile(dir.filePath("Shop.report")));
    EXPECT_EQ(check("Shop.app").join('\n').toStdString(), expected.trimmed().toStdString());
}

TEST_F(ProductWalkTest, CrossChecksPointAtTheirKeyInTheFile)
{
    copyProduct("shop");
    controller->applicationOpenFile(dir.filePath("Shop.app"));
    // infoPlist writes a key a line from line 3, in the order given.
    const struct {
        const char* messageKey;
        const char* bundle;
        int line;
    } rows[] = {
        {"NoExecutable", "Bad.appex", 4},
        {"IdentifierNotUnderApp", "Bad.appex", 3},
        {"PackageTypeMismatch", "Flat.framework", 4},
        {"NoIconFile", "Helper.app", 6},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.messageKey);
        const auto& findings = window.textStorage().findings();
        const auto found = std::find_if(findings.begin(), findings.end(), [&](const report::Finding& f) {
            return f.messageKey == QLatin1String(row.messageKey) && f.fileRead.contains(QLatin1String(row.bundle));
        });
        ASSERT_NE(found, findings.end());
        EXPECT_EQ(found->position.line, row.line);
        EXPECT_GT(found->position.column, 0);
    }
}

TEST_F(ProductWalkTest, NestingOffGivesTheDictionaryAlone)
{
    copyProduct("shop");
    platform::UserDefaults::standard().setVolatile(platform::CheckNestedBundlesKey, false);
    EXPECT_EQ(check("Shop.app"), QStringList{"Checking Shop.app"});
    // A loose property list is never held to a bundle's files.
    platform::UserDefaults::standard().clearVolatile();
    EXPECT_EQ(check("Shop.app/Contents/Info.plist"), QStringList{"Checking Info.plist"});
}

TEST_F(ProductWalkTest, UnreadableFoldersAreErrorsOnce)
{
    // Root reads every folder: the check then runs as another user, for whom mode 000 shuts one.
    const uid_t nobody = 65534;
    const bool root = ::geteuid() == 0;
    if (root && (::seteuid(nobody) != 0 || ::seteuid(0) != 0))
        GTEST_SKIP() << "cannot check as a user other than root";
    copyProduct("shop");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    // The strings table is read now, as root: the checkout holding it may be
    // closed to the other user (a clone in a private temporary folder is).
    ASSERT_FALSE(platform::Bundle::main().localizedString(QStringLiteral("Unreadable")).isEmpty());
    const struct {
        const char* folder;
        QStringList headingsLost;
    } rows[] = {
        {"Shop.app/Contents/PlugIns",
         {"Checking Shop.app/Contents/PlugIns/Share.appex", "Checking Shop.app/Contents/PlugIns/Bad.appex"}},
        {"Shop.app/Contents/Resources", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folder);
        QFile folder(dir.filePath(row.folder));
        const QFileDevice::Permissions before = folder.permissions();
        ASSERT_TRUE(folder.setPermissions({}));
        ASSERT_TRUE(!root || ::seteuid(nobody) == 0);
        const QStringList report = check("Shop.app");
        ASSERT_TRUE(!root || ::seteuid(0) == 0);
        folder.setPermissions(before);
        const QString line = QString("error: Unreadable(%1, Permission denied)").arg(row.folder);
        EXPECT_EQ(report.count(line), 1) << report.join('\n').toStdString();
        for (const QString& heading : row.headingsLost)
            EXPECT_FALSE(report.contains(heading));
    }
}

// Archives, disk images, packages and files of other kinds made from the
// rows of tests/data/cases/walk-files.tsv, each checked for its report.
TEST_F(ProductWalkTest, FilesOfEveryKind)
{
    // A temporary folder of its own, so that what other tests running at the
    // same time unpack does not count as left behind by this one.
    QTemporaryDir ownTemp;
    ASSERT_TRUE(ownTemp.isValid());
    const auto restoreTemp = qScopeGuard([old = qgetenv("TMPDIR")] { qputenv("TMPDIR", old); });
    qputenv("TMPDIR", QFile::encodeName(ownTemp.path()));
    copyProduct("shop");
    const QStringList shop = check("Shop.app");
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + "/products/";
    const QByteArray plist = infoPlist({{"CFBundleSignature", "OSTR"}, {"CFBundlePackageType", "APPL"}});
    const QByteArray fork = platform::makeResourceFile({{platform::fourCharCode("plst"), 0, plist, {}}});
    const auto appleDouble = [&](platform::FourCharCode type) {
        return platform::makeAppleDouble(
            {{platform::kEntryFinderInfo, platform::makeFinderInfo(type, platform::fourCharCode("OSTR"))},
             {platform::kEntryResourceFork, fork}});
    };
    std::map<QString, QByteArray> made = {
        {"image", readFile(data + "SparkleTestCodeSign_apfs_lzma_aux_files.dmg")},
        {"encrypted", readFile(data + "SparkleTestCodeSignApp.enc.nolicense.dmg")},
        {"image-tar", readFile(data + "SparkleTestCodeSignApp.tar.bz2")},
        {"appledouble-APPL", appleDouble(platform::fourCharCode("APPL"))},
        {"appledouble-BNDL", appleDouble(platform::fourCharCode("BNDL"))},
    };
    const auto bytesOf = [&](const QString& field) {
        if (!field.startsWith('@'))
            return unescaped(field);
        const QByteArray& bytes = made.at(field.mid(1).section(':', 0, 0));
        const qsizetype length = field.section(':', 1).toLongLong();
        return !field.contains(':') ? bytes : length < 0 ? bytes.chopped(-length) : bytes.left(length);
    };
    QString making, format;
    QList<Item> items;
    for (QStringList row : caseRows("walk-files.tsv")) {
        for (QString& field : row)
            field = copiesExpanded(field);
        if (row[0] == "link") {
            items.append({row[1], Item::Link, row[2].toUtf8(), 0777});
        } else if (row[0] == "tree") {
            for (Item item : testing_archives::itemsOfFolder(dir.filePath(row[2])))
                items.append({row[1] + item.path, item.kind, item.bytes, item.mode});
        } else if (row[0] == "file" || row[0] == "exec") {
            items.append({row[1], Item::File, bytesOf(row[2]), row[0] == "exec" ? 0755 : 0644,
                          row.value(3).toLongLong() * 1024 * 1024});
        } else if (row[0] == "bundle") {
            const QString name = QFileInfo(row[1]).completeBaseName();
            QList<std::pair<QString, QString>> keys = {
                {"CFBundleIdentifier", row[2]}, {"CFBundleExecutable", name}, {"CFBundlePackageType", row[3]}};
            items.append({row[1] + "/Contents/Info.plist", Item::File, infoPlist(keys)});
            items.append({row[1] + "/Contents/MacOS/" + name, Item::File, "#!", 0755});
        } else if (row[0] == "rules") {
            useRules(row[1].toUtf8());
        } else {
            if (format == "folder")
                writeItems(items);
            else if (!making.isEmpty())
                made[making] = archive(format, items);
            making = row[0] == "make" ? row[1] : QString();
            format = row[2];
            items.clear();
        }
        if (row[0] != "check")
            continue;
        SCOPED_TRACE(row[1].toStdString());
        platform::UserDefaults::standard().clearVolatile();
        if (row[3] != "-")
            platform::UserDefaults::standard().setVolatile(row[3].section('=', 0, 0), row[3].section('=', 1));
        if (made.count(row[1]) || !row[2].isEmpty())
            write(row[1], row[2].isEmpty() ? made.at(row[1]) : bytesOf(row[2]));
        QStringList expected = {"Checking " + row[1]};
        for (const QString& line : row.mid(4)) {
            if (!line.startsWith("{shop:"))
                expected << line;
            else
                expected << QStringList(shop).replaceInStrings("Shop.app", line.mid(6).chopped(1) + "Shop.app");
        }
        EXPECT_EQ(check(row[1]).join('\n').toStdString(), expected.join('\n').toStdString());
    }
    // No temporary folder is left behind.
    ASSERT_EQ(QDir::tempPath(), QDir(ownTemp.path()).canonicalPath());
    EXPECT_TRUE(QDir(ownTemp.path()).entryList({"ostrel-*"}, QDir::Dirs | QDir::Hidden).isEmpty());
}

// Programs against their dictionaries, parts against their application, the
// privacy manifest and helper tools (tests/data/products/tool/README.md); the
// same on disk and packed.
TEST_F(ProductWalkTest, ProgramsPartsAndPrivacyManifests)
{
    useRules("<plist><dict><key>requiredreasonapis</key><dict><key>Timestamps</key><dict>"
             "<key>reasons</key><array><string>R.1</string></array><key>symbols</key><array>"
             "<string>_stat</string></array></dict></dict></dict></plist>");
    copyProduct("tool");
    const QStringList onDisk = check("Tool.app");
    EXPECT_EQ(onDisk.join('\n').toStdString(), readFile(dir.filePath("Tool.report")).trimmed().toStdString());
    write("Tool.zip",
          testing_archives::makeArchive(Format::Zip, testing_archives::itemsOfFolder(dir.filePath("Tool.app"))));
    QStringList inArchive = onDisk;
    inArchive.replaceInStrings("Tool.app", "Tool.zip/Tool.app");
    inArchive.prepend("Checking Tool.zip");
    EXPECT_EQ(check("Tool.zip").join('\n').toStdString(), inArchive.join('\n').toStdString());

    // Loose: a tool through its section, a manifest by its extension.
    EXPECT_EQ(check("tool"), QStringList{"Checking tool"});
    EXPECT_EQ(check("bare"), (QStringList{"Checking bare", "error: NoData: NoSection"}));
    EXPECT_EQ(check("Loose.xcprivacy"), (QStringList{"Checking Loose.xcprivacy", "error: NoDomains"}));
}

} // namespace
