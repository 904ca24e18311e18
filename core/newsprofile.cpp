#include "newsprofile.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace NewsProfile {

namespace {
bool failed(const QSqlQuery &query, QString *errorString)
{
    if (errorString)
        *errorString = query.lastError().text();
    return false;
}
} // namespace

bool folders(QSqlDatabase &db, QList<Folder> *folders, QString *errorString)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select id, title from folder order by id")))
        return failed(query, errorString);
    while (query.next())
        folders->append({query.value(0).toInt(), query.value(1).toString()});
    return true;
}

bool feeds(QSqlDatabase &db, QList<Feed> *feeds, QString *errorString)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select farmid, channeltitle, source, toload, inclient, id, "
                                   "folderid from feeds order by id")))
        return failed(query, errorString);
    while (query.next()) {
        Feed feed;
        feed.farmid = query.value(0).toLongLong();
        feed.title = query.value(1).toString();
        feed.source = query.value(2).toString();
        feed.subscribed = query.value(3).toInt() == 1;
        feed.inClient = query.value(4).toInt() == 1;
        feed.id = query.value(5).toInt();
        feed.folderId = query.value(6).toInt();
        feeds->append(feed);
    }
    return true;
}

bool folderFarmIds(QSqlDatabase &db, int folderId, QList<qint64> *farmids, QString *errorString)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select farmid from feeds where folderid = ")
            + QString::number(folderId) + QStringLiteral(" order by id")))
        return failed(query, errorString);
    while (query.next())
        farmids->append(query.value(0).toLongLong());
    return true;
}

QList<Feed> feedsInClient(QSqlDatabase &db)
{
    QList<Feed> feeds;
    QSqlQuery query(db);
    query.exec(QStringLiteral("select id, ifnull(channeltitle, source), folderid from feeds "
                              "where inclient = 1 order by id"));
    while (query.next()) {
        Feed feed;
        feed.id = query.value(0).toInt();
        feed.title = query.value(1).toString();
        feed.folderId = query.value(2).toInt();
        feed.inClient = true;
        feeds.append(feed);
    }
    return feeds;
}

bool showsAnyInClient(QSqlDatabase &db, const QList<qint64> &feedIds)
{
    if (feedIds.isEmpty())
        return false;
    QStringList ids;
    for (qint64 id : feedIds)
        ids.append(QString::number(id));
    QSqlQuery query(db);
    query.exec(QStringLiteral("select count(*) from feeds where inclient = 1 and id in (")
        + ids.join(QLatin1Char(',')) + QLatin1Char(')'));
    return query.next() && query.value(0).toInt() > 0;
}

QList<Headline> headlines(QSqlDatabase &db, int feedId, int limit, bool unreadOnly)
{
    QList<Headline> headlines;
    QSqlQuery query(db);
    query.exec(
        QStringLiteral("select itemid, title, isread, pubdate, link from items where channelid = ")
        + QString::number(feedId) + QStringLiteral(" and toclear = 0")
        + (unreadOnly ? QStringLiteral(" and isread = 0") : QString())
        + QStringLiteral(" order by itemid desc limit ") + QString::number(qMax(0, limit)));
    while (query.next()) {
        headlines.append({query.value(0).toInt(), query.value(1).toString(),
            query.value(2).toInt() == 1, query.value(3).toString(), query.value(4).toString()});
    }
    return headlines;
}

bool catalogueFeed(QSqlDatabase &db, int catalogueId, QString *title, QString *source)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select channeltitle, source from feeds where farmid = :farmid"));
    query.bindValue(QStringLiteral(":farmid"), catalogueId);
    if (!query.exec() || !query.next())
        return false;
    *title = query.value(0).toString();
    *source = query.value(1).toString();
    return true;
}

bool markRead(QSqlDatabase &db, int feedId, int itemId)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("update items set isread = 1 where channelid = ")
               + QString::number(feedId) + QStringLiteral(" and itemid = ")
               + QString::number(itemId))
        && query.numRowsAffected() > 0;
}

} // namespace NewsProfile
