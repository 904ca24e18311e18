#include "updater.h"

#include "core/rssprotocol.h"
#include "core/rsssettings.h"
#include "feeddocument.h"
#include "feedvalidators.h"
#include "httpconnection.h"

#include "host/psimplemessage.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

#include <QMetaEnum>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>
#include <QTimerEvent>

// The reasons a feed failed are written as they are to the --update lines, which
// scripts read; they are not translated.
Updater::Updater(QSqlDatabase *db, QObject *parent) : QObject(parent), m_db(db)
{
    if (m_db->isOpen())
        prepareDatabase(*m_db);
    m_parallel = qBound(1, RssSettings::intValue(RssSettings::ParallelUpdates), int(MaxParallel));
    startUpdateTimer();

    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select id, source from feeds where toload = 1"));
    while (query.next())
        m_feeds.insert(query.value(0).toString(), {QUrl(query.value(1).toString())});
    m_queue = m_feeds.keys();

    // Nothing is fetched before the client has said which proxy to use.
    m_waitingForProxy = true;
    PSimpleMessage message(ClientMessage::CoreModule, ClientMessage::ProxyRequest, false);
    message.Send(this, &Updater::getProxy, this, &Updater::getProxyFailed, 0);
}

Updater::~Updater()
{
    for (Transfer &transfer : m_transfers)
        transfer.connection->disconnect(this);
}

void Updater::prepareDatabase(QSqlDatabase &db)
{
    QSqlQuery query(db);
    // Readers are never blocked by an update, and a crash mid-run loses at most
    // the document being written.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // The validators kept per feed live with the updater that reads and writes them.
    FeedValidators::createTable(db);
}

QStringList Updater::queuedFeeds() const
{
    return m_inFlight + m_queue;
}

