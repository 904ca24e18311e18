#pragma once

#include "wizard/feedlink.h"

#include <QElapsedTimer>
#include <QObject>
#include <QUrl>

class HttpConnection;
class HttpResponseHeader;
class QNetworkProxy;
class QTimer;

// Finds the feeds at an address without showing anything: the address is fetched
// (HEAD, then GET; a server that refuses HEAD is asked with GET), redirects are
// followed, and the document is either a feed itself or a web page whose
// announced feeds are read. Every fetch ends in finished(), with feeds() or with
// errorString().
class FeedDiscovery : public QObject
{
    Q_OBJECT
public:
    enum State { Idle, Searching, Reading, Found, NothingFound, Failed };
    Q_ENUM(State)

    // Redirects followed for one address before giving up.
    static constexpr int MaxRedirects = 10;
    // A request that receives nothing for this long ends the discovery.
    static constexpr int DefaultStallTimeout = 30000;

    explicit FeedDiscovery(QObject *parent = nullptr);
    ~FeedDiscovery() override;

    void setProxy(const QNetworkProxy &proxy);
    void setStallTimeout(int milliseconds);

    void start(const QUrl &address);
    // Stops a discovery under way; what was found so far stays.
    void abort();

    State state() const { return m_state; }
    bool isRunning() const { return m_state == Searching || m_state == Reading; }
    QUrl requestedAddress() const { return m_requested; }
    QUrl currentAddress() const { return m_current; }
    // The address itself is a feed; feeds() then holds it alone.
    bool addressIsFeed() const { return m_addressIsFeed; }
    const FeedLinkList &feeds() const { return m_feeds; }
    QString errorString() const { return m_error; }

    // What a user typed, made an address: surrounding spaces dropped, the scheme
    // in any case, feed:// and feed:https:// read as http(s), http:// put in
    // front when there is no scheme. Empty when nothing usable remains.
    static QString addressFromInput(const QString &text);
    // Whether body is a feed document (RSS, RDF or Atom); fills in its type and
    // title. contentType is the HTTP header's, for a document that declares no charset.
    static bool readFeedDocument(
        const QByteArray &body, FeedLink *feed, const QByteArray &contentType = QByteArray());

signals:
    void stateChanged(FeedDiscovery::State state);
    void finished();

private:
    enum Phase { NoRequest, Head, Get };

    void fetch(const QUrl &address);
    void getHeader(const HttpResponseHeader &header);
    void requestFinished(int id, bool error);
    void watch();
    void redirect(const HttpResponseHeader &header);
    void fail(const QString &text);
    void setState(State state);
    void stopRequest();

    HttpConnection *m_connection;
    QTimer *m_watch;
    QElapsedTimer m_silence;
    int m_stallTimeout = DefaultStallTimeout;

    State m_state = Idle;
    Phase m_phase = NoRequest;
    int m_requestId = 0;
    int m_redirects = 0;
    QUrl m_requested;
    QUrl m_current;
    bool m_addressIsFeed = false;
    FeedLinkList m_feeds;
    QString m_error;
};
