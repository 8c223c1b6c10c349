// The one-line and machine-readable forms of findings, for editors, CI logs
// and code scanning: GNU's "file:line:column: severity: text", GitHub Actions'
// workflow commands, JSON members and a SARIF 2.1.0 log.
#pragma once

#include "report/Finding.h"

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

} // namespace report
