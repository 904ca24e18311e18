#include "serversync.h"

#include "feedsubscriptions.h"

#include "core/protocolreader.h"
#include "core/rssprotocol.h"
#include "core/rsssettings.h"
#include "host/protocol.h"

#include <QSqlQuery>
#include <QStringList>

namespace {

QString idText(qint64 id)
{
    return QString::number(id);
}

// A new account on the server answers with one untitled folder: it has no layout yet.
bool isEmptyServerLayout(ProtocolReader reader)
{
    qint64 folders = 0;
    qint64 id = 0;
    QString title;
    return reader.readInt(&folders) && folders == 1 && reader.readInt(&id)
        && reader.readText(&title) && title.isEmpty();
}

} // namespace

ServerSync::ServerSync(QSqlDatabase *db, FeedSubscriptions *subscriptions, QObject *parent)
    : QObject(parent), m_db(db), m_subscriptions(subscriptions)
{
}

void ServerSync::merge(const Protocol &reply, bool databaseCreated)
{
    // An answer that runs out before its counts are met merges as far as it goes,
    // but never removes anything on its strength.
    const bool complete = isCompleteAnswer(reply.args());
    ProtocolReader reader(reply.args());

    mergeSettings(reader);
    QList<int> named;
    if (!reader.failed() && m_db->isOpen() && mergeFeeds(reader, &named)) {
        if (complete && databaseCreated && isEmptyServerLayout(reader)) {
            // The server has no layout yet: it takes ours.
            emit layoutWanted();
        } else {
            if (complete)
                removeUnnamedFeeds(named);
            showFeedsInClient();
            mergeFolders(reader, complete);
        }
    }
}

bool ServerSync::isCompleteAnswer(const QList<ProtocolArg> &args)
{
    ProtocolReader reader(args);
    qint64 count = 0;
    quint32 field = 0;
    qint64 number = 0;
    QString text;
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i)
            reader.readField(&field, &number);
    }
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i) {
            reader.readInt(&number);
            reader.readInt(&number);
            reader.readText(&text);
            reader.readText(&text);
            reader.readInt(&number);
        }
    }
    if (reader.readInt(&count)) {
        for (qint64 i = 0; i < count && !reader.failed(); ++i) {
            qint64 feeds = 0;
            reader.readInt(&number);
            reader.readText(&text);
            reader.readInt(&feeds);
            for (qint64 j = 0; j < feeds && !reader.failed(); ++j) {
                reader.readInt(&number);
                reader.readInt(&number);
            }
        }
    }
    return !reader.failed();
}

void ServerSync::mergeSettings(ProtocolReader &reader)
{
    qint64 count = 0;
    if (!reader.readInt(&count))
        return;
    bool changed = false;
    for (qint64 i = 0; i < count; ++i) {
        quint32 field = 0;
        qint64 value = 0;
        if (!reader.readField(&field, &value))
            break;
        RssSettings::Key key;
        switch (field) {
        case ProtocolField::UpdateInterval:
            // The updater reads the interval itself; the client needs no notice.
            RssSettings::setValue(RssSettings::UpdateIntervall, int(value));
            continue;
        case ProtocolField::NewItemsOnly:
            key = RssSettings::NewItemsOnly;
            break;
        case ProtocolField::MaxItemsInClient:
            key = RssSettings::MaxItemsInClient;
            break;
        case ProtocolField::MaxItemsInViewer:
            key = RssSettings::MaxItemsInViewer;
            break;
        default:
            continue;
        }
        if (RssSettings::intValue(key) != value) {
            RssSettings::setValue(key, int(value));
            changed = true;
        }
    }
    if (changed)
        emit optionsChanged();
}

