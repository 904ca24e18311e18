#include "prssfeedplugin.h"

#include "plugin/feeddatabase.h"
#include "plugin/feedhealth.h"
#include "plugin/protocolreader.h"
#include "plugin/rsssettings.h"
#include "plugin/subscriptionlist.h"

#include "host/cpxbuddy_administrator.h"
#include "host/cpxwizard_mission_base.h"
#include "host/pdesktop.h"
#include "host/pdir.h"
#include "host/pmessagebox.h"
#include "host/psettings.h"
#include "host/psimplemessage.h"
#include "host/pskin.h"
#include "host/pwizard_standard2.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

#include "dialogs/pconfigdialog.h"
#include "tree/feedmodel.h"
#include "tree/pfeedstree.h"
#include "updater/updater.h"
#include "viewer/prssfeedview.h"
#include "wizard/abowizzard.h"
#include "wizard/pabopage1.h"
#include "wizard/pabopage2.h"
#include "wizard/pabopage3.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QRegularExpression>
#include <QResource>
#include <QSaveFile>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>

namespace {

constexpr quint16 ownModule = 41;
constexpr quint16 coreModule = 1;

// Message fields.
constexpr quint32 PlainField = 0;
constexpr quint32 FeedKind = 657;
constexpr quint32 MandatorField = 662;
constexpr quint32 FeedTitle = 687;
constexpr quint32 CountryField = 732;
constexpr quint32 FolderFeedCount = 772;
constexpr quint32 FarmId = 773;
constexpr quint32 FeedSource = 774;
constexpr quint32 UpdateIntervalField = 776;
constexpr quint32 NewItemsOnlyField = 778;
constexpr quint32 MaxItemsInClientField = 779;
constexpr quint32 MaxItemsInViewerField = 780;
constexpr quint32 OwnFeedId = 781;
constexpr quint32 FolderCount = 782;
constexpr quint32 FolderId = 783;
constexpr quint32 FolderTitle = 784;
constexpr quint32 FeedState = 787;

// Commands of the client and messages of the plug-in.
enum : quint16 {
    MandatorIdRequest = 41,
    WindowActivate = 61682,
    FeedsAndSettingsRequest = 1,
    FeedSubscribed = 4,
    FeedUnsubscribed = 5,
    FeedChanged = 6,
    FoldersChanged = 7,
    FeedItemsChanged = 61818,
    FeedShownInClient = 61819,
    FeedHiddenInClient = 61820,
    OptionsChanged = 61821,
    ItemStateNotice = 61822,
    StartAboWindow = 61809,
    StartChooseDialog = 61810,
    StartSettingsDialog = 61811,
    StartViewerWindow = 61812,
    ItemStateChanged = 61823
};

constexpr int NoMessage = 82;

struct ExportedFile
{
    const char *resource;
    const char *file;
};

// The pages refer to these files by their plain names, beside the pages.
constexpr ExportedFile exportedFiles[] = {
    {":/rss-arrow-right-12", "/arrow-right-12.gif"},
    {":/barbg", "/barbg.png"},
    {":/delete-12", "/delete-12.gif"},
    {":/feed-icon-24x24", "/feed-icon-24x24.gif"},
    {":/flag-off-12", "/flag-off-12.gif"},
    {":/flag-on-12", "/flag-on-12.gif"},
    {":/line", "/line.png"},
    {":/read-12", "/read-12.gif"},
    {":/topbg", "/topbg.png"},
    {":/unread-12", "/unread-12.gif"},
    {":/style-1", "/style.css"},
};

bool refuseWithoutMessage(Request *request)
{
    if (request->message())
        return false;
    WrapPluginHelper::Instance().requestFailed(request, NoMessage, 0);
    return true;
}

// Names a feed the way the server knows it: a catalogue feed by its farm id, one of the
// user's own by its own id, which is kept locally as the negated farm id. Where the message
// wants it, an own feed also carries its address.
void addFeedReference(
    PSimpleMessage &message, bool own, qint64 farmid, const QString *source = nullptr)
{
    if (own) {
        message.AddFieldAsUint16(FeedKind, 2);
        message.AddFieldAsUint32(OwnFeedId, quint32(-farmid));
        if (source)
            message.AddFieldAsString(FeedSource, *source, 1);
    } else {
        message.AddFieldAsUint16(FeedKind, 1);
        message.AddFieldAsUint32(FarmId, quint32(farmid));
    }
}

// Argument number index of a command as an integer; fallback when it is missing or no number.
int commandArgument(const Request *request, int index, int fallback)
{
    const QList<ProtocolArg> &args = request->message()->args();
    if (index >= args.size() || !ProtocolReader::isInteger(args.at(index)))
        return fallback;
    return int(args.at(index).variant().toLongLong());
}

// Checks the whole answer to the feeds-and-settings request against its counts
// without touching anything.
bool isCompleteAnswer(const QList<ProtocolArg> &args)
{
    ProtocolReader reader(args);
    qint64 count = 0;
    quint32 field = 0;
    qint64 number = 0;
    QString text;
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i)
            reader.readField(&field, &number);
    }
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i) {
            reader.readInt(&number);
            reader.readInt(&number);
            reader.readText(&text);
            reader.readText(&text);
            reader.readInt(&number);
        }
    }
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i) {
            qint64 feeds = 0;
            reader.readInt(&number);
            reader.readText(&text);
            reader.readInt(&feeds);
            for (qint64 j = 0; j < feeds && !reader.failed(); ++j) {
                reader.readInt(&number);
                reader.readInt(&number);
            }
        }
    }
    return !reader.failed();
}

