#include "updater.h"

#include "feeddocument.h"
#include "httpconnection.h"
#include "plugin/rsssettings.h"

#include "host/psimplemessage.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimerEvent>

Updater::Updater(QSqlDatabase *db, QObject *parent)
    : QObject(parent), m_connection(std::make_unique<HttpConnection>()), m_db(db)
{
    if (m_db->isOpen())
        prepareDatabase(*m_db);
    startUpdateTimer();

    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select id, source from feeds where toload = 1"));
    while (query.next())
        m_feeds.insert(query.value(0).toString(), {QUrl(query.value(1).toString()), QString()});
    m_queue = m_feeds.keys();

    // Nothing is fetched before the client has said which proxy to use.
    m_waitingForProxy = true;
    PSimpleMessage message(1, 99, false);
    message.Send(this, &Updater::getProxy, this, &Updater::getProxyFailed, 0);
}

Updater::~Updater()
{
    m_connection->disconnect(this);
}

void Updater::prepareDatabase(QSqlDatabase &db)
{
    QSqlQuery query(db);
    // Readers are never blocked by an update, and a crash mid-run loses at most
    // the document being written.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // Serves the lookup of an item by feed, title and description.
    query.exec(
        QStringLiteral("CREATE INDEX IF NOT EXISTS items_lookup ON items (channelid, title)"));
}

QList<int> Updater::feedIds() const
{
    QList<int> ids;
    for (auto it = m_feeds.cbegin(); it != m_feeds.cend(); ++it)
        ids.append(it.key().toInt());
    return ids;
}

QUrl Updater::feedUrl(int id) const
{
    return m_feeds.value(QString::number(id)).url;
}

void Updater::setTimings(int headWatchMs, int headTimeoutMs, int getTimeoutMs)
{
    m_headWatchMs = headWatchMs;
    m_headTimeoutMs = headTimeoutMs;
    m_getTimeoutMs = getTimeoutMs;
}

void Updater::startUpdateTimer()
{
    // Below one minute the updater would do nothing but fetch.
    const int minutes = qBound(1, RssSettings::intValue(RssSettings::UpdateIntervall), 35000);
    m_updateTimer = startTimer(minutes * 60000);
}

void Updater::stopTimer(int &timer)
{
    if (timer) {
        killTimer(timer);
        timer = 0;
    }
}

void Updater::setOutcome(const QString &id, Outcome outcome)
{
    if (id == QLatin1String("0"))
        return;
    m_outcomes.insert(id.toInt(), outcome);
    if (outcome != Failed)
        m_failures.remove(id.toInt());
}

void Updater::noteFailure(const QString &id, const Failure &failure)
{
    if (id != QLatin1String("0"))
        m_failures.insert(id.toInt(), failure);
}

void Updater::getProxy(Request *request)
{
    if (!request->reply()) {
        WrapPluginHelper::Instance().requestFailed(request, 82, 0);
        WrapPluginHelper::Instance().freeRequest(request);
        getProxyFailed(nullptr);
        return;
    }
    m_connection->setProxy(HttpConnection::proxyFromReply(request->reply()));
    WrapPluginHelper::Instance().freeRequest(request);
    m_waitingForProxy = false;
    advance();
}

void Updater::getProxyFailed(Request *request)
{
    if (request)
        WrapPluginHelper::Instance().freeRequest(request);
    // Without an answer the run starts without a proxy rather than never.
    m_connection->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    m_waitingForProxy = false;
    advance();
}

void Updater::advance()
{
    m_getRequestId = 0;
    if (m_waitingForProxy)
        return;
    if (m_queue.isEmpty()) {
        emit queueEmpty();
        return;
    }
    m_current = m_queue.first();
    m_redirects = 0;
    fetch();
}

void Updater::fetch()
{
    ++m_fetches;
    connect(m_connection.get(), &HttpConnection::responseHeaderReceived, this, &Updater::getHeader,
        Qt::UniqueConnection);
    const FeedLocation location = m_feeds.value(m_current);
    m_connection->setHost(location.url);
    m_connection->head(HttpConnection::requestPath(location.url));
    stopTimer(m_headTimer);
    m_headTimer = startTimer(m_headWatchMs);
    m_headSent.start();
}

void Updater::finishUnchanged(Outcome outcome)
{
    const QString finished = m_current;
    setOutcome(finished, outcome);
    // Out of the queue before the report, so that a feed queued again from a
    // slot of newItems stays queued.
    m_queue.removeAll(finished);
    const quint64 fetches = m_fetches;
    emit newItems(finished.toInt(), false);
    if (m_fetches != fetches)
        return; // a slot has already moved the run on
    advance();
}

void Updater::dropCurrent()
{
    disconnect(m_connection.get(), &HttpConnection::requestFinished, this, &Updater::getFeed);
    stopTimer(m_getTimer);
    m_connection->abort();
    setOutcome(m_current, Failed);
    noteFailure(m_current,
        {0, false,
            tr("The server sent no complete answer within %1 s.").arg(m_getTimeoutMs / 1000)});
    m_queue.removeAll(m_current);
    m_connection->clearPendingRequests();
    advance();
}

