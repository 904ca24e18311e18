#pragma once

#include <QList>
#include <QTreeView>
#include <initializer_list>

class FeedModel;
class QAction;
class QSqlDatabase;

// The viewer's tree of folders, feeds and newest item titles. It keeps each node's
// expanded state in the database, offers a context menu that depends on the node under
// the mouse and tells the viewer through signals what to show, update, clean, rename or
// unsubscribe.
class PFeedsTree : public QTreeView
{
    Q_OBJECT
public:
    PFeedsTree(QSqlDatabase *db, QWidget *parent = nullptr);

    FeedModel *feedModel() const { return m_model; }

    // Removes the node of a feed that was unsubscribed.
    void forgetFeed(int id);
    // 0 for a folder index.
    int feedIdOf(const QModelIndex &index) const;
    // 0 for anything but a folder index.
    int folderIdOf(const QModelIndex &index) const;
    int countToLoad() const;
    QList<int> idsToLoad() const;
    void refreshAll();
    // Makes the feed current with only its folder expanded; the browser is not navigated.
    void selectFeed(int id);

    // Keyboard navigation over the whole tree, folded parts included: the item row
    // after (or before) the current node, and the next feed with unread items after
    // it, wrapping round at the end. False when there is none.
    bool selectNextItem();
    bool selectPreviousItem();
    bool selectNextUnreadFeed();

signals:
    void clearFeed(const QString &source);
    void sendLink(const QString &link);
    void sendNewPage(int id);
    void sendOverview(const QString &page);
    void sendRenameFeed(int id);
    void sendSaveGroups();
    void sendSource(const QString &source);
    void sendStartCleanWizard(int id);
    void sendStartUpdate(int id);
    void sendUpdate(int id);
    // Mark every item of a feed (0: the flagged ones), of a folder, or all items read.
    void sendMarkFeedRead(int id);
    void sendMarkFolderRead(int id);
    void sendMarkAllRead();
    // A web address for the desktop's browser.
    void sendOpenExternally(const QString &url);
    void sendShowProperties(int id);

public slots:
    void update(int id);

protected slots:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

public slots:
    void collapsItem(const QModelIndex &index);
    void expandItem(const QModelIndex &index);
    void getActivated(const QModelIndex &index);
    void pressActChannel();
    void pressCleanChannel1();
    void pressCleanChannel2();
    void pressClearChannel();
    void pressClearFolder();
    void pressClearSelection();
    void pressMoveChannel();
    void pressNewFolder();
    void pressRenameChannel();
    void pressRenameFolder();
    void pressUpdateChannel();
    void pressMarkRead();
    void pressMarkAllRead();
    void pressOpenSite();
    void pressOpenItem();
    void pressProperties();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createActions();
    void retranslate();
    void restoreExpansion();
    void storeExpansion(const QModelIndex &index, bool expanded);
    void attach(std::initializer_list<QAction *> actions);
    int currentFeedId() const;
    int currentFolderId() const;
    // Every node in display order, folded ones included.
    QModelIndexList allIndexes() const;
    void makeCurrent(const QModelIndex &index);

    QSqlDatabase *m_db;
    FeedModel *m_model = nullptr;

    QAction *m_cleanChannel1 = nullptr;
    QAction *m_cleanChannel2 = nullptr;
    QAction *m_newFolder = nullptr;
    QAction *m_renameFolder = nullptr;
    QAction *m_clearFolder = nullptr;
    QAction *m_clearChannel = nullptr;
    QAction *m_actChannel = nullptr;
    QAction *m_renameChannel = nullptr;
    QAction *m_updateChannel = nullptr;
    QAction *m_moveChannel = nullptr;
    QAction *m_clearSelection = nullptr;
    QAction *m_markRead = nullptr;
    QAction *m_markAllRead = nullptr;
    QAction *m_openSite = nullptr;
    QAction *m_openItem = nullptr;
    QAction *m_properties = nullptr;
    QList<QAction *> m_actions;

    // Each suppresses exactly one event after a right-button press on a node.
    bool linkOnChange = true;
    bool toggleOnActivate = true;
};
