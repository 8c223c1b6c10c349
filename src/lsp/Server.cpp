#include "lsp/Server.h"

#include "check/ProjectSettings.h"
#include "lsp/DocumentCheck.h"
#include "lsp/Documents.h"
#include "lsp/Framing.h"
#include "lsp/KeyKnowledge.h"
#include "platform/UserDefaults.h"
#include "report/FindingCatalogue.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lsp {

namespace {

using Clock = std::chrono::steady_clock;

// JSON-RPC's and the protocol's error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kServerNotInitialized = -32002;

// How often the client's process is looked for.
constexpr auto kClientLookEvery = std::chrono::seconds(1);

struct Job {
    QString uri;
    int version = 0;
    QString path;
    DocumentKind kind = DocumentKind::InfoPlist;
    QString text;
};

struct Checked {
    QString uri;
    int version = 0;
    QJsonArray diagnostics;
};

// Checks on a thread of its own, the latest text of each document only: a
// text replaced before its check started is never checked. Wakes the server
// through a pipe when a check is done.
class CheckThread {
public:
    explicit CheckThread(const ServerOptions& options)
        : mFindingsPage(options.findingsPage), mIgnored(options.ignored), mIsolated(options.isolated),
          mConfig(options.config)
    {
        if (::pipe2(mWake, O_CLOEXEC | O_NONBLOCK) != 0)
            mWake[0] = mWake[1] = -1;
        mThread = std::thread([this] { work(); });
    }
    ~CheckThread()
    {
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        mCondition.notify_one();
        mThread.join();
        for (const int fd : mWake)
            if (fd >= 0)
                ::close(fd);
    }
    CheckThread(const CheckThread&) = delete;
    CheckThread& operator=(const CheckThread&) = delete;

    int wakeFd() const { return mWake[0]; }
    void post(Job job)
    {
        {
            std::lock_guard lock(mMutex);
            const QString uri = job.uri;
            mPending[uri] = std::move(job);
        }
        mCondition.notify_one();
    }
    std::vector<Checked> take()
    {
        char drained[64];
        while (::read(mWake[0], drained, sizeof drained) > 0) {
        }
        std::lock_guard lock(mMutex);
        return std::exchange(mDone, {});
    }
    // The rules the checker loaded, once it has: for completion and hover.
    const plist::Value* rules()
    {
        std::unique_lock lock(mMutex);
        mCondition.wait(lock, [this] { return mReady; });
        return mRules;
    }

private:
    void work()
    {
        // The project of the document being checked: its ignore entries count too.
        const check::Projects* project = nullptr;
        DocumentCheck checker([&](const report::Finding& f) {
            const bool byOption = mIgnored && mIgnored(f);
            return (project && project->ignores(f)) || byOption;
        });
        {
            std::lock_guard lock(mMutex);
            mRules = checker.rules();
            mReady = true;
        }
        mCondition.notify_all();
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mMutex);
                mCondition.wait(lock, [this] { return mStopping || !mPending.empty(); });
                if (mStopping)
                    return;
                job = std::move(mPending.begin()->second);
                mPending.erase(mPending.begin());
            }
            Checked checked{job.uri, job.version, {}};
            // Read afresh for each check, so that an edit of the project's files
            // holds from the next keystroke on; one that cannot be used is passed
            // over, as the window does.
            check::Projects projects(report::findingIds(), mIsolated, mConfig);
            const bool projectUsable = projects.load(job.path).isEmpty();
            project = projectUsable ? &projects : nullptr;
            platform::UserDefaults::standard().setThreadValues(projectUsable ? projects.settingsFor(job.path).defaults()
                                                                             : QVariantMap());
            try {
                const QByteArray bytes = bytesToCheck(job.text);
                checked.diagnostics =
                    diagnosticsOf(checker.check(job.path, job.kind, bytes), bytes, job.text, mFindingsPage);
            } catch (const std::exception&) {
                // As the guard of a check does: nothing is published for this text.
                continue;
            }
            {
                std::lock_guard lock(mMutex);
                mDone.push_back(std::move(checked));
            }
            const char wake = 1;
            [[maybe_unused]] const ssize_t written = ::write(mWake[1], &wake, 1);
        }
    }

    const QString mFindingsPage;
    const report::FindingFilter mIgnored;
    const bool mIsolated;
    const QString mConfig;
    int mWake[2] = {-1, -1};
    std::mutex mMutex;
    std::condition_variable mCondition;
    std::map<QString, Job> mPending;
    std::vector<Checked> mDone;
    const plist::Value* mRules = nullptr;
    bool mReady = false;
    bool mStopping = false;
    std::thread mThread; // last: started once the rest is set
};

