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

void finding(TextStorage& storage, Severity severity, const QString& key, const QString& keyPath,
             const report::Position& position = {3, 5, -1})
{
    Finding record;
    record.severity = severity;
    storage.beginFinding(record, true);
    storage.appendAttributedString(icon());
    storage.appendAttributedString(regular(" "));
    storage.setFindingMessage(key, keyPath, {plist::Value(keyPath)}, position);
}

// A heading, three findings (one without a place, one continued by a second
// message), the guard's line without icon or line end.
TextStorage oneCheck()
{
    TextStorage storage;
    storage.appendAttributedString(regular("Checking "));
    storage.appendAttributedString(bold("A.app"));
    storage.appendAttributedString(regular("\n/x/A.app/Contents/Info.plist\n"));
    finding(storage, Severity::Error, "NoData", "", {});
    storage.appendAttributedString(regular("NoData: "));
    storage.appendAttributedString(regular("gone"));
    storage.appendAttributedString(regular("\n"));
    finding(storage, Severity::Warning, "UnknownKey", "a.K");
    storage.appendAttributedString(regular("Unknown key K."));
    storage.setFindingMessage("KeyTypo", "a.K", {plist::Value("L")}, report::Position{9, 9, -1});
    storage.appendAttributedString(regular(" Did you mean L?\n"));
    finding(storage, Severity::Note, "UnknownTopKey", "M");
    storage.appendAttributedString(regular("Unknown key M.\n"));
    Finding caught;
    storage.beginFinding(caught, false);
    storage.setFindingMessage("CaughtException", "", {}, {});
    storage.appendAttributedString(regular("safeOpenURL: Caught E: why"));
    storage.endFinding();
    return storage;
}

TEST(TextStorage, RecordsEachFindingWithItsTextAndRuns)
{
    const TextStorage storage = oneCheck();
    const struct {
        Severity severity;
        QString key;
        QString keyPath;
        int arguments;
        QString text;
        qsizetype firstRun, endRun;
    } expected[] = {
        // The place and the ID are runs of the finding, but no part of its text.
        {Severity::Error, "NoData", "", 1, "NoData: gone", 3, 9},
        {Severity::Warning, "KeyTypo", "a.K", 2, "Unknown key K. Did you mean L?", 9, 16},
        {Severity::Note, "UnknownTopKey", "M", 1, "Unknown key M.", 16, 22},
        {Severity::Error, "CaughtException", "", 0, "safeOpenURL: Caught E: why", 22, 24},
    };
    ASSERT_EQ(storage.findings().size(), std::size(expected));
    for (qsizetype i = 0; i < storage.findings().size(); ++i) {
        SCOPED_TRACE(i);
        const Finding& got = storage.findings()[i];
        EXPECT_EQ(got.severity, expected[i].severity);
        EXPECT_EQ(got.messageKey, expected[i].key);
        EXPECT_EQ(got.keyPath, expected[i].keyPath);
        EXPECT_EQ(got.arguments.size(), expected[i].arguments);
        EXPECT_EQ(got.text, expected[i].text);
        EXPECT_EQ(got.firstRun, expected[i].firstRun);
        EXPECT_EQ(got.endRun, expected[i].endRun);
    }
    // A continued message keeps the place the first one named.
    EXPECT_EQ(storage.findings()[1].position, (report::Position{3, 5, -1}));
    EXPECT_EQ(storage.findings()[1].arguments.last(), plist::Value("L"));

    // Each run belongs to the finding that shows it; the heading to none.
    for (qsizetype run = 0; run < storage.runs().size(); ++run) {
        SCOPED_TRACE(run);
        const Finding* owner = storage.findingOfRun(run);
        if (run < 3) {
            EXPECT_EQ(owner, nullptr);
            continue;
        }
        ASSERT_NE(owner, nullptr);
        EXPECT_TRUE(owner->firstRun <= run && run < owner->endRun);
    }
    EXPECT_EQ(storage.findingOfRun(storage.runs().size()), nullptr);
}

TEST(TextStorage, TextAfterAClosedFindingBelongsToNone)
{
    TextStorage storage;
    finding(storage, Severity::Error, "NotDict", "");
    storage.appendAttributedString(regular("NotDict\n"));
    storage.appendAttributedString(regular("Checking B\n"));
    storage.setFindingMessage("Late", "x", {}, {}); // no finding open: ignored
    ASSERT_EQ(storage.findings().size(), 1);
    EXPECT_EQ(storage.findings()[0].messageKey, "NotDict");
    EXPECT_EQ(storage.findingOfRun(storage.runs().size() - 1), nullptr);
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
        storage.beginFinding(Finding{}, true); // left open: what follows is not its text
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
        ASSERT_EQ(storage.findings().size(), part.findings().size() + 1 + added);
        EXPECT_EQ(storage.findings()[added].text, ""); // the one left open stayed empty
        for (qsizetype f = 0; f < added; ++f) {
            const Finding& got = storage.findings()[added + 1 + f];
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
                             "note: line 3: Unknown key M. [UnknownTopKey]\n"
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
    EXPECT_EQ(report::plainText(storage, 16, 22, false), "note: line 3: Unknown key M. [UnknownTopKey]\n");
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
