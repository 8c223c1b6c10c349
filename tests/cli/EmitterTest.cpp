// The table of the report's forms: each is found by its name, and each writes
// what its kind of form writes for a file with findings and for one without.
#include "cli/Emitter.h"

#include <QJsonDocument>
#include <QSet>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

struct Written {
    QByteArray begin;
    QByteArray perFile; // both files' parts
    QByteArray end;
    int findings = 0;
};

// Mistakes.app (findings) and Correct.app (none), through the form's emitter.
Written written(const cli::Emitter& emitter)
{
    const QString examples = qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/examples/");
    cli::RunContext run;
    run.workingDirectory = examples;
    run.githubWorkspace = examples;
    run.tool = {QStringLiteral("ostrel-check"), QStringLiteral("1"), QStringLiteral("https://ostrel.org/"),
                QStringLiteral("https://ostrel.org/docs/findings.md")};
    Written out;
    out.begin = emitter.begin(run);
    QList<report::Finding> kept;
    app::FileChecker checker(false);
    for (const char* name : {"Mistakes.app", "Correct.app"}) {
        out.perFile += checker.check(examples + QLatin1String(name), [&](const app::FileReport& file) {
            QList<const report::Finding*> findings;
            for (qsizetype f = file.firstFinding; f < file.report.findings().size(); ++f)
                findings.append(&file.report.findings()[f]);
            out.findings += static_cast<int>(findings.size());
            if (emitter.keepsFindings())
                for (const report::Finding* finding : findings)
                    kept.append(*finding);
            return emitter.file(file, findings, run);
        });
    }
    out.end = emitter.end(kept, run);
    return out;
}

} // namespace

TEST(Emitter, EachFormIsFoundByItsNameAndWritesItsKind)
{
    // The forms written a line a finding, and those written once at the end as one JSON document.
    const QSet<QString> lineForms{"gnu", "json", "github"};
    const QSet<QString> documentForms{"sarif", "gitlab"};
    QSet<QString> names;
    for (const cli::Format& format : cli::formats()) {
        const QString name = format.name;
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(cli::emitterNamed(name), &format.emitter);
        EXPECT_TRUE(cli::formatNamesInWords().contains(name));
        names.insert(name);

        const Written out = written(format.emitter);
        ASSERT_GT(out.findings, 0);
        if (lineForms.contains(name)) {
            EXPECT_EQ(out.perFile.count('\n'), out.findings);
            EXPECT_TRUE(out.end.isEmpty());
        } else if (documentForms.contains(name)) {
            EXPECT_TRUE(out.perFile.isEmpty());
            QJsonParseError error;
            QJsonDocument::fromJson(out.end, &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << out.end.left(200).toStdString();
        } else if (name == QStringLiteral("junit")) {
            // A test case a finding, and one for the clean file, in one well-formed document.
            QXmlStreamReader xml(out.begin + out.perFile + out.end);
            int cases = 0;
            while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd())
                cases += xml.isStartElement() && xml.name() == QStringLiteral("testcase");
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            EXPECT_EQ(cases, out.findings + 1);
        } else {
            // The text: both headings, each finding with its severity.
            EXPECT_EQ(name, QStringLiteral("text"));
            EXPECT_TRUE(out.perFile.contains("Checking Mistakes.app\n"));
            EXPECT_TRUE(out.perFile.contains("Checking Correct.app\n"));
            EXPECT_EQ(out.perFile.count("error: ") + out.perFile.count("warning: ") + out.perFile.count("note: "),
                      out.findings);
            EXPECT_TRUE(format.emitter.writesSummary());
        }
    }
    EXPECT_EQ(names, (QSet<QString>{"text", "junit"} | lineForms | documentForms));
    EXPECT_EQ(&cli::formats().front().emitter, cli::emitterNamed(QStringLiteral("text")));
    EXPECT_EQ(cli::emitterNamed(QStringLiteral("TEXT")), nullptr);
}
