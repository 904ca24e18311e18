#pragma once

#include "clientoptions.h"

#include <QFile>
#include <QObject>
#include <QPointer>

#include <memory>

class Catalogue;
class ClientRouter;
class ClientWindow;
class HeadlessTransfer;
class HeadlessUpdate;
class HomeLock;
class InstanceServer;
class Outbox;
class QLocalSocket;
class LanguageManager;
class MessageLog;
class PluginHost;
class Protocol;
class Request;
class ServerStore;

// The pellix client: its server and catalogue, the news plug-in, the signed-in
// user and, unless it runs headless, its main window.
class ClientApplication : public QObject
{
    Q_OBJECT
public:
    explicit ClientApplication(const ClientOptions &options, QObject *parent = nullptr);
    ~ClientApplication() override;

    // Sets everything up and signs the user in. False when the client cannot run
    // (the plug-in cannot be loaded, the message log cannot be written); the
    // reason has been written to the error output and exitCode() tells the code.
    // Also false, with the code of the run, when another process owns the home
    // for this user and has carried out the command line itself.
    bool start();
    int exitCode() const { return m_exitCode; }
    // Shuts the plug-in down and deletes it; safe to call twice.
    void shutdown();

    // Runs --discover in the running core application's loop; returns the exit code.
    static int discover(const ClientOptions &options);

    // The client's own settings below its home: the language chosen in the menu.
    static QString clientSettingsFile();

    ClientWindow *window() const;
    PluginHost *pluginHost() const { return m_host.get(); }

public slots:
    // Ends the event loop with code (from inside it or before it runs).
    void quit(int code = 0);

private:
    bool takeHome(const QString &home);
    void serveRequest(QLocalSocket *socket, const ClientOptions &request);
    void subscribeAndOpen(const QStringList &addresses, const QString &open);
    bool fail(const QString &text, int exitCode);
    bool openMessageLog();
    void createWindow();
    void createRouter(const QString &home);
    bool loadPlugin();
    void reportProblem(const QString &text);
    void feedsAndSettingsAnswered(Request *request);
    void synchronised();
    void deliver(quint16 command, const Protocol &message);
    void openViewer(int itemId, int channelId);
    void itemMarkedRead(int channelId, int itemId);
    void activateWindow(qint64 handle);
    void setLanguage(const QString &code);
    void checkDatabase();
    void startFresh();
    Q_SLOT void databaseFailed(const QString &reason);
    Q_SLOT void pluginSynchronised();

    ClientOptions m_options;
    QFile m_output;
    QFile m_errors;
    std::unique_ptr<MessageLog> m_log;
    std::unique_ptr<HomeLock> m_lock;
    InstanceServer *m_instanceServer = nullptr;
    std::unique_ptr<Outbox> m_outbox;
    std::unique_ptr<Catalogue> m_catalogue;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<ClientRouter> m_router;
    std::unique_ptr<PluginHost> m_host;
    std::unique_ptr<LanguageManager> m_languages;
    HeadlessUpdate *m_headless = nullptr;
    HeadlessTransfer *m_transfer = nullptr;
    QPointer<ClientWindow> m_window;
    QString m_databaseProblem;
    bool m_synchronised = false;
    bool m_shutDown = false;
    int m_exitCode = 0;
};
