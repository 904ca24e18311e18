#include "prssfeedplugin.h"

#include "clientnotices.h"
#include "feedsubscriptions.h"
#include "pluginwindows.h"
#include "serversync.h"
#include "subscriptiontransfer.h"
#include "updatereport.h"
#include "viewerfiles.h"

#include "core/feeddatabase.h"
#include "core/protocolreader.h"
#include "core/rssprotocol.h"

#include "host/cpxbuddy_administrator.h"
#include "host/pbasicdata.h"
#include "host/psettings.h"
#include "host/psimplemessage.h"
#include "host/pskin.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

#include "updater/updater.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QResource>
#include <QWidget>

namespace {

bool refuseWithoutMessage(Request *request)
{
    if (request->message())
        return false;
    WrapPluginHelper::Instance().requestFailed(request, ClientMessage::NoMessage, 0);
    return true;
}

// Argument number index of a command as an integer; fallback when it is missing or no number.
int commandArgument(const Request *request, int index, int fallback)
{
    const QList<ProtocolArg> &args = request->message()->args();
    if (index >= args.size() || !ProtocolReader::isInteger(args.at(index)))
        return fallback;
    return int(args.at(index).variant().toLongLong());
}

} // namespace

PRSSFeedPlugin::PRSSFeedPlugin(QObject *parent)
    : WrapPlugin(parent),
      m_subscriptions(std::make_unique<FeedSubscriptions>(&m_db)),
      m_sync(new ServerSync(&m_db, m_subscriptions.get(), this)),
      m_report(new UpdateReport(m_subscriptions.get(), this)),
      m_lists(new SubscriptionTransfer(&m_db, this)),
      m_windows(std::make_unique<PluginWindows>(&m_db, this))
{
    // Closing the viewer as the last window must not end the client.
    QApplication::setQuitOnLastWindowClosed(false);

    connect(m_sync, &ServerSync::optionsChanged, this, &PRSSFeedPlugin::newOptions);
    connect(m_sync, &ServerSync::layoutWanted, this, &PRSSFeedPlugin::saveGroups);
    connect(m_sync, &ServerSync::feedsRemoved, this, &PRSSFeedPlugin::sendFeedItemsChanged);
    connect(m_sync, &ServerSync::feedShown, this, &PRSSFeedPlugin::showFeed);
    connect(m_sync, &ServerSync::feedHidden, this, &PRSSFeedPlugin::hideFeed);
    connect(m_report, &UpdateReport::feedUpdated, this, &PRSSFeedPlugin::feedUpdated);
    connect(m_report, &UpdateReport::runFinished, this, &PRSSFeedPlugin::updateRunFinished);
    connectSubscriptionLists();
    connect(m_report, &UpdateReport::feedEndedSilently, this,
        [this](int id) { m_windows->showNewItems(id, false); });
    connectWindows();
    // The default folder's title follows the language; an open tree rereads it with
    // the LanguageChange event that follows.
    connect(&PBasicData::instance(), &PBasicData::languageChanged, this, [this] {
        if (m_db.isOpen() && m_databaseError.isEmpty())
            FeedDatabase::retitleDefaultFolder(m_db);
    });
}

PRSSFeedPlugin::~PRSSFeedPlugin()
{
    // The viewer works on this object's database handle: it goes first.
    m_windows.reset();
}

QString PRSSFeedPlugin::version() const
{
    return QStringLiteral("1.0.0");
}

QString PRSSFeedPlugin::displayName() const
{
    return tr("pellix News");
}

int PRSSFeedPlugin::pluginId() const
{
    return ClientMessage::NewsModule;
}

QString PRSSFeedPlugin::pluginKey() const
{
    return WrapPluginHelper::Instance().pluginKey(pluginId());
}

// ---------------------------------------------------------------------------
// Lifecycle

