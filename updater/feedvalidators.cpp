#include "feedvalidators.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

bool FeedValidators::createTable(QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("create table if not exists feedvalidators (channelid "
                                     "integer primary key, etag text, lastmodified text)"));
}

FeedValidators FeedValidators::load(QSqlDatabase &db, int feed)
{
    FeedValidators values;
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "select etag, lastmodified from feedvalidators where channelid = :channelid"));
    query.bindValue(QStringLiteral(":channelid"), feed);
    if (query.exec() && query.next()) {
        values.etag = query.value(0).toString();
        values.lastModified = query.value(1).toString();
    }
    return values;
}

void FeedValidators::prepareStore(
    QSqlQuery &query, const QString &feed, const FeedValidators &values)
{
    query.prepare(QStringLiteral("insert or replace into feedvalidators (channelid, etag, "
                                 "lastmodified) values (:channelid, :etag, :lastmodified)"));
    query.bindValue(QStringLiteral(":channelid"), feed.toInt());
    query.bindValue(QStringLiteral(":etag"), values.etag);
    query.bindValue(QStringLiteral(":lastmodified"), values.lastModified);
}

void FeedValidators::remove(QSqlDatabase &db, int feed)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("delete from feedvalidators where channelid = :channelid"));
    query.bindValue(QStringLiteral(":channelid"), feed);
    query.exec();
}