// A new account on the server answers with one untitled folder: it has no layout yet.
bool isEmptyServerLayout(ProtocolReader reader)
{
    qint64 folders = 0;
    qint64 id = 0;
    QString title;
    return reader.readInt(&folders) && folders == 1 && reader.readInt(&id)
        && reader.readText(&title) && title.isEmpty();
}

QString idText(qint64 id)
{
    return QString::number(id);
}

} // namespace

PRSSFeedPlugin::PRSSFeedPlugin(QObject *parent) : WrapPlugin(parent)
{
    // Closing the viewer as the last window must not end the client.
    QApplication::setQuitOnLastWindowClosed(false);
}

PRSSFeedPlugin::~PRSSFeedPlugin()
{
    // The viewer works on this object's database handle.
    delete m_viewer.data();
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
    return 41;
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
    helper.setOnCommand(
        ownModule, StartAboWindow, this, CommandSlot(&PRSSFeedPlugin::startAboWindow), 0);
    helper.setOnCommand(
        ownModule, StartChooseDialog, this, CommandSlot(&PRSSFeedPlugin::startChooseDialog), 0);
    helper.setOnCommand(
        ownModule, StartSettingsDialog, this, CommandSlot(&PRSSFeedPlugin::startSettingsDialog), 0);
    helper.setOnCommand(
        ownModule, StartViewerWindow, this, CommandSlot(&PRSSFeedPlugin::startViewerWindow), 0);
    helper.setOnCommand(
        ownModule, ItemStateChanged, this, CommandSlot(&PRSSFeedPlugin::itemStateChanged), 0);

    exportResources();
    return true;
}

void PRSSFeedPlugin::exportResources()
{
    const QString dir = PDir::applicationDataPath(true);
    for (const ExportedFile &entry : exportedFiles) {
        const QString target = dir + QLatin1String(entry.file);
        // A file already there (perhaps edited by the user) stays in use.
        if (QFileInfo::exists(target))
            continue;
        if (QFile::copy(QLatin1String(entry.resource), target)) {
            // Copies of resources are read-only; shutdown and the user must be able to replace
            // them.
            QFile::setPermissions(
                target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        }
    }
}

void PRSSFeedPlugin::OnReady()
{
    PSkin::init(true);
    WrapPluginHelper::Instance().registerPluginId(pluginId());

    const quint32 user = CPxBuddy_Administrator::Instance().userId();
    bool created = false;
    QString error;
    if (FeedDatabase::open(m_db, FeedDatabase::fileFor(user), &created, &error)) {
        m_databaseError.clear();
        if (created)
            m_databaseCreated = true;
    } else {
        // The views stay empty; the file is left as it is.
        m_databaseError = error.isEmpty() ? tr("unknown error") : error;
        emit databaseFailed(m_databaseError);
    }

    PSettings::instance()->changeUser(QString::number(user));

    PSimpleMessage message(coreModule, MandatorIdRequest, false);
    message.Send(
        this, &PRSSFeedPlugin::getMandatorId, this, &PRSSFeedPlugin::getMandatorIdFailed, 0);
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
    PSimpleMessage message(ownModule, FeedsAndSettingsRequest, false);
    message.AddFieldAsString(CountryField, QStringLiteral("DE"), 1);
    if (mandator)
        message.AddFieldAsString(MandatorField, *mandator, 1);
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
    // Before newItems: the views read the record when they hear of the feed.
    connect(m_updater, &Updater::feedFinished, this,
        [this](int id, Updater::Outcome outcome, const QString &reason) {
            recordFeedHealth(id, outcome, reason);
        });
    connect(m_updater, &Updater::newItems, this, &PRSSFeedPlugin::newItems);
    connect(m_updater, &Updater::sendRenameFeed, this, &PRSSFeedPlugin::renameFeed);
    connect(m_updater, &Updater::newItems, this, &PRSSFeedPlugin::reportFeedUpdated);
    connect(m_updater, &Updater::queueEmpty, this, &PRSSFeedPlugin::finishUpdateRun);
    m_runFeeds.clear();
    m_runReported.clear();
    noteQueuedFeeds(); // the first run, which waits for the proxy answer
}

void PRSSFeedPlugin::noteQueuedFeeds()
{
    if (!m_updater)
        return;
    const QStringList queued = m_updater->queuedFeeds();
    for (const QString &id : queued)
        m_runFeeds.insert(id.toInt());
}

void PRSSFeedPlugin::emitFeedUpdated(int id, const QString &outcome, const QString &reason)
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select source from feeds where id = ") + idText(id));
    const QString source = query.next() ? query.value(0).toString() : QString();
    emit feedUpdated(id, source, outcome, reason);
}

