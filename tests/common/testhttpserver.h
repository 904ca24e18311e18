#pragma once

// A scriptable HTTP/1.1 server on 127.0.0.1 for tests and benchmarks.
// A response is looked up by method and path (query included), then by path alone, then
// through the handler; anything else is a 404. Queued responses are used once each, before
// the fixed ones. Connections stay open as HTTP/1.1 clients expect; every request is
// recorded, and so are the conditional ones and the most requests answered at once.
// Optionally it behaves like a far server (every answer late) and validates as real
// servers do (304 for a request whose validators match the response's).
// No QObject: it may live in any thread with an event loop.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

using TestHttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct TestHttpResponse
{
    int status = 200;
    TestHttpHeaders headers;
    QByteArray body; // sent for GET, its length announced for HEAD too

    int delayMs = 0; // wait before the status line
    bool silent = false; // never answer; the connection stays open
    bool drop = false; // close the connection instead of answering
    int chunkSize = 0; // > 0: send the body in pieces of this size ...
    int chunkDelayMs = 0; // ... with this pause between them
    qint64 dropAfterBytes = -1; // >= 0: close after this many body bytes
    bool omitContentLength = false; // no length: the body ends when the connection closes

    static TestHttpResponse ok(const QByteArray &body, const TestHttpHeaders &headers = {})
    {
        TestHttpResponse r;
        r.body = body;
        r.headers = headers;
        return r;
    }
    static TestHttpResponse withStatus(
        int code, const TestHttpHeaders &headers = {}, const QByteArray &body = {})
    {
        TestHttpResponse r;
        r.status = code;
        r.headers = headers;
        r.body = body;
        return r;
    }
    static TestHttpResponse redirect(int code, const QByteArray &location)
    {
        return withStatus(code, {{"Location", location}});
    }
    static TestHttpResponse silence()
    {
        TestHttpResponse r;
        r.silent = true;
        return r;
    }
    static TestHttpResponse dropped()
    {
        TestHttpResponse r;
        r.drop = true;
        return r;
    }
};

struct TestHttpRequest
{
    QByteArray method;
    QByteArray path; // as on the request line, query included
    TestHttpHeaders headers;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return QByteArray();
    }
    bool isConditional() const
    {
        return !header("If-None-Match").isEmpty() || !header("If-Modified-Since").isEmpty();
    }
};

class TestHttpServer
{
public:
    using Handler = std::function<std::optional<TestHttpResponse>(const TestHttpRequest &)>;

    TestHttpServer() : m_server(std::make_unique<QTcpServer>())
    {
        QObject::connect(
            m_server.get(), &QTcpServer::newConnection, m_server.get(), [this] { acceptAll(); });
        m_server->listen(QHostAddress::LocalHost, 0);
    }
    // HTTPS with the given certificate and key (see QSslConfiguration).
    explicit TestHttpServer(const QSslConfiguration &tls)
    {
        auto server = std::make_unique<QSslServer>();
        server->setSslConfiguration(tls);
        QObject::connect(server.get(), &QSslServer::pendingConnectionAvailable, server.get(),
            [this] { acceptAll(); });
        m_server = std::move(server);
        m_server->listen(QHostAddress::LocalHost, 0);
        m_tls = true;
    }
    ~TestHttpServer()
    {
        for (const QPointer<QTcpSocket> &socket : std::as_const(m_sockets)) {
            if (socket)
                socket->abort();
        }
    }
    TestHttpServer(const TestHttpServer &) = delete;
    TestHttpServer &operator=(const TestHttpServer &) = delete;

    bool isListening() const { return m_server->isListening(); }
    quint16 port() const { return m_server->serverPort(); }
    QByteArray baseUrl() const
    {
        return (m_tls ? "https" : "http") + QByteArray("://127.0.0.1:")
            + QByteArray::number(port());
    }
    QUrl url(const QByteArray &path) const { return QUrl(QString::fromLatin1(baseUrl() + path)); }

