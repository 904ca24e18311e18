#pragma once

#include "core/newsplugininterface.h"
#include "host/wrapplugin.h"

#include <QList>
#include <QPointer>
#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

#include <memory>

class FeedSubscriptions;
class PluginWindows;
class ServerSync;
class SubscriptionTransfer;
class Request;
class RequestHandler;
class Updater;
class UpdateReport;

// The plug-in object the client loads: it opens the signed-in user's feed database,
// keeps the server's copy of feeds, folders and settings in step with it, answers
// the client's commands of its module and opens the viewer, the subscription wizard
// and the settings dialog.
class PRSSFeedPlugin : public WrapPlugin, public NewsPluginInterface
{
    Q_OBJECT
    Q_INTERFACES(NewsPluginInterface)
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
    QString databaseError() const override { return m_databaseError; }
    // Starts a full update run when the updater exists (it exists once synchronised).
    void updateAllFeeds() override;
    void subscribe(const QString &address) override;
    // Moves the unusable database aside (beside it, with the time in its name),
    // starts an empty one and fills it from the server. Returns where the old
    // file went; empty when nothing was moved.
    QString startFresh() override;
    QMetaObject::Connection onDatabaseFailed(
        QObject *context, std::function<void(const QString &)> callback) override;
    QMetaObject::Connection onSynchronised(
        QObject *context, std::function<void()> callback) override;
    QMetaObject::Connection onFeedUpdated(QObject *context,
        std::function<void(int, const QString &, const QString &, const QString &)> callback)
        override;
    QMetaObject::Connection onUpdateRunFinished(
        QObject *context, std::function<void()> callback) override;
    QMetaObject::Connection onStorageFailed(
        QObject *context, std::function<void(int)> callback) override;

    QVariantMap importSubscriptions(const QByteArray &document) override;
    QByteArray exportSubscriptions() override;

public slots:
    // Lifecycle.
    void OnReady();
    void getMandatorId(Request *request);
    void getMandatorIdFailed(Request *request);
    void getFeedsAndSettingsBack(Request *request);
    void getFeedsAndSettingsFailed(Request *request);

    // Client commands of the news module.
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
    void connectSubscriptionLists();

signals:
    void databaseFailed(const QString &reason);
    // The server's answer (or its failure) has been merged and the updater exists.
    void synchronised();
    // outcome: "changed", "unchanged" or "failed"; reason: why it failed, else empty.
    void feedUpdated(int id, const QString &source, const QString &outcome, const QString &reason);
    void updateRunFinished();

private:
    void openDatabase();
    // Only a database that is open and sound may change the server's copy; a
    // false answer has reminded the client of the problem.
    bool databaseUsable();
    void sendFeedsAndSettingsRequest(const QString *mandator);
    void finishSynchronisation();
    void createUpdater();
    void startFeedUpdate(int id);
    void removeFeedForGood(int id);
    void sendFeedItemsChanged(const QList<int> &ids);
    void connectWindows();

    QSqlDatabase m_db;
    // The feeds table's statements and the merge of the server's answer.
    std::unique_ptr<FeedSubscriptions> m_subscriptions;
    ServerSync *m_sync;
    UpdateReport *m_report;
    SubscriptionTransfer *m_lists;
    QPointer<Updater> m_updater;
    // The viewer and the dialogs; they work on m_db.
    std::unique_ptr<PluginWindows> m_windows;
    bool m_databaseCreated = false;
    QString m_databaseError;
};
