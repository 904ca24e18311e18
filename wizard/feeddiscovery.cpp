#include "feeddiscovery.h"

#include "updater/feeddocument.h"
#include "updater/httpconnection.h"
#include "wizard/feedlinkreader.h"

#include <QStack>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>

namespace {

bool startsWithText(const QString &text, const char *prefix)
{
    return text.startsWith(QLatin1String(prefix), Qt::CaseInsensitive);
}

} // namespace

FeedDiscovery::FeedDiscovery(QObject *parent)
    : QObject(parent), m_connection(new HttpConnection(this)), m_watch(new QTimer(this))
{
    setStallTimeout(DefaultStallTimeout);
    connect(m_watch, &QTimer::timeout, this, &FeedDiscovery::watch);
    connect(m_connection, &HttpConnection::responseHeaderReceived, this, &FeedDiscovery::getHeader);
    connect(m_connection, &HttpConnection::requestFinished, this, &FeedDiscovery::requestFinished);
    // Silence is what times out, not a long transfer.
    connect(m_connection, &HttpConnection::readyRead, this, [this] { m_silence.start(); });
}

FeedDiscovery::~FeedDiscovery()
{
    stopRequest();
}

void FeedDiscovery::setProxy(const QNetworkProxy &proxy)
{
    m_connection->setProxy(proxy);
}

void FeedDiscovery::setStallTimeout(int milliseconds)
{
    m_stallTimeout = milliseconds;
    m_watch->setInterval(std::clamp(milliseconds / 4, 10, 2000));
}

QString FeedDiscovery::addressFromInput(const QString &text)
{
    QString address = text.trimmed();
    if (startsWithText(address, "feed:")) {
        address.remove(0, 5);
        if (address.startsWith(QLatin1String("//")))
            address.prepend(QLatin1String("http:"));
    }
    if (address.isEmpty())
        return QString();
    for (const char *scheme : {"http://", "https://"}) {
        if (startsWithText(address, scheme)) {
            const qsizetype length = qsizetype(qstrlen(scheme));
            return QLatin1String(scheme) + address.mid(length);
        }
    }
    if (address.contains(QLatin1String("://")))
        return address; // another scheme: left for the caller to refuse
    return QLatin1String("http://") + address;
}

bool FeedDiscovery::readFeedDocument(
    const QByteArray &bytes, FeedLink *feed, const QByteArray &contentType)
{
    // Servers often send a line break or two before the XML declaration.
    qsizetype start = 0;
    while (start < bytes.size() && std::isspace(uchar(bytes.at(start))))
        ++start;
    const QByteArray body = start > 0 ? bytes.mid(start) : bytes;

    // Streamed rather than loaded into a DOM: a hostile page may nest deeper than a
    // tree of nodes can be torn down. The declared charset, else the one of the
    // HTTP header, decodes it when the reader would not know it itself.
    QXmlStreamReader reader;
    QString decoded;
    QByteArray charset = FeedDocument::declaredCharset(body.left(512)).toLatin1();
    if (charset.isEmpty() && !body.startsWith("\xef\xbb\xbf") && !body.startsWith("\xff\xfe")
        && !body.startsWith("\xfe\xff"))
        charset = FeedLinkReader::charsetParameter(contentType);
    if (!charset.isEmpty() && FeedLinkReader::decodeAs(charset, body, &decoded))
        reader.addData(decoded);
    else
        reader.addData(body);
    reader.setNamespaceProcessing(false);

    QStack<QString> open;
    QString type;
    QString title;
    bool titleSeen = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.qualifiedName().toString();
            if (open.isEmpty() && type.isEmpty()) {
                if (name == u"rss" || name == u"Channel")
                    type = QStringLiteral("application/rss+xml");
                else if (name == u"feed")
                    type = QStringLiteral("application/atom+xml");
                else if (name == u"rdf:RDF")
                    type = QStringLiteral("application/rdf+xml");
                else
                    return false;
            }
            // The feed's own title: rss/channel/title, rdf:RDF/channel/title, feed/title.
            const bool feedTitle = name == u"title" && !titleSeen
                && ((open.size() == 1 && type == u"application/atom+xml")
                    || (open.size() == 2 && open.top() == u"channel"));
            open.push(name);
            if (feedTitle) {
                titleSeen = true;
                title = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                open.pop();
            }
        } else if (token == QXmlStreamReader::EndElement && !open.isEmpty()) {
            open.pop();
        }
    }
    if (type.isEmpty() || reader.hasError())
        return false;
    if (feed) {
        feed->type = type;
        feed->title = title.simplified();
    }
    return true;
}