    // Any method.
    void setResponse(const QByteArray &path, const TestHttpResponse &response)
    {
        m_fixed.insert(key(QByteArray(), path), response);
    }
    void setResponse(
        const QByteArray &method, const QByteArray &path, const TestHttpResponse &response)
    {
        m_fixed.insert(key(method, path), response);
    }
    // Used once, before any fixed response; empty method matches any.
    void queueResponse(
        const QByteArray &method, const QByteArray &path, const TestHttpResponse &response)
    {
        m_queued[key(method, path)].append(response);
    }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Every answer waits this long before its status line, as over a long road.
    void setAnswerDelay(int ms) { m_answerDelayMs = ms; }
    // A request whose If-None-Match (or, without one, If-Modified-Since) matches the
    // response's ETag (or Last-Modified) gets a 304 without a body.
    void setValidating(bool on) { m_validating = on; }

    const QList<TestHttpRequest> &requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    int requestCount(const QByteArray &method, const QByteArray &path) const
    {
        int n = 0;
        for (const TestHttpRequest &r : m_requests)
            n += r.method == method && r.path == path;
        return n;
    }
    // Requests that carried If-None-Match or If-Modified-Since.
    int conditionalCount() const
    {
        int n = 0;
        for (const TestHttpRequest &r : m_requests)
            n += r.isConditional();
        return n;
    }
    int notModifiedCount() const { return m_notModified; }
    // Requests received and not yet answered in full (or given up) ...
    int inFlight() const { return m_inFlight; }
    // ... and the most there were at any time.
    int maxInFlight() const { return m_maxInFlight; }
    // "HEAD /a", "GET /a", ... in arrival order.
    QList<QByteArray> requestLines() const
    {
        QList<QByteArray> lines;
        for (const TestHttpRequest &r : m_requests)
            lines.append(r.method + ' ' + r.path);
        return lines;
    }

private:
    struct Connection
    {
        QByteArray input;
        bool busy = false; // answering; later requests wait (HTTP/1.1 pipelining order)
        bool counted = false; // the request being answered counts as in flight
    };

    static QByteArray key(const QByteArray &method, const QByteArray &path)
    {
        return method + ' ' + path;
    }

    static QByteArray reasonFor(int status)
    {
        static const QHash<int, QByteArray> reasons
            = {{200, "OK"}, {204, "No Content"}, {300, "Multiple Choices"},
                {301, "Moved Permanently"}, {302, "Found"}, {303, "See Other"},
                {304, "Not Modified"}, {307, "Temporary Redirect"}, {308, "Permanent Redirect"},
                {404, "Not Found"}, {405, "Method Not Allowed"}, {500, "Internal Server Error"}};
        return reasons.value(status, "Status");
    }

