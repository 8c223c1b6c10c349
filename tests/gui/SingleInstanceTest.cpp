// The hand-over between launches: the message on the socket, a second launch
// giving its files to the first, and a socket left behind by a crash.
#include "Support.h"

#include "gui/SingleInstance.h"
#include "platform/FileUrl.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
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
