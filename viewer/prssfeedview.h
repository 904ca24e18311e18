#pragma once

#include "host/pwindow.h"

#include <QList>
#include <QPair>
#include <QString>

class ItemCommands;
class PAnimationLabel;
class PBrowserFrame;
class PFeedSearchTree;
class PFeedsTree;
class PSearchField;
class QAction;
class QComboBox;
class QSqlDatabase;
class QStackedLayout;
class QStackedWidget;
class QTimer;
class QToolButton;
class UpdateProgress;
class ViewerMenus;

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
    void openInBrowser();
    void showProperties(int id);

private:
    QWidget *buildLeftPanel();
    QWidget *buildRightPanel();
    void retranslate();
    void restoreWindowGeometry();
    void showWelcomeWhileEmpty();
    static QString viewerDirectory();

    QSqlDatabase *m_db;
    PFeedsTree *myTree = nullptr;
    PFeedSearchTree *mySearchTree = nullptr;
    QStackedLayout *m_stack = nullptr;
    QStackedWidget *m_pagePane = nullptr;
    QWidget *m_welcome = nullptr;
    int m_treeIndex = 0;
    int m_searchIndex = 0;
    PBrowserFrame *m_browser = nullptr;
    PSearchField *m_searchField = nullptr;
    QComboBox *m_addressBox = nullptr;
    PAnimationLabel *m_animation = nullptr;
    ItemCommands *m_items = nullptr;

    QAction *m_overviewAction = nullptr;
    QAction *m_backAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_stopAction = nullptr;
    QAction *m_favoriteAction = nullptr;
    QAction *m_deleteNewsAction = nullptr;
    ViewerMenus *m_menus = nullptr;
    QToolButton *m_subscribeButton = nullptr;
    QToolButton *m_syncButton = nullptr;

    QString m_source;
    QString m_currentUrl;
    QString m_overviewUrl;
    UpdateProgress *m_updateProgress = nullptr;
    QTimer *m_searchTimer = nullptr;
};
