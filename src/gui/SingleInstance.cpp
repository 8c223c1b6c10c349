#include "gui/SingleInstance.h"

#include "platform/FileUrl.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

namespace gui {

// The message: this header, each path (local encoding) ended by a NUL, and
// one more NUL. A path never holds a NUL, and never is empty.
static const QByteArray kHeader = QByteArrayLiteral("ostrel-open 1\n");
static const QByteArray kReply = QByteArrayLiteral("ok\n");

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), mName(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("ostrel.socket"));
}

QByteArray SingleInstance::encode(const QStringList& paths)
{
    QByteArray message = kHeader;
    for (const QString& path : paths) {
        if (path.isEmpty())
            continue;
        message += platform::encodeFileName(path);
        message += '\0';
    }
    message += '\0';
    return message;
}

SingleInstance::Decoded SingleInstance::decode(const QByteArray& buffer, QStringList& paths)
{
    paths.clear();
    const qsizetype headerSize = std::min(buffer.size(), kHeader.size());
    if (buffer.left(headerSize) != kHeader.left(headerSize))
        return Decoded::Invalid;
    if (buffer.size() < kHeader.size())
        return Decoded::Incomplete;
    qsizetype pos = kHeader.size();
    while (pos < buffer.size()) {
        const qsizetype end = buffer.indexOf('\0', pos);
        if (end < 0)
            break;
        if (end == pos)
            return Decoded::Complete;
        paths.append(platform::decodeFileName(buffer.mid(pos, end - pos)));
        pos = end + 1;
    }
    paths.clear();
    return buffer.size() > kMaxMessageSize ? Decoded::Invalid : Decoded::Incomplete;
}

bool SingleInstance::handOver(const QStringList& paths, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(mName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(encode(paths));
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // Taken only when the running window says so.
    QByteArray reply;
    while (reply.size() < kReply.size()) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(timeoutMs))
            return false;
        reply += socket.read(kReply.size() - reply.size());
    }
    socket.disconnectFromServer();
    return reply == kReply;
}

bool SingleInstance::listen()
{
    mServer = new QLocalServer(this);
    mServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(mServer, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    if (mServer->listen(mName))
        return true;
    if (mServer->serverError() == QAbstractSocket::AddressInUseError) {
        // Left behind by a window that did not end cleanly (one that answers
        // would have taken the files already).
        QLocalServer::removeServer(mName);
        if (mServer->listen(mName))
            return true;
    }
    delete mServer;
    mServer = nullptr;
    return false;
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = mServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // A launch says what it has at once; one that hangs is not waited for.
        QTimer::singleShot(10000, socket, &QLocalSocket::abort);
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket* socket)
{
    // The bytes so far live on the socket until the message is whole.
    QByteArray buffer = socket->property("ostrelBuffer").toByteArray();
    buffer += socket->readAll();
    QStringList paths;
    switch (decode(buffer, paths)) {
    case Decoded::Incomplete: socket->setProperty("ostrelBuffer", buffer); return;
    case Decoded::Invalid: socket->abort(); return;
    case Decoded::Complete: break;
    }
    socket->setProperty("ostrelBuffer", QVariant());
    socket->write(kReply);
    socket->flush();
    socket->disconnectFromServer();
    emit filesReceived(paths);
}

} // namespace gui
