// ostrel: the desktop application. One window per user; a second launch hands
// its files to the running window and exits.
#include "gui/MainWindow.h"
#include "gui/ReportView.h"
#include "gui/SingleInstance.h"
#include "platform/FileReplace.h"
#include "platform/FileUrl.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cstdio>
#include <string_view>

namespace {

void printUsage()
{
    std::printf("Usage: ostrel [OPTION]... [FILE|BUNDLE]...\n"
                "Checks the information property lists of macOS bundles in a window.\n"
                "Files named here are checked in order; if Ostrel already runs, they go to its window.\n"
                "\n"
                "Options:\n"
                "  -h, --help     Show this help and exit.\n"
                "  --version      Show the version and exit.\n"
                "  --             Take the arguments after it as files, even one named --help.\n");
}

// For the end-to-end tests, the benchmark and the screenshot, not for users:
// after each batch the report's text goes to OSTREL_GUI_REPORT_OUT and a
// picture of the window to OSTREL_GUI_SCREENSHOT.
void writeAutomationOutputs(gui::MainWindow& window)
{
    window.flushReport();
    const QString reportOut = qEnvironmentVariable("OSTREL_GUI_REPORT_OUT");
    if (!reportOut.isEmpty()) {
        if (const QString why = platform::replaceFile(reportOut, window.textView()->labelledText().toUtf8());
            !why.isEmpty())
            std::fprintf(stderr, "ostrel: cannot write %s: %s\n", qPrintable(reportOut), qPrintable(why));
    }
    const QString screenshot = qEnvironmentVariable("OSTREL_GUI_SCREENSHOT");
    if (!screenshot.isEmpty()) {
        window.textView()->layOutAll();
        QCoreApplication::processEvents(); // the scroll bar shown as it now needs
        window.grab().save(screenshot);
    }
}

} // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is asked for: they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        if (argument == "--help" || argument == "-h") {
            printUsage();
            return 0;
        }
        if (argument == "--version") {
            std::printf("ostrel %s\n", OSTREL_VERSION);
            return 0;
        }
    }

    // Without a display Qt would abort; say what is wrong instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "ostrel: no display to open a window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                             "To check files in a terminal, use ostrel-check.\n");
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ostrel"));
    QApplication::setApplicationVersion(QStringLiteral(OSTREL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.ostrel.Ostrel"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("org.ostrel.Ostrel"), QIcon(QStringLiteral(":/icons/org.ostrel.Ostrel.png"))));

    // From argv, which QApplication has cleared of its own options: Qt's
    // arguments() would turn the bytes of names that are not UTF-8 into U+FFFD.
    QStringList paths;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        const QString argument = platform::decodeFileName(QByteArray(argv[i]));
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else {
            // Absolute, so that a running window elsewhere finds them.
            paths.append(platform::absoluteFilePath(argument));
        }
    }

    // OSTREL_GUI_QUIT_WHEN_DONE: quit once the launch's files are checked,
    // as a window of its own.
    const bool quitWhenDone = qEnvironmentVariableIsSet("OSTREL_GUI_QUIT_WHEN_DONE");
    const QString socketName = gui::SingleInstance::serverName();
    gui::SingleInstance instance(socketName);
    if (!quitWhenDone) {
        if (instance.handOver(paths))
            return 0;
        if (socketName.isEmpty())
            std::fprintf(stderr, "ostrel: no private folder for the socket; files from other launches open "
                                 "their own window\n");
        else if (!instance.listen())
            std::fprintf(stderr, "ostrel: cannot listen for files from other launches\n");
    }

    gui::MainWindow window;
    QObject::connect(&instance, &gui::SingleInstance::filesReceived, &window, [&window](const QStringList& handed) {
        window.raise();
        window.activateWindow();
        window.openPaths(handed);
    });
    window.show();

    if (qEnvironmentVariableIsSet("OSTREL_GUI_REPORT_OUT") || qEnvironmentVariableIsSet("OSTREL_GUI_SCREENSHOT"))
        QObject::connect(&window, &gui::MainWindow::batchFinished, &window,
                         [&window] { writeAutomationOutputs(window); });

    if (quitWhenDone)
        QObject::connect(&window, &gui::MainWindow::batchFinished, &window, [&window] {
            // The last line on the screen, not only in the text.
            window.flushReport();
            window.repaint();
            QApplication::quit();
        });
    QTimer::singleShot(0, &window, [&window, paths] { window.openPaths(paths); });
    return app.exec();
}
