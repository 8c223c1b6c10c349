// Helpers of the window tests: one QApplication on the offscreen platform,
// settings in a temporary file, files and bundles made on the fly.
#pragma once

#include "TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QFileDialog>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace testsupport {

// An information property list with the given keys (string values).
QByteArray infoPlist(const QList<std::pair<QString, QString>>& entries);

// name/Contents/Info.plist under dir, holding plist; returns the bundle's path.
QString makeBundle(const QString& dir, const QString& name, const QByteArray& plist);

// Runs events until condition holds or the time is up; returns the condition.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Fresh, empty settings for each test.
void useFreshSettings();

// The window's action of that object name.
inline QAction* action(QWidget& window, const char* name)
{
    return window.findChild<QAction*>(QLatin1String(name));
}

// A visible top-level widget of type T, or none.
template <typename T> T* visibleTopLevel()
{
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* w = qobject_cast<T*>(top); w && w->isVisible())
            return w;
    }
    return nullptr;
}

// The first visible top-level widget of type T, waiting for it.
template <typename T> T* waitForWidget(int timeoutMs = 5000)
{
    T* found = nullptr;
    waitFor([&] { return (found = visibleTopLevel<T>()) != nullptr; }, timeoutMs);
    return found;
}

// Calls act on the next visible dialog of type T once it is up (for dialogs
// that run their own event loop).
template <typename T> void whenShown(const std::function<void(T*)>& act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (T* w = visibleTopLevel<T>()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}

// Types text into a file dialog's name field; the field's text.
void typeName(QFileDialog* dialog, const QString& text);
QString nameField(QFileDialog* dialog);

} // namespace testsupport
