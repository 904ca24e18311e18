#pragma once

#include "proxyconfig.h"
#include "serverstore.h"

#include "host/messagerouter.h"

#include <QObject>
#include <QString>

class Catalogue;
class MessageLog;
class Outbox;
class Protocol;
class Request;

// Answers every message the plug-in sends, as the client and its server would:
// mandator and proxy, the server's store of feeds, folders and settings, the
// catalogue, and the notices meant for the client's own news display. Anything
// it does not know fails.
class ClientRouter : public QObject, public MessageRouter
{
    Q_OBJECT
public:
    explicit ClientRouter(QObject *parent = nullptr);
    ~ClientRouter() override;

    // Installs this router with the plug-in helper (and removes it again on destruction).
    void install();

    void setBrand(const QString &brand) { m_brand = brand; }
    void setProxy(const ProxyConfig &proxy) { m_proxy = proxy; }
    // Null (offline, or a store that cannot be used): every server request fails.
    void setStore(ServerStore *store) { m_store = store; }
    // Null or not loaded: catalogue requests fail.
    void setCatalogue(const Catalogue *catalogue) { m_catalogue = catalogue; }
    void setLog(MessageLog *log) { m_log = log; }
    // Keeps the changes meant for a server that cannot be reached, and hands them
    // to the store before it next answers. Null: they are lost.
    void setOutbox(Outbox *outbox) { m_outbox = outbox; }
    // Whether the user's local database existed before the user signed in; a
    // database the plug-in has just created holds nothing to adopt.
    void setProfileExisted(bool existed) { m_profileExisted = existed; }

    void route(Request *request) override;

signals:
    // The feeds-and-settings request has been answered or failed; its slot runs later.
    void feedsAndSettingsAnswered(Request *request);
    // FeedItemsChanged, FeedShownInClient, FeedHiddenInClient, OptionsChanged, ItemStateNotice.
    void noticeReceived(quint16 command, const Protocol &message);
    void windowActivationRequested(qint64 handle);
    // Something the user should know about the server (shown in the status bar).
    void serverProblem(const QString &text);

private:
    void answer(Request *request, const Protocol &reply);
    void acknowledge(Request *request);
    void refuse(Request *request, int code);
    void answerFeedsAndSettings(Request *request);
    void applyToStore(Request *request);
    void deliverOutbox(quint32 user);
    ServerStore::FeedLookup feedLookup(quint32 user) const;

    QString m_brand = QStringLiteral("pellix");
    ProxyConfig m_proxy;
    ServerStore *m_store = nullptr;
    const Catalogue *m_catalogue = nullptr;
    MessageLog *m_log = nullptr;
    Outbox *m_outbox = nullptr;
    bool m_profileExisted = false;
    bool m_installed = false;
};
