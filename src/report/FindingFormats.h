// The one-line and machine-readable forms of findings, for editors, CI logs
// and code scanning: GNU's "file:line:column: severity: text", GitHub Actions'
// workflow commands, JSON members, a SARIF 2.1.0 log, GitLab's Code Quality
// report and JUnit's XML.
#pragma once

#include "report/Finding.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

namespace report {

// The file as the one-line forms name it: relative to baseDirectory where it
// lies below it, else absolute.
QString pathFrom(const QString& baseDirectory, const QString& file);

// "FILE:LINE:COLUMN: SEVERITY: TEXT [MessageKey]", with the file read as FILE
// (see pathFrom) and the line or column left out where unknown or in a resource.
QString gnuLine(const Finding& finding, const QString& baseDirectory);

// "::error file=F,line=L,col=C,title=MessageKey::TEXT" (warning; notice for a
// note), escaped as GitHub documents for data and for properties; F as in gnuLine.
QString githubLine(const Finding& finding, const QString& baseDirectory);

// The members a JSON report line of a finding adds: id, keyPath, line and
// column (where known), arguments (as the report shows each; null for none).
void addJsonMembers(QJsonObject& line, const Finding& finding);

struct SarifTool {
    QString name;
    QString version;
    QString informationUri;
    // The address of docs/findings.md: each rule's help is its section there.
    QString findingsPage;
};

// One SARIF 2.1.0 log of one run: the tool with a rule for each message key
// used, described from the catalogue of findings, and a result per finding.
// Files below baseDirectory are given relative to it.
QJsonObject sarifLog(const QList<Finding>& findings, const SarifTool& tool, const QString& baseDirectory);

// GitLab's Code Quality report: an array of issues, each with a fingerprint
// made of the file (as gnuLine names it), the ID, the key path and the
// count of like findings before it, so that it stays the same from run to
// run and while lines elsewhere in the file come and go.
QJsonArray gitlabReport(const QList<Finding>& findings, const QString& baseDirectory);

// One JUnit <testsuite> for the file as given: a test case a finding, failed
// when the finding is at failOn or worse; a file without findings is one
// passing case. Test cases name the file read as gnuLine does.
QByteArray junitSuite(const QString& file, const QList<const Finding*>& findings, Severity failOn,
                      const QString& baseDirectory);

} // namespace report
