// The one-line forms and the SARIF log of findings: positions where known,
// and escaping of what would break each form.
#include "report/FindingFormats.h"

#include "CaseRows.h"
#include "platform/FileUrl.h"
#include "report/FindingCatalogue.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <map>

using report::Finding;
using report::Severity;

namespace {

Finding finding(Severity severity, const QString& file, int line, int column, const QString& text)
{
    Finding f;
    f.severity = severity;
    f.messageKey = QStringLiteral("Not4Char");
    f.fileRead = file;
    f.position = report::Position{line, column, -1};
    f.text = text;
    return f;
}

TEST(FindingFormats, OneLineFormsWithPositionsAndEscaping)
{
    const std::map<QString, Severity> severities = {
        {"error", Severity::Error}, {"warning", Severity::Warning}, {"note", Severity::Note}};
    for (const QStringList& row : caseRows("finding-lines.tsv")) {
        SCOPED_TRACE(row.value(0).toStdString());
        ASSERT_EQ(row.size(), 9);
        Finding f = finding(severities.at(row[1]), platform::decodeFileName(unescaped(row[2])), row[3].toInt(),
                            row[4].toInt(), QString::fromUtf8(unescaped(row[6])));
        f.inResource = row[5] == "1";
        EXPECT_EQ(report::gnuLine(f, "/w"), QString::fromUtf8(unescaped(row[7])));
        EXPECT_EQ(report::githubLine(f, "/w"), QString::fromUtf8(unescaped(row[8])));
    }
}

TEST(FindingFormats, JsonMembersLeaveOutUnknownPositions)
{
    Finding f = finding(Severity::Error, "x", 0, 0, "t");
    f.keyPath = QStringLiteral("A[0].B");
    f.arguments = {plist::Value(QStringLiteral("v")), std::nullopt, plist::Value::integer(7)};
    QJsonObject line;
    report::addJsonMembers(line, f);
    EXPECT_EQ(line.value("id").toString(), "Not4Char");
    EXPECT_EQ(line.value("keyPath").toString(), "A[0].B");
    EXPECT_FALSE(line.contains("line") || line.contains("column"));
    EXPECT_EQ(line.value("arguments").toArray(), (QJsonArray{"v", QJsonValue(), "7"}));
    f.position = report::Position{4, 9, -1};
    report::addJsonMembers(line, f);
    EXPECT_EQ(line.value("line").toInt(), 4);
    EXPECT_EQ(line.value("column").toInt(), 9);
}

TEST(FindingFormats, SarifHasOneRulePerKeyAndRelativeFilesBelowTheBase)
{
    Finding second = finding(Severity::Warning, "/base/sub/b.plist", 0, 0, "w");
    second.messageKey = QStringLiteral("NoSuchKey");
    Finding third = finding(Severity::Error, "/elsewhere/c", 5, 1, "e2");
    third.inResource = true;
    const QList<Finding> findings{finding(Severity::Error, "/base/a b.plist", 2, 3, "e"), second, third};
    const report::SarifTool tool{"ostrel-check", "1.0", "https://ostrel.org/", "https://x.org/findings.md"};
    const QJsonObject log = report::sarifLog(findings, tool, "/base");
    const QJsonObject run = log.value("runs").toArray().at(0).toObject();
    const QJsonArray rules = run.value("tool").toObject().value("driver").toObject().value("rules").toArray();
    ASSERT_EQ(rules.size(), 2);
    // A rule from the catalogue, with its help (the whole of it in the golden SARIF
    // log of tests/e2e); a key it does not know, bare.
    const QJsonObject known = rules.at(0).toObject();
    EXPECT_EQ(known.value("shortDescription").toObject().value("text").toString(),
              report::entryOf(report::FindingId::Not4Char).title);
    EXPECT_EQ(known.value("helpUri").toString(), "https://x.org/findings.md#Not4Char");
    const QJsonObject unknown = rules.at(1).toObject();
    EXPECT_EQ(unknown.value("shortDescription").toObject().value("text").toString(), "NoSuchKey");
    EXPECT_FALSE(unknown.contains("help") || unknown.contains("helpUri"));
    EXPECT_EQ(unknown.value("defaultConfiguration").toObject().value("level").toString(), "warning");

    const QJsonArray results = run.value("results").toArray();
    ASSERT_EQ(results.size(), 3);
    const struct {
        int ruleIndex;
        QString uri;
        bool hasRegion;
    } expected[] = {{0, "a%20b.plist", true}, {1, "sub/b.plist", false}, {0, "file:///elsewhere/c", false}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QJsonObject result = results.at(i).toObject();
        EXPECT_EQ(result.value("ruleIndex").toInt(), expected[i].ruleIndex);
        const QJsonObject physical =
            result.value("locations").toArray().at(0).toObject().value("physicalLocation").toObject();
        EXPECT_EQ(physical.value("artifactLocation").toObject().value("uri").toString(), expected[i].uri);
        EXPECT_EQ(physical.contains("region"), expected[i].hasRegion);
    }
}

} // namespace
