// The check of an editor's document, on the text of its buffer: the same
// check as the command line's, its findings as the protocol's diagnostics.
#pragma once

#include "app/HeadlessWindow.h"
#include "app/OstrelAppDelegate.h"
#include "lsp/Documents.h"
#include "report/Finding.h"

#include <QJsonArray>
#include <QList>
#include <QString>

namespace lsp {

class DocumentCheck {
public:
    // ignored: the findings to leave out (none when empty).
    explicit DocumentCheck(report::FindingFilter ignored = {});
    DocumentCheck(const DocumentCheck&) = delete;
    DocumentCheck& operator=(const DocumentCheck&) = delete;

    // The findings about the file at path whose text is bytes (a bundle's
    // Info.plist also gets those against the bundle's files; the findings
    // about other files of the bundle are left out).
    QList<report::Finding> check(const QString& path, DocumentKind kind, const QByteArray& bytes);

    const plist::Value* rules() const { return mController.rulesDict(); }

private:
    app::HeadlessWindow mWindow;
    app::OstrelAppDelegate mController;
};

// The diagnostics of findings about text, checked as bytes; each links to its
// entry of the findings' page, and a finding's fix goes in its data.
QJsonArray diagnosticsOf(const QList<report::Finding>& findings, const QByteArray& bytes, const QString& text,
                         const QString& findingsPage);

// The code actions of a textDocument/codeAction request's diagnostics: each
// fix one quick fix, the safe ones preferred, and the comments that ignore
// the finding on its line and in the whole file.
QJsonArray codeActionsOf(const QString& uri, const QJsonArray& diagnostics);

} // namespace lsp
