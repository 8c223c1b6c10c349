#include "gui/BundleOpenDialog.h"

#include "check/BundleLayout.h"
#include "platform/FileUrl.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>

namespace gui {

bool isBundleDirectory(const QString& path)
{
    if (!platform::isDirectory(path))
        return false;
    if (check::hasBundleExtension(QFileInfo(path).fileName()))
        return true;
    const QString infoPlist = path + QStringLiteral("/Contents/Info.plist");
    return platform::fileExists(infoPlist) && !platform::isDirectory(infoPlist);
}

namespace {

// Bundles show as packages, not as folders.
class BundleIconProvider : public QFileIconProvider {
public:
    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isDir() && isBundleDirectory(info.filePath()))
            return QIcon::fromTheme(QStringLiteral("package-x-generic"), QFileIconProvider::icon(File));
        return QFileIconProvider::icon(info);
    }
    using QFileIconProvider::icon;
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir() && isBundleDirectory(info.filePath()))
            return BundleOpenDialog::tr("Bundle");
        return QFileIconProvider::type(info);
    }
};

} // namespace

BundleOpenDialog::BundleOpenDialog(QWidget* parent) : QFileDialog(parent)
{
    // The desktop's own dialogs would lead into bundles; Qt's can be taught not to.
    setOption(QFileDialog::DontUseNativeDialog);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setWindowTitle(tr("Open"));
    setNameFilters({tr("Bundles, property lists, archives, disk images and packages (*.app *.framework *.bundle "
                       "*.plugin *.appex *.kext *.qlgenerator *.mdimporter *.prefPane *.saver *.xpc *.component "
                       "*.plist *.zip *.ipa *.tar *.tar.gz *.tgz *.tar.bz2 *.tar.xz *.xar *.dmg *.pkg)"),
                    tr("All files (*)")});
    // Shared by every dialog and never destroyed: the dialogs do not own it,
    // and none may outlive it.
    static auto* const iconProvider = new BundleIconProvider;
    setIconProvider(iconProvider);
    connect(this, &QFileDialog::directoryEntered, this, &BundleOpenDialog::directoryWasEntered);
}

void BundleOpenDialog::accept()
{
    // Qt shows the bytes of a name that is not UTF-8 as U+FFFD; look for the
    // file the name stands for. One that cannot be told apart from another is
    // chosen all the same, and its check says why it cannot be opened.
    QStringList files = selectedFiles();
    for (QString& f : files)
        f = platform::recoverUndecodableBytes(f);
    const bool allChoosable = !files.isEmpty() && std::all_of(files.begin(), files.end(), [](const QString& f) {
        return (platform::fileExists(f) && !platform::isDirectory(f)) || isBundleDirectory(f) ||
               platform::lostUndecodableBytes(f);
    });
    if (!allChoosable) {
        // Plain directories are entered, missing names reported, as usual.
        QFileDialog::accept();
        return;
    }
    mChosen.clear();
    for (const QString& f : files)
        mChosen.append(platform::isDirectory(f) ? platform::absoluteFilePath(f) + QLatin1Char('/') : f);
    QDialog::accept();
}

void BundleOpenDialog::directoryWasEntered(const QString& path)
{
    // Opening a bundle (double click, Enter) chooses it rather than leading into it.
    if (!isBundleDirectory(path))
        return;
    const QString bundle = QDir(path).absolutePath();
    setDirectory(QFileInfo(bundle).absolutePath());
    mChosen = {bundle + QLatin1Char('/')};
    QDialog::accept();
}

} // namespace gui
