#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

// The viewer's menu bar: News (the subscription lists, the options, closing),
// Actions (subscribing, Delete News, updating, marking read, moving through the
// tree, the selected item's read state and flag, the browser, the search) with
// their keys, and Help, which lists those keys. The window connects the entries;
// Delete News is the window's own action, as it follows the tree's selection.
class ViewerMenus : public QObject
{
    Q_OBJECT
public:
    ViewerMenus(QWidget *window, QMenuBar *menuBar, QAction *deleteNews);

    void retranslate();

    QAction *importAction() const { return m_importAction; }
    QAction *exportAction() const { return m_exportAction; }
    QAction *optionsAction() const { return m_optionsAction; }
    QAction *closeAction() const { return m_closeAction; }
    QAction *subscribeAction() const { return m_subscribeAction; }
    QAction *updateNewsAction() const { return m_updateNewsAction; }
    QAction *markReadAction() const { return m_markReadAction; }
    QAction *markAllReadAction() const { return m_markAllReadAction; }
    QAction *nextItemAction() const { return m_nextItemAction; }
    QAction *previousItemAction() const { return m_previousItemAction; }
    QAction *nextUnreadAction() const { return m_nextUnreadAction; }
    QAction *toggleReadAction() const { return m_toggleReadAction; }
    QAction *toggleFlagAction() const { return m_toggleFlagAction; }
    QAction *openBrowserAction() const { return m_openBrowserAction; }
    QAction *searchAction() const { return m_searchAction; }

private:
    // A box listing each entry of the Actions menu that has a key.
    void showShortcuts();

    QWidget *m_window;
    QMenu *m_newsMenu = nullptr;
    QMenu *m_actionsMenu = nullptr;
    QMenu *m_helpMenu = nullptr;
    QAction *m_importAction = nullptr;
    QAction *m_exportAction = nullptr;
    QAction *m_optionsAction = nullptr;
    QAction *m_closeAction = nullptr;
    QAction *m_subscribeAction = nullptr;
    QAction *m_updateNewsAction = nullptr;
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
};
