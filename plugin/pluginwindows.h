#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class AboWizzard;
class PConfigDialog;
class PRSSFeedPlugin;
class PRSSFeedView;
class PWizard_Standard2;
class QSqlDatabase;
class QWidget;

// The plug-in's windows: the viewer, the subscription wizard and the settings
// dialog. Each is made when it is first asked for and connected to the plug-in,
// which answers its requests; asked for again while it is open, it is brought
// back instead of made twice. While the viewer is closed, what would change it
// does nothing.
class PluginWindows : public QObject
{
    Q_OBJECT
public:
    PluginWindows(QSqlDatabase *db, PRSSFeedPlugin *plugin);
    // Deletes the viewer, which works on the plug-in's database handle.
    ~PluginWindows() override;

    // Opens the viewer (made on first use) on the feed and, unless either number
    // is -1, on the item's link, and brings it to the front.
    void openViewer(int channelId, int itemId);
    void closeViewer();

    // Both dialogs are modal: these return when the dialog closes, or at once
    // when it is open already (then it is brought back if it was minimised).
    void runWizard();
    // fromClient: centred on the screen; otherwise over the viewer when it is open.
    void runSettings(bool fromClient);

    enum ClearFeedAnswer { KeepFeed, Unsubscribe, DeleteNews };
    // Asks what becomes of a feed the user wants to delete: a subscribed one may
    // be unsubscribed with or without its stored news, an unsubscribed one loses
    // them or stays. fromViewer: the questions stand over the viewer when it is open.
    ClearFeedAnswer askClearFeed(const QString &source, bool subscribed, bool fromViewer);

    // Passed on to the viewer when it is open.
    void showNewItems(int id, bool changed);
    void updateFeed(int id);
    void forgetFeed(int id);
    void addFolder(int folder);

signals:
    // Requests the plug-in answers with its updater or its subscription lists.
    void updateWanted(int id);
    void startUpdateWanted(int id);
    void intervalChanged();
    void importWanted(QWidget *parent);
    void exportWanted(QWidget *parent);

private:
    PRSSFeedView *createViewer();
    // Asks the client to bring the window to the front.
    void sendWindowActivate(QWidget *window);

    QSqlDatabase *m_db;
    PRSSFeedPlugin *m_plugin;
    QPointer<PRSSFeedView> m_viewer;
    QPointer<PWizard_Standard2> m_wizardDialog;
    QPointer<AboWizzard> m_mission;
    QPointer<PConfigDialog> m_settingsDialog;
};