void PRSSFeedPlugin::reportFeedUpdated(int id, bool changed)
{
    m_runReported.insert(id);
    noteQueuedFeeds();
    if (changed)
        emitFeedUpdated(id, QStringLiteral("changed"));
    else if (m_updater && m_updater->lastOutcome(id) == Updater::Failed)
        emitFeedUpdated(id, QStringLiteral("failed"), m_updater->lastError(id));
    else
        emitFeedUpdated(id, QStringLiteral("unchanged"));
}

void PRSSFeedPlugin::recordFeedHealth(int id, int outcome, const QString &reason)
{
    if (id == 0)
        return;
    FeedHealth::Record record;
    record.checked = QDateTime::currentDateTimeUtc();
    switch (outcome) {
    case Updater::Changed:
        record.result = FeedHealth::Changed;
        break;
    case Updater::Unchanged:
        record.result = FeedHealth::Unchanged;
        break;
    case Updater::Failed: {
        // The updater words its reasons "HTTP 404 Not Found", "not a feed", or
        // gives the transfer's own error text.
        static const QRegularExpression http(QStringLiteral("^HTTP (\\d{3})\\b"));
        const QRegularExpressionMatch status = http.match(reason);
        if (status.hasMatch()) {
            record.result = FeedHealth::HttpError;
            record.httpStatus = status.captured(1).toInt();
        } else if (reason == QLatin1String("not a feed")) {
            record.result = FeedHealth::NotAFeed;
        } else {
            record.result = FeedHealth::NetworkError;
        }
        record.error = reason;
        break;
    }
    default:
        return;
    }
    FeedHealth(&m_db).store(id, record);
}

void PRSSFeedPlugin::finishUpdateRun()
{
    // A feed whose document could not be fetched leaves the run without newItems.
    QList<int> silent;
    for (int id : std::as_const(m_runFeeds)) {
        if (!m_runReported.contains(id) && m_updater
            && m_updater->lastOutcome(id) == Updater::Failed)
            silent.append(id);
    }
    std::sort(silent.begin(), silent.end());
    m_runFeeds.clear();
    m_runReported.clear();
    for (int id : silent) {
        recordFeedHealth(id, Updater::Failed, m_updater->lastError(id));
        // The viewer counts them too, or its status would wait for them for ever.
        if (m_viewer)
            m_viewer->slotNewItems(id, false);
        emitFeedUpdated(id, QStringLiteral("failed"), m_updater->lastError(id));
    }
    emit updateRunFinished();
}

void PRSSFeedPlugin::startFeedUpdate(int id)
{
    if (!m_updater)
        return;
    m_updater->addFeed(id);
    noteQueuedFeeds();
}

void PRSSFeedPlugin::updateAllFeeds()
{
    if (!m_updater)
        return;
    m_updater->updateAll();
    noteQueuedFeeds();
}

void PRSSFeedPlugin::shutdown()
{
    const QString dir = PDir::applicationDataPath(true);
    QDir directory(dir);
    const QString user = QString::number(CPxBuddy_Administrator::Instance().userId());
    const QStringList pages
        = directory.entryList(QStringList{user + QStringLiteral("_channel*_*.html")},
            QDir::Files | QDir::CaseSensitive, QDir::Unsorted);
    for (const QString &page : pages)
        directory.remove(page);

    for (const ExportedFile &entry : exportedFiles)
        QFile::remove(dir + QLatin1String(entry.file));
    QFile::remove(dir + QStringLiteral("/rss.js"));

    if (m_viewer)
        m_viewer->close();
    FeedDatabase::close(m_db);
}

// ---------------------------------------------------------------------------
// Server synchronisation

void PRSSFeedPlugin::getFeedsAndSettingsBack(Request *request)
{
    const Protocol *reply = request->reply();
    if (!reply) {
        WrapPluginHelper::Instance().requestFailed(request, NoMessage, 0);
        WrapPluginHelper::Instance().freeRequest(request);
        return;
    }

    // An answer that runs out before its counts are met merges as far as it goes,
    // but never removes anything on its strength.
    const bool complete = isCompleteAnswer(reply->args());
    ProtocolReader reader(reply->args());

    mergeSettings(reader);
    QList<int> named;
    if (!reader.failed() && m_db.isOpen() && mergeFeeds(reader, &named)) {
        if (complete && m_databaseCreated && isEmptyServerLayout(reader)) {
            // The server has no layout yet: it takes ours.
            saveGroups();
        } else {
            if (complete)
                removeUnnamedFeeds(named);
            showFeedsInClient();
            mergeFolders(reader, complete);
        }
    }

    WrapPluginHelper::Instance().freeRequest(request);
    finishSynchronisation();
}

