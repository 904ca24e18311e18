#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QSqlDatabase;

// Changes the read and flag state of many items at once: a whole feed, a folder,
// everything, or every stored copy of one item. Each call returns the keys it
// changed, so that the caller can tell the client about each item as a single
// click on a page does.
class ReadMarker
{
public:
    using ItemKey = QPair<int, int>; // channel id, item id

    explicit ReadMarker(QSqlDatabase *db) : m_db(db) { }

    // Feed 0 is the favourites entry: its flagged items, whatever their feed.
    QList<ItemKey> markFeedRead(int feedId);
    QList<ItemKey> markFolderRead(int folderId);
    QList<ItemKey> markAllRead();

    // The items of a feed with that link (a feed may list one story twice): read
    // when any of them was unread, else unread again. *nowRead tells which.
    QList<ItemKey> toggleRead(int feedId, const QString &link, bool *nowRead);
    // Flags them when none was flagged, else removes the flags.
    QList<ItemKey> toggleFlag(int feedId, const QString &link, bool *nowFlagged);

    // The feeds whose items the keys name, each once, in order.
    static QList<int> feedsOf(const QList<ItemKey> &keys);

private:
    QList<ItemKey> markRead(const QString &condition);
    QList<ItemKey> keysOf(const QString &condition, const QString &link = QString());
    bool set(const QString &column, int value, const QList<ItemKey> &keys);

    QSqlDatabase *m_db;
};
