// The shipped rules over the real corpus (Info.plists of shipped products and
// their sources): every finding must be one that tests/data/cases/rules-corpus.tsv lists as
// judged true, with its reason; any other kind is a false finding, a fault of
// the rules to fix at its root; and the rules summarized once serve every file
// as if summarized afresh. Source files and templates are checked with
// build-setting references allowed, as their projects would check them.
#include "CaseRows.h"
#include "Support.h"

#include "check/KeyRulesCache.h"
#include "plist/Parse.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace validator_test {
namespace {

using testsupport::readFile;

// Each finding reduced to its kind, beside the report: "message key\tkey path\tfile",
// array indexes folded ("CFBundleDocumentTypes[].CFBundleTypeRole").
class KindRecorder : public Recorder {
public:
    QString file;
    QStringList findings;

protected:
    void recordFinding(report::Finding finding) override
    {
        static const QRegularExpression index(QStringLiteral(R"(\[\d+\])"));
        findings << QStringList{finding.messageKey, finding.keyPath.replace(index, "[]"), file}.join('\t');
        Recorder::recordFinding(std::move(finding));
    }
};

// A judged row's kind (its first three fields); only * and ? are wildcards, within a field.
QRegularExpression kindPattern(const QStringList& row)
{
    QString expression = QRegularExpression::escape(row.mid(0, 3).join('\t'));
    expression.replace(QStringLiteral("\\*"), QStringLiteral("[^\t]*"))
        .replace(QStringLiteral("\\?"), QStringLiteral("[^\t]"));
    return QRegularExpression(QRegularExpression::anchoredPattern(expression));
}

using RulesCorpus = ValidatorTest;

// Summaries of the rules made once and reused from file to file give the report
// of summaries made afresh for every dictionary.
TEST_F(RulesCorpus, EveryFindingIsJudgedTrue)
{
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + u'/';
    const plist::Value rules = testsupport::readPlist(testsupport::sourceFile("resources/rules.plist"));
    KindRecorder reused;
    Recorder perCall;
    check::PlistValidator reusing(reused);
    check::PlistValidator fresh(perCall, check::KeyRulesCache::Mode::PerCall);
    int files = 0;
    // MANIFEST.tsv: file, repository, commit, path, kind, format, licence; the corpus is real/.
    for (const QString& line : QString::fromUtf8(readFile(data + QStringLiteral("MANIFEST.tsv"))).split(u'\n')) {
        const QStringList cells = line.split(u'\t');
        if (cells.size() < 7 || !cells[0].startsWith(QStringLiteral("real/")))
            continue;
        ++files;
        reused.file = cells[0].mid(5);
        set(platform::AllowBuildSettingsKey, cells[4] == "source" || cells[4] == "template");
        const plist::ParseResult parsed = plist::parse(readFile(data + cells[0]));
        if (!parsed.ok() || !parsed.value->isDictionary()) {
            reused.findings << "ParseErr\t-\t" + reused.file;
            continue;
        }
        reused.report.clear();
        perCall.report.clear();
        reusing.validateInfoDict(parsed.value->toDictionary(), &rules);
        fresh.validateInfoDict(parsed.value->toDictionary(), &rules);
        EXPECT_EQ(reused.report, perCall.report) << reused.file.toStdString();
    }
    EXPECT_EQ(files, 147);

    // Judged rows: message key, key path, file name, reason.
    const std::vector<QStringList> judged = caseRows("rules-corpus.tsv");
    std::vector<int> matched(judged.size());
    for (const QString& finding : reused.findings) {
        const auto row = std::find_if(judged.begin(), judged.end(),
                                      [&](const QStringList& j) { return kindPattern(j).match(finding).hasMatch(); });
        if (row == judged.end())
            ADD_FAILURE() << "not judged true: " << finding.toStdString();
        else
            ++matched[std::size_t(row - judged.begin())];
    }
    // A row that no finding needs any more is stale: the rules changed, or the judgement.
    for (std::size_t i = 0; i < judged.size(); ++i) {
        EXPECT_TRUE(judged[i].size() == 4 && !judged[i][3].trimmed().isEmpty())
            << "a row needs a reason: " << judged[i].join('\t').toStdString();
        EXPECT_GT(matched[i], 0) << "judged row without a finding: " << judged[i].join('\t').toStdString();
    }
}

} // namespace
} // namespace validator_test
