#pragma once

#include <QElapsedTimer>
#include <QTableWidget>
#include <QUrl>

class HttpConnection;
class HttpResponseHeader;
class QSqlDatabase;
class QSqlQuery;
class QTimer;
class Request;

// The list of feeds found at an address on the wizard's address page. The address
// is fetched (HEAD, then GET); a feed document is offered itself, any other page
// is scanned for <link> elements of type RSS or Atom. Feeds already subscribed
// start ticked; applySelection() turns changed ticks into saveFeed() and
// clearFeed(). Status rows tell what is going on.
class PAboFeedTable : public QTableWidget
{
    Q_OBJECT
public:
    enum Role {
        AddressRole = Qt::UserRole,
        SubscribedRole // subscribed when the row was made
    };

    // Redirects followed for one address before giving up with "Error".
    static constexpr int MaxRedirects = 10;
    // A request with no answer for this long ends the discovery.
    static constexpr int DefaultStallTimeout = 30000;

    explicit PAboFeedTable(QWidget *parent = nullptr);
    ~PAboFeedTable() override;

    void setDatabase(QSqlDatabase *db);
    void discover(const QUrl &address);
    // Stops a discovery under way; the rows stay as they are.
    void abort();
    void applySelection();

    void setStallTimeout(int milliseconds) { m_stallTimeout = milliseconds; }
    QUrl requestedAddress() const { return m_requested; }
    QUrl currentAddress() const { return m_current; }

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title = QString());
    void sendFeedFound();

private slots:
    void getHeader(const HttpResponseHeader &header);
    void getProxy(Request *request);
    void parseHtml(int id, bool error);
    void timerEvent();

private:
    enum Phase { Idle, Head, Get };

    void fetch(const QUrl &address);
    void finish();
    void stop();
    void showStatus(const QString &text);
    void finishRows();
    void addFeedRow(const QString &text, const QString &address, QSqlQuery *lookup);
    void scanHtml(const QByteArray &body);
    static bool isFeedDocument(const QByteArray &body);
    QString linkAddress(const QString &href) const;

    HttpConnection *m_connection;
    QUrl m_requested;
    QUrl m_current;
    QSqlDatabase *m_db = nullptr;
    QTimer *m_watch;

    Phase m_phase = Idle;
    int m_requestId = 0;
    int m_redirects = 0;
    int m_stallTimeout = DefaultStallTimeout;
    QElapsedTimer m_requestClock;
};