void PRSSFeedPlugin::mergeSettings(ProtocolReader &reader)
{
    qint64 count = 0;
    if (!reader.readInt(&count))
        return;
    bool changed = false;
    for (qint64 i = 0; i < count; ++i) {
        quint32 field = 0;
        qint64 value = 0;
        if (!reader.readField(&field, &value))
            break;
        RssSettings::Key key;
        switch (field) {
        case UpdateIntervalField:
            // The updater reads the interval itself; the client needs no notice.
            RssSettings::setValue(RssSettings::UpdateIntervall, int(value));
            continue;
        case NewItemsOnlyField:
            key = RssSettings::NewItemsOnly;
            break;
        case MaxItemsInClientField:
            key = RssSettings::MaxItemsInClient;
            break;
        case MaxItemsInViewerField:
            key = RssSettings::MaxItemsInViewer;
            break;
        default:
            continue;
        }
        if (RssSettings::intValue(key) != value) {
            RssSettings::setValue(key, int(value));
            changed = true;
        }
    }
    if (changed)
        newOptions();
}

bool PRSSFeedPlugin::mergeFeeds(ProtocolReader &reader, QList<int> *named)
{
    qint64 count = 0;
    if (!reader.readInt(&count))
        return false;

    QSqlQuery query(m_db);
    const auto collectIds = [&](qint64 farmid) {
        query.exec(QStringLiteral("select id from feeds where farmid = ") + idText(farmid));
        while (query.next())
            named->append(query.value(0).toInt());
    };
    const auto insertFeed = [&](const QString &title, const QString &source, int toload,
                                int inclient, qint64 farmid) {
        const int id = nextFeedId();
        named->append(id);
        query.prepare(QStringLiteral(
            "insert into feeds (id, source, channeltitle, toload, inclient, farmid, folderid) "
            "values(:id, :source, :channeltitle, :toload, :inclient, :farmid, 1)"));
        query.bindValue(QStringLiteral(":id"), id);
        query.bindValue(QStringLiteral(":source"), source);
        query.bindValue(QStringLiteral(":channeltitle"), title);
        query.bindValue(QStringLiteral(":toload"), toload);
        query.bindValue(QStringLiteral(":inclient"), inclient);
        query.bindValue(QStringLiteral(":farmid"), farmid);
        query.exec();
    };

    for (qint64 i = 0; i < count; ++i) {
        qint64 kind = 0;
        qint64 id = 0;
        qint64 state = 0;
        QString title;
        QString source;
        if (!reader.readInt(&kind) || !reader.readInt(&id) || !reader.readText(&title)
            || !reader.readText(&source) || !reader.readInt(&state))
            return false;
        const int toload = (state == 1 || state == 3) ? 1 : 0;
        const int inclient = (state == 2 || state == 3) ? 1 : 0;
        // Each of the updates below names all of the feed's values; true when a row matched.
        const auto updateFeed = [&](const QString &statement, qint64 farmid) {
            query.prepare(statement);
            query.bindValue(QStringLiteral(":title"), title);
            query.bindValue(QStringLiteral(":source"), source);
            query.bindValue(QStringLiteral(":toload"), toload);
            query.bindValue(QStringLiteral(":inclient"), inclient);
            query.bindValue(QStringLiteral(":farmid"), farmid);
            query.exec();
            return query.numRowsAffected() > 0;
        };

        if (kind == 1) {
            const qint64 farmid = id;
            const bool known
                = updateFeed(QStringLiteral("update feeds set channeltitle = :title, source = "
                                            ":source, toload = :toload, inclient = :inclient "
                                            "where farmid = :farmid"),
                      farmid)
                // A feed the user added by address becomes the catalogue feed.
                || updateFeed(QStringLiteral("update feeds set channeltitle = :title, source = "
                                             ":source, toload = :toload, inclient = :inclient, "
                                             "farmid = :farmid where source = :source"),
                    farmid);
            if (!known)
                insertFeed(title, source, toload, inclient, farmid);
            collectIds(farmid);
        } else {
            const qint64 farmid = -id;
            if (updateFeed(QStringLiteral("update feeds set channeltitle = :title, toload = "
                                          ":toload, inclient = :inclient, farmid = :farmid "
                                          "where source = :source"),
                    farmid))
                collectIds(farmid);
            else
                insertFeed(title, source, toload, inclient, farmid);
        }
    }
    return true;
}

void PRSSFeedPlugin::removeUnnamedFeeds(const QList<int> &named)
{
    QList<int> removed;
    QSqlQuery query(m_db);
    if (named.isEmpty()) {
        query.exec(QStringLiteral("select id from feeds"));
        while (query.next())
            removed.append(query.value(0).toInt());
        query.exec(QStringLiteral("delete from feeds"));
        query.exec(QStringLiteral("delete from items"));
    } else {
        QString list = QStringLiteral("(");
        for (int id : named)
            list += idText(id) + QLatin1Char(',');
        list.chop(1);
        list += QLatin1Char(')');
        query.exec(QStringLiteral("select id from feeds where id not in ") + list);
        while (query.next())
            removed.append(query.value(0).toInt());
        query.exec(QStringLiteral("delete from feeds where id not in ") + list);
        query.exec(
            QStringLiteral("delete from items where channelid not in (select id from feeds)"));
    }
    if (!removed.isEmpty())
        sendFeedItemsChanged(removed);
}