bool PRSSFeedPlugin::initialize()
{
    CPxBuddy_Administrator::Instance().init(this, &PRSSFeedPlugin::OnReady, false, false);

    auto &helper = WrapPluginHelper::Instance();
    using CommandSlot = void (PRSSFeedPlugin::*)(RequestHandler *, Request *);
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::OpenSubscriptionWizard, this,
        CommandSlot(&PRSSFeedPlugin::startAboWindow), 0);
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::OpenChooseDialog, this,
        CommandSlot(&PRSSFeedPlugin::startChooseDialog), 0);
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::OpenSettings, this,
        CommandSlot(&PRSSFeedPlugin::startSettingsDialog), 0);
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::OpenViewer, this,
        CommandSlot(&PRSSFeedPlugin::startViewerWindow), 0);
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::ItemStateChanged, this,
        CommandSlot(&PRSSFeedPlugin::itemStateChanged), 0);

    ViewerFiles::exportResources();
    return true;
}

void PRSSFeedPlugin::OnReady()
{
    PSkin::init(true);
    WrapPluginHelper::Instance().registerPluginId(pluginId());

    const quint32 user = CPxBuddy_Administrator::Instance().userId();
    openDatabase();
    PSettings::instance()->changeUser(QString::number(user));

    PSimpleMessage message(ClientMessage::CoreModule, ClientMessage::MandatorIdRequest, false);
    message.Send(
        this, &PRSSFeedPlugin::getMandatorId, this, &PRSSFeedPlugin::getMandatorIdFailed, 0);
}

void PRSSFeedPlugin::openDatabase()
{
    const QString file = FeedDatabase::fileFor(CPxBuddy_Administrator::Instance().userId());
    bool created = false;
    QString error;
    if (FeedDatabase::open(m_db, file, &created, &error)) {
        m_databaseError.clear();
        if (created)
            m_databaseCreated = true;
    } else {
        // The views stay empty; the file is left as it is, and nothing of it reaches the server.
        m_databaseError = tr("%1 (the file is %2)")
                              .arg(error.isEmpty() ? tr("unknown error") : error,
                                  QDir::toNativeSeparators(file));
        emit databaseFailed(m_databaseError);
    }
}

bool PRSSFeedPlugin::databaseUsable()
{
    if (m_db.isOpen() && m_databaseError.isEmpty())
        return true;
    emit databaseFailed(
        m_databaseError.isEmpty() ? tr("the news database is not open") : m_databaseError);
    return false;
}

QString PRSSFeedPlugin::startFresh()
{
    if (m_db.isOpen() && m_databaseError.isEmpty())
        return QString();
    const QString file = FeedDatabase::fileFor(CPxBuddy_Administrator::Instance().userId());
    FeedDatabase::close(m_db);
    const QString aside = file + QStringLiteral(".unusable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    if (QFileInfo::exists(file) && !QFile::rename(file, aside)) {
        openDatabase();
        return QString();
    }
    m_databaseCreated = false;
    openDatabase();
    if (m_db.isOpen()) {
        m_windows->closeViewer();
        sendFeedsAndSettingsRequest(nullptr);
    }
    return aside;
}

void PRSSFeedPlugin::getMandatorId(Request *request)
{
    PSimpleMessage reply(request->reply());
    const QString mandator = reply.ReadFieldAsString(0);
    // The mandator's skin replaces the default one; a name that is not a plain file
    // name cannot be a skin.
    if (!mandator.isEmpty() && !mandator.contains(QLatin1Char('/'))
        && !mandator.contains(QLatin1Char('\\'))) {
        QResource::unregisterResource(PSkin::skinFile(QStringLiteral("pellix")));
        QResource::registerResource(PSkin::skinFile(mandator));
    }
    sendFeedsAndSettingsRequest(&mandator);
    WrapPluginHelper::Instance().freeRequest(request);
}

void PRSSFeedPlugin::getMandatorIdFailed(Request *request)
{
    sendFeedsAndSettingsRequest(nullptr);
    WrapPluginHelper::Instance().freeRequest(request);
}