void Updater::getHeader(const HttpResponseHeader &header)
{
    stopTimer(m_headTimer);
    disconnect(
        m_connection.get(), &HttpConnection::responseHeaderReceived, this, &Updater::getHeader);
    const int status = header.statusCode();
    auto location = m_feeds.find(m_current);

    if (status == 200) {
        const QString lastModified = header.value(QStringLiteral("Last-modified"));
        if (!lastModified.isEmpty()) {
            if (location != m_feeds.end() && lastModified == location->lastModified) {
                finishUnchanged(Unchanged);
                return;
            }
            if (location != m_feeds.end())
                location->lastModified = lastModified;
        }
        connect(m_connection.get(), &HttpConnection::requestFinished, this, &Updater::getFeed,
            Qt::UniqueConnection);
        const QUrl url = location != m_feeds.end() ? location->url : QUrl();
        m_getRequestId = m_connection->get(HttpConnection::requestPath(url));
        stopTimer(m_getTimer);
        m_getTimer = startTimer(m_getTimeoutMs);
        return;
    }

    if (status > 300 && status < 400) {
        if (++m_redirects > MaxRedirects) {
            noteFailure(m_current, {status, false, tr("Too many redirections.")});
            finishUnchanged(Failed);
            return;
        }
        const QString target = header.value(QStringLiteral("location"));
        if (location != m_feeds.end()) {
            const QUrl next(target);
            location->url
                = target.isEmpty() || !next.isRelative() ? next : location->url.resolved(next);
        }
        fetch();
        return;
    }

    noteFailure(m_current, {status, false, header.reasonPhrase()});
    finishUnchanged(Failed);
}

void Updater::getFeed(int id, bool error)
{
    // The HEAD's own end, and anything stale, is not the GET being waited for.
    if (id != m_getRequestId)
        return;
    stopTimer(m_getTimer);
    disconnect(m_connection.get(), &HttpConnection::requestFinished, this, &Updater::getFeed);

    if (error) {
        setOutcome(m_current, Failed);
        noteFailure(m_current, {0, false, m_connection->errorString()});
        m_queue.removeAll(m_current);
        m_connection->clearPendingRequests();
        advance();
        return;
    }

    const QString finished = m_current;
    FeedDocument document(m_db, finished);
    const FeedDocument::Result result = document.process(m_connection->readAll());
    m_nextItemId = document.nextItemId();

    const bool changed = result == FeedDocument::Changed;
    if (result == FeedDocument::NotADocument)
        m_connection->clearPendingRequests();
    setOutcome(
        finished, changed ? Changed : (result == FeedDocument::Unchanged ? Unchanged : Failed));
    if (result == FeedDocument::NotADocument)
        noteFailure(finished,
            {0, true,
                tr("The document is not an RSS, RDF or Atom feed, or it is not well-formed.")});
    else if (result == FeedDocument::Unchanged && !document.recognised())
        noteFailure(finished, {0, true, tr("The document is not an RSS, RDF or Atom feed.")});
    m_queue.removeAll(finished);
    const quint64 fetches = m_fetches;
    if (document.renamed())
        emit sendRenameFeed(finished.toInt());
    emit newItems(finished.toInt(), changed);
    if (m_fetches != fetches)
        return; // a slot has already moved the run on
    advance();
}

void Updater::update(int id)
{
    const QString key = QString::number(id);
    if (!isBusy()) {
        m_queue.prepend(key);
        advance();
    } else if (!m_queue.contains(key)) {
        // Next after the feed in flight.
        m_queue.prepend(key);
    }
}

void Updater::updateAll()
{
    if (!isBusy()) {
        m_queue = m_feeds.keys();
        advance();
        return;
    }
    m_queue = m_feeds.keys();
    if (m_waitingForProxy)
        return; // the proxy answer starts the run
    // Restart at the first key: the feed in flight ends as a failed GET would,
    // without a report.
    connect(m_connection.get(), &HttpConnection::requestFinished, this, &Updater::getFeed,
        Qt::UniqueConnection);
    m_getRequestId = m_connection->currentId();
    m_current = QStringLiteral("0");
    stopTimer(m_getTimer);
    stopTimer(m_headTimer);
    if (m_getRequestId != 0)
        m_connection->abort(); // reported through getFeed
    else
        getFeed(0, true); // nothing running, e.g. a failed HEAD not yet seen by its watch
}

void Updater::addFeed(int id)
{
    const QString key = QString::number(id);
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select source from feeds where id = ") + key);
    while (query.next())
        m_feeds.insert(key, {QUrl(query.value(0).toString()), QString()});
    update(id);
}

void Updater::newIntervall()
{
    stopTimer(m_updateTimer);
    startUpdateTimer();
    updateAll();
}

void Updater::removeFeed(int id)
{
    const QString key = QString::number(id);
    const bool inFlight = isBusy() && !m_waitingForProxy && m_current == key;
    m_queue.removeAll(key);
    m_feeds.remove(key);
    if (!inFlight)
        return;
    disconnect(
        m_connection.get(), &HttpConnection::responseHeaderReceived, this, &Updater::getHeader);
    disconnect(m_connection.get(), &HttpConnection::requestFinished, this, &Updater::getFeed);
    stopTimer(m_headTimer);
    stopTimer(m_getTimer);
    m_connection->abort();
    m_queue.removeAll(key);
    advance();
}

void Updater::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == m_headTimer) {
        // A connection error, or a server that has not answered in time.
        if (m_connection->error() != HttpConnection::NoError
            || m_headSent.elapsed() >= m_headTimeoutMs) {
            stopTimer(m_headTimer);
            const QString error = m_connection->error() != HttpConnection::NoError
                ? m_connection->errorString()
                : tr("The server did not answer within %1 s.").arg(m_headTimeoutMs / 1000);
            m_connection->abort();
            m_getRequestId = 0;
            noteFailure(m_current, {0, false, error});
            finishUnchanged(Failed);
        }
    } else if (id == m_updateTimer) {
        updateAll();
    } else if (id == m_getTimer) {
        dropCurrent();
    } else {
        killTimer(id); // left over from an interrupted feed
    }
}
