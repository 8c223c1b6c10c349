// The report's records of findings, and the report as text and as JSON lines.
#include "report/ReportText.h"
#include "Support.h"

#include <QJsonObject>

#include <gtest/gtest.h>

using report::Finding;
using report::Severity;
using report::StyledString;
using report::TextStorage;

namespace {

void finding(TextStorage& storage, Severity severity, const QString& key, const QString& text,
             const report::Position& position = {3, 5, -1}, bool inResource = false)
{
    Finding record;
    record.severity = severity;
    record.messageKey = key;
    record.text = text;
    record.position = position;
    record.inResource = inResource;
    const StyledString badge = icon();
    storage.appendFinding(record, report::FontDescription{}, &badge);
}

// A heading, three findings (one without a place, one in a resource, whose
// lines no editor shows), the guard's line without icon or line end.
TextStorage oneCheck()
{
    TextStorage storage;
    storage.appendAttributedString(regular("Checking "));
    storage.appendAttributedString(bold("A.app"));
    storage.appendAttributedString(regular("\n/x/A.app/Contents/Info.plist\n"));
    finding(storage, Severity::Error, "NoData", "NoData: gone", {});
    finding(storage, Severity::Warning, "KeyTypo", "Unknown key K. Did you mean L?");
    finding(storage, Severity::Note, "UnknownTopKey", "Unknown key M.", {3, 5, -1}, true);
    Finding caught;
    caught.messageKey = "CaughtException";
    caught.text = "safeOpenURL: Caught E: why";
    storage.appendFinding(caught, report::FontDescription{}, nullptr, true);
    return storage;
}

TEST(TextStorage, RecordsEachFindingWithItsTextAndRuns)
{
    TextStorage storage = oneCheck();
    storage.appendAttributedString(regular("Checking B\n"));
    // The icon, its blank, the place and the ID are runs of the finding.
    QStringList records;
    for (const Finding& f : storage.findings())
        records
            << QString("%1 %2 %3-%4").arg(report::severityName(f.severity), f.messageKey).arg(f.firstRun).arg(f.endRun);
    EXPECT_EQ(records, QStringList({"error NoData 3-8", "warning KeyTypo 8-14", "note UnknownTopKey 14-19",
                                    "error CaughtException 19-21"}));

    // Each run belongs to the finding that shows it; the headings to none.
    for (qsizetype run = 0; run < storage.runs().size(); ++run) {
        SCOPED_TRACE(run);
        const Finding* owner = storage.findingOfRun(run);
        if (run < 3 || run == 21) {
            EXPECT_EQ(owner, nullptr);
            continue;
        }
        ASSERT_NE(owner, nullptr);
        EXPECT_TRUE(owner->firstRun <= run && run < owner->endRun);
    }
    EXPECT_EQ(storage.findingOfRun(storage.runs().size()), nullptr);
}

TEST(TextStorage, AppendsAnotherReportsPartAsIfWrittenThere)
{
    const TextStorage part = oneCheck();
    // A piece of each: from the first finding on, then the whole.
    const struct {
        qsizetype firstRun, firstFinding;
    } pieces[] = {{3, 0}, {0, 0}};
    for (const auto& piece : pieces) {
        SCOPED_TRACE(piece.firstRun);
        TextStorage storage = oneCheck();
        const qsizetype before = storage.runs().size();
        int told = 0;
        storage.setObserver([&](const StyledString& run) {
            // Each run is told once its record is there.
            const Finding* owner = storage.findingOfRun(storage.runs().size() - 1);
            EXPECT_EQ(owner != nullptr, part.findingOfRun(piece.firstRun + told) != nullptr);
            EXPECT_EQ(run.text, part.runs()[piece.firstRun + told].text);
            ++told;
        });
        storage.appendReport(part, piece.firstRun, part.runs().size(), piece.firstFinding);
        EXPECT_EQ(told, part.runs().size() - piece.firstRun);
        EXPECT_EQ(report::plainText(storage, before, storage.runs().size(), false),
                  report::plainText(part, piece.firstRun, part.runs().size(), false));
        EXPECT_EQ(storage.length(), storage.string().size());
        const qsizetype added = part.findings().size();
        ASSERT_EQ(storage.findings().size(), part.findings().size() + added);
        for (qsizetype f = 0; f < added; ++f) {
            const Finding& got = storage.findings()[added + f];
            const Finding& from = part.findings()[f];
            EXPECT_EQ(got.messageKey, from.messageKey);
            EXPECT_EQ(got.text, from.text);
            EXPECT_EQ(got.firstRun - before, from.firstRun - piece.firstRun);
            EXPECT_EQ(got.endRun - got.firstRun, from.endRun - from.firstRun);
        }
    }
}

TEST(ReportText, PlainTextNamesSeveritiesFromTheRecordsAndColoursThemOnlyWhenAsked)
{
    TextStorage storage = oneCheck();
    // An image outside any finding has no severity.
    storage.appendAttributedString(icon());
    // The place where the line is known, the ID (the last message's) before the line end.
    const QString expected = "Checking A.app\n/x/A.app/Contents/Info.plist\n"
                             "error: NoData: gone [NoData]\n"
                             "warning: line 3: Unknown key K. Did you mean L? [KeyTypo]\n"
                             "note: Unknown key M. [UnknownTopKey]\n"
                             "safeOpenURL: Caught E: why [CaughtException][image]";
    const qsizetype end = storage.runs().size();
    EXPECT_EQ(report::plainText(storage, 0, end, false), expected);
    QString withAnsi = expected;
    withAnsi.replace("A.app\n", "\x1b[1mA.app\x1b[0m\n")
        .replace("error:", "\x1b[1;31merror:\x1b[0m")
        .replace("warning:", "\x1b[1;35mwarning:\x1b[0m")
        .replace("note:", "\x1b[1;36mnote:\x1b[0m");
    // The exception's line has no icon, hence no severity to colour.
    EXPECT_EQ(report::plainText(storage, 0, end, true), withAnsi);
    EXPECT_EQ(report::plainText(storage, 14, 19, false), "note: Unknown key M. [UnknownTopKey]\n");
}

TEST(ReportText, JsonLinesOfFindingsNameTheFileTheyAreAbout)
{
    // Inside a product a finding is about the Info.plist of a nested bundle,
    // not the one read first for the file given.
    Finding record;
    record.severity = Severity::Warning;
    record.messageKey = QStringLiteral("NoIconFile");
    record.fileRead = QStringLiteral("/x/A.app/Contents/PlugIns/B.appex/Contents/Info.plist");
    record.text = QStringLiteral("No icon.");
    record.position = report::Position{4, 2, -1};
    const QJsonObject line = report::jsonLine(record, QStringLiteral("A.app"));
    EXPECT_EQ(line.value("file").toString(), "A.app");
    EXPECT_EQ(line.value("read").toString(), record.fileRead);
    EXPECT_EQ(line.value("severity").toString(), "warning");
    EXPECT_EQ(line.value("text").toString(), record.text);
    EXPECT_EQ(line.value("line").toInt(), 4);
}

} // namespace
