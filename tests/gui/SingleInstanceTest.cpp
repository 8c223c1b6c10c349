// The hand-over between launches: the message on the socket, a second launch
// giving its files to the first, a socket left behind by a crash, and where
// the socket may be and who may be at its other end.
#include "Support.h"

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

TEST(SingleInstance, ASecondLaunchHandsItsFilesToTheFirst)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("ostrel.socket");

    SingleInstance second(name);
    EXPECT_FALSE(second.handOver({"/x"}, 500)); // no window runs yet

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

TEST(SingleInstance, ASocketLeftByACrashIsTakenOver)
{
    QTemporaryDir dir;
    const QString name = dir.filePath("ostrel.socket");
    // A bound socket whose process is gone: the file stays, nobody answers.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(name));

    SingleInstance instance(name);
    EXPECT_FALSE(instance.handOver({"/x"}, 500));
    ASSERT_TRUE(instance.listen());
    bool received = false;
    QObject::connect(&instance, &SingleInstance::filesReceived, [&](const QStringList&) { received = true; });
    auto handed = std::async(std::launch::async, [&] { return SingleInstance(name).handOver({"/y"}); });
    ASSERT_TRUE(waitFor([&] { return received; }));
    EXPECT_TRUE(handed.get());
}

namespace {

constexpr uid_t kOtherUser = 65534; // nobody

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// A folder of the given mode, given to another user where asked (which takes root).
bool makeFolder(const QString& path, mode_t mode, bool otherUser = false)
{
    return ::mkdir(encoded(path).constData(), mode) == 0 && ::chmod(encoded(path).constData(), mode) == 0 &&
           (!otherUser || ::chown(encoded(path).constData(), kOtherUser, kOtherUser) == 0);
}

sockaddr_un addressOf(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded(path).constData(), encoded(path).size());
    return address;
}

} // namespace

