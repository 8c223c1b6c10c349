// The server driven through its pipes, as an editor drives it: each case
// sends its frames at once and reads what comes back, each message summed
// up in a line.
#include "lsp/Server.h"
#include "lsp/Framing.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr int kDebounceMs = 40;
const QString kUri = QStringLiteral("file:///nowhere/Test.plist");

QByteArray message(QJsonObject object)
{
    object.insert(QStringLiteral("jsonrpc"), QStringLiteral("2.0"));
    return lsp::frame(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QByteArray request(int id, const QString& method, const QJsonObject& params = {})
{
    return message(
        {{QStringLiteral("id"), id}, {QStringLiteral("method"), method}, {QStringLiteral("params"), params}});
}

QByteArray notification(const QString& method, const QJsonObject& params = {})
{
    return message({{QStringLiteral("method"), method}, {QStringLiteral("params"), params}});
}

QByteArray initialize()
{
    return request(1, QStringLiteral("initialize"), {{QStringLiteral("capabilities"), QJsonObject()}}) +
           notification(QStringLiteral("initialized"));
}

QByteArray didOpen(const QString& text, const QString& uri = kUri)
{
    return notification(
        QStringLiteral("textDocument/didOpen"),
        {{QStringLiteral("textDocument"), QJsonObject{{QStringLiteral("uri"), uri},
                                                      {QStringLiteral("languageId"), QStringLiteral("xml")},
                                                      {QStringLiteral("version"), 1},
                                                      {QStringLiteral("text"), text}}}});
}

QJsonObject range(int line, int character, int endLine, int endCharacter)
{
    const auto place = [](int l, int c) {
        return QJsonObject{{QStringLiteral("line"), l}, {QStringLiteral("character"), c}};
    };
    return {{QStringLiteral("start"), place(line, character)}, {QStringLiteral("end"), place(endLine, endCharacter)}};
}

// An incremental edit of [line:character, endLine:endCharacter), or the whole text without a range.
QByteArray didChange(int version, const QString& text, std::optional<QJsonObject> where = std::nullopt)
{
    QJsonObject change{{QStringLiteral("text"), text}};
    if (where)
        change.insert(QStringLiteral("range"), *where);
    return notification(QStringLiteral("textDocument/didChange"),
                        {{QStringLiteral("textDocument"),
                          QJsonObject{{QStringLiteral("uri"), kUri}, {QStringLiteral("version"), version}}},
                         {QStringLiteral("contentChanges"), QJsonArray{change}}});
}

const QString kDocument = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<plist version=\"1.0\">\n"
                                         "<dict>\n"
                                         "\t<key>CFBundleIdentifier</key><string>com.example.app</string>\n"
                                         "\t<key>CFBundleVersion</key><string>1</string>\n"
                                         "\t<key>CFBundlePackageType</key>\n"
                                         "\t<string>APPLE</string>\n"
                                         "</dict>\n"
                                         "</plist>\n");
const QString kTypeEntry = QStringLiteral("\t<key>CFBundlePackageType</key>\n\t<string>APPLE</string>");

QString withTypeEntry(const QString& entry, const QString& encoding = QStringLiteral("UTF-8"))
{
    QString text = kDocument;
    return text.replace(kTypeEntry, entry).replace(QStringLiteral("UTF-8"), encoding);
}

// A line a message: "result ID", "error ID CODE", "diagnostics vVERSION CODE@LINE:CHARACTER ...".
QString summary(const QJsonObject& message)
{
    if (message.contains(QStringLiteral("error")))
        return QStringLiteral("error %1 %2")
            .arg(message.value(QStringLiteral("id")).isNull()
                     ? QStringLiteral("null")
                     : QString::number(message.value(QStringLiteral("id")).toInt()))
            .arg(message.value(QStringLiteral("error")).toObject().value(QStringLiteral("code")).toInt());
    if (message.contains(QStringLiteral("id")))
        return QStringLiteral("result %1").arg(message.value(QStringLiteral("id")).toInt());
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    QStringList line{QStringLiteral("diagnostics")};
    line << (params.contains(QStringLiteral("version"))
                 ? QStringLiteral("v%1").arg(params.value(QStringLiteral("version")).toInt())
                 : QStringLiteral("-"));
    for (const QJsonValue& value : params.value(QStringLiteral("diagnostics")).toArray()) {
        const QJsonObject d = value.toObject();
        const QJsonObject start = d.value(QStringLiteral("range")).toObject().value(QStringLiteral("start")).toObject();
        line << QStringLiteral("%1@%2:%3")
                    .arg(d.value(QStringLiteral("code")).toString())
                    .arg(start.value(QStringLiteral("line")).toInt())
                    .arg(start.value(QStringLiteral("character")).toInt());
        EXPECT_EQ(d.value(QStringLiteral("source")).toString(), QStringLiteral("ostrel"));
        EXPECT_EQ(d.value(QStringLiteral("codeDescription")).toObject().value(QStringLiteral("href")).toString(),
                  QStringLiteral("https://example.org/findings.md#") + d.value(QStringLiteral("code")).toString());
    }
    return line.join(QLatin1Char(' '));
}

struct Exchange {
    QStringList lines;
    std::optional<int> status; // none while the server still runs
};

// Sends the chunks of input, then reads until the server has been quiet for
// a while (well past the debounce and a check), then closes its input.
Exchange drive(const QList<QByteArray>& input, const report::FindingFilter& ignored = {})
{
    int toServer[2], fromServer[2];
    EXPECT_EQ(::pipe(toServer), 0);
    EXPECT_EQ(::pipe(fromServer), 0);
    std::optional<int> status;
    std::thread server([&] {
        lsp::ServerOptions options;
        options.findingsPage = QStringLiteral("https://example.org/findings.md");
        options.ignored = ignored;
        options.debounceMs = kDebounceMs;
        status = lsp::serve(toServer[0], fromServer[1], options);
        ::close(fromServer[1]);
    });
    std::thread writer([&] {
        for (const QByteArray& chunk : input) {
            if (&chunk != &input.front())
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            for (qsizetype written = 0; written < chunk.size();) {
                const ssize_t n = ::write(toServer[1], chunk.constData() + written, chunk.size() - written);
                if (n <= 0)
                    break;
                written += n;
            }
        }
    });
    Exchange run;
    lsp::FrameReader reader;
    char buffer[65536];
    for (;;) {
        pollfd fd{fromServer[0], POLLIN, 0};
        if (::poll(&fd, 1, 600) <= 0)
            break;
        const ssize_t n = ::read(fromServer[0], buffer, sizeof buffer);
        if (n <= 0)
            break; // the server ended
        reader.feed(QByteArrayView(buffer, n));
        while (std::optional<lsp::FrameReader::Frame> frame = reader.next())
            run.lines << summary(QJsonDocument::fromJson(frame->body).object());
    }
    writer.join();
    ::close(toServer[1]); // the client goes: the server ends
    server.join();
    run.status = status;
    ::close(toServer[0]);
    ::close(fromServer[0]);
    return run;
}

struct Case {
    const char* name;
    std::function<QList<QByteArray>()> input; // chunks, sent apart
    QStringList expected;
    int status = 1; // 0 only after shutdown and exit
};

const QByteArray kClose = notification(QStringLiteral("textDocument/didClose"),
                                       {{QStringLiteral("textDocument"), QJsonObject{{QStringLiteral("uri"), kUri}}}});

const Case kCases[] = {
    {"OpenEditClose",
     [] {
         return QList<QByteArray>{
             initialize() + didOpen(kDocument),
             didChange(2, withTypeEntry(QStringLiteral("<key>CFBundlePackageType</key><string>APPL</string>"))),
             kClose};
     },
     {"result 1", "diagnostics v1 NoRecTopKey@2:0 Not4Char@6:1", "diagnostics v2 NoRecTopKey@2:0", "diagnostics -"}},
    {"IncrementalLinesAddedAndRemoved",
     [] {
         return QList<QByteArray>{initialize() + didOpen(kDocument) +
                                  didChange(2, QStringLiteral("\t<!-- one -->\n\t<!-- two -->\n"), range(5, 0, 5, 0)) +
                                  didChange(3, QString(), range(4, 0, 5, 0))};
     },
     // CFBundleVersion's line went, two comments came before the type.
     {"result 1", "diagnostics v3 NoRecTopKey@2:0 NoRecTopKey@2:0 Not4Char@7:1"}},
    {"CrLfLines",
     [] {
         return QList<QByteArray>{initialize() +
                                  didOpen(QString(kDocument).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))) +
                                  didChange(2, QStringLiteral("\t<!-- one -->\r\n"), range(5, 0, 5, 0))};
     },
     {"result 1", "diagnostics v2 NoRecTopKey@2:0 Not4Char@7:1"}},
    {"Utf16ColumnsBeyondTheBasicPlane",
     [] {
         return QList<QByteArray>{initialize() + didOpen(withTypeEntry(QStringLiteral(
                                                     "\t<key>Cl\u00e9\U0001F600</key><string>\u00e9\U0001F600</string>"
                                                     "<key>CFBundlePackageType</key><string>APPLE</string>")))};
     },
     // The value: 1 + 16 + 20 + 30 UTF-16 units in, 2 more than its characters.
     {"result 1", "diagnostics v1 UnknownTopKey@5:1 NoRecTopKey@2:0 Not4Char@5:67"}},
    {"Utf16File",
     [] {
         return QList<QByteArray>{
             initialize() +
             didOpen(withTypeEntry(QStringLiteral("\t<key>NSHumanReadableCopyright</key><string>"
                                                  "\U0001F600\U0001F600</string><key>CFBundlePackageType</key>"
                                                  "<string>APPLE</string>"),
                                   QStringLiteral("UTF-16")))};
     },
     {"result 1", "diagnostics v1 NoRecTopKey@2:0 Not4Char@5:87"}},
    {"HundredRapidEditsOneFinalSet",
     [] {
         QByteArray input = initialize() + didOpen(kDocument);
         for (int i = 0; i < 100; ++i)
             input += didChange(
                 2 + i,
                 QStringLiteral("\t<string>%1</string>\n").arg(i == 99 ? QStringLiteral("APPL") : QString::number(i)),
                 range(6, 0, 7, 0));
         return QList<QByteArray>{input};
     },
     {"result 1", "diagnostics v101 NoRecTopKey@2:0"}},
    {"MalformedFrameThenARequest",
     [] { return QList<QByteArray>{"Content-Lenght: 5\r\n\r\nhello" + initialize()}; },
     {"error null -32700", "result 1"}},
    {"HugeContentLength",
     [] { return QList<QByteArray>{"Content-Length: 99999999999\r\n\r\n{}" + initialize()}; },
     {"error null -32700", "result 1"}},
    {"InvalidJson",
     [] { return QList<QByteArray>{lsp::frame("{\"jsonrpc\": \"2.0\", \"id\": ") + initialize()}; },
     {"error null -32700", "result 1"}},
    {"NotARequest",
     [] { return QList<QByteArray>{lsp::frame("[1, 2]") + initialize()}; },
     {"error null -32600", "result 1"}},
    // A cancelled request is answered all the same.
    {"UnknownMethodCancelled",
     [] {
         return QList<QByteArray>{initialize() + request(5, QStringLiteral("ostrel/nothing")) +
                                  notification(QStringLiteral("$/cancelRequest"), {{QStringLiteral("id"), 5}}) +
                                  notification(QStringLiteral("$/nothing"))};
     },
     {"result 1", "error 5 -32601"}},
    {"RequestBeforeInitialize",
     [] { return QList<QByteArray>{request(7, QStringLiteral("textDocument/hover")) + initialize()}; },
     {"error 7 -32002", "result 1"}},
    {"ShutdownThenExit",
     [] {
         return QList<QByteArray>{initialize() + request(2, QStringLiteral("shutdown")) +
                                  request(3, QStringLiteral("shutdown")) + notification(QStringLiteral("exit"))};
     },
     {"result 1", "result 2", "error 3 -32600"},
     0},
    {"ExitWithoutShutdown",
     [] { return QList<QByteArray>{initialize() + notification(QStringLiteral("exit"))}; },
     {"result 1"}},
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class ServerTest : public ::testing::TestWithParam<Case> {};

