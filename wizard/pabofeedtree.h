#pragma once

#include <QModelIndex>
#include <QPointer>
#include <QTreeWidget>

class QRegularExpression;
class QSqlDatabase;
class Request;

// The catalogue of recommended feeds on the last wizard page: categories with
// their feeds, asked from the client's server category by category. Feeds that
// are already subscribed start ticked; Finish turns changed ticks into
// saveFeed() and clearFeed().
class PAboFeedTree : public QTreeWidget
{
    Q_OBJECT
public:
    // Data of a feed item in column 0; a category only carries IdRole.
    enum Role {
        AddressRole = Qt::UserRole, // its presence makes an item a feed
        SubscribedRole, // subscribed when loaded
        TickedRole, // ticked now
        IdRole // category id, or the feed's catalogue id
    };

    explicit PAboFeedTree(QWidget *parent = nullptr);
    ~PAboFeedTree() override;

    // Empties the tree and asks for the top of the catalogue again.
    void loadCatalogue(QSqlDatabase *db);
    // Asks the server for the children of a catalogue node.
    void requestChildren(quint32 node, bool flag);

    // Tick or untick every feed below index (the whole tree for the root), hidden ones too.
    void checkAll(const QModelIndex &index = QModelIndex());
    void uncheckAll(const QModelIndex &index = QModelIndex());
    // Emits saveFeed() or clearFeed() for every feed whose tick changed.
    void applySelection(const QModelIndex &index = QModelIndex());

    // Feeds whose tick differs from their subscription.
    int changedCount() const;

    int selected() const { return m_selected; }
    int total() const { return m_total; }

signals:
    void clearFeed(const QString &address);
    void saveFeed(const QString &address, const QString &title, int id);
    void selectedFeeds(int count);
    // The server has no catalogue to give (offline, or its file is unusable).
    void catalogueUnavailable();

public slots:
    void aboChanged(QTreeWidgetItem *item, int column);
    // Hides every feed whose title does not match "*newText*" (wildcards allowed, any
    // letter case) and every category left without a visible feed. Returns whether
    // anything below parent stays visible.
    bool setFilter(const QString &newText, const QModelIndex &parent);
    bool setFilter(const QString &newText);

private slots:
    void getActivated(const QModelIndex &index);
    void getChilds(Request *request);

private:
    class Load;

    static bool isFeed(const QTreeWidgetItem *item);
    QTreeWidgetItem *findCategory(int id, QTreeWidgetItem *under = nullptr) const;
    bool filter(const QRegularExpression &pattern, bool emptyText, const QModelIndex &index);
    void setTicks(bool ticked, const QModelIndex &index);
    void watchTicks(bool on);

    int m_selected = 0;
    int m_total = 0;
    QSqlDatabase *m_db = nullptr;
    // Receiver of the answers of the current load; replaced on every load.
    QPointer<Load> m_load;
};