void PRSSFeedPlugin::sendFeedsAndSettingsRequest(const QString *mandator)
{
    PSimpleMessage message(
        ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest, false);
    message.AddFieldAsString(ProtocolField::Country, QStringLiteral("DE"), 1);
    if (mandator)
        message.AddFieldAsString(ProtocolField::Mandator, *mandator, 1);
    message.Send(this, &PRSSFeedPlugin::getFeedsAndSettingsBack, this,
        &PRSSFeedPlugin::getFeedsAndSettingsFailed, 0);
}

void PRSSFeedPlugin::getFeedsAndSettingsFailed(Request *request)
{
    WrapPluginHelper::Instance().freeRequest(request);
    finishSynchronisation();
}

void PRSSFeedPlugin::finishSynchronisation()
{
    createUpdater();
    emit synchronised();
}

void PRSSFeedPlugin::createUpdater()
{
    // A further synchronisation (another sign-in) replaces the updater, so that no
    // two of them fetch the same feeds.
    delete m_updater.data();
    m_updater = new Updater(&m_db, this);
    connect(m_updater, &Updater::newItems, this, &PRSSFeedPlugin::newItems);
    connect(m_updater, &Updater::sendRenameFeed, this, &PRSSFeedPlugin::renameFeed);
    m_report->watch(m_updater); // from the first run, which waits for the proxy answer
}

void PRSSFeedPlugin::startFeedUpdate(int id)
{
    if (!m_updater)
        return;
    m_updater->addFeed(id);
    m_report->noteQueued();
}

void PRSSFeedPlugin::updateAllFeeds()
{
    if (!m_updater)
        return;
    m_updater->updateAll();
    m_report->noteQueued();
}

void PRSSFeedPlugin::subscribe(const QString &address)
{
    saveFeed(address, QString(), -1);
}

QMetaObject::Connection PRSSFeedPlugin::onDatabaseFailed(
    QObject *context, std::function<void(const QString &)> callback)
{
    return connect(this, &PRSSFeedPlugin::databaseFailed, context, std::move(callback));
}

QMetaObject::Connection PRSSFeedPlugin::onSynchronised(
    QObject *context, std::function<void()> callback)
{
    return connect(this, &PRSSFeedPlugin::synchronised, context, std::move(callback));
}

QMetaObject::Connection PRSSFeedPlugin::onFeedUpdated(QObject *context,
    std::function<void(int, const QString &, const QString &, const QString &)> callback)
{
    return connect(this, &PRSSFeedPlugin::feedUpdated, context, std::move(callback));
}

QMetaObject::Connection PRSSFeedPlugin::onUpdateRunFinished(
    QObject *context, std::function<void()> callback)
{
    return connect(this, &PRSSFeedPlugin::updateRunFinished, context, std::move(callback));
}

QMetaObject::Connection PRSSFeedPlugin::onStorageFailed(
    QObject *context, std::function<void(int)> callback)
{
    return connect(m_report, &UpdateReport::storageFailed, context, std::move(callback));
}

void PRSSFeedPlugin::shutdown()
{
    ViewerFiles::remove(CPxBuddy_Administrator::Instance().userId());

    m_windows->closeViewer();
    FeedDatabase::close(m_db);
}

// ---------------------------------------------------------------------------
// Server synchronisation

void PRSSFeedPlugin::getFeedsAndSettingsBack(Request *request)
{
    const Protocol *reply = request->reply();
    if (!reply) {
        WrapPluginHelper::Instance().requestFailed(request, ClientMessage::NoMessage, 0);
        WrapPluginHelper::Instance().freeRequest(request);
        return;
    }

    m_sync->merge(*reply, m_databaseCreated);

    WrapPluginHelper::Instance().freeRequest(request);
    finishSynchronisation();
}

// ---------------------------------------------------------------------------
// Client commands

