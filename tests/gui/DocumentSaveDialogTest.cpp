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

class DocumentSaveDialogTest : public ::testing::Test {
protected:
    void SetUp() override { useFreshSettings(); }

    QTemporaryDir mDir;
};

} // namespace

// Each sheet proposes its document's name, adds the required extension to a
// name typed without it, and opens in the documents folder, then in the last
// one, never in the working directory.
TEST_F(DocumentSaveDialogTest, SheetsProposeTheirNameAndOpenInTheDocumentsFolderThenTheLastOne)
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
        const char* proposed;
        QString typed;
    } rows[] = {
        {"actionSaveAs", first, "Ostrel Log.rtfd", "Other"},
        {"actionExportPdf", saveDir, "Ostrel Log.pdf", {}},
        {"actionSaveAs", saveDir, "Ostrel Log.rtfd", {}},
    };
    for (const auto& row : rows) {
        action(window, row.action)->trigger();
        auto* dialog = waitForWidget<DocumentSaveDialog>();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        EXPECT_EQ(dialog->directory().absolutePath(), row.folder) << row.action;
        EXPECT_EQ(nameField(dialog), row.proposed);
        dialog->setDirectory(saveDir);
        if (!row.typed.isEmpty())
            typeName(dialog, row.typed);
        dialog->accept();
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
    }
    EXPECT_EQ(QDir(saveDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList({"Ostrel Log.pdf", "Ostrel Log.rtfd", "Other.rtfd"}));
    EXPECT_TRUE(testsupport::readFile(saveDir + "/Other.rtfd/TXT.rtf").startsWith("{\\rtf1"));
    QDir::setCurrent(before);
}

// A target that would be refused is refused before any question whether to
// replace it; a document of ours is replaced whole once the user says so.
TEST_F(DocumentSaveDialogTest, SavingOverADocumentAsksAndATargetThatWouldBeRefusedIsRefusedFirst)
{
    MainWindow window;
    window.show();
    const QString target = mDir.filePath("Ostrel Log.rtfd");
    writeFile(target + "/TXT.rtf", "{\\rtf1{\\*\\generator Ostrel 1.0;}the old report}");
    writeFile(target + "/old16x16.png", "left from before");
    const QString checked = mDir.filePath("checked.pdf");
    writeFile(checked, "(1)");
    writeFile(mDir.filePath("Notes.rtfd/TXT.rtf"), "{\\rtf1 another program's}");
    window.openPaths({checked});
    ASSERT_TRUE(waitFor([&] { return !window.isBusy(); }));
    const struct {
        const char* action;
        const char* name;
        QMessageBox::StandardButton answer;
        const char* asked;
    } rows[] = {
        {"actionSaveAs", "Ostrel Log.rtfd", QMessageBox::No, "Do you want to replace it?"},
        {"actionSaveAs", "Notes.rtfd", QMessageBox::Ok, "did not write"},
        {"actionExportPdf", "checked.pdf", QMessageBox::Ok, "being checked"},
        {"actionSaveAs", "Ostrel Log.rtfd", QMessageBox::Yes, "Do you want to replace it?"},
    };
    for (const auto& row : rows) {
        const bool replaces = row.answer == QMessageBox::Yes;
        action(window, row.action)->trigger();
        auto* dialog = waitForWidget<DocumentSaveDialog>();
        ASSERT_NE(dialog, nullptr);
        dialog->setDirectory(mDir.path());
        typeName(dialog, row.name);
        QStringList asked;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            asked << box->text();
            box->button(row.answer)->click();
        });
        dialog->accept();
        ASSERT_EQ(asked.size(), 1) << row.name;
        EXPECT_TRUE(asked[0].contains(row.asked)) << asked[0].toStdString();
        EXPECT_EQ(dialog->isVisible(), !replaces); // still choosing
        if (!replaces)
            dialog->reject();
        ASSERT_TRUE(waitFor([&] { return !dialog->isVisible(); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(QFileInfo::exists(target + "/old16x16.png"), !replaces);
        EXPECT_EQ(testsupport::readFile(target + "/TXT.rtf").contains("the old report"), !replaces);
    }
    EXPECT_EQ(testsupport::readFile(mDir.filePath("Notes.rtfd/TXT.rtf")), "{\\rtf1 another program's}");
}