void PRSSFeedPlugin::showFeedsInClient()
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select id, inclient from feeds"));
    while (query.next()) {
        const int id = query.value(0).toInt();
        if (query.value(1).toInt() == 1)
            showFeed(id);
        else
            hideFeed(id);
    }
}

void PRSSFeedPlugin::mergeFolders(ProtocolReader &reader, bool removeUnnamed)
{
    qint64 count = 0;
    if (!reader.readInt(&count) || count <= 0)
        return;

    QStringList kept;
    QSqlQuery query(m_db);
    for (qint64 i = 0; i < count; ++i) {
        qint64 folderId = 0;
        QString title;
        if (!reader.readInt(&folderId) || !reader.readText(&title))
            return;
        query.prepare(
            QStringLiteral("update folder set title = :title where id = ") + idText(folderId));
        query.bindValue(QStringLiteral(":title"), title);
        query.exec();
        if (query.numRowsAffected() < 1) {
            query.prepare(QStringLiteral("insert into folder (id, title) values(")
                + idText(folderId) + QStringLiteral(" ,:title") + QStringLiteral(")"));
            query.bindValue(QStringLiteral(":title"), title);
            query.exec();
        }
        kept.append(idText(folderId));

        qint64 feeds = 0;
        if (!reader.readInt(&feeds))
            return;
        for (qint64 j = 0; j < feeds; ++j) {
            qint64 kind = 0;
            qint64 id = 0;
            if (!reader.readInt(&kind) || !reader.readInt(&id))
                return;
            const qint64 farmid = kind == 1 ? id : -id;
            query.exec(QStringLiteral("update feeds set folderid = ") + idText(folderId)
                + QStringLiteral(" where farmid = ") + idText(farmid));
        }
    }
    if (removeUnnamed && !kept.isEmpty())
        query.exec(QStringLiteral("delete from folder where id not in (")
            + kept.join(QLatin1Char(',')) + QLatin1Char(')'));
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
    openViewer(channelId, itemId);
}

void PRSSFeedPlugin::itemStateChanged(RequestHandler *, Request *request)
{
    if (refuseWithoutMessage(request))
        return;
    const int channelId = commandArgument(request, 1, -1);
    if (m_viewer && channelId >= 0)
        m_viewer->update(channelId);
    WrapPluginHelper::Instance().requestSucceeded(request, 0);
}

// ---------------------------------------------------------------------------
// Windows

void PRSSFeedPlugin::sendWindowActivate(QWidget *window)
{
    PSimpleMessage message(coreModule, WindowActivate, false);
    message.AddFieldAsInt32(PlainField, qint32(window->winId()));
    message.Send();
}

void PRSSFeedPlugin::openViewer(int channelId, int itemId)
{
    if (!m_viewer) {
        auto *view = new PRSSFeedView(&m_db, nullptr);
        m_viewer = view;
        view->setWindowIcon(QIcon(QStringLiteral(":/rss-16")));
        // The updater may not exist yet or may be replaced by a later synchronisation:
        // its requests go to the one current when they are made.
        connect(view, &PRSSFeedView::sendAboChannel, this,
            qOverload<>(&PRSSFeedPlugin::startAboWindow));
        connect(view, &PRSSFeedView::sendUpdate, this, [this](int id) {
            if (m_updater) {
                m_updater->update(id);
                noteQueuedFeeds();
            }
        });
        connect(view, &PRSSFeedView::sendUpdateAll, this, &PRSSFeedPlugin::updateAllFeeds);
        connect(view, &PRSSFeedView::clearFeed, this,
            qOverload<const QString &, bool>(&PRSSFeedPlugin::clearFeed));
        connect(view, &PRSSFeedView::sendChangeFeeds, this, &PRSSFeedPlugin::newItems);
        connect(view, &PRSSFeedView::sendOptions, this,
            qOverload<>(&PRSSFeedPlugin::startSettingsDialog));
        connect(view, &PRSSFeedView::sendItemStateChanged, this,
            qOverload<int, int, int>(&PRSSFeedPlugin::itemStateChanged));
        connect(view, &PRSSFeedView::sendStartUpdate, this, &PRSSFeedPlugin::startFeedUpdate);
        connect(view, &PRSSFeedView::sendSaveGroups, this, &PRSSFeedPlugin::saveGroups);
        connect(view, &PRSSFeedView::sendRenameFeed, this, &PRSSFeedPlugin::renameFeed);
        connect(view, &PRSSFeedView::sendImportSubscriptions, this,
            &PRSSFeedPlugin::importSubscriptionFile);
        connect(view, &PRSSFeedView::sendExportSubscriptions, this,
            &PRSSFeedPlugin::exportSubscriptionFile);
    }
    m_viewer->openItem(channelId, itemId);
    m_viewer->show();
    if (m_viewer->isMinimized())
        m_viewer->showNormal();
    sendWindowActivate(m_viewer);
}

