// The one-line forms and the SARIF log of findings: positions where known,
// and escaping of what would break each form.
#include "report/FindingFormats.h"

#include "report/FindingCatalogue.h"

#include <QJsonArray>

#include <gtest/gtest.h>

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

Finding inResource(Finding f)
{
    f.inResource = true;
    return f;
}

TEST(FindingFormats, OneLineFormsWithPositionsAndEscaping)
{
    // Files below the base are named relative to it, others as they are.
    const QString base = QStringLiteral("/w");
    const struct {
        Finding finding;
        QString gnu;
        QString github;
    } rows[] = {
        {finding(Severity::Error, "/a/Info.plist", 12, 5, "bad"), "/a/Info.plist:12:5: error: bad [Not4Char]",
         "::error file=/a/Info.plist,line=12,col=5,title=Not4Char::bad"},
        {finding(Severity::Warning, "/w/sub/../x.plist", 3, 0, "w"), "x.plist:3: warning: w [Not4Char]",
         "::warning file=x.plist,line=3,title=Not4Char::w"},
        // Lines in a 'plst' resource are none of the file's.
        {inResource(finding(Severity::Note, "/w/LegacyTool", 7, 2, "n")), "LegacyTool: note: n [Not4Char]",
         "::notice file=LegacyTool,title=Not4Char::n"},
        {finding(Severity::Note, "bin.plist", 0, 0, "n"), "bin.plist: note: n [Not4Char]",
         "::notice file=bin.plist,title=Not4Char::n"},
        // Commas and colons end a property of a workflow command; per cent
        // signs and line ends are escaped everywhere.
        {finding(Severity::Error, "a,b:c\nd.plist", 1, 1, "100% a\r\nb: c, d"),
         "a,b:c\\nd.plist:1:1: error: 100% a\\r\\nb: c, d [Not4Char]",
         "::error file=a%2Cb%3Ac%0Ad.plist,line=1,col=1,title=Not4Char::100%25 a%0D%0Ab: c, d"},
        // Any other control character, and a byte of a name that is not
        // UTF-8, shows as an escape.
        {finding(Severity::Warning, QString("e\x1b[2J") + QChar(0xDCFF) + ".plist", 2, 0, "t\tu"),
         "e\\x1B[2J\\xFF.plist:2: warning: t\\tu [Not4Char]",
         "::warning file=e\\x1B[2J\\xFF.plist,line=2,title=Not4Char::t\\tu"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.gnu.toStdString());
        EXPECT_EQ(report::gnuLine(row.finding, base), row.gnu);
        EXPECT_EQ(report::githubLine(row.finding, base), row.github);
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
    const QList<Finding> findings{finding(Severity::Error, "/base/a b.plist", 2, 3, "e"), second,
                                  inResource(finding(Severity::Error, "/elsewhere/c", 5, 1, "e2"))};
    const report::SarifTool tool{"ostrel-check", "1.0", "https://ostrel.org/", "https://x.org/findings.md"};
    const QJsonObject log = report::sarifLog(findings, tool, "/base");
    EXPECT_EQ(log.value("version").toString(), "2.1.0");
    const QJsonObject run = log.value("runs").toArray().at(0).toObject();
    const QJsonArray rules = run.value("tool").toObject().value("driver").toObject().value("rules").toArray();
    ASSERT_EQ(rules.size(), 2);
    // A rule from the catalogue, with its help; a key it does not know, bare.
    const QJsonObject known = rules.at(0).toObject();
    const QString markdown = known.value("help").toObject().value("markdown").toString();
    EXPECT_EQ(known.value("shortDescription").toObject().value("text").toString(),
              report::entryOf(report::FindingId::Not4Char).title);
    EXPECT_TRUE(known.value("fullDescription").toObject().value("text").toString().contains("four characters"));
    EXPECT_TRUE(markdown.contains("```xml\n<key>CFBundlePackageType</key>")) << markdown.toStdString();
    EXPECT_TRUE(known.value("help").toObject().value("text").toString().startsWith("Not4Char (error): "));
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
