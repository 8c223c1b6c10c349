// A save dialog for a document of one required type. The chosen name always
// gets the type's extension; an RTFD document, which is a folder, is offered
// for replacing like a file rather than entered. It opens in the folder last
// saved to, else the user's documents folder, never the working directory
// (usually a source tree); a target the save would refuse is refused here,
// before any question of replacing it.
#pragma once

#include "report/SaveTarget.h"

#include <QFileDialog>
#include <QStringList>

namespace gui {

class DocumentSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    // suffix: "rtfd", "pdf"; proposedName: the name in the name field;
    // checkedPaths: the files being checked, which no save replaces.
    DocumentSaveDialog(QWidget* parent, report::DocumentKind kind, const QString& suffix, const QString& proposedName,
                       const QString& filter, const QStringList& checkedPaths = {});

    // The chosen path, with the required extension.
    QString chosenPath() const { return mChosen; }

    void accept() override;

    // The setting that keeps the folder last saved to.
    static const QString kLastFolderKey;

private:
    bool confirmReplace(const QString& path);

    report::DocumentKind mKind;
    QString mSuffix;
    QStringList mCheckedPaths;
    QString mChosen;
};

} // namespace gui