void PRSSFeedPlugin::startAboWindow()
{
    if (m_mission) {
        if (m_wizardDialog && m_wizardDialog->isMinimized()) {
            m_wizardDialog->showNormal();
            sendWindowActivate(m_wizardDialog);
        }
        return;
    }
    auto *dialog = new PWizard_Standard2;
    m_wizardDialog = dialog;
    auto *mission = new AboWizzard(&m_db, dialog);
    m_mission = mission;
    connect(mission, &AboWizzard::saveFeed, this,
        qOverload<const QString &, const QString &, int>(&PRSSFeedPlugin::saveFeed));
    connect(mission, &AboWizzard::clearFeed, this,
        qOverload<const QString &>(&PRSSFeedPlugin::clearFeed));
    dialog->Set_Mission(mission);
    dialog->setFixedSize(580, 480);
    dialog->setFixed(true);
    sendWindowActivate(dialog);
    dialog->exec();
    delete m_wizardDialog.data();
    delete m_mission.data();
}

void PRSSFeedPlugin::startSettingsDialog()
{
    startSettingsDialog(false);
}

void PRSSFeedPlugin::startSettingsDialog(bool fromClient)
{
    if (m_settingsDialog) {
        if (m_settingsDialog->isMinimized()) {
            m_settingsDialog->showNormal();
            sendWindowActivate(m_settingsDialog);
        }
        return;
    }
    auto *dialog = new PConfigDialog(&m_db, nullptr);
    m_settingsDialog = dialog;
    connect(dialog, &PConfigDialog::sendHideFeed, this, &PRSSFeedPlugin::hideFeed);
    connect(dialog, &PConfigDialog::sendHideFeed, this, &PRSSFeedPlugin::renameFeed);
    connect(dialog, &PConfigDialog::sendNewIntervall, this, [this] {
        if (m_updater) {
            m_updater->newIntervall();
            noteQueuedFeeds();
        }
    });
    connect(dialog, &PConfigDialog::sendNewOptions, this, &PRSSFeedPlugin::newOptions);
    connect(dialog, &PConfigDialog::sendShowFeed, this, &PRSSFeedPlugin::showFeed);
    connect(dialog, &PConfigDialog::sendShowFeed, this, &PRSSFeedPlugin::renameFeed);
    connect(dialog, &PConfigDialog::sendNewItemCount, this, [this] {
        if (m_viewer)
            m_viewer->newItemCount();
    });
    if (fromClient || !m_viewer) {
        PDesktop::setCentered(dialog);
    } else {
        const QPoint centre = m_viewer->geometry().center();
        dialog->move(centre.x() - dialog->width() / 2, centre.y() - dialog->height() / 2);
    }
    sendWindowActivate(dialog);
    dialog->exec();
    delete m_settingsDialog.data();
}

// ---------------------------------------------------------------------------
// Notifications to the client

void PRSSFeedPlugin::itemStateChanged(int commando, int channelid, int itemid)
{
    PSimpleMessage message(ownModule, ItemStateNotice, false);
    message.AddFieldAsUint8(PlainField, quint8(commando));
    message.AddFieldAsUint32(PlainField, quint32(channelid));
    message.AddFieldAsUint32(PlainField, quint32(itemid));
    message.Send();
}

void PRSSFeedPlugin::newItems(int id, bool changed)
{
    if (m_viewer)
        m_viewer->slotNewItems(id, changed);
    if (changed && id != 0)
        sendFeedItemsChanged({id});
}

void PRSSFeedPlugin::sendFeedItemsChanged(const QList<int> &ids)
{
    PSimpleMessage message(ownModule, FeedItemsChanged, false);
    message.AddFieldAsUint16(PlainField, quint16(ids.size()));
    for (int id : ids)
        message.AddFieldAsInt32(PlainField, id);
    message.Send();
}

void PRSSFeedPlugin::hideFeed(int id)
{
    PSimpleMessage message(ownModule, FeedHiddenInClient, false);
    message.AddFieldAsUint32(PlainField, quint32(id));
    message.Send();
}

void PRSSFeedPlugin::showFeed(int id)
{
    PSimpleMessage message(ownModule, FeedShownInClient, false);
    message.AddFieldAsUint32(PlainField, quint32(id));
    message.Send();
}

void PRSSFeedPlugin::newOptions()
{
    PSimpleMessage message(ownModule, OptionsChanged, false);
    message.Send();
}

// ---------------------------------------------------------------------------
// Subscriptions

int PRSSFeedPlugin::nextFeedId()
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select max(id) from feeds"));
    if (query.next() && !query.value(0).isNull())
        return query.value(0).toInt() + 1;
    return 1;
}

