// The server driven through its pipes, as an editor drives it: each case of
// tests/data/cases/server-exchanges.tsv sends its frames and reads what comes
// back, each message summed up in a line.
#include "lsp/Server.h"
#include "CaseRows.h"
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

const QString kDocument = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                         "<plist version=\"1.0\">\n"
                                         "<dict>\n"
                                         "\t<key>CFBundleIdentifier</key><string>com.example.app</string>\n"
                                         "\t<key>CFBundleVersion</key><string>1</string>\n"
                                         "\t<key>CFBundlePackageType</key>\n"
                                         "\t<string>APPLE</string>\n"
                                         "</dict>\n"
                                         "</plist>\n");

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

// The bytes of a row's input, a chunk for each pause (tests/data/cases/server-exchanges.tsv).
QList<QByteArray> input(const QString& field)
{
    QList<QByteArray> chunks;
    for (const QString& chunk : field.split(QStringLiteral(" || "))) {
        QByteArray bytes;
        for (const QString& item : chunk.split(QStringLiteral(" ;; "))) {
            if (item == QLatin1String("initialize")) {
                bytes += initialize();
            } else if (item.startsWith(QLatin1String("raw:"))) {
                bytes += unescaped(item.mid(4));
            } else if (item.startsWith(QLatin1String("frame:"))) {
                bytes += lsp::frame(item.mid(6).toUtf8());
            } else {
                QJsonParseError error;
                bytes += message(QJsonDocument::fromJson(item.toUtf8(), &error).object());
                EXPECT_EQ(error.error, QJsonParseError::NoError) << item.toStdString();
            }
        }
        chunks << bytes;
    }
    return chunks;
}

TEST(ServerTest, Exchanges)
{
    for (const QStringList& row : caseRows(QStringLiteral("server-exchanges.tsv"))) {
        ASSERT_EQ(row.size(), 4);
        SCOPED_TRACE(row[0].toStdString());
        const Exchange run = drive(input(row[2]));
        EXPECT_EQ(run.lines.join(QStringLiteral(" | ")).toStdString(), row[3].toStdString());
        EXPECT_EQ(run.status, row[1].toInt());
    }
}

// A hundred edits in a row: one set of diagnostics, for the last.
TEST(ServerTest, HundredRapidEditsOneFinalSet)
{
    QByteArray edits = initialize() + didOpen(kDocument);
    for (int i = 0; i < 100; ++i) {
        const QString edit = QStringLiteral(R"({"method": "textDocument/didChange", "params": {"textDocument": )"
                                            R"({"uri": "%1", "version": %2}, "contentChanges": [{"range": )"
                                            R"({"start": {"line": 6, "character": 0}, "end": {"line": 7, )"
                                            R"("character": 0}}, "text": "\t<string>%3</string>\n"}]}})")
                                 .arg(kUri)
                                 .arg(2 + i)
                                 .arg(i == 99 ? QStringLiteral("APPL") : QString::number(i));
        edits += message(QJsonDocument::fromJson(edit.toUtf8()).object());
    }
    EXPECT_EQ(drive({edits}).lines, (QStringList{"result 1", "diagnostics v101 NoRecTopKey@2:0"}));
}

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
