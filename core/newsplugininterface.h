#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

// What the client asks of the news plug-in beyond the client's general plug-in
// interface. The plug-in object implements it; the client reaches it with
// qobject_cast, as the library is loaded at run time. Callbacks run on the
// GUI thread, directly when the plug-in's event happens, for as long as the
// context object lives.
class NewsPluginInterface
{
public:
    virtual ~NewsPluginInterface() = default;

    // Why the user's database could not be opened; empty while it is usable.
    virtual QString databaseError() const = 0;
    // Subscribes to a feed by address, as the wizard's address page does.
    virtual void subscribe(const QString &address) = 0;
    // Starts a full update run when the updater exists (it exists once synchronised).
    virtual void updateAllFeeds() = 0;
    // Moves an unusable database aside, starts an empty one and fills it from the
    // server. Returns where the old file went; empty when nothing was moved.
    virtual QString startFresh() = 0;
    // Subscribes the feeds of an OPML list as the wizard does, and tells the server.
    // The answer holds "ok" (false: the list was refused and nothing changed),
    // "added", "skipped", "refused" and "summary", a sentence for the user.
    virtual QVariantMap importSubscriptions(const QByteArray &document) = 0;
    // The subscribed feeds as an OPML 2.0 list, one outline per folder.
    virtual QByteArray exportSubscriptions() = 0;

    virtual QMetaObject::Connection onDatabaseFailed(
        QObject *context, std::function<void(const QString &reason)> callback)
        = 0;
    // The server's answer (or its failure) has been merged and the updater exists.
    virtual QMetaObject::Connection onSynchronised(QObject *context, std::function<void()> callback)
        = 0;
    // outcome: "changed", "unchanged" or "failed"; reason: why it failed, else empty.
    virtual QMetaObject::Connection onFeedUpdated(QObject *context,
        std::function<void(
            int id, const QString &source, const QString &outcome, const QString &reason)>
            callback)
        = 0;
    virtual QMetaObject::Connection onUpdateRunFinished(
        QObject *context, std::function<void()> callback)
        = 0;
    // A feed's news arrived but could not be stored: the database is locked,
    // read-only, full or damaged. The feed is also reported as failed.
    virtual QMetaObject::Connection onStorageFailed(
        QObject *context, std::function<void(int id)> callback)
        = 0;
};

#define NewsPluginInterface_iid "org.pellix.NewsPluginInterface/1.0"
Q_DECLARE_INTERFACE(NewsPluginInterface, NewsPluginInterface_iid)
