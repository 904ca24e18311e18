#include "httpconnection.h"

#include "host/protocol.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

HttpConnection::Error mapError(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::NoError:
        return HttpConnection::NoError;
    case QNetworkReply::HostNotFoundError:
        return HttpConnection::HostNotFound;
    case QNetworkReply::ConnectionRefusedError:
        return HttpConnection::ConnectionRefused;
    case QNetworkReply::RemoteHostClosedError:
        return HttpConnection::UnexpectedClose;
    case QNetworkReply::TimeoutError:
        return HttpConnection::Timeout;
    case QNetworkReply::OperationCanceledError:
        return HttpConnection::Aborted;
    case QNetworkReply::SslHandshakeFailedError:
        return HttpConnection::TlsError;
    case QNetworkReply::ProtocolFailure:
        return HttpConnection::InvalidResponseHeader;
    default:
        break;
    }
    if (code >= QNetworkReply::ProxyConnectionRefusedError
        && code <= QNetworkReply::UnknownProxyError)
        return HttpConnection::ProxyError;
    return HttpConnection::UnknownError;
}

// QNetworkAccessManager reports 4xx and 5xx answers as errors; for this
// connection an answer with a status line is a completed request.
bool isStatusOnlyError(QNetworkReply::NetworkError code)
{
    return (code >= QNetworkReply::ContentAccessDenied
               && code <= QNetworkReply::UnknownContentError)
        || (code >= QNetworkReply::InternalServerError && code <= QNetworkReply::UnknownServerError)
        || code == QNetworkReply::ProtocolInvalidOperationError;
}

QString argText(const ProtocolArg &arg)
{
    if (arg.type() == ProtocolArg::Bytes)
        return QString::fromUtf8(arg.variant().toByteArray());
    return arg.variant().toString();
}

} // namespace

HttpConnection::HttpConnection(QObject *parent)
    : QObject(parent), m_manager(new QNetworkAccessManager(this)), m_userAgent(defaultUserAgent())
{
    // No proxy unless the client names one; never the environment's by accident.
    m_manager->setProxy(m_proxy);
}

HttpConnection::~HttpConnection()
{
    if (m_current && m_current->reply)
        releaseReply(m_current->reply, true);
}

QByteArray HttpConnection::defaultUserAgent()
{
    return QByteArrayLiteral("pellix-News/1.0.0 (pellixRss feed reader)");
}

void HttpConnection::setHost(const QString &host, quint16 port, bool tls)
{
    m_host = host;
    m_port = port;
    m_tls = tls;
}

void HttpConnection::setHost(const QUrl &url)
{
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const int port = url.port();
    setHost(url.host(), port > 0 && port <= 65535 ? quint16(port) : 0, tls);
}

quint16 HttpConnection::port() const
{
    if (m_port)
        return m_port;
    return m_tls ? 443 : 80;
}

QString HttpConnection::requestPath(const QUrl &url)
{
    const QString path = url.path(QUrl::FullyEncoded);
    if (url.hasQuery())
        return path + QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    if (!path.isEmpty())
        return path;
    return QStringLiteral("/");
}

int HttpConnection::currentId() const
{
    if (m_current)
        return m_current->id;
    return m_pending.isEmpty() ? 0 : m_pending.first().id;
}

int HttpConnection::head(const QString &path)
{
    return enqueue(QByteArrayLiteral("HEAD"), path);
}

int HttpConnection::get(const QString &path)
{
    return enqueue(QByteArrayLiteral("GET"), path);
}

int HttpConnection::get(const QString &path, const QList<QPair<QByteArray, QByteArray>> &fields)
{
    return enqueue(QByteArrayLiteral("GET"), path, fields);
}

int HttpConnection::enqueue(
    const QByteArray &verb, const QString &path, const QList<QPair<QByteArray, QByteArray>> &fields)
{
    PendingRequest request;
    request.id = ++m_lastId;
    request.verb = verb;
    request.fields = fields;

    QString target = path.isEmpty() ? QStringLiteral("/") : path;
    if (!target.startsWith(QLatin1Char('/')))
        target.prepend(QLatin1Char('/'));
    QUrl base;
    base.setScheme(m_tls ? QStringLiteral("https") : QStringLiteral("http"));
    base.setHost(m_host);
    if (m_port)
        base.setPort(m_port);
    request.url = QUrl::fromEncoded(base.toEncoded() + target.toUtf8(), QUrl::TolerantMode);
    m_pending.append(request);

    // Requests start from the event loop, as a queued connection would start them,
    // so that a slot may queue the next request while the current one ends.
    if (!m_current && !m_startScheduled) {
        m_startScheduled = true;
        QTimer::singleShot(0, this, &HttpConnection::startNext);
    }
    return request.id;
}

