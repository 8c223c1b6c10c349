// The hand-over between launches: the message on the socket, a second launch
// giving its files to the first, a socket left behind by a crash, and where
// the socket may be and who may be at its other end.
#include "Support.h"

#include "CaseRows.h"

#include "gui/SingleInstance.h"
#include "platform/FileUrl.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using gui::SingleInstance;
using testsupport::waitFor;

TEST(SingleInstance, MessagesDecodeWholeOnlyWhenComplete)
{
    const QStringList paths = {"/a/b c.app/", "/tmp/new\nline.plist", "/ünï/cødé",
                               platform::decodeFileName("/not/utf-8/caf\xE9.app/")};
    const QByteArray message = SingleInstance::encode(paths);
    using D = SingleInstance::Decoded;
    const struct {
        QByteArray bytes;
        D result;
        QStringList paths;
    } rows[] = {
        {message, D::Complete, paths},
        {SingleInstance::encode({}), D::Complete, {}},
        {message.left(5), D::Incomplete, {}},    // inside the header
        {message.chopped(1), D::Incomplete, {}}, // the end mark not yet there
        {message.chopped(3), D::Incomplete, {}}, // inside a path
        {"GET / HTTP/1.1\r\n", D::Invalid, {}},
        {QByteArray("ostrel-open 1\n") + QByteArray(SingleInstance::kMaxMessageSize, 'x'), D::Invalid, {}},
    };
    for (const auto& row : rows) {
        QStringList got{"stale"};
        EXPECT_EQ(SingleInstance::decode(row.bytes, got), row.result) << row.bytes.left(40).toStdString();
        EXPECT_EQ(got, row.paths);
    }
    // Empty names cannot be told from the end mark, so they are not sent.
    QStringList got;
    EXPECT_EQ(SingleInstance::decode(SingleInstance::encode({"", "/x"}), got), D::Complete);
    EXPECT_EQ(got, QStringList({"/x"}));
}

