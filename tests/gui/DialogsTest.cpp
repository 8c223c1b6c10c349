// The Open dialog, the save sheet and the print sheet, driven as a user would:
// names typed, buttons pressed, with the dialogs Qt shows on the offscreen platform.
#include "Support.h"

#include "gui/BundleOpenDialog.h"
#include "gui/DocumentSaveDialog.h"
#include "gui/MainWindow.h"
#include "platform/Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using gui::BundleOpenDialog;
using gui::DocumentSaveDialog;
using gui::MainWindow;
using namespace testsupport;

namespace {

// Calls act on the next visible dialog of type T once it is up (for dialogs
// that run their own event loop).
template <typename T> void whenShown(const std::function<void(T*)>& act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* w = qobject_cast<T*>(top); w && w->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(w);
                return;
            }
        }
    });
    timer->start();
}

void typeName(QFileDialog* dialog, const QString& text)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(text);
}

QString nameField(QFileDialog* dialog)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    return edit ? edit->text() : QString();
}

// Sends Save As and returns its sheet once it is up.
DocumentSaveDialog* saveSheet(MainWindow& window)
{
    action(window, "actionSaveAs")->trigger();
    return waitForWidget<DocumentSaveDialog>();
}

class DialogsTest : public ::testing::Test {
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

TEST_F(DialogsTest, BundleDirectoriesAreKnownByExtensionOrContents)
{
    QDir(mDir.path()).mkdir("Upper.FRAMEWORK");
    QDir(mDir.path()).mkdir("Ext.appex");
    writeFile(mDir.filePath("file.app"), "not a folder");
    const struct {
        QString path;
        bool bundle;
    } rows[] = {
        {mApp, true},
        {mFlat, true},
        {mDir.filePath("Upper.FRAMEWORK"), true},
        {mDir.filePath("Ext.appex"), true},
        {mPlain, false},
        {mFile, false},
        {mDir.filePath("file.app"), false},
        {mDir.filePath("missing.app"), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(gui::isBundleDirectory(row.path), row.bundle) << row.path.toStdString();
}

TEST_F(DialogsTest, OpenDialogChoosesBundlesAsOneItemAndEntersPlainFolders)
{
    const struct {
        QString typed;
        bool accepted;
        QStringList chosen;
    } rows[] = {
        {"\"Tool.app\"", true, {mApp + "/"}},
        {"\"loose.plist\" \"Tool.app\" \"Flat\"", true, {mFile, mApp + "/", mFlat + "/"}},
        {"\"Plain\"", false, {}},
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

TEST_F(DialogsTest, ActivatingABundleInTheListChoosesItRatherThanEnteringIt)
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

TEST_F(DialogsTest, OpenCommandChecksTheChosenBundleAndCancelWritesNothing)
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
    const QString report = window.textStorage().string();
    const QString prefix = platform::Bundle::main().localizedString("CheckingPrefix");
    const qsizetype app = report.indexOf(prefix + "Tool.app\n" + mApp + "/Contents/Info.plist\n");
    const qsizetype loose = report.indexOf(prefix + "loose.plist\n" + mFile + "\n");
    EXPECT_GT(app, 0);
    EXPECT_GT(loose, app);
}

TEST_F(DialogsTest, SaveProposesItsNameEachTimeAndWritesTheDocument)
{
    MainWindow window;
    window.show();
    const QString saveDir = mDir.filePath("saved");
    QDir().mkpath(saveDir);
    // Typed without the extension: the required type adds it.
    const QString typed[] = {"Other", "Ostrel Log.rtfd"};
    for (const QString& name : typed) {
        auto* dialog = saveSheet(window);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(nameField(dialog), "Ostrel Log.rtfd");
        dialog->setDirectory(saveDir);
        typeName(dialog, name);
        dialog->accept();
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
    }
    EXPECT_EQ(QDir(saveDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"Ostrel Log.rtfd", "Other.rtfd"}));
    QFile rtf(saveDir + "/Other.rtfd/TXT.rtf");
    ASSERT_TRUE(rtf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(rtf.readAll().startsWith("{\\rtf1"));
}

TEST_F(DialogsTest, SavingOverADocumentAsksAndReplacesItWhole)
{
    MainWindow window;
    window.show();
    const QString target = mDir.filePath("Ostrel Log.rtfd");
    writeFile(target + "/stray.txt", "left from before");

    const struct {
        QMessageBox::StandardButton answer;
        bool replaced;
    } rows[] = {{QMessageBox::No, false}, {QMessageBox::Yes, true}};
    for (const auto& row : rows) {
        auto* dialog = saveSheet(window);
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(mDir.path());
        bool asked = false;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            asked = true;
            box->button(row.answer)->click();
        });
        dialog->accept();
        EXPECT_TRUE(asked);
        if (!row.replaced) {
            EXPECT_TRUE(dialog->isVisible()); // still choosing
            dialog->reject();
        }
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(QFileInfo::exists(target + "/stray.txt"), !row.replaced);
        EXPECT_EQ(QFileInfo::exists(target + "/TXT.rtf"), row.replaced);
    }
}

TEST_F(DialogsTest, CancelledOrFailedSaveLeavesTheReportAndSaysWhy)
{
    MainWindow window;
    window.show();
    const QString report = window.textStorage().string();

    auto* dialog = saveSheet(window);
    ASSERT_NE(dialog, nullptr);
    dialog->setDirectory(mDir.path());
    dialog->reject();
    QCoreApplication::processEvents();
    EXPECT_FALSE(QFileInfo::exists(mDir.filePath("Ostrel Log.rtfd")));

    // A folder that does not exist: the user hears of it.
    dialog = saveSheet(window);
    ASSERT_NE(dialog, nullptr);
    typeName(dialog, mDir.filePath("gone/Report"));
    dialog->accept();
    auto* box = waitForWidget<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().contains(mDir.filePath("gone/Report.rtfd"))) << box->text().toStdString();
    box->accept();
    EXPECT_EQ(window.textStorage().string(), report);
}

TEST_F(DialogsTest, PrintSheetPrintsToPdfUnderTheJobTitleOrSaysItCannot)
{
    MainWindow window;
    window.show();
    window.openPaths({mFile});
    const QString pdfs[] = {mDir.filePath("printed.pdf"), mDir.filePath("gone/printed.pdf")};
    for (const QString& pdf : pdfs) {
        const bool writable = QFileInfo(QFileInfo(pdf).path()).isDir();
        action(window, "actionPrint")->trigger();
        auto* dialog = waitForWidget<QPrintDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        // Print to file, the one printer every machine has.
        auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
        ASSERT_NE(fileName, nullptr);
        fileName->setText(pdf);
        dialog->accept();
        if (!writable) {
            auto* box = waitForWidget<QMessageBox>();
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->text().contains(pdf)) << box->text().toStdString();
            box->accept();
            continue;
        }
        ASSERT_TRUE(waitFor([&] { return QFileInfo(pdf).size() > 0; }));
        QFile file(pdf);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        // The title is written as UTF-16 in the document information.
        const QString title = platform::Bundle::main().localizedString("Ostrel Log");
        QByteArray utf16 = "\xfe\xff";
        for (QChar c : title)
            utf16 += char(c.unicode() >> 8), utf16 += char(c.unicode() & 0xff);
        EXPECT_TRUE(bytes.contains("/Title (" + utf16 + ")")) << bytes.left(2000).toStdString();
        EXPECT_TRUE(bytes.contains("/Subtype /Image")); // the icons are printed
    }
}

TEST_F(DialogsTest, ExportAsPdfWritesAndReplacesTheFile)
{
    MainWindow window;
    const QString pdf = mDir.filePath("report.pdf");
    writeFile(pdf, "old");
    QString why;
    ASSERT_TRUE(window.exportPdf(pdf, &why)) << why.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith("%PDF-"));
    // Nothing is left beside it.
    EXPECT_EQ(QDir(mDir.path()).entryList({"*.pdf", ".ostrel*"}, QDir::Files | QDir::Hidden),
              QStringList({"report.pdf"}));
    EXPECT_FALSE(window.exportPdf(mDir.filePath("gone/report.pdf"), &why));
    EXPECT_FALSE(why.isEmpty());
}