void FeedDiscovery::start(const QUrl &address)
{
    stopRequest();
    m_requested = address;
    m_redirects = 0;
    m_addressIsFeed = false;
    m_feeds.clear();
    m_error.clear();
    fetch(address);
}

void FeedDiscovery::abort()
{
    const bool running = isRunning();
    stopRequest();
    if (running)
        setState(Idle);
}

void FeedDiscovery::stopRequest()
{
    m_phase = NoRequest;
    m_requestId = 0;
    m_watch->stop();
    // The abort reports the running request as failed; NoRequest makes that a no-op.
    m_connection->abort();
}

void FeedDiscovery::fetch(const QUrl &address)
{
    m_current = address;
    if (m_current.path().isEmpty())
        m_current.setPath(QStringLiteral("/"));
    m_phase = Head;
    m_connection->setHost(m_current);
    m_requestId = m_connection->head(HttpConnection::requestPath(m_current));
    m_silence.start();
    m_watch->start();
    setState(Searching);
}

void FeedDiscovery::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void FeedDiscovery::fail(const QString &text)
{
    stopRequest();
    m_error = text;
    setState(Failed);
    emit finished();
}

void FeedDiscovery::watch()
{
    if (m_phase == NoRequest) {
        m_watch->stop();
        return;
    }
    if (m_silence.elapsed() >= m_stallTimeout)
        fail(tr("Connection timed out"));
}

void FeedDiscovery::getHeader(const HttpResponseHeader &header)
{
    if (m_phase == NoRequest || m_connection->currentId() != m_requestId)
        return;
    m_silence.start();
    const int status = header.statusCode();
    if (status > 300 && status < 400 && status != 304) {
        redirect(header);
        return;
    }
    if (status >= 200 && status < 300) {
        if (m_phase == Head) {
            m_phase = Get;
            m_requestId = m_connection->get(HttpConnection::requestPath(m_current));
            setState(Reading);
        }
        return;
    }
    if (m_phase == Head && (status == 405 || status == 501)) {
        // The server does not know HEAD: ask for the page itself.
        m_phase = Get;
        m_requestId = m_connection->get(HttpConnection::requestPath(m_current));
        setState(Reading);
        return;
    }
    const QString reason = header.reasonPhrase().trimmed();
    fail(reason.isEmpty() ? tr("The server answered %1").arg(status)
                          : tr("The server answered %1 %2").arg(status).arg(reason));
}

void FeedDiscovery::redirect(const HttpResponseHeader &header)
{
    const QString target = header.value(QStringLiteral("location")).trimmed();
    const QUrl location = m_current.resolved(QUrl(target));
    const QString scheme = location.scheme();
    if (++m_redirects > MaxRedirects || target.isEmpty() || !location.isValid()
        || location.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
        fail(tr("Error"));
        return;
    }
    // A GET's body is of no use any more; an answered HEAD ends by itself.
    if (m_phase == Get) {
        m_phase = NoRequest;
        m_connection->abort();
    }
    fetch(location);
}

void FeedDiscovery::requestFinished(int id, bool error)
{
    if (m_phase == NoRequest || id != m_requestId)
        return;
    if (error) {
        const QString text = m_connection->errorString();
        fail(text.isEmpty() ? tr("Error") : text);
        return;
    }
    if (m_phase != Get)
        return; // a HEAD that ended without a status line is caught by its error
    const QByteArray body = m_connection->readAll();
    const QByteArray contentType
        = m_connection->lastResponse().value(QStringLiteral("content-type")).toLatin1();
    m_phase = NoRequest;
    m_requestId = 0;
    m_watch->stop();

    FeedLink itself;
    if (readFeedDocument(body, &itself, contentType)) {
        // Offered under the address as typed, whatever redirects led to it.
        itself.address = m_requested.toString(QUrl::FullyEncoded);
        m_addressIsFeed = true;
        m_feeds = {itself};
    } else {
        m_feeds = FeedLinkReader::read(body, contentType, m_current);
    }
    setState(m_feeds.isEmpty() ? NothingFound : Found);
    emit finished();
}
