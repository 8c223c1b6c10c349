// The Open dialog, driven as a user would: names typed, buttons pressed, with
// the dialog Qt shows on the offscreen platform.
#include "Support.h"

#include "CaseRows.h"

#include "gui/BundleOpenDialog.h"
#include "gui/MainWindow.h"
#include "platform/Bundle.h"
#include "platform/FileUrl.h"

#include <QDir>
#include <QFile>
#include <QListView>

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using gui::BundleOpenDialog;
using gui::MainWindow;
using namespace testsupport;

namespace {

class BundleOpenDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        useFreshSettings();
        mApp = makeBundle(mDir.path(), "Tool.app", infoPlist({{"CFBundleIdentifier", "com.example.tool"}}));
        // Bundles by their Contents/Info.plist, whatever their name.
        mFlat = makeBundle(mDir.path(), "Flat", infoPlist({{"CFBundleIdentifier", "com.example.flat"}}));
        mPlain = mDir.filePath("Plain");
        writeFile(mPlain + "/inside.plist", "(1)");
        mFile = mDir.filePath("loose.plist");
        writeFile(mFile, infoPlist({{"CFBundleIdentifier", "com.example.loose"}}));
    }

    QTemporaryDir mDir;
    QString mApp, mFlat, mPlain, mFile;
};

} // namespace

TEST_F(BundleOpenDialogTest, BundleDirectoriesAreKnownByExtensionOrContents)
{
    QDir(mDir.path()).mkdir("Upper.FRAMEWORK");
    QDir(mDir.path()).mkdir("Ext.appex");
    writeFile(mDir.filePath("file.app"), "not a folder");
    QDir(mDir.path()).mkpath("Odd/Contents/Info.plist");
    for (const QStringList& row : caseRows("bundle-directories.tsv"))
        EXPECT_EQ(gui::isBundleDirectory(mDir.filePath(row[0])), row.value(1) == "1") << row[0].toStdString();
}

// Names that are not UTF-8 Qt lists with U+FFFD for each such byte: they are
// chosen as the files they stand for.
TEST_F(BundleOpenDialogTest, OpenDialogChoosesBundlesAsOneItemAndEntersPlainFolders)
{
    const QByteArray dir = QFile::encodeName(mDir.path());
    ASSERT_EQ(::mkdir((dir + "/B\xFE.app").constData(), 0755), 0);
    ASSERT_EQ(::mkdir((dir + "/B\xFE.app/Contents").constData(), 0755), 0);
    for (const char* name : {"/B\xFE.app/Contents/Info.plist", "/caf\xE9.plist", "/two\xFE.plist", "/two\xFD.plist"})
        std::ofstream((dir + name).toStdString()) << "{}";
    auto real = [this](const char* name) { return mDir.path() + platform::decodeFileName(name); };
    const struct {
        QString typed;
        bool accepted;
        QStringList chosen;
    } rows[] = {
        {"\"Tool.app\"", true, {mApp + "/"}},
        {"\"loose.plist\" \"Tool.app\" \"Flat\"", true, {mFile, mApp + "/", mFlat + "/"}},
        {"\"Plain\"", false, {}},
        {QString::fromUtf8("\"caf\xE9.plist\""), true, {real("/caf\xE9.plist")}},
        {QString::fromUtf8("\"B\xFE.app\""), true, {real("/B\xFE.app/")}},
        // Two names fit: chosen as shown, and the check says why it cannot open it.
        {QString::fromUtf8("\"two\xFE.plist\""), true, {mDir.path() + QString::fromUtf8("/two\xFE.plist")}},
    };
    for (const auto& row : rows) {
        BundleOpenDialog dialog;
        dialog.setDirectory(mDir.path());
        dialog.show();
        typeName(&dialog, row.typed);
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, row.accepted) << row.typed.toStdString();
        EXPECT_EQ(dialog.chosenPaths(), row.chosen) << row.typed.toStdString();
        if (!row.accepted) { // the plain folder was entered instead
            EXPECT_EQ(QDir(dialog.directory()).absolutePath(), mPlain);
        }
    }
}

TEST_F(BundleOpenDialogTest, ActivatingABundleInTheListChoosesItRatherThanEnteringIt)
{
    BundleOpenDialog dialog;
    dialog.setDirectory(mDir.path());
    dialog.show();
    auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(list, nullptr);
    QModelIndex bundle;
    ASSERT_TRUE(waitFor([&] {
        const QAbstractItemModel* model = list->model();
        for (int row = 0; row < model->rowCount(list->rootIndex()); ++row) {
            const QModelIndex index = model->index(row, 0, list->rootIndex());
            if (index.data().toString() == "Tool.app")
                bundle = index;
        }
        return bundle.isValid();
    }));
    emit list->activated(bundle); // a double click or Enter
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.chosenPaths(), QStringList({mApp + "/"}));
}

TEST_F(BundleOpenDialogTest, OpenCommandChecksTheChosenBundleAndCancelWritesNothing)
{
    MainWindow window;
    window.show();
    const QString before = window.textStorage().string();
    whenShown<BundleOpenDialog>([](BundleOpenDialog* dialog) { dialog->reject(); });
    action(window, "actionOpen")->trigger();
    EXPECT_EQ(window.textStorage().string(), before);

    whenShown<BundleOpenDialog>([this](BundleOpenDialog* dialog) {
        dialog->setDirectory(mDir.path());
        typeName(dialog, "\"Tool.app\" \"loose.plist\"");
        dialog->accept();
    });
    action(window, "actionOpen")->trigger();
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }));
    const QString report = window.textStorage().string();
    const QString prefix = platform::Bundle::main().localizedString("CheckingPrefix");
    const qsizetype app = report.indexOf(prefix + "Tool.app\n" + mApp + "/Contents/Info.plist\n");
    const qsizetype loose = report.indexOf(prefix + "loose.plist\n" + mFile + "\n");
    EXPECT_GT(app, 0);
    EXPECT_GT(loose, app);
}
