#pragma once

#include "updater/feedlocation.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QNetworkProxy>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <vector>

class HttpConnection;
class HttpResponseHeader;
class QSqlDatabase;
class QTimer;
class Request;

// Fetches the subscribed feeds, several at a time (setting "ParallelUpdates"),
// with one conditional GET each: the ETag and Last-Modified of the document last
// stored go along, a 304 ends the feed as unchanged and a 2xx body goes to
// FeedDocument. Runs come from the update timer, from updateAll() and from
// update()/addFeed(); the first run waits for the client's proxy answer.
class Updater : public QObject
{
    Q_OBJECT
public:
    // How a feed's last fetch ended.
    enum Outcome {
        NotFetched, // not yet fetched since the updater started
        Unchanged, // nothing new, or the server said the document has not changed
        Changed, // a new item stored or the feed's first title
        Failed // no answer, an error status, a transfer error or no feed document
    };
    Q_ENUM(Outcome)

    static constexpr int MaxRedirects = 10;
    static constexpr int DefaultParallel = 4;
    static constexpr int MaxParallel = 32;

    explicit Updater(QSqlDatabase *db, QObject *parent = nullptr);
    ~Updater() override;

    // WAL journal, synchronous=NORMAL, the index behind the item lookup and the
    // table of validators; the constructor calls it, the three tables stay as they are.
    static void prepareDatabase(QSqlDatabase &db);

    // Forgets the feed; stops it without a report when it is in flight.
    void removeFeed(int id);

    bool isBusy() const { return !m_queue.isEmpty() || !m_inFlight.isEmpty(); }
    // Decimal ids still to be fetched in this run, those in flight first.
    QStringList queuedFeeds() const;
    // Decimal ids of the feeds being fetched now.
    QStringList feedsInFlight() const;
    // Ids of the known feeds in the order a full run visits them.
    QList<int> feedIds() const;
    QUrl feedUrl(int id) const;
    Outcome lastOutcome(int id) const { return m_outcomes.value(id, NotFetched); }
    // Why the feed's last fetch failed ("HTTP 404 Not Found", the network error,
    // "not a feed", ...); empty unless it failed.
    QString lastError(int id) const { return m_errors.value(id); }

    // Transfers at the same time; 1 fetches one feed after the other.
    int parallel() const { return m_parallel; }
    void setParallel(int transfers);
    // Bounds for a silent server: until the answer's header, and then for the body.
    void setTimeouts(int headerMs, int bodyMs);
    // A body longer than this ends its feed as failed.
    void setMaxBodySize(qint64 bytes);

signals:
    void newItems(int id, bool changed);
    void sendRenameFeed(int id);
    // Every feed that ends, with its outcome and, for a failure, the reason.
    void feedFinished(int id, Updater::Outcome outcome, const QString &reason);
    // The feed's document arrived but the database refused to store it (locked,
    // read-only, full or damaged); feedFinished follows with Failed.
    void storageFailed(int id);
    // The run is over: nothing is queued or in flight any more.
    void queueEmpty();

public slots:
    void addFeed(int id);
    void newIntervall();
    void update(int id);
    void updateAll();

private slots:
    void getProxy(Request *request);
    void getProxyFailed(Request *request);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    // One transfer slot: its own connection, and the feed it is fetching.
    struct Transfer
    {
        std::unique_ptr<HttpConnection> connection;
        QTimer *timer = nullptr;
        QString feed; // empty when the slot is free
        QUrl url;
        int requestId = 0;
        int redirects = 0;
        bool conditional = true;
        bool headerSeen = false;
    };

    Transfer &transferSlot(int index);
    void startTransfers();
    void start(int slot, const QString &feed);
    void request(int slot);
    void getHeader(int slot, const HttpResponseHeader &header);
    void getFeed(int slot, int requestId, bool error);
    void getTimeout(int slot);
    // Frees the slot; the transfer, if it still runs, ends without a report.
    void release(int slot);
    void finish(const QString &feed, Outcome outcome, const QString &reason);
    void processDocument(
        const QString &feed, const QByteArray &body, const HttpResponseHeader &header);
    void endRunIfIdle();
    void startUpdateTimer();
    int slotOf(const QString &feed) const;

    QSqlDatabase *m_db;
    QMap<QString, FeedLocation> m_feeds;
    QStringList m_queue; // waiting, not in flight
    QStringList m_inFlight; // in the order they started
    std::vector<Transfer> m_transfers;
    QSet<QString> m_unconditional; // fetched next without validators (addFeed)
    QHash<int, Outcome> m_outcomes;
    QHash<int, QString> m_errors;

    int m_updateTimer = 0;
    int m_parallel = DefaultParallel;
    int m_headerTimeoutMs = 30000;
    int m_bodyTimeoutMs = 60000;
    qint64 m_maxBodySize = 0;
    int m_processing = 0;
    bool m_waitingForProxy = false;
    bool m_running = false;
    QNetworkProxy m_proxy{QNetworkProxy::NoProxy};
};
