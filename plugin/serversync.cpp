#include "serversync.h"

#include "feedsubscriptions.h"

#include "core/feeddatabase.h"
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

    // The default folder always stays: it holds the favourites and every feed
    // whose folder goes.
    QStringList kept{idText(1)};
    QSqlQuery query(*m_db);
    for (qint64 i = 0; i < count; ++i) {
        qint64 folderId = 0;
        QString title;
        if (!reader.readInt(&folderId) || !reader.readText(&title))
            break;
        const qint64 target = adoptFolder(folderId, title);
        kept.append(idText(target));

        qint64 feeds = 0;
        if (!reader.readInt(&feeds))
            break;
        bool ended = false;
        for (qint64 j = 0; j < feeds && !ended; ++j) {
            qint64 kind = 0;
            qint64 id = 0;
            ended = !reader.readInt(&kind) || !reader.readInt(&id);
            if (ended)
                break;
            const qint64 farmid = kind == 1 ? id : -id;
            query.exec(QStringLiteral("update feeds set folderid = ") + idText(target)
                + QStringLiteral(" where farmid = ") + idText(farmid));
        }
        if (ended)
            break;
    }
    if (removeUnnamed)
        query.exec(QStringLiteral("delete from folder where id not in (")
            + kept.join(QLatin1Char(',')) + QLatin1Char(')'));
    FeedDatabase::rehomeOrphans(*m_db);
}

qint64 ServerSync::adoptFolder(qint64 folderId, const QString &serverTitle)
{
    // The default folder's title follows this home's language, whatever language
    // the home that told the server used.
    const QString title = folderId == 1 && FeedDatabase::isDefaultFolderTitle(serverTitle)
        ? FeedDatabase::defaultFolderTitle()
        : serverTitle;
    // Folders are matched by id, then by title: titles are unique, and two homes
    // of one user may number the same folder differently.
    QSqlQuery query(*m_db);
    query.prepare(
        QStringLiteral("select id from folder where title = :title and id <> ") + idText(folderId));
    query.bindValue(QStringLiteral(":title"), title);
    query.exec();
    const qint64 namesake = query.next() ? query.value(0).toLongLong() : 0;
    query.finish();
    query.exec(QStringLiteral("select id from folder where id = ") + idText(folderId));
    const bool idKnown = query.next();
    query.finish();

    if (namesake == 1) {
        // The server's copy of the default folder under another number: it stays folder 1.
        return 1;
    }
    if (namesake != 0) {
        if (idKnown) {
            query.exec(QStringLiteral("update feeds set folderid = ") + idText(folderId)
                + QStringLiteral(" where folderid = ") + idText(namesake));
            query.exec(QStringLiteral("delete from folder where id = ") + idText(namesake));
        } else {
            query.exec(QStringLiteral("update folder set id = ") + idText(folderId)
                + QStringLiteral(" where id = ") + idText(namesake));
            query.exec(QStringLiteral("update feeds set folderid = ") + idText(folderId)
                + QStringLiteral(" where folderid = ") + idText(namesake));
        }
    }
    if (idKnown || namesake != 0) {
        query.prepare(
            QStringLiteral("update folder set title = :title where id = ") + idText(folderId));
    } else {
        query.prepare(QStringLiteral("insert into folder (id, title) values(") + idText(folderId)
            + QStringLiteral(", :title)"));
    }
    query.bindValue(QStringLiteral(":title"), title);
    query.exec();
    return folderId;
}
