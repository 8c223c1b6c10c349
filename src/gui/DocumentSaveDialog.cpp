#include "gui/DocumentSaveDialog.h"

#include "check/MessageFormat.h"
#include "platform/Bundle.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace gui {

const QString DocumentSaveDialog::kLastFolderKey = QStringLiteral("LastSaveFolder");

namespace {

QString proposedFolder()
{
    const QString last =
        platform::UserDefaults::standard().store().value(DocumentSaveDialog::kLastFolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

} // namespace

DocumentSaveDialog::DocumentSaveDialog(QWidget* parent, report::DocumentKind kind, const QString& suffix,
                                       const QString& proposedName, const QString& filter,
                                       const QStringList& checkedPaths)
    : QFileDialog(parent), mKind(kind), mSuffix(suffix), mCheckedPaths(checkedPaths)
{
    // Qt's own dialog: the desktop's would enter an RTFD document (a folder).
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontConfirmOverwrite);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilter(filter);
    setDefaultSuffix(suffix);
    setDirectory(proposedFolder());
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
    const QString refusal = report::saveTargetRefusal(path, mKind, mCheckedPaths);
    if (!refusal.isEmpty()) {
        QMessageBox::warning(
            this, windowTitle(),
            check::formatMessage(platform::Bundle::main().localizedString(QStringLiteral("SaveFailed")),
                                 {check::arg(path), check::arg(refusal)}));
        return;
    }
    if (info.exists() && !confirmReplace(path))
        return;
    platform::UserDefaults::standard().store().setValue(kLastFolderKey, info.absolutePath());
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
