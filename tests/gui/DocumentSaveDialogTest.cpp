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

TEST_F(DocumentSaveDialogTest, CancelledOrFailedSaveLeavesTheReportAndSaysWhy)
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
