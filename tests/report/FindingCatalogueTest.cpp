// The catalogue of findings against the program: an entry for each ID a
// finding can carry, and an emitter for each entry.
#include "report/FindingCatalogue.h"

#include "plist/Parse.h"

#include <QDirIterator>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

namespace {

QString source(const QString& relative)
{
    return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QLatin1Char('/') + relative;
}

TEST(FindingCatalogue, AnEntryForEachEmittedIdAndAnEmitterForEachEntry)
{
    // The IDs: the strings table's texts, less those that are no finding (and
    // the texts that go on with a finding's, "Hint-..."), and the guard's,
    // which has no text there.
    QFile strings(source("resources/en.lproj/Localizable.strings"));
    ASSERT_TRUE(strings.open(QIODevice::ReadOnly));
    const plist::ParseResult table = plist::parse(strings.readAll());
    ASSERT_TRUE(table.ok());
    const QSet<QString> notFindings{"IntroText", "CheckingPrefix", "Ostrel Log", "SaveFailed", "ArchiveKeptTooMuch"};
    QSet<QString> emitted{"CaughtException"};
    for (const QString& key : table.value->toDictionary().keys())
        if (!notFindings.contains(key) && !key.startsWith("OSStatus-") && !key.startsWith("Hint-"))
            emitted.insert(key);

    QString code;
    for (QDirIterator it(source("src"), {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        code += QString::fromUtf8(file.readAll());
    }
    ASSERT_FALSE(code.isEmpty());

    QSet<QString> catalogued;
    for (const report::FindingEntry& entry : report::kFindingEntries) {
        const QString id = report::nameText(entry.id);
        catalogued.insert(id);
        EXPECT_TRUE(code.contains('"' + id + '"') || code.contains("FindingId::" + id))
            << "no emitter of " << id.toStdString();
        EXPECT_EQ(report::findingNamed(id), &entry);
    }
    for (const QString& id : emitted - catalogued)
        ADD_FAILURE() << id.toStdString() << " has no entry in resources/findings.plist";
    for (const QString& id : catalogued - emitted)
        ADD_FAILURE() << id.toStdString() << " is catalogued but has no text in the strings table";
    EXPECT_EQ(report::findingNamed(u"not4char"), nullptr);
}

} // namespace
