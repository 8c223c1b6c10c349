// The server driven through its pipes, as an editor drives it: each case of
// tests/data/cases/server-exchanges.tsv sends its frames and reads what comes
// back, each message summed up in a line.
#include "lsp/Server.h"
#include "CaseRows.h"
#include "TestFiles.h"
#include "lsp/Framing.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace {

constexpr int kDebounceMs = 40;

QByteArray message(QJsonObject object)
{
    object.insert("jsonrpc", "2.0");
    return lsp::frame(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// The initialize request as 1 and the initialized notification.
QByteArray initialize()
{
    return message({{"id", 1}, {"method", "initialize"}, {"params", QJsonObject{{"capabilities", QJsonObject()}}}}) +
           message({{"method", "initialized"}, {"params", QJsonObject()}});
}

// A line a message: "result ID", "error ID CODE", "diagnostics vVERSION CODE@LINE:CHARACTER ...".
QString summary(const QJsonObject& message)
{
    const QJsonValue id = message["id"];
    if (message.contains("error"))
        return QString("error %1 %2")
            .arg(id.isNull() ? "null" : QString::number(id.toInt()))
            .arg(message["error"]["code"].toInt());
    if (!id.isUndefined())
        return "result " + QString::number(id.toInt());
    const QJsonValue params = message["params"];
    QString line =
        "diagnostics " + (params["version"].isUndefined() ? "-" : "v" + QString::number(params["version"].toInt()));
    for (const QJsonValue& d : params["diagnostics"].toArray()) {
        const QJsonValue start = d["range"]["start"];
        line +=
            QString(" %1@%2:%3").arg(d["code"].toString()).arg(start["line"].toInt()).arg(start["character"].toInt());
        EXPECT_EQ(d["source"].toString(), "ostrel");
        EXPECT_EQ(d["codeDescription"]["href"].toString(), "https://example.org/findings.md#" + d["code"].toString());
    }
    return line;
}

struct Exchange {
    QStringList lines;
    std::optional<int> status; // none while the server still runs
};

// Sends each chunk of input, reading after each until the server has been
// quiet for a while (well past the debounce and a check), then closes its input.
Exchange drive(const QList<QByteArray>& input, const report::FindingFilter& ignored = {})
{
    int toServer[2], fromServer[2];
    EXPECT_EQ(::pipe(toServer), 0);
    EXPECT_EQ(::pipe(fromServer), 0);
    Exchange run;
    std::thread server([&] {
        lsp::ServerOptions options;
        options.findingsPage = "https://example.org/findings.md";
        options.ignored = ignored;
        options.debounceMs = kDebounceMs;
        run.status = lsp::serve(toServer[0], fromServer[1], options);
        ::close(fromServer[1]);
    });
    lsp::FrameReader reader;
    // Reads what the server says until it has been quiet for timeoutMs (-1: until it ends).
    const auto readReplies = [&](int timeoutMs) {
        char buffer[65536];
        for (pollfd fd{fromServer[0], POLLIN, 0}; ::poll(&fd, 1, timeoutMs) > 0;) {
            const ssize_t n = ::read(fromServer[0], buffer, sizeof buffer);
            if (n <= 0)
                break; // the server ended
            reader.feed(QByteArrayView(buffer, n));
            while (std::optional<lsp::FrameReader::Frame> frame = reader.next())
                run.lines << summary(QJsonDocument::fromJson(frame->body).object());
        }
    };
    for (const QByteArray& chunk : input) {
        EXPECT_EQ(::write(toServer[1], chunk.constData(), chunk.size()), chunk.size());
        readReplies(600);
    }
    ::close(toServer[1]); // the client goes: the server ends, and what it still says is read
    readReplies(-1);
    server.join();
    ::close(toServer[0]);
    ::close(fromServer[0]);
    return run;
}

// The bytes of a row's input, a chunk for each pause (tests/data/cases/server-exchanges.tsv).
QList<QByteArray> input(const QString& field)
{
    QList<QByteArray> chunks;
    for (const QString& chunk : field.split(" || ")) {
        QByteArray bytes;
        for (const QString& item : chunk.split(" ;; ")) {
            if (item == "initialize") {
                bytes += initialize();
            } else if (item.startsWith("raw:")) {
                bytes += unescaped(item.mid(4));
            } else if (item.startsWith("frame:")) {
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
    for (const QStringList& row : caseRows("server-exchanges.tsv")) {
        ASSERT_GE(row.size(), 4);
        SCOPED_TRACE(row[0].toStdString());
        QTemporaryDir project;
        ASSERT_TRUE(QDir(project.path()).mkpath(".git"));
        for (const QString& file : row.value(5).split(" ;; ", Qt::SkipEmptyParts))
            testsupport::writeFile(project.filePath(file.section('=', 0, 0)), unescaped(file.section('=', 1)));
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        const QStringList ignored = row.value(4).split(',', Qt::SkipEmptyParts);
        const Exchange run = drive(
            input(QString(row[2]).replace("$DIR", project.path()).replace("$PID", QString::number(gone))),
            ignored.isEmpty() ? report::FindingFilter()
                              : [&](const report::Finding& f) { return ignored.contains(f.messageKey); });
        EXPECT_EQ(run.lines.join(" | ").toStdString(), row[3].toStdString());
        EXPECT_EQ(run.status, row[1].toInt());
    }
}

// A hundred edits in a row: one set of diagnostics, for the last.
TEST(ServerTest, HundredRapidEditsOneFinalSet)
{
    const QString text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                         "\t<key>CFBundleIdentifier</key><string>com.example.app</string>\n"
                         "\t<key>CFBundleVersion</key><string>1</string>\n"
                         "\t<key>CFBundlePackageType</key>\n\t<string>APPLE</string>\n</dict>\n</plist>\n";
    const QJsonObject document{
        {"uri", "file:///nowhere/Test.plist"}, {"languageId", "xml"}, {"version", 1}, {"text", text}};
    QByteArray edits = initialize() + message({{"method", "textDocument/didOpen"},
                                               {"params", QJsonObject{{"textDocument", document}}}});
    for (int i = 0; i < 100; ++i) {
        const QString edit =
            QString(R"({"method": "textDocument/didChange", "params": {"textDocument": )"
                    R"({"uri": "file:///nowhere/Test.plist", "version": %1}, "contentChanges": [{"range": )"
                    R"({"start": {"line": 6, "character": 0}, "end": {"line": 7, "character": 0}}, )"
                    R"("text": "\t<string>%2</string>\n"}]}})")
                .arg(2 + i)
                .arg(i == 99 ? "APPL" : QString::number(i));
        edits += message(QJsonDocument::fromJson(edit.toUtf8()).object());
    }
    EXPECT_EQ(drive({edits}).lines, (QStringList{"result 1", "diagnostics v101 NoRecTopKey@2:0"}));
}

} // namespace