    void acceptAll()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            m_sockets.append(socket);
            // As real servers do: no Nagle delay between a response's header and body.
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto state = std::make_shared<Connection>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket,
                [this, socket, state] { readFrom(socket, state); });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket, state] {
                answered(state);
                socket->deleteLater();
            });
        }
    }

    void answered(const std::shared_ptr<Connection> &state)
    {
        if (state->counted) {
            state->counted = false;
            --m_inFlight;
        }
    }

    void readFrom(QTcpSocket *socket, const std::shared_ptr<Connection> &state)
    {
        state->input += socket->readAll();
        serveNext(socket, state);
    }

    void serveNext(QTcpSocket *socket, const std::shared_ptr<Connection> &state)
    {
        if (state->busy)
            return;
        if (!state->input.isEmpty() && !(state->input.at(0) >= 'A' && state->input.at(0) <= 'Z')) {
            // Not HTTP (a TLS hello, say): answer as a plain server would, and close.
            socket->write("HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            state->busy = true;
            return;
        }
        const int end = state->input.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = state->input.left(end).split('\n');
        TestHttpRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const int colon = line.indexOf(':');
            if (colon > 0)
                request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        }
        state->input.remove(0, end + 4); // HEAD and GET carry no body
        m_requests.append(request);

        state->busy = true;
        state->counted = true;
        m_maxInFlight = qMax(m_maxInFlight, ++m_inFlight);
        TestHttpResponse response = responseFor(request);
        if (m_validating && notModified(request, response)) {
            TestHttpResponse unchanged = TestHttpResponse::withStatus(304);
            for (const auto &h : std::as_const(response.headers)) {
                if (h.first.compare("ETag", Qt::CaseInsensitive) == 0
                    || h.first.compare("Last-Modified", Qt::CaseInsensitive) == 0)
                    unchanged.headers.append(h);
            }
            unchanged.omitContentLength = true; // a 304 has no body, and says nothing of it
            unchanged.delayMs = response.delayMs;
            response = unchanged;
            ++m_notModified;
        }
        response.delayMs += m_answerDelayMs;
        const bool head = request.method == "HEAD";
        const bool close = request.header("Connection").compare("close", Qt::CaseInsensitive) == 0;
        if (response.silent)
            return; // stays busy: nothing more is answered on this connection
        if (response.drop) {
            answered(state);
            socket->abort();
            return;
        }
        auto answer = [this, socket, state, response, head, close] {
            send(socket, state, response, head, close);
        };
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, socket, answer);
        else
            answer();
    }

    static bool notModified(const TestHttpRequest &request, const TestHttpResponse &response)
    {
        if (response.status != 200)
            return false;
        QByteArray etag, lastModified;
        for (const auto &h : response.headers) {
            if (h.first.compare("ETag", Qt::CaseInsensitive) == 0)
                etag = h.second;
            else if (h.first.compare("Last-Modified", Qt::CaseInsensitive) == 0)
                lastModified = h.second;
        }
        const QByteArray ifNoneMatch = request.header("If-None-Match");
        if (!ifNoneMatch.isEmpty())
            return !etag.isEmpty() && ifNoneMatch == etag;
        const QByteArray ifModifiedSince = request.header("If-Modified-Since");
        return !ifModifiedSince.isEmpty() && ifModifiedSince == lastModified;
    }

    TestHttpResponse responseFor(const TestHttpRequest &request)
    {
        for (const QByteArray &k : {key(request.method, request.path), key({}, request.path)}) {
            auto queued = m_queued.find(k);
            if (queued != m_queued.end() && !queued->isEmpty())
                return queued->takeFirst();
        }
        for (const QByteArray &k : {key(request.method, request.path), key({}, request.path)}) {
            auto fixed = m_fixed.constFind(k);
            if (fixed != m_fixed.constEnd())
                return *fixed;
        }
        if (m_handler) {
            if (std::optional<TestHttpResponse> r = m_handler(request))
                return *r;
        }
        return TestHttpResponse::withStatus(404, {{"Content-Type", "text/plain"}}, "not found");
    }

    void send(QTcpSocket *socket, const std::shared_ptr<Connection> &state,
        const TestHttpResponse &response, bool head, bool close)
    {
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + ' '
            + reasonFor(response.status) + "\r\n";
        for (const auto &h : response.headers)
            out += h.first + ": " + h.second + "\r\n";
        const bool noBody = head || response.status == 304 || response.status == 204;
        const bool untilClose = response.omitContentLength && !noBody;
        if (!response.omitContentLength)
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (close || untilClose)
            out += "Connection: close\r\n";
        out += "\r\n";

        QByteArray body = noBody ? QByteArray() : response.body;
        bool cut = false;
        if (!head && response.dropAfterBytes >= 0 && response.dropAfterBytes < body.size()) {
            body.truncate(response.dropAfterBytes);
            cut = true;
        }
        auto finish = [this, socket, state, close, cut, untilClose] {
            answered(state);
            if (cut || close || untilClose) {
                socket->flush();
                socket->disconnectFromHost();
                if (cut)
                    socket->abort();
                return;
            }
            state->busy = false;
            serveNext(socket, state);
        };
        if (response.chunkSize <= 0 || body.isEmpty()) {
            // Header and body in one write, as most servers send a small answer.
            socket->write(out + body);
            finish();
            return;
        }
        socket->write(out);
        sendSlowly(socket, body, 0, response.chunkSize, response.chunkDelayMs, finish);
    }

    static void sendSlowly(QTcpSocket *socket, const QByteArray &body, qint64 from, int chunk,
        int delayMs, const std::function<void()> &finish)
    {
        socket->write(body.mid(from, chunk));
        socket->flush();
        const qint64 next = from + chunk;
        if (next >= body.size()) {
            finish();
            return;
        }
        QTimer::singleShot(delayMs, socket, [socket, body, next, chunk, delayMs, finish] {
            sendSlowly(socket, body, next, chunk, delayMs, finish);
        });
    }

    std::unique_ptr<QTcpServer> m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    QHash<QByteArray, TestHttpResponse> m_fixed;
    QHash<QByteArray, QList<TestHttpResponse>> m_queued;
    Handler m_handler;
    QList<TestHttpRequest> m_requests;
    bool m_tls = false;
    bool m_validating = false;
    int m_answerDelayMs = 0;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    int m_notModified = 0;
};
