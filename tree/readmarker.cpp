#include "readmarker.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

QList<ReadMarker::ItemKey> ReadMarker::keysOf(const QString &condition, const QString &link)
{
    QList<ItemKey> keys;
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("select channelid, itemid from items where toclear = 0 and ")
        + condition + QStringLiteral(" order by channelid, itemid"));
    if (!link.isNull())
        query.bindValue(QStringLiteral(":link"), link);
    query.exec();
    while (query.next())
        keys.append({query.value(0).toInt(), query.value(1).toInt()});
    return keys;
}

bool ReadMarker::set(const QString &column, int value, const QList<ItemKey> &keys)
{
    if (keys.isEmpty())
        return true;
    // One transaction: marking thousands of items must not sync the file each time.
    const bool transaction = m_db->transaction();
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("update items set ") + column + QStringLiteral(" = ")
        + QString::number(value)
        + QStringLiteral(" where channelid = :channel and itemid = :item"));
    bool ok = true;
    for (const ItemKey &key : keys) {
        query.bindValue(QStringLiteral(":channel"), key.first);
        query.bindValue(QStringLiteral(":item"), key.second);
        ok = query.exec() && ok;
    }
    if (transaction && !m_db->commit()) {
        m_db->rollback();
        return false;
    }
    return ok;
}

QList<ReadMarker::ItemKey> ReadMarker::markRead(const QString &condition)
{
    const QList<ItemKey> keys = keysOf(QStringLiteral("isread = 0 and ") + condition);
    // A refused write reports nothing as read.
    return set(QStringLiteral("isread"), 1, keys) ? keys : QList<ItemKey>();
}

QList<ReadMarker::ItemKey> ReadMarker::markFeedRead(int feedId)
{
    if (feedId == 0)
        return markRead(QStringLiteral("mark = 1"));
    return markRead(QStringLiteral("channelid = ") + QString::number(feedId));
}

QList<ReadMarker::ItemKey> ReadMarker::markFolderRead(int folderId)
{
    return markRead(QStringLiteral("channelid in (select id from feeds where folderid = ")
        + QString::number(folderId) + QLatin1Char(')'));
}

QList<ReadMarker::ItemKey> ReadMarker::markAllRead()
{
    // Only the feeds the tree shows: those in a folder that exists.
    return markRead(QStringLiteral(
        "channelid in (select feeds.id from feeds join folder on feeds.folderid = folder.id)"));
}

QList<ReadMarker::ItemKey> ReadMarker::toggleRead(int feedId, const QString &link, bool *nowRead)
{
    const QString feed = QStringLiteral("channelid = ") + QString::number(feedId)
        + QStringLiteral(" and link = :link");
    const bool anyUnread = !keysOf(feed + QStringLiteral(" and isread = 0"), link).isEmpty();
    const QList<ItemKey> keys = keysOf(feed, link);
    *nowRead = anyUnread;
    return set(QStringLiteral("isread"), anyUnread ? 1 : 0, keys) ? keys : QList<ItemKey>();
}

QList<ReadMarker::ItemKey> ReadMarker::toggleFlag(int feedId, const QString &link, bool *nowFlagged)
{
    const QString feed = QStringLiteral("channelid = ") + QString::number(feedId)
        + QStringLiteral(" and link = :link");
    const bool anyFlagged = !keysOf(feed + QStringLiteral(" and mark = 1"), link).isEmpty();
    const QList<ItemKey> keys = keysOf(feed, link);
    *nowFlagged = !anyFlagged;
    return set(QStringLiteral("mark"), anyFlagged ? 0 : 1, keys) ? keys : QList<ItemKey>();
}

QList<int> ReadMarker::feedsOf(const QList<ItemKey> &keys)
{
    QList<int> feeds;
    for (const ItemKey &key : keys) {
        if (feeds.isEmpty() || feeds.constLast() != key.first) {
            if (!feeds.contains(key.first))
                feeds.append(key.first);
        }
    }
    return feeds;
}