// XDG_RUNTIME_DIR is used only when it is a folder of ours that only we can
// enter; else ostrel-UID in the temporary folder, made so or found so; else none.
TEST(SingleInstance, TheSocketIsOnlyInAFolderOfOursThatOnlyWeCanEnter)
{
    QTemporaryDir dir;
    const QString own = QStringLiteral("ostrel-%1").arg(::geteuid());
    enum Where { Runtime, Own, Nowhere };
    using Make = std::function<bool(const QString& run, const QString& ownFolder)>;
    const Make nothing = [](const QString&, const QString&) { return true; };
    const struct {
        const char* name;
        bool runtimeSet;
        Make make;
        Where where;
        bool needsRoot = false;
    } rows[] = {
        {"a private runtime folder", true, [](const QString& run, const QString&) { return makeFolder(run, 0700); },
         Runtime},
        {"no runtime folder", false, nothing, Own},
        {"a runtime folder that does not exist", true, nothing, Own},
        {"a runtime folder others can enter", true,
         [](const QString& run, const QString&) { return makeFolder(run, 0755); }, Own},
        {"a runtime folder that is a link", true,
         [](const QString& run, const QString&) {
             return makeFolder(run + ".real", 0700) && QFile::link(run + ".real", run);
         },
         Own},
        {"another user's runtime folder", true,
         [](const QString& run, const QString&) { return makeFolder(run, 0700, true); }, Own, true},
        {"a private folder of ours", false, [](const QString&, const QString& o) { return makeFolder(o, 0700); }, Own},
        {"a folder of ours others can enter", false,
         [](const QString&, const QString& o) { return makeFolder(o, 0755); }, Nowhere},
        {"a link where our folder would be", false,
         [](const QString&, const QString& o) { return makeFolder(o + ".real", 0700) && QFile::link(o + ".real", o); },
         Nowhere},
        {"another user's folder where ours would be", false,
         [](const QString&, const QString& o) { return makeFolder(o, 0700, true); }, Nowhere, true},
    };
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemporary = qgetenv("TMPDIR");
    int n = 0;
    for (const auto& row : rows) {
        if (row.needsRoot && ::geteuid() != 0)
            continue; // only root can give a folder to another user
        // A shared temporary folder like /tmp, and a runtime folder in it.
        const QString temporary = dir.filePath(QString::number(++n));
        ASSERT_TRUE(makeFolder(temporary, 01777));
        const QString run = temporary + "/run";
        const QString ownFolder = temporary + "/" + own;
        ASSERT_TRUE(row.make(run, ownFolder)) << row.name;
        qputenv("TMPDIR", encoded(temporary));
        if (row.runtimeSet)
            qputenv("XDG_RUNTIME_DIR", encoded(run));
        else
            qunsetenv("XDG_RUNTIME_DIR");

        struct stat before {};
        ::lstat(encoded(ownFolder).constData(), &before);
        const QString name = SingleInstance::serverName();
        const QString expected = row.where == Runtime ? run + "/ostrel.socket"
                                 : row.where == Own   ? ownFolder + "/ostrel.socket"
                                                      : QString();
        EXPECT_EQ(name.toStdString(), expected.toStdString()) << row.name;
        struct stat after {};
        ::lstat(encoded(ownFolder).constData(), &after);
        if (row.where == Own)
            EXPECT_TRUE(S_ISDIR(after.st_mode) && after.st_uid == ::geteuid() && (after.st_mode & 07777) == 0700)
                << row.name;
        else
            EXPECT_EQ(after.st_mode, before.st_mode) << row.name; // found as it was, left as it was
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
    ASSERT_TRUE(::chmod(encoded(dir.path()).constData(), 0777) == 0);
    const QString name = dir.filePath("ostrel.socket");

    // Another user listens: the launch tells it nothing.
    // (The other processes make only system calls: this one has threads.)
    const sockaddr_un address = addressOf(name);
    const auto* socketAddress = reinterpret_cast<const sockaddr*>(&address);
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    pid_t child = ::fork();
    if (child == 0) {
        char bytes[64];
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool listening =
            ::setuid(kOtherUser) == 0 && ::bind(fd, socketAddress, sizeof address) == 0 && ::listen(fd, 1) == 0;
        const int peer = ::write(told[1], "r", 1) == 1 && listening ? ::accept(fd, nullptr, nullptr) : -1;
        const ssize_t got = peer >= 0 ? ::read(peer, bytes, sizeof bytes) : -1;
        if (got > 0 && ::write(peer, "ok\n", 3) == 3)
            ::_exit(1); // heard the files
        ::_exit(0);
    }
    char ready = 0;
    ASSERT_EQ(::read(told[0], &ready, 1), 1);
    ASSERT_TRUE(waitFor([&] { return QFile::exists(name); }));
    EXPECT_FALSE(SingleInstance(name).handOver({"/secret.app"}, 2000));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other user heard the files";
    ::close(told[0]);
    ::close(told[1]);
    QFile::remove(name);

    // Another user connects to ours: the window takes nothing from it.
    SingleInstance first(name);
    ASSERT_TRUE(first.listen());
    ASSERT_EQ(::chmod(encoded(name).constData(), 0777), 0);
    bool received = false;
    QObject::connect(&first, &SingleInstance::filesReceived, [&](const QStringList&) { received = true; });
    const QByteArray message = SingleInstance::encode({"/planted.app"});
    child = ::fork();
    if (child == 0) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        char reply[8] = {};
        const bool sent = ::setuid(kOtherUser) == 0 && ::connect(fd, socketAddress, sizeof address) == 0 &&
                          ::write(fd, message.constData(), message.size()) == message.size();
        ::_exit(sent && ::read(fd, reply, sizeof reply) > 0 ? 1 : 0);
    }
    // The window's event loop runs while the other process tries.
    ASSERT_TRUE(waitFor([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the window answered another user";
    QCoreApplication::processEvents();
    EXPECT_FALSE(received);
}
