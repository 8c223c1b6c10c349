// The Open dialog: several files at once, no filtering by type; directories
// are entered, except bundle directories, which are chosen as one item.
#pragma once

#include <QFileDialog>
#include <QStringList>

namespace gui {

// True for a directory whose name ends in a bundle extension (.app,
// .framework, ...) or that holds Contents/Info.plist.
bool isBundleDirectory(const QString& path);

class BundleOpenDialog : public QFileDialog {
    Q_OBJECT
public:
    explicit BundleOpenDialog(QWidget* parent = nullptr);

    // What the user chose, in the dialog's order; bundles end in "/".
    QStringList chosenPaths() const { return mChosen; }

    void accept() override;

private:
    void directoryWasEntered(const QString& path);

    QStringList mChosen;
};

} // namespace gui
