#include "clientrouter.h"
#include "catalogue.h"
#include "core/rssprotocol.h"
#include "fieldreader.h"
#include "localprofile.h"
#include "messagelog.h"
#include "outbox.h"
#include "serverstore.h"
#include "storemessages.h"

#include "host/cpxbuddy_administrator.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

ClientRouter::ClientRouter(QObject *parent) : QObject(parent) { }

ClientRouter::~ClientRouter()
{
    if (m_installed && WrapPluginHelper::Instance().router() == this)
        WrapPluginHelper::Instance().setRouter(nullptr);
}

void ClientRouter::install()
{
    WrapPluginHelper::Instance().setRouter(this);
    m_installed = true;
}

void ClientRouter::answer(Request *request, const Protocol &reply)
{
    if (m_log && request->message())
        m_log->reply(request->id(), *request->message(), &reply);
    request->succeed(reply);
}

void ClientRouter::acknowledge(Request *request)
{
    if (m_log && request->message())
        m_log->reply(request->id(), *request->message(), nullptr);
    request->succeedWithoutMessage();
}

void ClientRouter::refuse(Request *request, int code)
{
    if (m_log && request->message())
        m_log->failure(request->id(), *request->message(), code);
    request->fail(code);
}

void ClientRouter::route(Request *request)
{
    if (!request->message()) {
        refuse(request, ClientMessage::MalformedMessage);
        return;
    }
    const Protocol &message = *request->message();
    if (m_log)
        m_log->message(request->id(), message);

    using namespace ClientMessage;
    if (message.module() == CoreModule) {
        switch (message.command()) {
        case MandatorIdRequest: {
            Protocol reply(CoreModule, MandatorIdRequest);
            reply.add(ProtocolField::Mandator, ProtocolArg::String, m_brand, 1);
            answer(request, reply);
            return;
        }
        case ProxyRequest:
            answer(request, m_proxy.answer());
            return;
        case WindowActivate: {
            FieldReader reader(message);
            const qint64 handle = reader.nextInt();
            if (!reader.ok()) {
                refuse(request, MalformedMessage);
                return;
            }
            acknowledge(request);
            emit windowActivationRequested(handle);
            return;
        }
        default:
            break;
        }
    } else if (message.module() == NewsModule) {
        switch (message.command()) {
        case FeedsAndSettingsRequest:
            answerFeedsAndSettings(request);
            emit feedsAndSettingsAnswered(request);
            return;
        case SettingChanged:
        case FeedSubscribed:
        case FeedUnsubscribed:
        case FeedChanged:
        case FoldersChanged:
            applyToStore(request);
            return;
        case CatalogueChildrenRequest: {
            if (!m_catalogue || !m_catalogue->isLoaded()) {
                refuse(request, CatalogueUnavailable);
                return;
            }
            FieldReader reader(message);
            const qint64 node = reader.nextInt();
            if (!reader.ok()) {
                refuse(request, MalformedMessage);
                return;
            }
            answer(request, m_catalogue->childrenAnswer(int(node)));
            return;
        }
        case FeedItemsChanged:
        case FeedShownInClient:
        case FeedHiddenInClient:
        case OptionsChanged:
        case ItemStateNotice:
            acknowledge(request);
            emit noticeReceived(message.command(), message);
            return;
        default:
            break;
        }
    }
    refuse(request, UnknownRequest);
}

void ClientRouter::answerFeedsAndSettings(Request *request)
{
    if (!m_store || !m_store->isOpen()) {
        refuse(request, ClientMessage::ServerUnavailable);
        return;
    }
    const quint32 user = CPxBuddy_Administrator::Instance().userId();
    if (!m_store->hasUser(user)) {
        // The server meets this user for the first time: whatever the user already
        // has locally becomes the server's copy, so that the answer changes nothing.
        UserRecord record;
        const LocalProfile profile = LocalProfile::ofUser(user);
        QString reason;
        const bool readable = profile.read(&record, &reason);
        if (m_profileExisted && !readable) {
            // Recording the user now would later answer with nothing and empty
            // the local database once it can be read again.
            emit serverProblem(
                tr("The server could not take over the local news database: %1").arg(reason));
            refuse(request, ClientMessage::ServerUnavailable);
            return;
        }
        if (!m_profileExisted) {
            // Only the settings count: the plug-in has just created the database.
            record.feeds.clear();
            record.folders.clear();
        }
        if (!m_store->addUser(user, record)) {
            emit serverProblem(
                tr("The server store cannot be written: %1").arg(m_store->errorString()));
            refuse(request, ClientMessage::ServerUnavailable);
            return;
        }
    }
    deliverOutbox(user);
    bool read = false;
    const UserRecord record = m_store->record(user, &read);
    if (!read) {
        emit serverProblem(m_store->errorString());
        refuse(request, ClientMessage::ServerUnavailable);
        return;
    }
    answer(request, StoreMessages::answer(record));
}

void ClientRouter::deliverOutbox(quint32 user)
{
    if (!m_outbox)
        return;
    const QList<Protocol> kept = m_outbox->messages(user);
    if (kept.isEmpty())
        return;
    // In the order they were made, so that a later change wins as it did locally.
    // One the store refuses as malformed would be refused again: it goes too.
    for (const Protocol &message : kept)
        m_store->apply(user, message, feedLookup(user));
    if (!m_outbox->remove(user, int(kept.size())))
        emit serverProblem(tr("The changes made offline cannot be removed from %1; they will be "
                              "handed to the server again.")
                               .arg(m_outbox->fileFor(user)));
}

ServerStore::FeedLookup ClientRouter::feedLookup(quint32 user) const
{
    const Catalogue *catalogue = m_catalogue;
    return [catalogue, user](int id, QString *title, QString *source) {
        if (catalogue) {
            if (const Catalogue::Feed *feed = catalogue->feed(id)) {
                *title = feed->title;
                *source = feed->address;
                return true;
            }
        }
        // A catalogue feed that has left the catalogue is still known locally.
        return LocalProfile::ofUser(user).catalogueFeed(id, title, source);
    };
}

void ClientRouter::applyToStore(Request *request)
{
    const quint32 user = CPxBuddy_Administrator::Instance().userId();
    if (!m_store || !m_store->isOpen()) {
        if (m_outbox && !m_outbox->append(user, *request->message()))
            emit serverProblem(tr("A change for the server cannot be kept in %1; it is lost.")
                                   .arg(m_outbox->fileFor(user)));
        refuse(request, ClientMessage::ServerUnavailable);
        return;
    }
    if (!m_store->apply(user, *request->message(), feedLookup(user))) {
        refuse(request, ClientMessage::ServerUnavailable);
        return;
    }
    acknowledge(request);
}
