#include "gui/DocumentSaveDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace gui {

DocumentSaveDialog::DocumentSaveDialog(QWidget* parent, const QString& suffix, const QString& proposedName,
                                       const QString& filter)
    : QFileDialog(parent), mSuffix(suffix)
{
    // Qt's own dialog: the desktop's would enter an RTFD document (a folder).
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(filter);
    setDefaultSuffix(suffix);
    selectFile(proposedName);
    connect(this, &QFileDialog::directoryEntered, this, [this](const QString& path) {
        // Opening an existing document picks its name rather than its insides.
        if (QFileInfo(path).suffix().compare(mSuffix, Qt::CaseInsensitive) != 0)
            return;
        const QFileInfo document(QDir(path).absolutePath());
        setDirectory(document.absolutePath());
        selectFile(document.fileName());
    });
}

void DocumentSaveDialog::accept()
{
    QString path = selectedFiles().value(0);
    if (path.isEmpty() || QFileInfo(path).fileName().isEmpty())
        return;
    if (QFileInfo(path).suffix().compare(mSuffix, Qt::CaseInsensitive) != 0)
        path += QLatin1Char('.') + mSuffix;
    const QFileInfo info(path);
    if (info.isDir() && mSuffix != QLatin1String("rtfd")) {
        // A folder that only looks like a document: go into it.
        QFileDialog::accept();
        return;
    }
    if (info.exists() && !confirmReplace(path))
        return;
    mChosen = path;
    QDialog::accept();
}

bool DocumentSaveDialog::confirmReplace(const QString& path)
{
    const QFileInfo info(path);
    const QMessageBox::StandardButton answer =
        QMessageBox::warning(this, tr("Replace Document"),
                             tr("“%1” already exists in “%2”. Do you want to replace it?")
                                 .arg(info.fileName(), QDir::toNativeSeparators(info.absolutePath())),
                             QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    return answer == QMessageBox::Yes;
}

} // namespace gui
