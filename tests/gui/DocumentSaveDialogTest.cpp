// The save sheet, driven as a user would: names typed, buttons pressed, with
// the dialogs Qt shows on the offscreen platform.
#include "Support.h"

#include "gui/DocumentSaveDialog.h"
#include "gui/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include <gtest/gtest.h>

using gui::DocumentSaveDialog;
using gui::MainWindow;
using namespace testsupport;

namespace {

// Sends Save As and returns its sheet once it is up.
DocumentSaveDialog* saveSheet(MainWindow& window)
{
    action(window, "actionSaveAs")->trigger();
    return waitForWidget<DocumentSaveDialog>();
}

class DocumentSaveDialogTest : public ::testing::Test {
protected:
    void SetUp() override { useFreshSettings(); }

    QTemporaryDir mDir;
};

} // namespace

TEST_F(DocumentSaveDialogTest, SaveProposesItsNameEachTimeAndWritesTheDocument)
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

TEST_F(DocumentSaveDialogTest, SavingOverADocumentAsksAndReplacesItWhole)
{
    MainWindow window;
    window.show();
    const QString target = mDir.filePath("Ostrel Log.rtfd");
    writeFile(target + "/TXT.rtf", "{\\rtf1{\\*\\generator Ostrel 1.0;}the old report}");
    writeFile(target + "/old16x16.png", "left from before");

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
        EXPECT_EQ(QFileInfo::exists(target + "/old16x16.png"), !row.replaced);
        QFile text(target + "/TXT.rtf");
        ASSERT_TRUE(text.open(QIODevice::ReadOnly));
        EXPECT_EQ(!text.readAll().contains("the old report"), row.replaced);
    }
}

TEST_F(DocumentSaveDialogTest, SheetsOpenInTheDocumentsFolderThenTheLastOneNeverTheWorkingDirectory)
{
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(mDir.path()));
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString first = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    MainWindow window;
    window.show();
    const QString saveDir = QDir(mDir.path()).canonicalPath() + "/saved";
    QDir().mkpath(saveDir);
    const struct {
        const char* action;
        QString folder;
    } rows[] = {{"actionSaveAs", first}, {"actionExportPdf", saveDir}, {"actionSaveAs", saveDir}};
    for (const auto& row : rows) {
        action(window, row.action)->trigger();
        auto* dialog = waitForWidget<DocumentSaveDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), row.folder) << row.action;
        dialog->setDirectory(saveDir);
        if (QFileInfo::exists(saveDir + "/" + nameField(dialog)))
            dialog->reject();
        else
            dialog->accept();
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
    }
    EXPECT_EQ(QDir(saveDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"Ostrel Log.pdf", "Ostrel Log.rtfd"}));
    QDir::setCurrent(before);
}

TEST_F(DocumentSaveDialogTest, ATargetThatWouldBeRefusedIsRefusedBeforeAnyReplaceQuestion)
{
    MainWindow window;
    window.show();
    const QString checked = mDir.filePath("checked.pdf");
    writeFile(checked, "(1)");
    writeFile(mDir.filePath("Notes.rtfd/TXT.rtf"), "{\\rtf1 another program's}");
    window.openPaths({checked});
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }));
    const struct {
        const char* action;
        const char* name;
        const char* reason;
    } rows[] = {
        {"actionSaveAs", "Notes.rtfd", "did not write"},
        {"actionExportPdf", "checked.pdf", "being checked"},
    };
    for (const auto& row : rows) {
        action(window, row.action)->trigger();
        auto* dialog = waitForWidget<DocumentSaveDialog>();
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(mDir.path());
        typeName(dialog, row.name);
        QStringList asked;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            asked << box->text();
            box->button(box->buttons().contains(box->button(QMessageBox::No)) ? QMessageBox::No : QMessageBox::Ok)
                ->click();
        });
        dialog->accept();
        ASSERT_EQ(asked.size(), 1) << row.name;
        EXPECT_TRUE(asked[0].contains(row.reason)) << asked[0].toStdString();
        EXPECT_TRUE(dialog->isVisible()); // still choosing
        dialog->reject();
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
    }
    QFile text(mDir.filePath("Notes.rtfd/TXT.rtf"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    EXPECT_EQ(text.readAll(), "{\\rtf1 another program's}");
}