// A socket left by a crash (bound, its process gone: nobody answers) is
// taken over by the next window, which then hears each later launch.
TEST(SingleInstance, ASecondLaunchHandsItsFilesToTheFirstEvenAfterACrash)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("ostrel.socket");
    EXPECT_FALSE(SingleInstance(name).handOver({"/x"}, 500)); // no window runs yet
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(name));
    EXPECT_FALSE(SingleInstance(name).handOver({"/x"}, 500));

    SingleInstance first(name);
    ASSERT_TRUE(first.listen());
    QList<QStringList> received;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList& p) { received << p; });
    const QList<QStringList> launches = {{"/one.app/", "/two.plist"}, {}, {"/three\nwith newline"}};
    for (const QStringList& paths : launches) {
        // The second launch blocks on the socket; the first answers from its event loop.
        auto handed = std::async(std::launch::async, [&] { return SingleInstance(name).handOver(paths); });
        ASSERT_TRUE(waitFor([&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        EXPECT_TRUE(handed.get());
    }
    EXPECT_EQ(received, launches);
}

namespace {

constexpr uid_t kOtherUser = 65534; // nobody

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// What may stand where the socket's folder would be.
enum Folder { Nothing, Private, Open, Link, Foreign };

bool makeFolder(const QString& path, Folder folder)
{
    const QByteArray name = encoded(path);
    switch (folder) {
    case Nothing: return true;
    case Private: return ::mkdir(name.constData(), 0700) == 0;
    case Open: return ::mkdir(name.constData(), 0755) == 0 && ::chmod(name.constData(), 0755) == 0;
    case Link: return makeFolder(path + ".real", Private) && QFile::link(path + ".real", path);
    case Foreign: return makeFolder(path, Private) && ::chown(name.constData(), kOtherUser, kOtherUser) == 0;
    }
    return false;
}

// Runs body (system calls only: the test has threads) in a process of another user.
pid_t asOtherUser(const std::function<bool()>& body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setuid(kOtherUser) == 0 && body() ? 0 : 1);
    return child;
}

bool exitedWell(pid_t child)
{
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

// XDG_RUNTIME_DIR is used only when it is a folder of ours that only we can
// enter; else ostrel-UID in the temporary folder, made so or found so; else none.
TEST(SingleInstance, TheSocketIsOnlyInAFolderOfOursThatOnlyWeCanEnter)
{
    const QStringList folders{"none", "private", "open", "link", "foreign"};
    QTemporaryDir dir;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    int n = 0;
    for (const QStringList& cells : caseRows("socket-folders.tsv")) {
        const std::string name = cells[0].toStdString();
        const auto runtimeFolder = Folder(folders.indexOf(cells.value(1)));
        const auto ownFolder = Folder(folders.indexOf(cells.value(2)));
        const QString where = cells.value(3);
        ASSERT_TRUE(runtimeFolder >= Nothing && ownFolder >= Nothing) << name;
        if ((runtimeFolder == Foreign || ownFolder == Foreign) && ::geteuid() != 0)
            continue; // only root can give a folder to another user
        // A shared temporary folder like /tmp, and a runtime folder in it.
        const QString temporary = dir.filePath(QString::number(++n));
        ASSERT_TRUE(::mkdir(encoded(temporary).constData(), 0777) == 0 &&
                    ::chmod(encoded(temporary).constData(), 01777) == 0);
        const QString run = temporary + "/run";
        const QString own = temporary + QStringLiteral("/ostrel-%1").arg(::geteuid());
        ASSERT_TRUE(makeFolder(run, runtimeFolder) && makeFolder(own, ownFolder)) << name;
        qputenv("TMPDIR", encoded(temporary));
        qputenv("XDG_RUNTIME_DIR", runtimeFolder == Nothing ? QByteArray() : encoded(run));

        struct stat before {};
        ::lstat(encoded(own).constData(), &before);
        const QString expected = where == "runtime" ? run + "/ostrel.socket"
                                 : where == "own"   ? own + "/ostrel.socket"
                                                    : QString();
        EXPECT_EQ(SingleInstance::serverName().toStdString(), expected.toStdString()) << name;
        struct stat after {};
        ::lstat(encoded(own).constData(), &after);
        if (where == "own")
            EXPECT_TRUE(S_ISDIR(after.st_mode) && after.st_uid == ::geteuid() && (after.st_mode & 07777) == 0700)
                << name;
        else
            EXPECT_EQ(after.st_mode, before.st_mode) << name; // found as it was, left as it was
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTemporary);
}

// Neither end talks to a process of another user, even where the socket
// itself would let it in.
TEST(SingleInstance, NoFilesGoToOrComeFromAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "takes root, to run a process as another user";
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(encoded(dir.path()).constData(), 0777), 0);
    const QString name = dir.filePath("ostrel.socket");
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded(name).constData(), encoded(name).size());
    const auto* socketAddress = reinterpret_cast<const sockaddr*>(&address);
    char buffer[64];

    // Another user listens: the launch tells it nothing (the listener
    // fails when it hears anything).
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    pid_t child = asOtherUser([&] {
        const bool listening = ::bind(listener, socketAddress, sizeof address) == 0 && ::listen(listener, 1) == 0;
        const int peer = ::write(ready[1], "r", 1) == 1 && listening ? ::accept(listener, nullptr, nullptr) : -1;
        return peer >= 0 && ::read(peer, buffer, sizeof buffer) <= 0;
    });
    ASSERT_EQ(::read(ready[0], buffer, 1), 1);
    EXPECT_FALSE(SingleInstance(name).handOver({"/secret.app"}, 2000));
    EXPECT_TRUE(exitedWell(child)) << "the other user heard the files";
    ::close(listener);
    QFile::remove(name);

    // Another user connects to ours: the window takes nothing from it.
    SingleInstance first(name);
    ASSERT_TRUE(first.listen());
    ASSERT_EQ(::chmod(encoded(name).constData(), 0777), 0);
    bool received = false;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList&) { received = true; });
    const QByteArray message = SingleInstance::encode({"/planted.app"});
    const int client = ::socket(AF_UNIX, SOCK_STREAM, 0);
    child = asOtherUser([&] {
        return ::connect(client, socketAddress, sizeof address) == 0 &&
               ::write(client, message.constData(), message.size()) == message.size() &&
               ::read(client, buffer, sizeof buffer) <= 0;
    });
    // The window's event loop runs while the other process tries.
    auto done = std::async(std::launch::async, [&] { return exitedWell(child); });
    ASSERT_TRUE(waitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(done.get()) << "the window answered another user";
    ::close(client);
    QCoreApplication::processEvents();
    EXPECT_FALSE(received);
}
