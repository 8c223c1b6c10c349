// Fixes: the bytes each fixable finding leaves (tests/data/cases/fixes.tsv),
// which of several clashing fixes is taken, and the writes that are refused
// with the file left as it was.
#include "fix/Fixer.h"
#include "CaseRows.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using testsupport::writeFile;

namespace {

// A field's bytes (see unescaped), turned into UTF-16 if the row says so.
QByteArray encoded(const QString& field, const QString& encoding)
{
    if (encoding != QLatin1String("utf16le"))
        return unescaped(field);
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return encoder.encode(QString(decoder.decode(unescaped(field))));
}

// The file's fix from checking top, or an empty one.
fix::FileFix fixOf(const QString& top, const QString& file, const fix::Options& options)
{
    for (const fix::FileFix& fixed : fix::fixPaths({top}, options).files)
        if (fixed.path == file)
            return fixed;
    return {};
}

} // namespace

TEST(Fixer, EachFixLeavesTheExpectedBytesAndNothingForASecondRun)
{
    for (const QStringList& row : caseRows(QStringLiteral("fixes.tsv"))) {
        ASSERT_EQ(row.size(), 6) << row.join(QLatin1Char('|')).toStdString();
        SCOPED_TRACE(row[0].toStdString());
        QTemporaryDir dir;
        const QString file = dir.filePath(row[1]);
        const QByteArray input = encoded(row[4], row[2]);
        writeFile(file, input);
        fix::Options options;
        options.unsafe = row[3] == QLatin1String("unsafe");
        const QString top = dir.filePath(row[1].section(QLatin1Char('/'), 0, 0));
        const fix::FileFix fixed = fixOf(top, file, options);
        const QByteArray expected = row[5] == QLatin1String("=") ? input : encoded(row[5], row[2]);
        const QByteArray after = fixed.applied.isEmpty() ? input : fixed.after;
        EXPECT_EQ(QString::fromUtf8(after), QString::fromUtf8(expected));
        EXPECT_EQ(after, expected);
        ASSERT_EQ(fix::writeFixed(fixed), QString());
        EXPECT_EQ(testsupport::readFile(file), expected);
        EXPECT_TRUE(fixOf(top, file, options).applied.isEmpty());
    }
}

TEST(Fixer, FixesWhoseEditsClashWaitForALaterRound)
{
    for (const QStringList& row : caseRows(QStringLiteral("fix-clashes.tsv"))) {
        ASSERT_EQ(row.size(), 5);
        SCOPED_TRACE(row[0].toStdString());
        fix::Options options;
        options.unsafe = row[1] == QLatin1String("unsafe");
        if (row[1].startsWith(QLatin1String("unfixable=")))
            options.unfixable = {row[1].section(QLatin1Char('='), 1)};
        QList<report::Finding> findings;
        for (const QString& text : row[2].split(QStringLiteral("; "))) {
            const QStringList words = text.split(QLatin1Char(' '));
            report::Finding& finding = findings.emplace_back();
            finding.messageKey = words[0];
            QList<report::TextEdit> edits;
            for (const QString& edit : words[2].split(QLatin1Char(',')))
                edits.append({edit.section(QLatin1Char(':'), 0, 0).toLongLong(),
                              edit.section(QLatin1Char(':'), 1, 1).toLongLong(),
                              edit.section(QLatin1Char(':'), 2).toUtf8()});
            finding.fix = report::Fix{words[1] == QLatin1String("safe"), finding.messageKey, edits};
        }
        QStringList titles;
        const QList<report::TextEdit> edits = fix::chooseEdits(findings, options, &titles);
        EXPECT_EQ(titles.join(QLatin1Char(' ')), row[3]);
        EXPECT_EQ(fix::applyEdits("0123456789", edits), row[4].toUtf8());
    }
}

TEST(Fixer, WritesThatWouldLoseSomethingAreRefusedAndTheFileStays)
{
    const QByteArray input = "<plist version=\"1.0\">\n<dict>\n\t<key>CFBundleInfoDictionaryVersion</key>\n"
                             "\t<string>6.0</string>\n\t<key>NSPrincipleClass</key>\n\t<string>X</string>\n"
                             "</dict>\n</plist>\n";
    struct Case {
        const char* name;
        std::function<void(const QString& file, QTemporaryDir& dir)> prepare;
        const char* reason; // empty: written, with the file's mode
    };
    const Case cases[] = {
        {"a symbolic link",
         [](const QString& file, QTemporaryDir& dir) {
             QFile::rename(file, dir.filePath(QStringLiteral("real.plist")));
             QFile::link(dir.filePath(QStringLiteral("real.plist")), file);
         },
         "symbolic link"},
        {"a hard link",
         [](const QString& file, QTemporaryDir& dir) {
             ASSERT_EQ(::link(QFile::encodeName(file), QFile::encodeName(dir.filePath(QStringLiteral("b.plist")))), 0);
         },
         "hard links"},
        {"a read-only file", [](const QString& file, QTemporaryDir&) { ::chmod(QFile::encodeName(file), 0444); },
         "not writable"},
        {"changed since it was read", [](const QString& file, QTemporaryDir&) { writeFile(file, "other"); },
         "changed since"},
        {"changed while the fixed file is written",
         [](const QString&, QTemporaryDir&) {
             fix::setBeforeReplaceHook([](const QString& path) { writeFile(path, "other"); });
         },
         "changed while"},
        {"written, with its mode", [](const QString& file, QTemporaryDir&) { ::chmod(QFile::encodeName(file), 0640); },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.plist"));
        writeFile(file, input);
        const fix::FileFix fixed = fixOf(file, file, fix::Options());
        ASSERT_FALSE(fixed.applied.isEmpty());
        c.prepare(file, dir);
        const QByteArray before = testsupport::readFile(file);
        const QString why = fix::writeFixed(fixed);
        fix::setBeforeReplaceHook({});
        struct stat status {};
        ASSERT_EQ(::lstat(QFile::encodeName(file), &status), 0);
        if (*c.reason) {
            EXPECT_TRUE(why.contains(QLatin1String(c.reason))) << why.toStdString();
            // What stands there stays: the file as read, or what was put there meanwhile.
            EXPECT_EQ(testsupport::readFile(file),
                      QLatin1String(c.reason) == QLatin1String("changed while") ? "other" : before);
        } else {
            EXPECT_EQ(why, QString());
            EXPECT_EQ(testsupport::readFile(file), fixed.after);
            EXPECT_EQ(status.st_mode & 07777, 0640u);
        }
    }
}

TEST(Fixer, NoDeviceOrArchiveIsRewritten)
{
    fix::FileFix device{QStringLiteral("/dev/full"), "a", "b", {QStringLiteral("t")}, {}};
    EXPECT_TRUE(fix::writeFixed(device).contains(QLatin1String("no regular file")));
    fix::FileFix inArchive{
        QStringLiteral("/x.zip/a.plist"), {}, {}, {QStringLiteral("t")}, QStringLiteral("it lies inside an archive")};
    EXPECT_EQ(fix::writeFixed(inArchive), inArchive.notInPlace);
}
