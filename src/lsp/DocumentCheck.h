// The check of an editor's document, on the text of its buffer: the same
// check as the command line's, its findings as the protocol's diagnostics.
#pragma once

#include "check/HeadlessWindow.h"
#include "check/OstrelAppDelegate.h"
#include "lsp/Documents.h"
#include "report/Finding.h"

#include <QJsonArray>
#include <QList>
#include <QString>

namespace lsp {

class DocumentCheck {
public:
    DocumentCheck();
    DocumentCheck(const DocumentCheck&) = delete;
    DocumentCheck& operator=(const DocumentCheck&) = delete;

    // The findings about the file at path whose text is bytes (a bundle's
    // Info.plist also gets those against the bundle's files; the findings
    // about other files of the bundle are left out).
    QList<report::Finding> check(const QString& path, DocumentKind kind, const QByteArray& bytes);

    const plist::Value* rules() const { return mController.rulesDict(); }

private:
    check::HeadlessWindow mWindow;
    check::OstrelAppDelegate mController;
};

// The diagnostics of findings about text; each links to its entry of the
// findings' page.
QJsonArray diagnosticsOf(const QList<report::Finding>& findings, const QString& text, const QString& findingsPage);

} // namespace lsp
