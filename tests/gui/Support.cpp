#include "Support.h"

#include "platform/UserDefaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace testsupport {

namespace {

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Whatever Qt itself remembers (the file dialogs' state) stays out of
        // the user's configuration.
        static QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        static int argc = 1;
        static char name[] = "test_gui";
        static char* argv[] = {name, nullptr};
        mApp = std::make_unique<QApplication>(argc, argv);
        useFreshSettings();
    }
    void TearDown() override { mApp.reset(); }

private:
    std::unique_ptr<QApplication> mApp;
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

} // namespace

QByteArray infoPlist(const QList<std::pair<QString, QString>>& entries)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (const auto& [key, value] : entries)
        xml += "<key>" + key.toUtf8() + "</key><string>" + value.toUtf8() + "</string>\n";
    xml += "</dict>\n</plist>\n";
    return xml;
}

QString makeBundle(const QString& dir, const QString& name, const QByteArray& plist)
{
    const QString bundle = QDir(dir).filePath(name);
    writeFile(bundle + QStringLiteral("/Contents/Info.plist"), plist);
    return bundle;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void useFreshSettings()
{
    static QTemporaryDir dir;
    static int count = 0;
    const QString path = dir.filePath(QStringLiteral("settings-%1.ini").arg(++count));
    platform::UserDefaults::standard().clearVolatile();
    platform::UserDefaults::standard().useStore(std::make_unique<QSettings>(path, QSettings::IniFormat));
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

} // namespace testsupport
