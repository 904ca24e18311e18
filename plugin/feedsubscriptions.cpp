#include "feedsubscriptions.h"

#include "core/feedhealth.h"
#include "core/feedinsert.h"
#include "core/rssprotocol.h"
#include "host/psimplemessage.h"

#include <QSqlQuery>

namespace {
QString idText(qint64 id)
{
    return QString::number(id);
}
} // namespace

void FeedSubscriptions::addFeedReference(
    PSimpleMessage &message, bool own, qint64 farmid, const QString *source)
{
    if (own) {
        message.AddFieldAsUint16(ProtocolField::FeedKind, 2);
        message.AddFieldAsUint32(ProtocolField::OwnFeedId, quint32(-farmid));
        if (source)
            message.AddFieldAsString(ProtocolField::FeedSource, *source, 1);
    } else {
        message.AddFieldAsUint16(ProtocolField::FeedKind, 1);
        message.AddFieldAsUint32(ProtocolField::FarmId, quint32(farmid));
    }
}

int FeedSubscriptions::nextFeedId() const
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select max(id) from feeds"));
    if (query.next() && !query.value(0).isNull())
        return query.value(0).toInt() + 1;
    return 1;
}

int FeedSubscriptions::nextOwnFarmId() const
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select min(farmid) from feeds"));
    if (query.next() && !query.value(0).isNull())
        return qMin(query.value(0).toInt() - 1, -1);
    return -1;
}

int FeedSubscriptions::insertFeed(
    const QString &source, const QVariant &title, int toload, int inclient, qint64 farmid)
{
    const int id = nextFeedId();
    FeedInsert::Row row;
    row.id = id;
    row.source = source;
    row.title = title;
    row.toload = toload;
    row.inclient = inclient;
    row.farmid = farmid;
    FeedInsert(*m_db).run(row);
    return id;
}

FeedSubscriptions::Known FeedSubscriptions::feedOf(const QString &source) const
{
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("select id, toload from feeds where source = :source"));
    query.bindValue(QStringLiteral(":source"), source);
    query.exec();
    Known known;
    if (query.next()) {
        known.id = query.value(0).toInt();
        known.toload = query.value(1).toInt();
    }
    return known;
}

QString FeedSubscriptions::sourceOf(int id) const
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select source from feeds where id = ") + idText(id));
    return query.next() ? query.value(0).toString() : QString();
}

void FeedSubscriptions::resubscribe(int id)
{
    QSqlQuery(*m_db).exec(QStringLiteral("update feeds set toload = 1 where id=") + idText(id));
}

void FeedSubscriptions::unsubscribe(const QString &source)
{
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("update feeds set toload = 0 where source = :source"));
    query.bindValue(QStringLiteral(":source"), source);
    query.exec();
}

void FeedSubscriptions::remove(int id)
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select farmid, source from feeds where id = ") + idText(id));
    qint64 farmid = 0;
    QString source;
    if (query.next()) {
        farmid = query.value(0).toLongLong();
        source = query.value(1).toString();
    }
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedUnsubscribed, false);
    addFeedReference(message, farmid < 0, farmid, &source);
    message.Send();

    query.exec(QStringLiteral("delete from items where channelid=") + idText(id));
    query.exec(QStringLiteral("delete from feeds where id=") + idText(id));
    FeedHealth(m_db).forget(id);
}

void FeedSubscriptions::sendSubscribed(
    int type, int id, const QString &title, const QString &source)
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedSubscribed, false);
    message.AddFieldAsUint16(ProtocolField::FeedKind, quint16(type));
    if (type == 1) {
        message.AddFieldAsUint32(ProtocolField::FarmId, quint32(id));
    } else {
        message.AddFieldAsUint32(ProtocolField::OwnFeedId, quint32(id));
        message.AddFieldAsString(ProtocolField::FeedTitle, title, 1);
        message.AddFieldAsString(ProtocolField::FeedSource, source, 1);
    }
    message.AddFieldAsUint32(ProtocolField::FeedState, 3);
    message.Send();
}

void FeedSubscriptions::sendChanged(int id)
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select farmid, channeltitle, source, inclient, toload from feeds "
                              "where id = ")
        + idText(id));
    // A feed removed meanwhile has nothing left to report.
    if (!query.next())
        return;
    const qint64 farmid = query.value(0).toLongLong();
    const QString source = query.value(2).toString();
    const int inclient = query.value(3).toInt();
    const int toload = query.value(4).toInt();

    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedChanged, false);
    message.AddFieldAsString(ProtocolField::FeedTitle, query.value(1).toString(), 1);
    addFeedReference(message, farmid <= 0, farmid, &source);
    quint32 state = 3;
    if (inclient == 0 && toload == 0)
        state = 0;
    else if (inclient == 0 && toload == 1)
        state = 1;
    else if (inclient == 1 && toload == 0)
        state = 2;
    message.AddFieldAsUint32(ProtocolField::FeedState, state);
    message.Send();
}

void FeedSubscriptions::sendFolders()
{
    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FoldersChanged, false);

    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select count(id) from folder"));
    message.AddFieldAsUint16(
        ProtocolField::FolderCount, query.next() ? quint16(query.value(0).toInt()) : 0);

    QSqlQuery folders(*m_db);
    folders.exec(QStringLiteral("select id, title from folder"));
    while (folders.next()) {
        const QString folderId = idText(folders.value(0).toLongLong());
        message.AddFieldAsUint16(ProtocolField::FolderId, quint16(folders.value(0).toInt()));
        message.AddFieldAsString(ProtocolField::FolderTitle, folders.value(1).toString(), 1);

        query.exec(QStringLiteral("select count(id) from feeds where folderid = ") + folderId);
        message.AddFieldAsUint16(
            ProtocolField::FolderFeedCount, query.next() ? quint16(query.value(0).toInt()) : 0);

        query.exec(QStringLiteral("select farmid from feeds where folderid = ") + folderId);
        while (query.next()) {
            const qint64 farmid = query.value(0).toLongLong();
            addFeedReference(message, farmid <= 0, farmid);
        }
    }
    message.Send();
}
