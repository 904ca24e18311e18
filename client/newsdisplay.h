#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QWidget>

class Protocol;
class QLabel;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

// The client's own news display: the newest headlines of every feed the user
// shows in the client, optionally grouped by folder. It reads the plug-in's
// database through a connection of its own and writes only the read flag.
class NewsDisplay : public QWidget
{
    Q_OBJECT
public:
    // Roles of the tree's items.
    enum Role { ChannelRole = Qt::UserRole, ItemRole, ReadRole };

    explicit NewsDisplay(QWidget *parent = nullptr);
    ~NewsDisplay() override;

    // The database to show; it is opened lazily and never created.
    void setDatabaseFile(const QString &file);
    void closeDatabase();
    QTreeWidget *tree() const { return m_tree; }

public slots:
    void refresh();
    // Coalesces the notices of one burst into one rebuild.
    void scheduleRefresh();
    // A notice of the plug-in (FeedItemsChanged ... ItemStateNotice).
    void noticeReceived(quint16 command, const Protocol &message);
    // Marks a headline read in the database and reports it.
    void markRead(int channelId, int itemId);

signals:
    // Opening a headline (item id and channel id; item -1 for a whole feed).
    void openItemRequested(int itemId, int channelId);
    void itemMarkedRead(int channelId, int itemId);
    // New items arrived for a feed on show.
    void newItemsArrived();

protected:
    void changeEvent(QEvent *event) override;

private:
    bool ensureOpen();
    void retranslate();
    void activated(QTreeWidgetItem *item);
    void showContextMenu(const QPoint &position);
    QTreeWidgetItem *addFeed(QTreeWidgetItem *parent, int id, const QString &title);

    QTreeWidget *m_tree;
    QLabel *m_emptyLabel;
    QTimer *m_refreshTimer;
    QString m_file;
    QString m_connection;
    QSqlDatabase m_db;
};
