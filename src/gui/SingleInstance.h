// One window per user: a second launch hands its files to the running window
// over a local socket and exits.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace gui {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // name: the socket's name; serverName() gives the per-user default.
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The default socket, so that each user (and each test with its own
    // XDG_RUNTIME_DIR) has one running window: in $XDG_RUNTIME_DIR when that
    // is a folder of ours that only we can enter, else in ostrel-UID made so
    // in the temporary folder. Empty when neither is to be had: no hand-over
    // then, for another user could listen in a shared folder.
    static QString serverName();

    // Hands the files (absolute paths; none asks only to raise the window) to
    // a running instance of our own user. True when it took them.
    bool handOver(const QStringList& paths, int timeoutMs = 5000);

    // Becomes the running instance, taking files only from launches of our
    // own user; false if the socket cannot be made.
    bool listen();

    // The message that carries paths, and its reading. Exposed for tests.
    static QByteArray encode(const QStringList& paths);
    enum class Decoded { Incomplete, Complete, Invalid };
    static Decoded decode(const QByteArray& buffer, QStringList& paths);

    // A hand-over message is at most this large; anything longer is dropped.
    static constexpr qsizetype kMaxMessageSize = 16 * 1024 * 1024;

signals:
    // Files handed over by another launch, in its order (maybe none).
    void filesReceived(const QStringList& paths);

private:
    void acceptConnection();
    void readFrom(QLocalSocket* socket);

    QString mName;
    QLocalServer* mServer = nullptr;
};

} // namespace gui
