#pragma once

#include "updater/httpresponseheader.h"

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

class Protocol;
class QNetworkAccessManager;
class QNetworkReply;

// One HTTP client connection with a request queue: requests run one after the
// other against the host that was set when they were queued. HEAD and GET bodies
// are kept in the connection's own buffer until read. Redirects are reported,
// never followed; certificate errors are never ignored; every request names the
// product in its User-Agent.
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    enum Error {
        NoError,
        UnknownError,
        HostNotFound,
        ConnectionRefused,
        UnexpectedClose,
        InvalidResponseHeader,
        ProxyError,
        TlsError,
        Timeout,
        BodyTooLarge,
        Aborted
    };
    Q_ENUM(Error)

    static constexpr qint64 DefaultMaxBodySize = 16 * 1024 * 1024;

    explicit HttpConnection(QObject *parent = nullptr);
    ~HttpConnection() override;

    // Target of the requests queued from now on. Port 0 means the scheme's default
    // (80, or 443 with TLS).
    void setHost(const QString &host, quint16 port = 0, bool tls = false);
    // Scheme, host and port of url: "https" uses TLS, every other scheme plain HTTP.
    void setHost(const QUrl &url);
    QString host() const { return m_host; }
    quint16 port() const;
    bool isTls() const { return m_tls; }

    // Queue a request for path (with its query, already encoded); returns its id.
    int head(const QString &path);
    int get(const QString &path);
    // A GET with further header fields, such as the validators of a conditional request.
    int get(const QString &path, const QList<QPair<QByteArray, QByteArray>> &fields);

    // Path of url as a request line wants it: path and query, "/" when empty.
    static QString requestPath(const QUrl &url);

    // Id of the request being executed, or of the one about to start; 0 when none.
    int currentId() const;
    bool hasPendingRequests() const { return !m_pending.isEmpty(); }
    void clearPendingRequests();
    // Ends the running request (reported finished with an error) and drops the queued ones.
    void abort();

    Error error() const { return m_error; }
    QString errorString() const { return m_errorString; }

    // Body bytes received and not yet read.
    QByteArray readAll();
    qint64 bytesAvailable() const { return m_buffer.size(); }
    // The header of the last response received.
    HttpResponseHeader lastResponse() const { return m_lastResponse; }

    void setProxy(const QNetworkProxy &proxy);
    void setProxy(const QString &host, int port, const QString &user = QString(),
        const QString &password = QString());
    QNetworkProxy proxy() const { return m_proxy; }

    // A body longer than this aborts its request with BodyTooLarge.
    void setMaxBodySize(qint64 bytes) { m_maxBodySize = bytes; }
    qint64 maxBodySize() const { return m_maxBodySize; }

    void setUserAgent(const QByteArray &agent) { m_userAgent = agent; }
    QByteArray userAgent() const { return m_userAgent; }
    static QByteArray defaultUserAgent();

    // The client's answer to the proxy request: kind, host, port, user, password.
    // Kind 1 and 2 are HTTP proxies, any other kind but 0 is SOCKS5; kind 0, a
    // missing answer or an empty one mean no proxy.
    static QNetworkProxy proxyFromReply(const Protocol *reply);

signals:
    void requestStarted(int id);
    // The status line and header fields have arrived (3xx included).
    void responseHeaderReceived(const HttpResponseHeader &header);
    void readyRead();
    void requestFinished(int id, bool error);
    // The queue ran empty.
    void done(bool error);

private:
    struct PendingRequest
    {
        int id = 0;
        QByteArray verb;
        QUrl url;
        QList<QPair<QByteArray, QByteArray>> fields;
        QNetworkReply *reply = nullptr;
        bool headerSent = false;
    };

    int enqueue(const QByteArray &verb, const QString &path,
        const QList<QPair<QByteArray, QByteArray>> &fields = {});
    void startNext();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void emitHeader();
    // Ends the running request; signals go out after the connection is consistent.
    void finishCurrent(Error error, const QString &text);
    void releaseReply(QNetworkReply *reply, bool abortIt);

    QNetworkAccessManager *m_manager;
    QString m_host;
    quint16 m_port = 0;
    bool m_tls = false;
    QNetworkProxy m_proxy{QNetworkProxy::NoProxy};
    qint64 m_maxBodySize = DefaultMaxBodySize;
    QByteArray m_userAgent;

    int m_lastId = 0;
    std::unique_ptr<PendingRequest> m_current;
    QList<PendingRequest> m_pending;
    QByteArray m_buffer;
    HttpResponseHeader m_lastResponse;
    Error m_error = NoError;
    QString m_errorString;
    bool m_startScheduled = false;
};