QJsonObject placeObject(const TextPlace& place)
{
    return QJsonObject{{QStringLiteral("line"), place.line}, {QStringLiteral("character"), place.character}};
}

TextPlace placeFrom(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    return TextPlace{std::max(0, object.value(QStringLiteral("line")).toInt()),
                     std::max(0, object.value(QStringLiteral("character")).toInt())};
}

class Server {
public:
    Server(int in, int out, const ServerOptions& options)
        : mIn(in), mOut(out), mOptions(options), mChecks(options), mKnowledge(mChecks.rules(), options.findingsPage)
    {
    }

    int run();

private:
    void handle(const QByteArray& body);
    void request(const QJsonValue& id, const QString& method, const QJsonObject& params);
    void notification(const QString& method, const QJsonObject& params);
    void didOpen(const QJsonObject& params);
    void didChange(const QJsonObject& params);
    void didClose(const QJsonObject& params);
    QJsonValue completion(const QJsonObject& params);
    QJsonValue hover(const QJsonObject& params);

    void send(const QJsonObject& message);
    void reply(const QJsonValue& id, const QJsonValue& result)
    {
        send({{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
              {QStringLiteral("id"), id},
              {QStringLiteral("result"), result}});
    }
    void replyError(const QJsonValue& id, int code, const QString& message)
    {
        send({{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
              {QStringLiteral("id"), id},
              {QStringLiteral("error"),
               QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}}}});
    }
    void notify(const QString& method, const QJsonObject& params)
    {
        send({{QStringLiteral("jsonrpc"), QStringLiteral("2.0")},
              {QStringLiteral("method"), method},
              {QStringLiteral("params"), params}});
    }
    void publish(const QString& uri, const QJsonArray& diagnostics, std::optional<int> version);
    void startDueChecks();
    int pollTimeout() const;
    bool clientGone();

    const int mIn;
    const int mOut;
    const ServerOptions mOptions;
    FrameReader mReader;
    DocumentStore mDocuments;
    CheckThread mChecks;
    KeyKnowledge mKnowledge;
    std::map<QString, Clock::time_point> mDue; // documents to check, and when
    bool mInitialized = false;
    bool mShutDown = false;
    std::optional<int> mExitStatus;
    bool mOutputFailed = false;
    qint64 mClientProcess = 0;
    Clock::time_point mClientLooked = Clock::now();
};

void Server::send(const QJsonObject& message)
{
    const QByteArray bytes = frame(QJsonDocument(message).toJson(QJsonDocument::Compact));
    qsizetype written = 0;
    while (!mOutputFailed && written < bytes.size()) {
        const ssize_t n = ::write(mOut, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n > 0)
            written += n;
        else if (n < 0 && errno != EINTR)
            mOutputFailed = true; // the client is gone
    }
}

void Server::publish(const QString& uri, const QJsonArray& diagnostics, std::optional<int> version)
{
    QJsonObject params{{QStringLiteral("uri"), uri}, {QStringLiteral("diagnostics"), diagnostics}};
    if (version)
        params.insert(QStringLiteral("version"), *version);
    notify(QStringLiteral("textDocument/publishDiagnostics"), params);
}

void Server::handle(const QByteArray& body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        replyError(QJsonValue::Null, kParseError,
                   QStringLiteral("invalid JSON at byte %1: %2").arg(error.offset).arg(error.errorString()));
        return;
    }
    const QJsonObject message = document.object();
    const QJsonValue method = message.value(QStringLiteral("method"));
    const bool isRequest = message.contains(QStringLiteral("id"));
    const QJsonValue id = message.value(QStringLiteral("id"));
    if (!document.isObject() || !method.isString() || (isRequest && !id.isDouble() && !id.isString())) {
        // A response to a request of ours would have no method; this server sends none.
        if (!document.isObject() || !message.contains(QStringLiteral("result")))
            replyError(isRequest && (id.isDouble() || id.isString()) ? id : QJsonValue(QJsonValue::Null),
                       kInvalidRequest, QStringLiteral("not a JSON-RPC request or notification"));
        return;
    }
    const QJsonObject params = message.value(QStringLiteral("params")).toObject();
    if (isRequest)
        request(id, method.toString(), params);
    else
        notification(method.toString(), params);
}

