#include "gui/SingleInstance.h"

#include "platform/FileUrl.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gui {

// The message: this header, each path (local encoding) ended by a NUL, and
// one more NUL. A path never holds a NUL, and never is empty.
static const QByteArray kHeader = QByteArrayLiteral("ostrel-open 1\n");
static const QByteArray kReply = QByteArrayLiteral("ok\n");

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), mName(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

namespace {

// True when path is a folder (not a link to one) of ours that only we can enter.
bool isPrivateFolder(const QString& path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 07777) == 0700;
}

// True when the process at the other end of the connected socket runs as our user.
bool peerIsUs(qintptr descriptor)
{
    struct ucred peer {};
    socklen_t size = sizeof peer;
    return descriptor >= 0 && ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           size == sizeof peer && peer.uid == ::geteuid();
}

} // namespace

QString SingleInstance::serverName()
{
    const QString socket = QStringLiteral("ostrel.socket");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return QDir(runtime).filePath(socket);
    // One made here is ours and private; one found here is taken only if it is so.
    const QString own = QDir(QDir::tempPath()).filePath(QStringLiteral("ostrel-%1").arg(::geteuid()));
    const QByteArray ownName = QFile::encodeName(own);
    if (::mkdir(ownName.constData(), 0700) == 0)
        ::chmod(ownName.constData(), 0700); // whatever the umask took away
    return isPrivateFolder(own) ? QDir(own).filePath(socket) : QString();
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
    if (mName.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(mName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    // The files are told only to a window of our own user.
    if (!peerIsUs(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
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
    if (mName.isEmpty())
        return false;
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
        if (!peerIsUs(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
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
