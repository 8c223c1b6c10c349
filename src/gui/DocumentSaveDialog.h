// A save dialog for a document of one required type. The chosen name always
// gets the type's extension; an RTFD document, which is a folder, is offered
// for replacing like a file rather than entered.
#pragma once

#include <QFileDialog>

namespace gui {

class DocumentSaveDialog : public QFileDialog {
    Q_OBJECT
public:
    // suffix: "rtfd", "pdf"; proposedName: the name in the name field.
    DocumentSaveDialog(QWidget* parent, const QString& suffix, const QString& proposedName, const QString& filter);

    // The chosen path, with the required extension.
    QString chosenPath() const { return mChosen; }

    void accept() override;

private:
    bool confirmReplace(const QString& path);

    QString mSuffix;
    QString mChosen;
};

} // namespace gui