void Server::request(const QJsonValue& id, const QString& method, const QJsonObject& params)
{
    if (method == QLatin1String("initialize")) {
        if (mInitialized) {
            replyError(id, kInvalidRequest, QStringLiteral("initialize was sent twice"));
            return;
        }
        mInitialized = true;
        mClientProcess = static_cast<qint64>(params.value(QStringLiteral("processId")).toDouble());
        const QJsonObject capabilities{
            {QStringLiteral("positionEncoding"), QStringLiteral("utf-16")},
            {QStringLiteral("textDocumentSync"),
             QJsonObject{{QStringLiteral("openClose"), true}, {QStringLiteral("change"), 2}}},
            {QStringLiteral("completionProvider"),
             QJsonObject{{QStringLiteral("triggerCharacters"), QJsonArray{QStringLiteral(">")}}}},
            {QStringLiteral("hoverProvider"), true},
            {QStringLiteral("codeActionProvider"),
             QJsonObject{{QStringLiteral("codeActionKinds"), QJsonArray{QStringLiteral("quickfix")}}}},
        };
        reply(id, QJsonObject{{QStringLiteral("capabilities"), capabilities},
                              {QStringLiteral("serverInfo"),
                               QJsonObject{{QStringLiteral("name"), QStringLiteral("ostrel")},
                                           {QStringLiteral("version"), QCoreApplication::applicationVersion()}}}});
        return;
    }
    if (!mInitialized) {
        replyError(id, kServerNotInitialized, QStringLiteral("%1 before initialize").arg(method));
        return;
    }
    if (mShutDown) {
        replyError(id, kInvalidRequest, QStringLiteral("%1 after shutdown").arg(method));
        return;
    }
    if (method == QLatin1String("shutdown")) {
        mShutDown = true;
        reply(id, QJsonValue::Null);
    } else if (method == QLatin1String("textDocument/completion")) {
        reply(id, completion(params));
    } else if (method == QLatin1String("textDocument/hover")) {
        reply(id, hover(params));
    } else if (method == QLatin1String("textDocument/codeAction")) {
        reply(id, codeActionsOf(params[QStringLiteral("textDocument")][QStringLiteral("uri")].toString(),
                                params[QStringLiteral("context")][QStringLiteral("diagnostics")].toArray()));
    } else {
        replyError(id, kMethodNotFound, QStringLiteral("unknown method %1").arg(method));
    }
}

void Server::notification(const QString& method, const QJsonObject& params)
{
    if (method == QLatin1String("exit")) {
        mExitStatus = mShutDown ? 0 : 1;
        return;
    }
    // Before initialize, and after shutdown, notifications are dropped.
    if (!mInitialized || mShutDown)
        return;
    if (method == QLatin1String("textDocument/didOpen"))
        didOpen(params);
    else if (method == QLatin1String("textDocument/didChange"))
        didChange(params);
    else if (method == QLatin1String("textDocument/didClose"))
        didClose(params);
    // initialized, $/cancelRequest (every answer is quick) and the rest need nothing.
}

void Server::didOpen(const QJsonObject& params)
{
    const QJsonObject item = params.value(QStringLiteral("textDocument")).toObject();
    const QString uri = item.value(QStringLiteral("uri")).toString();
    const QUrl url(uri);
    if (!url.isLocalFile())
        return;
    const QString path = QDir::cleanPath(url.toLocalFile());
    const std::optional<DocumentKind> kind = documentKindOf(url.fileName());
    if (!kind)
        return;
    mDocuments.open(uri, path, *kind, item.value(QStringLiteral("text")).toString(),
                    item.value(QStringLiteral("version")).toInt());
    mDue[uri] = Clock::now();
}

void Server::didChange(const QJsonObject& params)
{
    const QJsonObject item = params.value(QStringLiteral("textDocument")).toObject();
    const QString uri = item.value(QStringLiteral("uri")).toString();
    Document* document = mDocuments.find(uri);
    if (!document)
        return;
    for (const QJsonValue& change : params.value(QStringLiteral("contentChanges")).toArray()) {
        const QJsonObject edit = change.toObject();
        const QString text = edit.value(QStringLiteral("text")).toString();
        if (edit.contains(QStringLiteral("range"))) {
            const QJsonObject range = edit.value(QStringLiteral("range")).toObject();
            DocumentStore::edit(*document, placeFrom(range.value(QStringLiteral("start"))),
                                placeFrom(range.value(QStringLiteral("end"))), text);
        } else {
            document->text = text;
        }
    }
    document->version = item.value(QStringLiteral("version")).toInt(document->version + 1);
    mDue[uri] = Clock::now() + std::chrono::milliseconds(mOptions.debounceMs);
}