void HttpConnection::startNext()
{
    m_startScheduled = false;
    if (m_current || m_pending.isEmpty())
        return;

    m_current = std::make_unique<PendingRequest>(m_pending.takeFirst());
    m_buffer.clear();
    m_lastResponse = HttpResponseHeader();
    m_error = NoError;
    m_errorString.clear();

    QNetworkRequest request(m_current->url);
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader, m_userAgent);
    for (const auto &field : std::as_const(m_current->fields))
        request.setRawHeader(field.first, field.second);
    QNetworkReply *reply
        = m_current->verb == "HEAD" ? m_manager->head(request) : m_manager->get(request);
    m_current->reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &HttpConnection::onMetaData);
    connect(reply, &QIODevice::readyRead, this, &HttpConnection::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &HttpConnection::onFinished);

    emit requestStarted(m_current->id);
}

void HttpConnection::emitHeader()
{
    QNetworkReply *reply = m_current->reply;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (m_current->headerSent || !status.isValid())
        return;
    m_current->headerSent = true;
    m_lastResponse = HttpResponseHeader(status.toInt(),
        reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(),
        reply->rawHeaderPairs());
    emit responseHeaderReceived(m_lastResponse);
}

void HttpConnection::onMetaData()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!m_current || m_current->reply != reply)
        return;
    emitHeader();
    // A slot may have aborted the request.
    if (!m_current || m_current->reply != reply)
        return;
    if (m_current->verb == "GET") {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > m_maxBodySize)
            finishCurrent(BodyTooLarge, tr("The response body is too large"));
    }
}

void HttpConnection::onReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!m_current || m_current->reply != reply)
        return;
    m_buffer += reply->readAll();
    if (m_buffer.size() > m_maxBodySize) {
        m_buffer.clear();
        finishCurrent(BodyTooLarge, tr("The response body is too large"));
        return;
    }
    emit readyRead();
}

void HttpConnection::onFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!m_current || m_current->reply != reply)
        return;
    emitHeader();
    if (!m_current || m_current->reply != reply)
        return;
    m_buffer += reply->readAll();
    if (m_buffer.size() > m_maxBodySize) {
        m_buffer.clear();
        finishCurrent(BodyTooLarge, tr("The response body is too large"));
        return;
    }

    const QNetworkReply::NetworkError code = reply->error();
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (code == QNetworkReply::NoError || (answered && isStatusOnlyError(code)))
        finishCurrent(NoError, QString());
    else
        finishCurrent(mapError(code), reply->errorString());
}

void HttpConnection::releaseReply(QNetworkReply *reply, bool abortIt)
{
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    if (abortIt && reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void HttpConnection::finishCurrent(Error error, const QString &text)
{
    std::unique_ptr<PendingRequest> finished = std::move(m_current);
    releaseReply(finished->reply, error != NoError);
    m_error = error;
    m_errorString = text;
    if (!m_pending.isEmpty() && !m_startScheduled) {
        m_startScheduled = true;
        QTimer::singleShot(0, this, &HttpConnection::startNext);
    }

    const bool failed = error != NoError;
    emit requestFinished(finished->id, failed);
    if (!m_current && m_pending.isEmpty())
        emit done(failed);
}

void HttpConnection::clearPendingRequests()
{
    m_pending.clear();
}

void HttpConnection::abort()
{
    // The request about to start counts as running: aborting must end it visibly.
    if (!m_current && !m_pending.isEmpty())
        m_current = std::make_unique<PendingRequest>(m_pending.takeFirst());
    m_pending.clear();
    if (!m_current)
        return;
    m_buffer.clear();
    finishCurrent(Aborted, tr("Request aborted"));
}

QByteArray HttpConnection::readAll()
{
    QByteArray bytes;
    bytes.swap(m_buffer);
    return bytes;
}

void HttpConnection::setProxy(const QNetworkProxy &proxy)
{
    m_proxy = proxy;
    m_manager->setProxy(proxy);
}

void HttpConnection::setProxy(
    const QString &host, int port, const QString &user, const QString &password)
{
    setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, host, quint16(port), user, password));
}

QNetworkProxy HttpConnection::proxyFromReply(const Protocol *reply)
{
    if (!reply || reply->args().isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QList<ProtocolArg> &args = reply->args();
    const uint kind = args.at(0).variant().toUInt();
    if (kind == 0)
        return QNetworkProxy(QNetworkProxy::NoProxy);

    const QString host = args.size() > 1 ? argText(args.at(1)) : QString();
    const quint16 port = args.size() > 2 ? quint16(args.at(2).variant().toUInt()) : 0;
    const QString user = args.size() > 3 ? argText(args.at(3)) : QString();
    const QString password = args.size() == 5 ? argText(args.at(4)) : QString();
    const auto type
        = kind == 1 || kind == 2 ? QNetworkProxy::HttpProxy : QNetworkProxy::Socks5Proxy;
    return QNetworkProxy(type, host, port, user, password);
}