void PRSSFeedPlugin::saveFeed(const QString &source, const QString &title, int farmid)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("select id from feeds where source= :source"));
    query.bindValue(QStringLiteral(":source"), source);
    query.exec();
    if (query.next()) {
        // Known address: subscribed again with its old items, title and farmid.
        const int id = query.value(0).toInt();
        query.exec(QStringLiteral("select toload from feeds where id=") + idText(id));
        const bool subscribed = query.next() && query.value(0).toInt() == 1;
        query.exec(QStringLiteral("update feeds set toload = 1 where id=") + idText(id));
        if (subscribed && m_updater) {
            // Nothing new about it: the server is asked whether the document changed.
            m_updater->update(id);
            noteQueuedFeeds();
        } else {
            startFeedUpdate(id);
        }
        newItems(id, true);
        renameFeed(id);
        return;
    }

    const int id = nextFeedId();
    if (farmid == -1) {
        // Own feeds count down from -1, below every farmid there is.
        query.exec(QStringLiteral("select min(farmid) from feeds"));
        if (query.next() && !query.value(0).isNull())
            farmid = qMin(query.value(0).toInt() - 1, -1);
    }
    query.prepare(QStringLiteral(
        "insert into feeds (id, source, channeltitle, toload, folderid, inclient, farmid) "
        "values(:id, :source, :title, 1 , 1, 1, :farmid)"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":source"), source);
    query.bindValue(QStringLiteral(":farmid"), farmid);
    // No title yet: the views show the address until the first fetch brings one.
    query.bindValue(QStringLiteral(":title"), title.isEmpty() ? QVariant() : QVariant(title));
    query.exec();

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
    PSimpleMessage message(ownModule, FeedSubscribed, false);
    message.AddFieldAsUint16(FeedKind, quint16(type));
    if (type == 1) {
        message.AddFieldAsUint32(FarmId, quint32(id));
    } else {
        message.AddFieldAsUint32(OwnFeedId, quint32(id));
        message.AddFieldAsString(FeedTitle, title, 1);
        message.AddFieldAsString(FeedSource, source, 1);
    }
    message.AddFieldAsUint32(FeedState, 3);
    message.Send();
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
    QWidget *parent = nullptr;
    if (viewer)
        parent = m_viewer.data();
    const QString title = tr("Delete News");

    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("select id, toload from feeds where source = :source"));
    query.bindValue(QStringLiteral(":source"), source);
    query.exec();
    // An unknown address is treated as an unsubscribed feed with id 0.
    int id = 0;
    int toload = 0;
    if (query.next()) {
        id = query.value(0).toInt();
        toload = query.value(1).toInt();
    }

    if (toload != 1) {
        if (PMessageBox::question(parent, title, tr("Should all saved messages be deleted?")) == 1)
            removeFeedForGood(id);
        return;
    }

    if (PMessageBox::question(
            parent, title, tr("I do not want to receive any further messages from %1.").arg(source))
        != 1)
        return;
    const int answer
        = PMessageBox::question(parent, title, tr("Should all saved messages be deleted?"));
    if (answer == 1) {
        removeFeedForGood(id);
    } else if (answer == 0) {
        // Unsubscribed, the items stay readable.
        if (m_updater)
            m_updater->removeFeed(id);
        query.prepare(QStringLiteral("update feeds set toload = 0 where source = :source"));
        query.bindValue(QStringLiteral(":source"), source);
        query.exec();
        newItems(id, true);
        renameFeed(id);
    }
}

void PRSSFeedPlugin::removeFeedForGood(int id)
{
    hideFeed(id);
    if (m_updater)
        m_updater->removeFeed(id);

    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select farmid, source from feeds where id = ") + idText(id));
    qint64 farmid = 0;
    QString source;
    if (query.next()) {
        farmid = query.value(0).toLongLong();
        source = query.value(1).toString();
    }
    PSimpleMessage message(ownModule, FeedUnsubscribed, false);
    addFeedReference(message, farmid < 0, farmid, &source);
    message.Send();

    query.exec(QStringLiteral("delete from items where channelid=") + idText(id));
    query.exec(QStringLiteral("delete from feeds where id=") + idText(id));
    FeedHealth(&m_db).forget(id);

    if (m_viewer) {
        // Id 0 is the favourites entry, which no unsubscription removes.
        if (id != 0)
            m_viewer->forgetFeed(id);
        m_viewer->slotNewItems(0, true);
    }
    saveGroups();
}

void PRSSFeedPlugin::renameFeed(int id)
{
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select farmid, channeltitle, source, inclient, toload from feeds "
                              "where id = ")
        + idText(id));
    // A feed removed meanwhile has nothing left to report.
    if (!query.next())
        return;
    const qint64 farmid = query.value(0).toLongLong();
    const QString source = query.value(2).toString();
    const int inclient = query.value(3).toInt();
    const int toload = query.value(4).toInt();

    PSimpleMessage message(ownModule, FeedChanged, false);
    message.AddFieldAsString(FeedTitle, query.value(1).toString(), 1);
    addFeedReference(message, farmid <= 0, farmid, &source);
    quint32 state = 3;
    if (inclient == 0 && toload == 0)
        state = 0;
    else if (inclient == 0 && toload == 1)
        state = 1;
    else if (inclient == 1 && toload == 0)
        state = 2;
    message.AddFieldAsUint32(FeedState, state);
    message.Send();
}

