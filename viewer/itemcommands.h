#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

class PBrowserFrame;
class PFeedsTree;
class QSqlDatabase;

// What the viewer does to stored items at the user's request: marking a feed,
// a folder, the selection or everything read, toggling the selected item's read
// state and flag, reading or flagging every item of a web page the viewer
// shows, and opening addresses in the desktop's browser. The tree and the
// pages follow, and the client hears of every item whose read state changes.
class ItemCommands : public QObject
{
    Q_OBJECT
public:
    ItemCommands(QSqlDatabase *db, PFeedsTree *tree, PBrowserFrame *browser, QObject *parent);

    // Reads every stored item with the link, as opening its web page does;
    // true when there was one.
    bool readLink(const QString &link);
    void flagLink(const QString &link);

    void markFeedRead(int id);
    void markFolderRead(int id);
    void markAllRead();
    void markSelectionRead();
    void toggleItemRead();
    void toggleItemFlag();
    // The selected item's link, else the web page shown (empty when the viewer
    // shows one of its own), else the selected feed's site.
    void openInBrowser(const QString &webPage);
    // Only web addresses: a feed's text must not start programs on the desktop.
    static void openExternally(const QString &url);

signals:
    // command: 1 read, 2 unread.
    void itemStateChanged(int command, int channelid, int itemid);

private:
    void updateTreesForLink(const QString &link);
    // Tells the tree, the pages and the client about items that are read now.
    void reportRead(const QList<QPair<int, int>> &keys);
    // The feed and link of the item row selected in the tree; false for any other node.
    bool currentItem(int *feedId, QString *link) const;

    QSqlDatabase *m_db;
    PFeedsTree *m_tree;
    PBrowserFrame *m_browser;
};
