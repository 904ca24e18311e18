#include "subscriptionlist.h"
#include "feedinsert.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

QList<OpmlFolder> SubscriptionList::folders() const
{
    QList<OpmlFolder> result;
    // The statements the tree is built from, so that the order is the tree's.
    QList<int> ids;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select id from folder"));
    while (query.next())
        ids.append(query.value(0).toInt());
    for (int id : std::as_const(ids)) {
        OpmlFolder folder;
        query.exec(QStringLiteral("select title from folder where id=") + QString::number(id));
        if (query.next())
            folder.title = query.value(0).toString();
        query.exec(QStringLiteral("select channeltitle, source, link from feeds where folderid=")
            + QString::number(id) + QStringLiteral(" and toload = 1"));
        while (query.next()) {
            OpmlFeed feed;
            feed.xmlUrl = query.value(1).toString();
            feed.title = query.value(0).toString();
            // A feed never fetched has no title yet; the pages show its address then.
            if (feed.title.isEmpty())
                feed.title = feed.xmlUrl;
            feed.htmlUrl = query.value(2).toString();
            feed.folder = folder.title;
            folder.feeds.append(feed);
        }
        if (!folder.feeds.isEmpty())
            result.append(folder);
    }
    return result;
}

int SubscriptionList::folderFor(const QString &title, QHash<QString, int> *known, Outcome *outcome)
{
    if (title.isEmpty())
        return 1;
    const auto found = known->constFind(title);
    if (found != known->constEnd())
        return *found;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select max(id) from folder"));
    const int id = query.next() ? query.value(0).toInt() + 1 : 1;
    query.prepare(QStringLiteral("insert into folder (id, title) values (:id, :title)"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":title"), title);
    if (!query.exec())
        return 1; // the default folder always exists
    known->insert(title, id);
    outcome->newFolders.append(id);
    return id;
}

SubscriptionList::Outcome SubscriptionList::add(const QList<OpmlFeed> &feeds)
{
    Outcome outcome;
    QSqlQuery query(*m_db);

    // What is there already, read once: a list may name thousands of feeds.
    QHash<QString, int> folders;
    query.exec(QStringLiteral("select id, title from folder"));
    while (query.next())
        folders.insert(query.value(1).toString(), query.value(0).toInt());
    QHash<QString, QPair<int, bool>> sources; // id, subscribed
    query.exec(QStringLiteral("select id, source, toload from feeds"));
    while (query.next())
        sources.insert(
            query.value(1).toString(), {query.value(0).toInt(), query.value(2).toInt() == 1});
    int nextId = 1;
    query.exec(QStringLiteral("select max(id) from feeds"));
    if (query.next() && !query.value(0).isNull())
        nextId = query.value(0).toInt() + 1;
    // Own feeds count down from -1, below every farmid there is.
    int farmid = -1;
    query.exec(QStringLiteral("select min(farmid) from feeds"));
    if (query.next() && !query.value(0).isNull())
        farmid = qMin(query.value(0).toInt() - 1, -1);

    const bool transaction = m_db->transaction();
    FeedInsert insert(*m_db);
    for (const OpmlFeed &feed : feeds) {
        const auto known = sources.find(feed.xmlUrl);
        if (known != sources.end()) {
            if (known->second) {
                ++outcome.skipped;
                continue;
            }
            // Unsubscribed with its items kept: subscribed again where it is.
            query.exec(QStringLiteral("update feeds set toload = 1 where id = ")
                + QString::number(known->first));
            known->second = true;
            outcome.resubscribed.append(known->first);
            continue;
        }
        FeedInsert::Row row;
        row.id = nextId;
        row.source = feed.xmlUrl;
        row.title = feed.title.isEmpty() ? QVariant() : QVariant(feed.title);
        row.link = feed.htmlUrl.isEmpty() ? QVariant() : QVariant(feed.htmlUrl);
        row.folderId = folderFor(feed.folder, &folders, &outcome);
        row.farmid = farmid;
        if (!insert.run(row))
            continue;
        sources.insert(feed.xmlUrl, {nextId, true});
        outcome.added.append(nextId);
        ++nextId;
        --farmid;
    }
    if (transaction && !m_db->commit()) {
        m_db->rollback();
        return Outcome{{}, {}, {}, 0, false};
    }
    return outcome;
}