void PRSSFeedPlugin::saveGroups()
{
    PSimpleMessage message(ownModule, FoldersChanged, false);

    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select count(id) from folder"));
    message.AddFieldAsUint16(FolderCount, query.next() ? quint16(query.value(0).toInt()) : 0);

    QSqlQuery folders(m_db);
    folders.exec(QStringLiteral("select id, title from folder"));
    while (folders.next()) {
        const QString folderId = idText(folders.value(0).toLongLong());
        message.AddFieldAsUint16(FolderId, quint16(folders.value(0).toInt()));
        message.AddFieldAsString(FolderTitle, folders.value(1).toString(), 1);

        query.exec(QStringLiteral("select count(id) from feeds where folderid = ") + folderId);
        message.AddFieldAsUint16(
            FolderFeedCount, query.next() ? quint16(query.value(0).toInt()) : 0);

        query.exec(QStringLiteral("select farmid from feeds where folderid = ") + folderId);
        while (query.next()) {
            const qint64 farmid = query.value(0).toLongLong();
            addFeedReference(message, farmid <= 0, farmid);
        }
    }
    message.Send();
}

// ---------------------------------------------------------------------------
// Subscription lists

QVariantMap PRSSFeedPlugin::importSubscriptions(const QByteArray &document)
{
    QVariantMap answer;
    OpmlDocument opml;
    if (!opml.read(document)) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            tr("The subscription list was not imported: %1").arg(opml.errorString()));
        return answer;
    }
    if (!m_databaseError.isEmpty() || !m_db.isOpen()) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            tr("The subscription list was not imported: the news database is not available."));
        return answer;
    }

    const SubscriptionList::Outcome outcome = SubscriptionList(&m_db).add(opml.feeds());
    if (!outcome.stored) {
        answer.insert(QStringLiteral("ok"), false);
        answer.insert(QStringLiteral("summary"),
            tr("The subscription list was not imported: the news database cannot be written."));
        return answer;
    }

    if (m_viewer) {
        for (int folder : outcome.newFolders)
            m_viewer->feedsTree()->feedModel()->addFolder(folder);
    }
    // Each new feed is reported as a subscription from the wizard is; the folder
    // layout and the changed feeds go once, for the whole list.
    QSqlQuery query(m_db);
    for (int id : outcome.added) {
        query.exec(QStringLiteral("select farmid, channeltitle, source from feeds where id = ")
            + idText(id));
        if (!query.next())
            continue;
        if (m_updater)
            m_updater->addFeed(id);
        if (m_viewer)
            m_viewer->update(id);
        showFeed(id);
        saveFeed(2, -query.value(0).toInt(), query.value(1).toString(), query.value(2).toString());
    }
    for (int id : outcome.resubscribed) {
        startFeedUpdate(id);
        if (m_viewer)
            m_viewer->slotNewItems(id, true);
        renameFeed(id);
    }
    noteQueuedFeeds();
    const QList<int> changed = outcome.added + outcome.resubscribed;
    // The count is a 16-bit field.
    for (qsizetype from = 0; from < changed.size(); from += 0xFFFF)
        sendFeedItemsChanged(changed.mid(from, 0xFFFF));
    if (!outcome.added.isEmpty() || !outcome.newFolders.isEmpty())
        saveGroups();

    const int added = int(changed.size());
    answer.insert(QStringLiteral("ok"), true);
    answer.insert(QStringLiteral("added"), added);
    answer.insert(QStringLiteral("skipped"), outcome.skipped);
    answer.insert(QStringLiteral("refused"), opml.refused());
    answer.insert(QStringLiteral("summary"),
        tr("Subscription list imported: %1 added, %2 skipped (already subscribed), "
           "%3 refused (no usable address).")
            .arg(added)
            .arg(outcome.skipped)
            .arg(opml.refused()));
    return answer;
}

QByteArray PRSSFeedPlugin::exportSubscriptions()
{
    return OpmlDocument::write(tr("pellix News subscriptions"), SubscriptionList(&m_db).folders());
}

void PRSSFeedPlugin::importSubscriptionFile()
{
    QWidget *parent = m_viewer.data();
    const QString fileName = QFileDialog::getOpenFileName(parent, tr("Import Subscriptions"),
        QString(), tr("Subscription lists (*.opml *.xml);;All files (*)"));
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    QString summary;
    if (file.open(QIODevice::ReadOnly))
        summary = importSubscriptions(file.readAll()).value(QStringLiteral("summary")).toString();
    else
        summary = tr("The subscription list was not imported: %1").arg(file.errorString());
    QMessageBox::information(parent, tr("Import Subscriptions"), summary);
}

void PRSSFeedPlugin::exportSubscriptionFile()
{
    QWidget *parent = m_viewer.data();
    const QString fileName = QFileDialog::getSaveFileName(parent, tr("Export Subscriptions"),
        QStringLiteral("subscriptions.opml"), tr("Subscription lists (*.opml)"));
    if (fileName.isEmpty())
        return;
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(exportSubscriptions()) < 0 || !file.commit())
        QMessageBox::information(parent, tr("Export Subscriptions"),
            tr("The subscription list could not be written: %1").arg(file.errorString()));
}

extern "C" Q_DECL_EXPORT WrapPlugin *create()
{
    return new PRSSFeedPlugin;
}