QStringList Updater::feedsInFlight() const
{
    return m_inFlight;
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

void Updater::setParallel(int transfers)
{
    m_parallel = qBound(1, transfers, int(MaxParallel));
    startTransfers();
}

void Updater::setTimeouts(int headerMs, int bodyMs)
{
    m_headerTimeoutMs = headerMs;
    m_bodyTimeoutMs = bodyMs;
}

void Updater::setMaxBodySize(qint64 bytes)
{
    m_maxBodySize = bytes;
    for (Transfer &transfer : m_transfers)
        transfer.connection->setMaxBodySize(bytes);
}

void Updater::startUpdateTimer()
{
    // Below one minute the updater would do nothing but fetch.
    const int minutes = qBound(1, RssSettings::intValue(RssSettings::UpdateIntervall), 35000);
    m_updateTimer = startTimer(minutes * 60000);
}

void Updater::getProxy(Request *request)
{
    if (!request->reply()) {
        WrapPluginHelper::Instance().requestFailed(request, ClientMessage::NoMessage, 0);
        WrapPluginHelper::Instance().freeRequest(request);
        getProxyFailed(nullptr);
        return;
    }
    m_proxy = HttpConnection::proxyFromReply(request->reply());
    WrapPluginHelper::Instance().freeRequest(request);
    for (Transfer &transfer : m_transfers)
        transfer.connection->setProxy(m_proxy);
    m_waitingForProxy = false;
    m_running = true;
    startTransfers();
    endRunIfIdle();
}

void Updater::getProxyFailed(Request *request)
{
    if (request)
        WrapPluginHelper::Instance().freeRequest(request);
    // Without an answer the run starts without a proxy rather than never.
    m_proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    for (Transfer &transfer : m_transfers)
        transfer.connection->setProxy(m_proxy);
    m_waitingForProxy = false;
    m_running = true;
    startTransfers();
    endRunIfIdle();
}

Updater::Transfer &Updater::transferSlot(int index)
{
    while (int(m_transfers.size()) <= index) {
        const int slot = int(m_transfers.size());
        Transfer transfer;
        transfer.connection = std::make_unique<HttpConnection>();
        transfer.connection->setProxy(m_proxy);
        if (m_maxBodySize > 0)
            transfer.connection->setMaxBodySize(m_maxBodySize);
        transfer.timer = new QTimer(this);
        transfer.timer->setSingleShot(true);
        connect(transfer.timer, &QTimer::timeout, this, [this, slot] { getTimeout(slot); });
        connect(transfer.connection.get(), &HttpConnection::responseHeaderReceived, this,
            [this, slot](const HttpResponseHeader &header) { getHeader(slot, header); });
        connect(transfer.connection.get(), &HttpConnection::requestFinished, this,
            [this, slot](int id, bool error) { getFeed(slot, id, error); });
        m_transfers.push_back(std::move(transfer));
    }
    return m_transfers[size_t(index)];
}

int Updater::slotOf(const QString &feed) const
{
    for (size_t i = 0; i < m_transfers.size(); ++i) {
        if (m_transfers[i].feed == feed)
            return int(i);
    }
    return -1;
}

void Updater::startTransfers()
{
    if (m_waitingForProxy)
        return;
    for (int slot = 0; slot < m_parallel && !m_queue.isEmpty(); ++slot) {
        if (!transferSlot(slot).feed.isEmpty())
            continue;
        while (!m_queue.isEmpty()) {
            const QString feed = m_queue.takeFirst();
            if (m_feeds.contains(feed) && !m_inFlight.contains(feed)) {
                start(slot, feed);
                break;
            }
        }
    }
}

void Updater::start(int slot, const QString &feed)
{
    Transfer &transfer = transferSlot(slot);
    transfer.feed = feed;
    transfer.url = m_feeds.value(feed).url;
    transfer.redirects = 0;
    // A new subscription or "update now" fetches the document whatever it was.
    transfer.conditional = !m_unconditional.remove(feed);
    m_inFlight.append(feed);
    m_running = true;
    request(slot);
}

void Updater::request(int slot)
{
    Transfer &transfer = m_transfers[size_t(slot)];
    QList<QPair<QByteArray, QByteArray>> fields;
    if (transfer.conditional) {
        const FeedValidators stored = FeedValidators::load(*m_db, transfer.feed.toInt());
        if (!stored.etag.isEmpty())
            fields.append({QByteArrayLiteral("If-None-Match"), stored.etag.toLatin1()});
        if (!stored.lastModified.isEmpty())
            fields.append({QByteArrayLiteral("If-Modified-Since"), stored.lastModified.toLatin1()});
    }
    transfer.headerSeen = false;
    transfer.connection->setHost(transfer.url);
    transfer.requestId
        = transfer.connection->get(HttpConnection::requestPath(transfer.url), fields);
    transfer.timer->start(m_headerTimeoutMs);
}

void Updater::getHeader(int slot, const HttpResponseHeader &)
{
    Transfer &transfer = m_transfers[size_t(slot)];
    if (transfer.feed.isEmpty() || transfer.headerSeen)
        return;
    transfer.headerSeen = true;
    transfer.timer->start(m_bodyTimeoutMs);
}

void Updater::getTimeout(int slot)
{
    Transfer &transfer = m_transfers[size_t(slot)];
    if (transfer.feed.isEmpty())
        return;
    const QString feed = transfer.feed;
    const QString reason = transfer.headerSeen ? QStringLiteral("the transfer took too long")
                                               : QStringLiteral("no answer from the server");
    release(slot);
    finish(feed, Failed, reason);
}

void Updater::getFeed(int slot, int requestId, bool error)
{
    Transfer &transfer = m_transfers[size_t(slot)];
    if (transfer.feed.isEmpty() || requestId != transfer.requestId)
        return;
    transfer.timer->stop();
    const QString feed = transfer.feed;

    if (error) {
        QString reason = transfer.connection->errorString();
        if (reason.isEmpty())
            reason = QString::fromLatin1(QMetaEnum::fromType<HttpConnection::Error>().valueToKey(
                transfer.connection->error()));
        release(slot);
        finish(feed, Failed, reason);
        return;
    }

    const HttpResponseHeader header = transfer.connection->lastResponse();
    const int status = header.statusCode();
    const QString statusText
        = QStringLiteral("HTTP %1 %2").arg(status).arg(header.reasonPhrase()).trimmed();
    if (status == 304) {
        release(slot);
        finish(feed, Unchanged, QString());
        return;
    }
    if (status > 300 && status < 400 && header.hasKey(QStringLiteral("location"))) {
        transfer.connection->readAll();
        if (++transfer.redirects > MaxRedirects) {
            release(slot);
            finish(feed, Failed, QStringLiteral("too many redirects"));
            return;
        }
        const QUrl next(header.value(QStringLiteral("location")));
        transfer.url = next.isRelative() ? transfer.url.resolved(next) : next;
        auto location = m_feeds.find(feed);
        if (location != m_feeds.end())
            location->url = transfer.url;
        request(slot);
        return;
    }
    if (status < 200 || status >= 300) {
        // Whatever the body of an error page holds, it is not the feed.
        release(slot);
        finish(feed, Failed, statusText);
        return;
    }

    const QByteArray body = transfer.connection->readAll();
    release(slot);
    // The freed slot fetches the next feed while this document is stored.
    ++m_processing;
    startTransfers();
    processDocument(feed, body, header);
    --m_processing;
    endRunIfIdle();
}

void Updater::processDocument(
    const QString &feed, const QByteArray &body, const HttpResponseHeader &header)
{
    FeedDocument document(m_db, feed);
    FeedValidators validators;
    validators.etag = header.value(QStringLiteral("ETag"));
    validators.lastModified = header.value(QStringLiteral("Last-Modified"));
    document.setValidators(validators);
    const FeedDocument::Result result = document.process(body);
    if (document.renamed())
        emit sendRenameFeed(feed.toInt());
    switch (result) {
    case FeedDocument::Changed:
        finish(feed, Changed, QString());
        break;
    case FeedDocument::Unchanged:
        // A well-formed web page reads without error, but there is no feed in it.
        if (document.recognised())
            finish(feed, Unchanged, QString());
        else
            finish(feed, Failed, QStringLiteral("not a feed"));
        break;
    case FeedDocument::NotADocument:
        finish(feed, Failed, QStringLiteral("not a feed"));
        break;
    case FeedDocument::StorageFailed:
        emit storageFailed(feed.toInt());
        finish(feed, Failed, QStringLiteral("the news database could not be written"));
        break;
    }
}

void Updater::release(int slot)
{
    Transfer &transfer = m_transfers[size_t(slot)];
    transfer.timer->stop();
    m_inFlight.removeAll(transfer.feed);
    transfer.feed.clear();
    transfer.requestId = 0;
    // A transfer still running ends here; its own end is no longer waited for.
    transfer.connection->clearPendingRequests();
    if (transfer.connection->currentId() != 0)
        transfer.connection->abort();
}

void Updater::finish(const QString &feed, Outcome outcome, const QString &reason)
{
    const int id = feed.toInt();
    m_outcomes.insert(id, outcome);
    if (outcome == Failed)
        m_errors.insert(id, reason);
    else
        m_errors.remove(id);
    emit feedFinished(id, outcome, reason);
    emit newItems(id, outcome == Changed);
    startTransfers();
    endRunIfIdle();
}

void Updater::endRunIfIdle()
{
    if (m_processing > 0 || m_waitingForProxy || !m_running || isBusy())
        return;
    m_running = false;
    emit queueEmpty();
}

void Updater::update(int id)
{
    const QString key = QString::number(id);
    // Next after the feeds in flight; a feed queued or in flight already stays where it is.
    if (!m_queue.contains(key) && !m_inFlight.contains(key))
        m_queue.prepend(key);
    m_running = true;
    startTransfers();
    endRunIfIdle();
}

void Updater::updateAll()
{
    // Transfers in flight finish; everything else is queued afresh from the first key.
    m_queue.clear();
    for (auto it = m_feeds.cbegin(); it != m_feeds.cend(); ++it) {
        if (!m_inFlight.contains(it.key()))
            m_queue.append(it.key());
    }
    m_running = true;
    startTransfers();
    endRunIfIdle();
}

void Updater::addFeed(int id)
{
    const QString key = QString::number(id);
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select source from feeds where id = ") + key);
    while (query.next())
        m_feeds.insert(key, {QUrl(query.value(0).toString())});
    m_unconditional.insert(key);
    update(id);
}

void Updater::newIntervall()
{
    if (m_updateTimer) {
        killTimer(m_updateTimer);
        m_updateTimer = 0;
    }
    startUpdateTimer();
    updateAll();
}

void Updater::removeFeed(int id)
{
    const QString key = QString::number(id);
    m_queue.removeAll(key);
    m_feeds.remove(key);
    m_unconditional.remove(key);
    FeedValidators::remove(*m_db, id);
    const int slot = slotOf(key);
    if (slot < 0)
        return;
    release(slot);
    startTransfers();
    endRunIfIdle();
}

void Updater::timerEvent(QTimerEvent *event)
{
    const int id = event->timerId();
    if (id == m_updateTimer)
        updateAll();
    else
        killTimer(id); // not one of ours
}
