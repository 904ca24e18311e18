#include "clientapplication.h"
#include "catalogue.h"
#include "clientrouter.h"
#include "clientwindow.h"
#include "core/rssprotocol.h"
#include "handover.h"
#include "headlessdiscovery.h"
#include "headlesstransfer.h"
#include "headlessupdate.h"
#include "homelock.h"
#include "instanceserver.h"
#include "languagemanager.h"
#include "localprofile.h"
#include "messagelog.h"
#include "newsdisplay.h"
#include "outbox.h"
#include "pluginhost.h"
#include "proxyconfig.h"
#include "serverstore.h"

#include "core/newsplugininterface.h"
#include "core/rsssettings.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "host/protocol.h"
#include "host/request.h"
#include "host/wrapplugin.h"
#include "host/wrappluginhelper.h"
#include "updater/httpconnection.h"

#include <QApplication>
#include <QDir>
#include <QLocalSocket>
#include <QMetaObject>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTimer>
#include <QWidget>

#include <cstdio>

QString ClientApplication::clientSettingsFile()
{
    return QDir(PDir::homePath()).filePath(QStringLiteral("client.ini"));
}

ClientApplication::ClientApplication(const ClientOptions &options, QObject *parent)
    : QObject(parent), m_options(options)
{
    // Straight to the descriptors, past the C library's buffers: a pipe or a file
    // gets each line when it is written, and a killed run loses none of them.
    std::fflush(stdout);
    std::fflush(stderr);
    m_output.open(fileno(stdout), QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_errors.open(fileno(stderr), QIODevice::WriteOnly | QIODevice::Unbuffered);
}

ClientApplication::~ClientApplication()
{
    shutdown();
}

int ClientApplication::discover(const ClientOptions &options)
{
    QFile output;
    QFile errors;
    output.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    errors.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const ProxyConfig proxy = options.proxy.isEmpty()
        ? ProxyConfig::fromEnvironment(QProcessEnvironment::systemEnvironment())
        : ProxyConfig::fromUrl(options.proxy);
    const Protocol answer = proxy.answer();
    HeadlessDiscovery run(HttpConnection::proxyFromReply(&answer), &output, &errors);
    QObject::connect(&run, &HeadlessDiscovery::finished, qApp, &QCoreApplication::exit);
    run.start(QUrl(options.discover));
    return QCoreApplication::exec();
}

ClientWindow *ClientApplication::window() const
{
    return m_window;
}

void ClientApplication::reportProblem(const QString &text)
{
    m_errors.write((QStringLiteral("pellix: ") + text + QLatin1Char('\n')).toLocal8Bit());
    if (m_window)
        m_window->showServerProblem(text);
}

bool ClientApplication::start()
{
    if (!m_options.home.isEmpty())
        PDir::setHomePath(m_options.home);
    const QString home = PDir::homePath();
    if (!QDir().mkpath(home)) {
        return fail(tr("pellix: the home folder %1 cannot be created.\n").arg(home), 1);
    }
    if (!takeHome(home))
        return false;
    if (!m_options.messageLog.isEmpty() && !openMessageLog())
        return false;
    if (!m_options.headless())
        createWindow();
    createRouter(home);
    if (!loadPlugin())
        return false;

    const LocalProfile profile = LocalProfile::ofUser(m_options.user);
    m_router->setProfileExisted(profile.exists());
    if (m_window) {
        m_window->display()->setDatabaseFile(profile.databaseFile());
        m_window->show();
    }
    CPxBuddy_Administrator::Instance().signIn(m_options.user);
    checkDatabase();
    return true;
}

bool ClientApplication::takeHome(const QString &home)
{
    m_lock = std::make_unique<HomeLock>(home, m_options.user);
    if (!m_lock->tryLock()) {
        // A subscription list is read or written by the owner's News menu, not behind its back.
        if (m_options.headless() && !m_options.update) {
            return fail(tr("pellix: another pellix process works on %1 for user %2; use its News "
                           "menu, or try again when it has ended.\n")
                            .arg(QDir::toNativeSeparators(home))
                            .arg(m_options.user),
                1);
        }
        HandOver handOver;
        if (handOver.send(m_lock->serverName(), m_options, &m_output, &m_errors)
            == HandOver::Done) {
            m_exitCode = handOver.exitCode();
            return false;
        }
        // The owner runs without a window, or does not answer: this start waits for
        // it to end rather than work on files the owner uses.
        m_errors.write(tr("pellix: another pellix process works on %1 for user %2; waiting for "
                          "it to end.\n")
                           .arg(QDir::toNativeSeparators(home))
                           .arg(m_options.user)
                           .toLocal8Bit());
        if (!m_lock->lock())
            return fail(
                tr("pellix: the lock in %1 cannot be taken.\n").arg(QDir::toNativeSeparators(home)),
                1);
    }
    // This process owns the user's files now: whatever a process that died left
    // behind goes, so that the plug-in exports the files of this build.
    m_lock->removeLeftovers(PDir::applicationDataPath(false));
    HomeLock *lock = m_lock.get();
    PDir::setSharedFilesInUse([lock] { return lock->othersRunning(); });

    m_instanceServer = new InstanceServer(this);
    connect(m_instanceServer, &InstanceServer::requested, this, &ClientApplication::serveRequest);
    if (!m_instanceServer->listen(m_lock->serverName())) {
        m_errors.write(tr("pellix: later starts cannot hand their command line to this one: %1\n")
                           .arg(m_instanceServer->errorString())
                           .toLocal8Bit());
    }
    return true;
}

void ClientApplication::serveRequest(QLocalSocket *socket, const ClientOptions &request)
{
    // A headless run ends by itself soon; the later start waits for it.
    if (m_options.update || m_shutDown || !m_host) {
        InstanceServer::refuseBusy(socket);
        return;
    }
    InstanceServer::take(socket);
    if (request.update) {
        auto *run = new HeadlessUpdate(m_host.get(), request.subscribe, socket, socket, socket);
        connect(run, &HeadlessUpdate::finished, socket,
            [socket](int code) { InstanceServer::finish(socket, code); });
        QString reason;
        if (!run->attach(&reason)) {
            socket->write((QStringLiteral("pellix: ") + reason + QLatin1Char('\n')).toLocal8Bit());
            InstanceServer::finish(socket, 1);
            return;
        }
        if (m_synchronised)
            run->start();
        return;
    }
    subscribeAndOpen(request.subscribe, request.open);
    if (m_window)
        m_window->bringForward();
    InstanceServer::finish(socket, 0);
}

void ClientApplication::subscribeAndOpen(const QStringList &addresses, const QString &open)
{
    if (!m_synchronised) {
        // Done with the client's own command line once the plug-in has synchronised.
        m_options.subscribe += addresses;
        if (!open.isEmpty())
            m_options.open = open;
        return;
    }
    if (NewsPluginInterface *news = m_host->news()) {
        for (const QString &address : addresses)
            news->subscribe(address);
    }
    if (open == QLatin1String("viewer"))
        openViewer(-1, -1);
    else if (open == QLatin1String("wizard"))
        deliver(ClientMessage::OpenSubscriptionWizard, Protocol());
    else if (open == QLatin1String("settings"))
        deliver(ClientMessage::OpenSettings, Protocol());
}

bool ClientApplication::fail(const QString &text, int exitCode)
{
    m_errors.write(text.toLocal8Bit());
    m_exitCode = exitCode;
    return false;
}

bool ClientApplication::openMessageLog()
{
    m_log = std::make_unique<MessageLog>();
    QString reason;
    if (!m_log->open(m_options.messageLog, &reason)) {
        return fail(tr("pellix: the message log %1 cannot be written: %2\n")
                        .arg(m_options.messageLog, reason),
            2);
    }
    connect(&WrapPluginHelper::Instance(), &WrapPluginHelper::commandFinished, this,
        [this](Request *request) {
            if (!request->message())
                return;
            const Protocol &command = *request->message();
            m_log->command(command.module(), command.command(), &command,
                request->outcome() == Request::Outcome::Succeeded, request->failureCode());
        });
    return true;
}

void ClientApplication::createWindow()
{
    m_window = new ClientWindow;
    connect(m_window, &ClientWindow::quitRequested, this, [this] { quit(0); });
    connect(m_window, &ClientWindow::viewerRequested, this, [this] { openViewer(-1, -1); });
    connect(m_window, &ClientWindow::subscribeRequested, this,
        [this] { deliver(ClientMessage::OpenSubscriptionWizard, Protocol()); });
    connect(m_window, &ClientWindow::settingsRequested, this,
        [this] { deliver(ClientMessage::OpenSettings, Protocol()); });
    connect(m_window, &ClientWindow::startFreshRequested, this, &ClientApplication::startFresh);
    connect(m_window, &ClientWindow::languageRequested, this, [this](const QString &code) {
        setLanguage(code);
        // The menu's choice is kept for the next start.
        QSettings(clientSettingsFile(), QSettings::IniFormat)
            .setValue(QStringLiteral("language"), code);
    });
    NewsDisplay *display = m_window->display();
    connect(display, &NewsDisplay::openItemRequested, this, &ClientApplication::openViewer);
    connect(display, &NewsDisplay::itemMarkedRead, this, &ClientApplication::itemMarkedRead);
    connect(display, &NewsDisplay::newItemsArrived, m_window, [this] {
        if (RssSettings::intValue(RssSettings::SwitchByNewItems) == 1)
            m_window->bringForward();
    });
}

void ClientApplication::createRouter(const QString &home)
{
    m_router = std::make_unique<ClientRouter>();
    m_router->setBrand(m_options.brand);
    m_router->setLog(m_log.get());
    m_outbox = std::make_unique<Outbox>(QDir(home).filePath(QStringLiteral("outbox")));
    m_router->setOutbox(m_outbox.get());
    m_router->setProxy(m_options.proxy.isEmpty()
            ? ProxyConfig::fromEnvironment(QProcessEnvironment::systemEnvironment())
            : ProxyConfig::fromUrl(m_options.proxy));
    connect(m_router.get(), &ClientRouter::feedsAndSettingsAnswered, this,
        &ClientApplication::feedsAndSettingsAnswered);
    connect(m_router.get(), &ClientRouter::windowActivationRequested, this,
        &ClientApplication::activateWindow);
    connect(m_router.get(), &ClientRouter::serverProblem, this, &ClientApplication::reportProblem);
    if (m_window) {
        connect(m_router.get(), &ClientRouter::noticeReceived, m_window->display(),
            &NewsDisplay::noticeReceived);
    }

    // Offline there is no server at all: no store and no catalogue.
    if (!m_options.offline) {
        const QString location = m_options.serverFile.isEmpty()
            ? QDir(home).filePath(QStringLiteral("server/store.sqlite"))
            : m_options.serverFile;
        m_store = ServerStore::forLocation(location);
        if (m_store->open(location)) {
            m_router->setStore(m_store.get());
        } else {
            reportProblem(tr("%1 The client runs without a server; your local news are kept.")
                              .arg(m_store->errorString()));
        }
        m_catalogue = std::make_unique<Catalogue>();
        const QString catalogueFile = m_options.catalogueFile.isEmpty() ? Catalogue::builtInFile()
                                                                        : m_options.catalogueFile;
        if (m_catalogue->load(catalogueFile))
            m_router->setCatalogue(m_catalogue.get());
        else
            reportProblem(
                tr("%1 Recommended feeds are not available.").arg(m_catalogue->errorString()));
    }
    m_router->install();
}

bool ClientApplication::loadPlugin()
{
    m_host = std::make_unique<PluginHost>();
    if (!m_host->load(PluginHost::libraryPath(QCoreApplication::applicationDirPath())))
        return fail(QStringLiteral("pellix: ") + m_host->errorString() + QLatin1Char('\n'), 1);
    // The translations of the plug-in live in its library: the language is set
    // once it is loaded and before it creates anything that shows text.
    m_languages = std::make_unique<LanguageManager>();
    const QString language = m_options.language.isEmpty()
        ? QSettings(clientSettingsFile(), QSettings::IniFormat)
              .value(QStringLiteral("language"))
              .toString()
        : m_options.language;
    if (!language.isEmpty())
        setLanguage(language);

    if (m_options.update) {
        m_headless
            = new HeadlessUpdate(m_host.get(), m_options.subscribe, &m_output, &m_errors, this);
        connect(m_headless, &HeadlessUpdate::finished, this, &ClientApplication::quit);
        QString reason;
        if (!m_headless->attach(&reason))
            return fail(QStringLiteral("pellix: ") + reason + QLatin1Char('\n'), 1);
    } else if (m_options.headless()) {
        m_transfer = new HeadlessTransfer(
            m_host.get(), m_options.importOpml, m_options.exportOpml, &m_output, &m_errors, this);
        connect(m_transfer, &HeadlessTransfer::finished, this, &ClientApplication::quit);
        QString reason;
        if (!m_transfer->prepare(&reason))
            return fail(QStringLiteral("pellix: ") + reason + QLatin1Char('\n'), 1);
    } else if (NewsPluginInterface *news = m_host->news()) {
        news->onDatabaseFailed(this, [this](const QString &reason) { databaseFailed(reason); });
    }
    if (NewsPluginInterface *news = m_host->news())
        news->onSynchronised(this, [this] { pluginSynchronised(); });
    if (!m_host->initialize())
        return fail(QStringLiteral("pellix: ") + m_host->errorString() + QLatin1Char('\n'), 1);
    return true;
}

void ClientApplication::checkDatabase()
{
    // A headless run reports the database itself.
    if (m_options.headless() || !m_host || !m_host->news())
        return;
    const QString reason = m_host->news()->databaseError();
    if (!reason.isEmpty())
        databaseFailed(reason);
}

void ClientApplication::databaseFailed(const QString &reason)
{
    if (reason == m_databaseProblem)
        return;
    m_databaseProblem = reason;
    m_errors.write(
        tr("pellix: the news database could not be opened: %1\n").arg(reason).toLocal8Bit());
    if (m_window)
        m_window->showDatabaseProblem(reason);
}

void ClientApplication::startFresh()
{
    NewsPluginInterface *news = m_host ? m_host->news() : nullptr;
    if (!news)
        return;
    const QString aside = news->startFresh();
    if (aside.isEmpty())
        return;
    m_databaseProblem.clear();
    checkDatabase();
    if (m_window && m_databaseProblem.isEmpty()) {
        m_window->showDatabaseProblem(QString());
        m_window->showServerProblem(
            tr("The unusable news database is kept as %1; your feeds come back from the server.")
                .arg(QDir::toNativeSeparators(aside)));
        m_window->display()->refresh();
    }
}

void ClientApplication::feedsAndSettingsAnswered(Request *request)
{
    // The plug-in merges the answer in its reply slot, which frees the request:
    // once it is gone the synchronisation is over, on either path.
    connect(
        request, &QObject::destroyed, this, &ClientApplication::synchronised, Qt::QueuedConnection);
}

void ClientApplication::pluginSynchronised()
{
    QTimer::singleShot(0, this, &ClientApplication::synchronised);
}

void ClientApplication::synchronised()
{
    if (m_synchronised)
        return;
    m_synchronised = true;
    if (m_window) {
        m_window->applySkin();
        m_window->display()->refresh();
        checkDatabase();
    }
    if (m_options.headless())
        return; // headless runs do their work on their own
    if (m_options.quitAfterSync) {
        subscribeAndOpen(m_options.subscribe, QString());
        quit(0);
        return;
    }
    subscribeAndOpen(m_options.subscribe, m_options.open);
}

void ClientApplication::deliver(quint16 command, const Protocol &fields)
{
    Protocol message(ClientMessage::NewsModule, command);
    for (const ProtocolArg &arg : fields.args())
        message.addArg(arg);
    // Commands that open modal windows run their own event loop; deliver them
    // from the main loop rather than from inside a menu or button handler.
    QTimer::singleShot(0, this, [message] {
        WrapPluginHelper::Instance().deliverCommand(message.module(), message.command(), &message);
    });
}

void ClientApplication::openViewer(int itemId, int channelId)
{
    Protocol fields;
    fields.add(ProtocolField::Plain, ProtocolArg::Int32, itemId);
    fields.add(ProtocolField::Plain, ProtocolArg::Int32, channelId);
    deliver(ClientMessage::OpenViewer, fields);
}

void ClientApplication::itemMarkedRead(int channelId, int itemId)
{
    // Laid out as the plug-in's own item-state notice: code 1 ("now read"), channel, item.
    Protocol fields;
    fields.add(ProtocolField::Plain, ProtocolArg::UInt8, 1);
    fields.add(ProtocolField::Plain, ProtocolArg::UInt32, channelId);
    fields.add(ProtocolField::Plain, ProtocolArg::UInt32, itemId);
    deliver(ClientMessage::ItemStateChanged, fields);
}

void ClientApplication::activateWindow(qint64 handle)
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        // Only windows that already have a native handle can be meant; asking
        // the others for one would create it.
        if (!widget->internalWinId() || qint32(widget->internalWinId()) != qint32(handle))
            continue;
        if (widget->isMinimized())
            widget->showNormal();
        widget->raise();
        widget->activateWindow();
        return;
    }
}

void ClientApplication::setLanguage(const QString &code)
{
    if (!m_languages || !m_languages->setLanguage(code))
        return;
    if (m_window)
        m_window->setLanguageCode(code);
}

void ClientApplication::quit(int code)
{
    m_exitCode = code;
    // Posted, so that a quit asked for before the loop runs still ends it.
    QTimer::singleShot(0, qApp, [code] { QCoreApplication::exit(code); });
}

void ClientApplication::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_window)
        m_window->display()->closeDatabase();
    if (m_host)
        m_host->unload();
    delete m_window;
    m_router.reset();
    if (m_store)
        m_store->close();
    delete m_instanceServer;
    if (m_lock) {
        PDir::setSharedFilesInUse({});
        m_lock->unlock();
    }
}