TEST_P(ServerTest, Answers)
{
    const Case& c = GetParam();
    const Exchange run = drive(c.input());
    EXPECT_EQ(run.lines.join(QLatin1Char('\n')).toStdString(), c.expected.join(QLatin1Char('\n')).toStdString());
    EXPECT_EQ(run.status, c.status);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServerTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The client's input stays open but its process is gone.
TEST(ServerClient, EndsWhenTheClientProcessIsGone)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    const Exchange run =
        drive(QList<QByteArray>{request(1, QStringLiteral("initialize"), {{QStringLiteral("processId"), child}})});
    EXPECT_EQ(run.lines, QStringList{"result 1"});
    EXPECT_EQ(run.status, 1);
}

// The command line's ignore list holds for the editor's diagnostics too.
TEST(ServerClient, LeavesOutIgnoredFindings)
{
    const Exchange run = drive(QList<QByteArray>{initialize() + didOpen(kDocument)},
                               [](const report::Finding& f) { return f.messageKey == QLatin1String("Not4Char"); });
    EXPECT_EQ(run.lines, (QStringList{"result 1", "diagnostics v1 NoRecTopKey@2:0"}));
}

// A document's project files hold for it as for the command line: the
// settings file's ignore list and its settings, the ignore file's entries.
TEST(ServerClient, FollowsTheDocumentsProject)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral(".git")));
    const QString uri = QUrl::fromLocalFile(dir.filePath(QStringLiteral("Info.plist"))).toString();
    const auto project = [&](const char* name, const QByteArray& text) {
        QFile file(dir.filePath(QLatin1String(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    const QString withUnknownKey = QString(kDocument).replace(
        QStringLiteral("<dict>\n"), QStringLiteral("<dict>\n\t<key>Extra</key><string>x</string>\n"));
    const struct {
        const char* file;
        QByteArray text;
        QStringList expected;
    } rows[] = {
        {nullptr, {}, {"result 1", "diagnostics v1 UnknownTopKey@3:1 NoRecTopKey@2:0 Not4Char@7:1"}},
        {".ostrel.toml",
         "ignore = [\"Not4Char\"]\nunknown-key-notes = false\n",
         {"result 1", "diagnostics v1 NoRecTopKey@2:0"}},
        {".ostrel-ignore", "Info.plist: NoRecTopKey\n", {"result 1", "diagnostics v1 UnknownTopKey@3:1 Not4Char@7:1"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file ? row.file : "none");
        QFile::remove(dir.filePath(QStringLiteral(".ostrel.toml")));
        QFile::remove(dir.filePath(QStringLiteral(".ostrel-ignore")));
        if (row.file)
            project(row.file, row.text);
        EXPECT_EQ(drive(QList<QByteArray>{initialize() + didOpen(withUnknownKey, uri)}).lines.join(" | ").toStdString(),
                  row.expected.join(" | ").toStdString());
    }
}

} // namespace
