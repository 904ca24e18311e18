#pragma once

#include <QTableWidget>
#include <QUrl>

class FeedDiscovery;
class QSqlDatabase;
class QSqlQuery;
class Request;
struct FeedLink;

// The list of feeds found at an address on the wizard's address page. The address
// is fetched and read by FeedDiscovery: a feed document is offered itself, any
// other page offers the feeds it announces. Feeds already subscribed start
// ticked, and a single feed found is ticked for the user; applySelection() turns
// changed ticks into saveFeed() and clearFeed(). Status rows tell what is going on.
class PAboFeedTable : public QTableWidget
{
    Q_OBJECT
public:
    enum Role {
        AddressRole = Qt::UserRole,
        SubscribedRole, // subscribed when the row was made
        TitleRole, // the title to subscribe with; empty lets the feed name itself
        TypeRole
    };

    explicit PAboFeedTable(QWidget *parent = nullptr);
    ~PAboFeedTable() override;

    void setDatabase(QSqlDatabase *db);
    void discover(const QUrl &address);
    // Stops a discovery under way; the rows stay as they are.
    void abort();
    void applySelection();
    // Rows ticked now, whether or not that changes anything.
    int tickedCount() const;
    // Rows whose tick differs from their subscription.
    int changedCount() const;

    void setStallTimeout(int milliseconds);
    QUrl requestedAddress() const;
    QUrl currentAddress() const;
    FeedDiscovery *discovery() const { return m_discovery; }

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title = QString());
    void sendFeedFound();

private slots:
    void getProxy(Request *request);

private:
    void stateChanged();
    void showStatus(const QString &text);
    void showFeeds();
    void addFeedRow(const FeedLink &feed, const QString &text, QSqlQuery *lookup);

    FeedDiscovery *m_discovery;
    QSqlDatabase *m_db = nullptr;
};
