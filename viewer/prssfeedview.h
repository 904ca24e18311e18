#pragma once

#include "host/pwindow.h"

#include <QList>
#include <QPair>
#include <QString>

class PAnimationLabel;
class PBrowserFrame;
class PFeedSearchTree;
class PFeedsTree;
class PSearchField;
class QAction;
class QComboBox;
class QMenu;
class QSqlDatabase;
class QLabel;
class QPushButton;
class QStackedLayout;
class QStackedWidget;
class QTimer;
class QToolButton;

// The news viewer: the feed tree (or, while searching, the search tree) on the
// left, the browser with its tool bar on the right. It shows the feed pages and
// the items' web pages, reports update progress in the status bar and hands
// the user's requests on to the plug-in through its signals.
class PRSSFeedView : public PWindow
{
    Q_OBJECT
public:
    explicit PRSSFeedView(QSqlDatabase *db, QWidget *parent = nullptr);

    // Selects the feed and, unless either number is -1, opens the item's link.
    void openItem(int channelId, int itemId);
    // Drops the node of a feed that was unsubscribed.
    void forgetFeed(int id);

    // Writes the page script into the viewer directory with the toggle words
    // as the pages carry them in the current language.
    static void writePageScript();

    PFeedsTree *feedsTree() const { return myTree; }
    PFeedSearchTree *searchTree() const { return mySearchTree; }
    PBrowserFrame *browser() const { return m_browser; }
    // The welcome page that stands in the page pane while there are no feeds.
    QWidget *welcomePage() const { return m_welcome; }
    bool isShowingWelcome() const;
    bool isSearching() const;

signals:
    void clearFeed(const QString &source, bool viewer);
    void sendAboChannel();
    void sendChangeFeeds(int id, bool changed);
    void sendItemStateChanged(int command, int channelid, int itemid);
    void sendOptions();
    void sendRenameFeed(int id);
    void sendSaveGroups();
    void sendStartUpdate(int id);
    void sendUpdate(int id);
    void sendUpdateAll();
    void sendImportSubscriptions();
    void sendExportSubscriptions();

public slots:
    void CommandStateChange(int cmd, bool on);
    void NavigateComplete(const QString &url);
    void newItemCount();
    void slotNewItems(int id, bool changed);
    void update(int id);

protected:
    bool event(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void changeEvent(QEvent *e) override;

private slots:
    void aboChannel();
    void canNotStop();
    void canStop();
    void favorit();
    void getClearFeed(const QString &source);
    void getNewPage(int id);
    void getNewSource(const QString &source);
    void getOverview(const QString &url);
    void lineChanged(const QString &text);
    void linkFromTree(const QString &url);
    void newUrl(int index);
    void newUrl(const QString &url);
    void overviewPage();
    void pressLoe();
    void startCleanWizard(int id);
    void startUpdate(int id);
    void updateAllChannel();
    void updateChannel(int id);
    void markFeedRead(int id);
    void markFolderRead(int id);
    void markAllRead();
    void markSelectionRead();
    void toggleItemRead();
    void toggleItemFlag();
    void openInBrowser();
    void openExternally(const QString &url);
    void showProperties(int id);
    void showShortcuts();

private:
    QWidget *buildLeftPanel();
    QWidget *buildRightPanel();
    void buildMenus();
    void retranslate();
    void restoreWindowGeometry();
    void updateTreesForLink(const QString &link);
    void beginUpdate(int total);
    void showProgress(const QString &text, int timeout);
    void showWelcomeWhileEmpty();
    // Tells the trees, the pages and the client about items that are read now.
    void reportRead(const QList<QPair<int, int>> &keys);
    // The feed and link of the item row selected in the tree; false for any other node.
    bool currentItem(int *feedId, QString *link) const;
    static QString viewerDirectory();

    QSqlDatabase *m_db;
    PFeedsTree *myTree = nullptr;
    PFeedSearchTree *mySearchTree = nullptr;
    QStackedLayout *m_stack = nullptr;
    QStackedWidget *m_pagePane = nullptr;
    QWidget *m_welcome = nullptr;
    QLabel *m_welcomeText = nullptr;
    QPushButton *m_welcomeButton = nullptr;
    int m_treeIndex = 0;
    int m_searchIndex = 0;
    PBrowserFrame *m_browser = nullptr;
    PSearchField *m_searchField = nullptr;
    QComboBox *m_addressBox = nullptr;
    PAnimationLabel *m_animation = nullptr;

    QAction *m_overviewAction = nullptr;
    QAction *m_backAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_favoriteAction = nullptr;
    QAction *m_optionsAction = nullptr;
    QAction *m_closeAction = nullptr;
    QAction *m_subscribeAction = nullptr;
    QAction *m_deleteNewsAction = nullptr;
    QAction *m_updateNewsAction = nullptr;
    QAction *m_importAction = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_markReadAction = nullptr;
    QAction *m_markAllReadAction = nullptr;
    QAction *m_nextItemAction = nullptr;
    QAction *m_previousItemAction = nullptr;
    QAction *m_nextUnreadAction = nullptr;
    QAction *m_toggleReadAction = nullptr;
    QAction *m_toggleFlagAction = nullptr;
    QAction *m_openBrowserAction = nullptr;
    QAction *m_searchAction = nullptr;
    QAction *m_shortcutsAction = nullptr;
    QMenu *m_newsMenu = nullptr;
    QMenu *m_actionsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QToolButton *m_subscribeButton = nullptr;
    QToolButton *m_syncButton = nullptr;

    QString m_source;
    QString m_currentUrl;
    QString m_overviewUrl;
    bool m_updating = false;
    int m_total = 0;
    // The update progress stays in the status bar for its time; a link's target
    // may cover it, leaving the link brings it back.
    QString m_progress;
    QTimer *m_progressTimer;
    QTimer *m_searchTimer = nullptr;
    QList<int> m_pending;
    int m_failedInRun = 0;
};
