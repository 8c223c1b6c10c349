// The shipped rules over the real corpus (Info.plists of shipped products and
// their sources): every finding must be one that tests/data/cases/rules-corpus.tsv lists as
// judged true, with its reason; any other kind is a false finding, a fault of
// the rules to fix at its root. Source files and templates are checked with
// build-setting references allowed, as their projects would check them.
#include "CaseRows.h"
#include "Support.h"

#include "plist/Parse.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace validator_test {
namespace {

using testsupport::readFile;

// One finding, reduced to its kind: the message key and the key path it is
// about, with array indexes folded ("CFBundleDocumentTypes[].CFBundleTypeRole").
struct Finding {
    QString file, message, path;
};

// Which argument holds the key path; messages about a member give the key
// first and the key path of its dictionary second (none at the top level).
QString pathOf(const QString& message, const QStringList& args)
{
    static const QStringList memberFirst = {"UnknownTopKey", "UnknownKey", "NoReqTopKey", "NoReqKey",
                                            "NoRecTopKey",   "NoRecKey",   "DeprecKey",   "AppleKey"};
    static const QStringList pathFirst = {"EmptyString", "BadType", "NestingTooDeep"};
    static const QRegularExpression index(QStringLiteral(R"(\[\d+\])"));
    QString path;
    if (memberFirst.contains(message))
        path = args.size() > 1 && !args[1].isEmpty() && !message.contains(QStringLiteral("Top"))
                   ? args[1] + u'.' + args[0]
                   : args.value(0);
    else if (pathFirst.contains(message))
        path = args.value(0);
    else
        path = args.value(1);
    return path.replace(index, QStringLiteral("[]"));
}

// A line of the report: "[note] UnknownTopKey(Name) KeyTypo(Other)", "[error] BadType(K|string)".
QList<Finding> findingsOf(const QString& file, const QString& report)
{
    static const QRegularExpression line(QStringLiteral(R"(^\[\w+\] (\w+)\((.*?)\)( KeyTypo\(.*\))?$)"));
    QList<Finding> findings;
    for (const QString& text : report.split(u'\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch()) {
            ADD_FAILURE() << file.toStdString() << ": unreadable report line " << text.toStdString();
            continue;
        }
        // A deprecation note's text may hold "|": only its first two arguments count.
        const QString message = match.captured(1);
        findings.append({file, message, pathOf(message, match.captured(2).split(u'|'))});
    }
    return findings;
}

// A judged-true row: message key, key path and file name (both may hold * and ?), reason.
struct Judged {
    QString message;
    QRegularExpression path, file;
    QString text;
    int matched = 0;
};

QList<Judged> readJudged()
{
    QList<Judged> rows;
    for (const QStringList& cells : caseRows(QStringLiteral("rules-corpus.tsv"))) {
        const QString line = cells.join(u'\t');
        if (cells.size() != 4 || cells[3].trimmed().isEmpty()) {
            ADD_FAILURE() << "a judged row needs message, key path, file and reason: " << line.toStdString();
            continue;
        }
        // Only * and ? are wildcards: brackets stand for themselves ("Types[].Role").
        const auto wildcard = [](const QString& pattern) {
            QString expression = QRegularExpression::escape(pattern);
            expression.replace(QStringLiteral("\\*"), QStringLiteral(".*"))
                .replace(QStringLiteral("\\?"), QStringLiteral("."));
            return QRegularExpression(QRegularExpression::anchoredPattern(expression));
        };
        rows.append({cells[0], wildcard(cells[1]), wildcard(cells[2]), line, 0});
    }
    return rows;
}

using RulesCorpus = ValidatorTest;

TEST_F(RulesCorpus, EveryFindingIsJudgedTrue)
{
    const QString data = qEnvironmentVariable("OSTREL_TEST_DATA") + u'/';
    const plist::Value rules = testsupport::readPlist(testsupport::sourceFile("resources/rules.plist"));

    QList<Finding> findings;
    int files = 0;
    // MANIFEST.tsv: file, repository, commit, path, kind, format, licence; the corpus is real/.
    for (const QString& line : QString::fromUtf8(readFile(data + QStringLiteral("MANIFEST.tsv"))).split(u'\n')) {
        const QStringList cells = line.split(u'\t');
        if (cells.size() < 7 || !cells[0].startsWith(QStringLiteral("real/")))
            continue;
        ++files;
        const QString name = cells[0].mid(5);
        const bool source = cells[4] == QStringLiteral("source") || cells[4] == QStringLiteral("template");
        set(platform::AllowBuildSettingsKey, source);
        const plist::ParseResult parsed = plist::parse(readFile(data + cells[0]));
        if (!parsed.ok() || !parsed.value->isDictionary()) {
            findings.append({name, QStringLiteral("ParseErr"), QStringLiteral("-")});
            continue;
        }
        findings += findingsOf(name, check(*parsed.value, rules));
    }
    EXPECT_EQ(files, 147);

    QList<Judged> judged = readJudged();
    for (const Finding& finding : findings) {
        auto row = std::find_if(judged.begin(), judged.end(), [&finding](const Judged& j) {
            return j.message == finding.message && j.path.match(finding.path).hasMatch() &&
                   j.file.match(finding.file).hasMatch();
        });
        if (row == judged.end())
            ADD_FAILURE() << "not judged true: " << finding.message.toStdString() << "\t" << finding.path.toStdString()
                          << "\t" << finding.file.toStdString();
        else
            ++row->matched;
    }
    // A row that no finding needs any more is stale: the rules changed, or the judgement.
    for (const Judged& row : judged)
        EXPECT_GT(row.matched, 0) << "judged row without a finding: " << row.text.toStdString();
}

} // namespace
} // namespace validator_test
