#pragma once

#include "updater/feedlocation.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

#include <memory>

class HttpConnection;
class HttpResponseHeader;
class QSqlDatabase;
class Request;

// Fetches the subscribed feeds one at a time: a HEAD first, and a GET only when
// the Last-modified header differs from the one seen last time; the document
// then goes to FeedDocument. Runs come from the update timer, from updateAll()
// and from update()/addFeed(); the first run waits for the client's proxy answer.
class Updater : public QObject
{
    Q_OBJECT
public:
    // How a feed's last fetch ended.
    enum Outcome {
        NotFetched, // not yet fetched since the updater started
        Unchanged, // nothing new (or the same Last-modified as before)
        Changed, // a new item stored or the feed's first title
        Failed // no answer, an error status, a transfer error or no feed document
    };
    Q_ENUM(Outcome)

    static constexpr int MaxRedirects = 10;

    explicit Updater(QSqlDatabase *db, QObject *parent = nullptr);
    ~Updater() override;

    // WAL journal, synchronous=NORMAL and the index behind the item lookup; the
    // constructor calls it, the three tables stay as they are.
    static void prepareDatabase(QSqlDatabase &db);

    // Forgets the feed; stops it without a report when it is in flight.
    void removeFeed(int id);

    bool isBusy() const { return !m_queue.isEmpty(); }
    // Decimal ids still to be fetched in this run, the one in flight first.
    QStringList queuedFeeds() const { return m_queue; }
    // Ids of the known feeds in the order a full run visits them.
    QList<int> feedIds() const;
    QUrl feedUrl(int id) const;
    Outcome lastOutcome(int id) const { return m_outcomes.value(id, NotFetched); }
    // Why the feed's last fetch failed; all empty unless lastOutcome() is Failed, or
    // the feed's document was a well-formed page without a feed (notAFeed).
    struct Failure
    {
        int httpStatus = 0; // the server's answer, when it gave one
        bool notAFeed = false; // fetched, but not RSS, RDF or Atom
        QString error;
    };
    Failure lastFailure(int id) const { return m_failures.value(id); }
    HttpConnection *connection() const { return m_connection.get(); }

    // The HEAD watch interval and the bounds for a silent server (tests shorten them).
    void setTimings(int headWatchMs, int headTimeoutMs, int getTimeoutMs);

signals:
    void newItems(int id, bool changed);
    void sendRenameFeed(int id);
    // The run is over: nothing is queued any more.
    void queueEmpty();

public slots:
    void addFeed(int id);
    void newIntervall();
    void update(int id);
    void updateAll();

private slots:
    void getFeed(int id, bool error);
    void getHeader(const HttpResponseHeader &header);
    void getProxy(Request *request);
    void getProxyFailed(Request *request);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void advance();
    void fetch();
    void finishUnchanged(Outcome outcome);
    // A GET that failed or took too long: dropped from the run without a report.
    void dropCurrent();
    void startUpdateTimer();
    void stopTimer(int &timer);
    void setOutcome(const QString &id, Outcome outcome);
    void noteFailure(const QString &id, const Failure &failure);

    std::unique_ptr<HttpConnection> m_connection;
    QString m_current;
    int m_nextItemId = 1;
    int m_updateTimer = 0;
    int m_headTimer = 0;
    int m_getRequestId = 0;
    QSqlDatabase *m_db;
    QMap<QString, FeedLocation> m_feeds;
    QStringList m_queue;

    int m_getTimer = 0;
    QElapsedTimer m_headSent;
    int m_redirects = 0;
    quint64 m_fetches = 0;
    bool m_waitingForProxy = false;
    QHash<int, Outcome> m_outcomes;
    QHash<int, Failure> m_failures;
    int m_headWatchMs = 2000;
    int m_headTimeoutMs = 30000;
    int m_getTimeoutMs = 60000;
};
