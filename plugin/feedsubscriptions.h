#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class PSimpleMessage;

// The plug-in's statements on the feeds table for subscribing and unsubscribing,
// and the messages that tell the server about a feed or the folder layout.
class FeedSubscriptions
{
public:
    explicit FeedSubscriptions(QSqlDatabase *db) : m_db(db) { }

    QSqlDatabase *database() const { return m_db; }

    // The id a new feed gets: one above the highest there is.
    int nextFeedId() const;
    // The farmid of a new own feed: own feeds count down from -1, below every farmid.
    int nextOwnFarmId() const;
    // Adds a feed to folder 1 and returns its id. A null title leaves the address
    // shown until the first fetch brings a title.
    int insertFeed(
        const QString &source, const QVariant &title, int toload, int inclient, qint64 farmid);

    // The feed with this address: its id and whether it is subscribed; id -1 when
    // there is none.
    struct Known
    {
        int id = -1;
        int toload = 0;
    };
    Known feedOf(const QString &source) const;
    QString sourceOf(int id) const;
    void resubscribe(int id);
    // Unsubscribed, the items stay readable.
    void unsubscribe(const QString &source);
    // Tells the server the feed is gone and deletes it with its items.
    void remove(int id);

    void sendSubscribed(int type, int id, const QString &title, const QString &source);
    // The feed's title, reference and state; nothing for a feed that no longer exists.
    void sendChanged(int id);
    // The whole folder layout with the feeds of each folder.
    void sendFolders();

    // Names a feed the way the server knows it: a catalogue feed by its farm id, one
    // of the user's own by its own id, which is kept locally as the negated farm id.
    // Where the message wants it, an own feed also carries its address.
    static void addFeedReference(
        PSimpleMessage &message, bool own, qint64 farmid, const QString *source = nullptr);

private:
    QSqlDatabase *m_db;
};