void PRSSFeedPlugin::startAboWindow(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
    startAboWindow();
}

void PRSSFeedPlugin::startChooseDialog(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
}

void PRSSFeedPlugin::startSettingsDialog(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
    startSettingsDialog(true);
}

void PRSSFeedPlugin::startViewerWindow(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    const int itemId = commandArgument(request, 0, -1);
    const int channelId = commandArgument(request, 1, -1);
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
    m_windows->openViewer(channelId, itemId);
}

void PRSSFeedPlugin::itemStateChanged(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    const int channelId = commandArgument(request, 1, -1);
    if (channelId >= 0)
        m_windows->updateFeed(channelId);
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
}

// ---------------------------------------------------------------------------
// Windows

void PRSSFeedPlugin::startAboWindow()
{
    m_windows->runWizard();
}

void PRSSFeedPlugin::startSettingsDialog()
{
    startSettingsDialog(false);
}

void PRSSFeedPlugin::startSettingsDialog(bool fromClient)
{
    if (!databaseUsable())
        return;
    m_windows->runSettings(fromClient);
}

// ---------------------------------------------------------------------------
// Notifications to the client

void PRSSFeedPlugin::itemStateChanged(int commando, int channelid, int itemid)
{
    ClientNotices::itemStateChanged(commando, channelid, itemid);
}

void PRSSFeedPlugin::newItems(int id, bool changed)
{
    m_windows->showNewItems(id, changed);
    if (changed && id != 0)
        sendFeedItemsChanged({id});
}

void PRSSFeedPlugin::sendFeedItemsChanged(const QList<int> &ids)
{
    ClientNotices::feedItemsChanged(ids);
}

void PRSSFeedPlugin::hideFeed(int id)
{
    ClientNotices::feedHidden(id);
}

void PRSSFeedPlugin::showFeed(int id)
{
    ClientNotices::feedShown(id);
}

void PRSSFeedPlugin::newOptions()
{
    ClientNotices::optionsChanged();
}

// ---------------------------------------------------------------------------
// Subscriptions

void PRSSFeedPlugin::saveFeed(const QString &source, const QString &title, int farmid)
{
    if (!databaseUsable())
        return;
    const FeedSubscriptions::Known known = m_subscriptions->feedOf(source);
    if (known.id >= 0) {
        // Known address: subscribed again with its old items, title and farmid.
        m_subscriptions->resubscribe(known.id);
        if (known.toload == 1 && m_updater) {
            // Nothing new about it: the server is asked whether the document changed.
            m_updater->update(known.id);
            m_report->noteQueued();
        } else {
            startFeedUpdate(known.id);
        }
        newItems(known.id, true);
        renameFeed(known.id);
        return;
    }

    if (farmid == -1)
        farmid = m_subscriptions->nextOwnFarmId();
    // No title yet: the views show the address until the first fetch brings one.
    const int id = m_subscriptions->insertFeed(
        source, title.isEmpty() ? QVariant() : QVariant(title), 1, 1, farmid);

    startFeedUpdate(id);
    newItems(id, true);
    showFeed(id);
    if (farmid < 0)
        saveFeed(2, -farmid, title, source);
    else
        saveFeed(1, farmid, title, QString());
    saveGroups();
}

void PRSSFeedPlugin::saveFeed(int type, int id, const QString &title, const QString &source)
{
    if (!databaseUsable())
        return;
    m_subscriptions->sendSubscribed(type, id, title, source);
}

void PRSSFeedPlugin::saveFeed(int type, int id, const QString &title)
{
    saveFeed(type, id, title, QString());
}

void PRSSFeedPlugin::clearFeed(const QString &source)
{
    clearFeed(source, false);
}