void Server::didClose(const QJsonObject& params)
{
    const QString uri = params.value(QStringLiteral("textDocument")).toObject().value(QStringLiteral("uri")).toString();
    if (!mDocuments.find(uri))
        return;
    mDocuments.close(uri);
    mDue.erase(uri);
    publish(uri, {}, std::nullopt);
}

QJsonValue Server::completion(const QJsonObject& params)
{
    Document* document = mDocuments.find(
        params.value(QStringLiteral("textDocument")).toObject().value(QStringLiteral("uri")).toString());
    if (!document)
        return QJsonValue::Null;
    const QString& text = document->text;
    const qsizetype offset = offsetOf(text, placeFrom(params.value(QStringLiteral("position"))));
    return mKnowledge.completion(text, offset, [&text](qsizetype at) { return placeObject(placeOf(text, at)); });
}

QJsonValue Server::hover(const QJsonObject& params)
{
    Document* document = mDocuments.find(
        params.value(QStringLiteral("textDocument")).toObject().value(QStringLiteral("uri")).toString());
    if (!document)
        return QJsonValue::Null;
    const std::optional<QString> markdown =
        mKnowledge.hover(document->text, offsetOf(document->text, placeFrom(params.value(QStringLiteral("position")))));
    if (!markdown)
        return QJsonValue::Null;
    return QJsonObject{{QStringLiteral("contents"), QJsonObject{{QStringLiteral("kind"), QStringLiteral("markdown")},
                                                                {QStringLiteral("value"), *markdown}}}};
}

void Server::startDueChecks()
{
    const Clock::time_point now = Clock::now();
    for (auto due = mDue.begin(); due != mDue.end();) {
        if (due->second > now) {
            ++due;
            continue;
        }
        if (const Document* document = mDocuments.find(due->first))
            mChecks.post(Job{due->first, document->version, document->path, document->kind, document->text});
        due = mDue.erase(due);
    }
}

int Server::pollTimeout() const
{
    auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kClientLookEvery);
    const Clock::time_point now = Clock::now();
    for (const auto& [uri, due] : mDue)
        wait = std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(due - now) +
                                  std::chrono::milliseconds(1));
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

bool Server::clientGone()
{
    if (mClientProcess <= 0 || Clock::now() - mClientLooked < kClientLookEvery)
        return false;
    mClientLooked = Clock::now();
    return ::kill(static_cast<pid_t>(mClientProcess), 0) != 0 && errno == ESRCH;
}

int Server::run()
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        pollfd fds[2] = {{mIn, POLLIN, 0}, {mChecks.wakeFd(), POLLIN, 0}};
        if (::poll(fds, 2, pollTimeout()) < 0 && errno != EINTR)
            return 1;
        if (fds[1].revents & POLLIN) {
            for (Checked& checked : mChecks.take()) {
                // Dropped when the text changed since: a newer check follows.
                const Document* document = mDocuments.find(checked.uri);
                if (document && document->version == checked.version && !mDue.contains(checked.uri))
                    publish(checked.uri, checked.diagnostics, checked.version);
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(mIn, buffer.data(), buffer.size());
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return 1; // the client is gone without exit
            if (n > 0)
                mReader.feed(QByteArrayView(buffer.data(), n));
            while (std::optional<FrameReader::Frame> frame = mReader.next()) {
                if (!frame->error.isEmpty())
                    replyError(QJsonValue::Null, kParseError, frame->error);
                else
                    handle(frame->body);
                if (mExitStatus)
                    return *mExitStatus;
            }
        }
        startDueChecks();
        if (mOutputFailed || clientGone())
            return 1;
    }
}

} // namespace

int serve(int in, int out, const ServerOptions& options)
{
    // A client that goes away makes writes fail, not the process end.
    ::signal(SIGPIPE, SIG_IGN);
    Server server(in, out, options);
    return server.run();
}

} // namespace lsp
