#pragma once

#include "host/wrapplugin.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

class AboWizzard;
class PConfigDialog;
class PRSSFeedView;
class ProtocolReader;
class PWizard_Standard2;
class QWidget;
class Request;
class RequestHandler;
class Updater;

// The plug-in object the client loads: it opens the signed-in user's feed database,
// keeps the server's copy of feeds, folders and settings in step with it, answers
// the client's commands of module 41 and opens the viewer, the subscription wizard
// and the settings dialog.
class PRSSFeedPlugin : public WrapPlugin
{
    Q_OBJECT
public:
    explicit PRSSFeedPlugin(QObject *parent = nullptr);
    ~PRSSFeedPlugin() override;

    QString version() const override;
    QString displayName() const override;
    bool initialize() override;
    void shutdown() override;
    int pluginId() const override;
    QString pluginKey() const override;

    // Why the user's database could not be opened; empty while it is usable.
    Q_INVOKABLE QString databaseError() const { return m_databaseError; }
    // Starts a full update run when the updater exists (it exists once synchronised).
    Q_INVOKABLE void updateAllFeeds();

    // Subscribes the feeds of an OPML list as the wizard does, and tells the server.
    // The answer holds "ok" (false: the list was refused and nothing changed),
    // "added", "skipped", "refused" and "summary", a sentence for the user.
    Q_INVOKABLE QVariantMap importSubscriptions(const QByteArray &document);
    // The subscribed feeds as an OPML 2.0 list, one outline per folder.
    Q_INVOKABLE QByteArray exportSubscriptions();

public slots:
    // Lifecycle.
    void OnReady();
    void getMandatorId(Request *request);
    void getMandatorIdFailed(Request *request);
    void getFeedsAndSettingsBack(Request *request);
    void getFeedsAndSettingsFailed(Request *request);

    // Client commands of module 41.
    void startAboWindow(RequestHandler *handler, Request *request);
    void startChooseDialog(RequestHandler *handler, Request *request);
    void startSettingsDialog(RequestHandler *handler, Request *request);
    void startViewerWindow(RequestHandler *handler, Request *request);
    void itemStateChanged(RequestHandler *handler, Request *request);

    // Windows.
    void startAboWindow();
    void startSettingsDialog(); // from the viewer
    void startSettingsDialog(bool fromClient);

    // Notifications to the client.
    void itemStateChanged(int commando, int channelid, int itemid);
    void newItems(int id, bool changed);
    void hideFeed(int id);
    void showFeed(int id);
    void newOptions();

    // Subscriptions.
    void saveFeed(const QString &source, const QString &title, int farmid);
    void saveFeed(int type, int id, const QString &title, const QString &source);
    void saveFeed(int type, int id, const QString &title);
    void clearFeed(const QString &source, bool viewer);
    void clearFeed(const QString &source);
    void renameFeed(int id);
    void saveGroups();

    // The viewer's News menu: asks for a file, then reports the outcome.
    void importSubscriptionFile();
    void exportSubscriptionFile();

signals:
    void databaseFailed(const QString &reason);
    // The server's answer (or its failure) has been merged and the updater exists.
    void synchronised();
    // outcome: "changed", "unchanged" or "failed"; reason: why it failed, else empty.
    void feedUpdated(int id, const QString &source, const QString &outcome, const QString &reason);
    void updateRunFinished();

private:
    void exportResources();
    void sendFeedsAndSettingsRequest(const QString *mandator);
    void mergeSettings(ProtocolReader &reader);
    bool mergeFeeds(ProtocolReader &reader, QList<int> *named);
    void removeUnnamedFeeds(const QList<int> &named);
    void showFeedsInClient();
    void mergeFolders(ProtocolReader &reader, bool removeUnnamed);
    void finishSynchronisation();
    void createUpdater();
    void startFeedUpdate(int id);
    void noteQueuedFeeds();
    void reportFeedUpdated(int id, bool changed);
    void emitFeedUpdated(int id, const QString &outcome, const QString &reason = QString());
    // Keeps how the feed's fetch ended in the profile, before the views hear of it.
    void recordFeedHealth(int id, int outcome, const QString &reason);
    void finishUpdateRun();
    void removeFeedForGood(int id);
    int nextFeedId();
    void sendFeedItemsChanged(const QList<int> &ids);
    void sendWindowActivate(QWidget *window);
    void openViewer(int channelId, int itemId);

    QPointer<PRSSFeedView> m_viewer;
    QPointer<PWizard_Standard2> m_wizardDialog;
    QPointer<PConfigDialog> m_settingsDialog;
    QSqlDatabase m_db;
    QPointer<Updater> m_updater;
    QPointer<AboWizzard> m_mission;
    bool m_databaseCreated = false;
    QString m_databaseError;
    // The feeds of the updater's current run, and those it has reported.
    QSet<int> m_runFeeds;
    QSet<int> m_runReported;
};