void PRSSFeedPlugin::clearFeed(const QString &source, bool viewer)
{
    if (!databaseUsable())
        return;
    // An unknown address is treated as an unsubscribed feed with id 0.
    const FeedSubscriptions::Known known = m_subscriptions->feedOf(source);
    const int id = qMax(known.id, 0);
    switch (m_windows->askClearFeed(source, known.toload == 1, viewer)) {
    case PluginWindows::DeleteNews:
        removeFeedForGood(id);
        break;
    case PluginWindows::Unsubscribe:
        // The items stay readable.
        if (m_updater)
            m_updater->removeFeed(id);
        m_subscriptions->unsubscribe(source);
        newItems(id, true);
        renameFeed(id);
        break;
    case PluginWindows::KeepFeed:
        break;
    }
}

void PRSSFeedPlugin::removeFeedForGood(int id)
{
    if (!databaseUsable())
        return;
    hideFeed(id);
    if (m_updater)
        m_updater->removeFeed(id);

    m_subscriptions->remove(id);

    // Id 0 is the favourites entry, which no unsubscription removes.
    if (id != 0)
        m_windows->forgetFeed(id);
    m_windows->showNewItems(0, true);
    saveGroups();
}

void PRSSFeedPlugin::renameFeed(int id)
{
    if (!databaseUsable())
        return;
    m_subscriptions->sendChanged(id);
}

void PRSSFeedPlugin::saveGroups()
{
    if (!databaseUsable())
        return;
    m_subscriptions->sendFolders();
}

// ---------------------------------------------------------------------------
// Subscription lists

void PRSSFeedPlugin::connectSubscriptionLists()
{
    connect(m_lists, &SubscriptionTransfer::folderAdded, this,
        [this](int folder) { m_windows->addFolder(folder); });
    connect(m_lists, &SubscriptionTransfer::feedAdded, this,
        [this](int id, int farmid, const QString &title, const QString &source) {
            if (m_updater)
                m_updater->addFeed(id);
            m_windows->updateFeed(id);
            showFeed(id);
            saveFeed(2, -farmid, title, source);
        });
    connect(m_lists, &SubscriptionTransfer::feedResubscribed, this, [this](int id) {
        startFeedUpdate(id);
        m_windows->showNewItems(id, true);
        renameFeed(id);
    });
    connect(m_lists, &SubscriptionTransfer::listMerged, this,
        [this](const QList<int> &changed, bool layoutChanged) {
            m_report->noteQueued();
            // The count is a 16-bit field.
            for (qsizetype from = 0; from < changed.size(); from += 0xFFFF)
                sendFeedItemsChanged(changed.mid(from, 0xFFFF));
            if (layoutChanged)
                saveGroups();
        });
}

void PRSSFeedPlugin::connectWindows()
{
    connect(m_windows.get(), &PluginWindows::updateWanted, this, [this](int id) {
        if (m_updater) {
            m_updater->update(id);
            m_report->noteQueued();
        }
    });
    connect(
        m_windows.get(), &PluginWindows::startUpdateWanted, this, &PRSSFeedPlugin::startFeedUpdate);
    connect(m_windows.get(), &PluginWindows::intervalChanged, this, [this] {
        if (m_updater) {
            m_updater->newIntervall();
            m_report->noteQueued();
        }
    });
    connect(m_windows.get(), &PluginWindows::importWanted, this, [this](QWidget *parent) {
        m_lists->importFile(parent, m_databaseError.isEmpty() && m_db.isOpen());
    });
    connect(m_windows.get(), &PluginWindows::exportWanted, this,
        [this](QWidget *parent) { m_lists->exportFile(parent); });
}

QVariantMap PRSSFeedPlugin::importSubscriptions(const QByteArray &document)
{
    return m_lists->import(document, m_databaseError.isEmpty() && m_db.isOpen());
}

QByteArray PRSSFeedPlugin::exportSubscriptions()
{
    return m_lists->exportList();
}

extern "C" Q_DECL_EXPORT WrapPlugin *create()
{
    return new PRSSFeedPlugin;
}