bool ServerSync::mergeFeeds(ProtocolReader &reader, QList<int> *named)
{
    qint64 count = 0;
    if (!reader.readInt(&count))
        return false;

    QSqlQuery query(*m_db);
    const auto collectIds = [&](qint64 farmid) {
        query.exec(QStringLiteral("select id from feeds where farmid = ") + idText(farmid));
        while (query.next())
            named->append(query.value(0).toInt());
    };
    const auto insertFeed = [&](const QString &title, const QString &source, int toload,
                                int inclient, qint64 farmid) {
        named->append(m_subscriptions->insertFeed(source, title, toload, inclient, farmid));
    };

    for (qint64 i = 0; i < count; ++i) {
        qint64 kind = 0;
        qint64 id = 0;
        qint64 state = 0;
        QString title;
        QString source;
        if (!reader.readInt(&kind) || !reader.readInt(&id) || !reader.readText(&title)
            || !reader.readText(&source) || !reader.readInt(&state))
            return false;
        const int toload = (state == 1 || state == 3) ? 1 : 0;
        const int inclient = (state == 2 || state == 3) ? 1 : 0;
        // Each of the updates below names all of the feed's values; true when a row matched.
        const auto updateFeed = [&](const QString &statement, qint64 farmid) {
            query.prepare(statement);
            query.bindValue(QStringLiteral(":title"), title);
            query.bindValue(QStringLiteral(":source"), source);
            query.bindValue(QStringLiteral(":toload"), toload);
            query.bindValue(QStringLiteral(":inclient"), inclient);
            query.bindValue(QStringLiteral(":farmid"), farmid);
            query.exec();
            return query.numRowsAffected() > 0;
        };

        if (kind == 1) {
            const qint64 farmid = id;
            const bool known
                = updateFeed(QStringLiteral("update feeds set channeltitle = :title, source = "
                                            ":source, toload = :toload, inclient = :inclient "
                                            "where farmid = :farmid"),
                      farmid)
                // A feed the user added by address becomes the catalogue feed.
                || updateFeed(QStringLiteral("update feeds set channeltitle = :title, source = "
                                             ":source, toload = :toload, inclient = :inclient, "
                                             "farmid = :farmid where source = :source"),
                    farmid);
            if (!known)
                insertFeed(title, source, toload, inclient, farmid);
            collectIds(farmid);
        } else {
            const qint64 farmid = -id;
            if (updateFeed(QStringLiteral("update feeds set channeltitle = :title, toload = "
                                          ":toload, inclient = :inclient, farmid = :farmid "
                                          "where source = :source"),
                    farmid))
                collectIds(farmid);
            else
                insertFeed(title, source, toload, inclient, farmid);
        }
    }
    return true;
}

void ServerSync::removeUnnamedFeeds(const QList<int> &named)
{
    QList<int> removed;
    QSqlQuery query(*m_db);
    if (named.isEmpty()) {
        query.exec(QStringLiteral("select id from feeds"));
        while (query.next())
            removed.append(query.value(0).toInt());
        query.exec(QStringLiteral("delete from feeds"));
        query.exec(QStringLiteral("delete from items"));
    } else {
        QString list = QStringLiteral("(");
        for (int id : named)
            list += idText(id) + QLatin1Char(',');
        list.chop(1);
        list += QLatin1Char(')');
        query.exec(QStringLiteral("select id from feeds where id not in ") + list);
        while (query.next())
            removed.append(query.value(0).toInt());
        query.exec(QStringLiteral("delete from feeds where id not in ") + list);
        query.exec(
            QStringLiteral("delete from items where channelid not in (select id from feeds)"));
    }
    if (!removed.isEmpty())
        emit feedsRemoved(removed);
}

void ServerSync::showFeedsInClient()
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select id, inclient from feeds"));
    while (query.next()) {
        const int id = query.value(0).toInt();
        if (query.value(1).toInt() == 1)
            emit feedShown(id);
        else
            emit feedHidden(id);
    }
}

void ServerSync::mergeFolders(ProtocolReader &reader, bool removeUnnamed)
{
    qint64 count = 0;
    if (!reader.readInt(&count) || count <= 0)
        return;

    QStringList kept;
    QSqlQuery query(*m_db);
    for (qint64 i = 0; i < count; ++i) {
        qint64 folderId = 0;
        QString title;
        if (!reader.readInt(&folderId) || !reader.readText(&title))
            return;
        query.prepare(
            QStringLiteral("update folder set title = :title where id = ") + idText(folderId));
        query.bindValue(QStringLiteral(":title"), title);
        query.exec();
        if (query.numRowsAffected() < 1) {
            query.prepare(QStringLiteral("insert into folder (id, title) values(")
                + idText(folderId) + QStringLiteral(" ,:title") + QStringLiteral(")"));
            query.bindValue(QStringLiteral(":title"), title);
            query.exec();
        }
        kept.append(idText(folderId));

        qint64 feeds = 0;
        if (!reader.readInt(&feeds))
            return;
        for (qint64 j = 0; j < feeds; ++j) {
            qint64 kind = 0;
            qint64 id = 0;
            if (!reader.readInt(&kind) || !reader.readInt(&id))
                return;
            const qint64 farmid = kind == 1 ? id : -id;
            query.exec(QStringLiteral("update feeds set folderid = ") + idText(folderId)
                + QStringLiteral(" where farmid = ") + idText(farmid));
        }
    }
    if (removeUnnamed && !kept.isEmpty())
        query.exec(QStringLiteral("delete from folder where id not in (")
            + kept.join(QLatin1Char(',')) + QLatin1Char(')'));
}
