#include "foldernode.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringBuilder>
#include <QVariant>

FolderNode::FolderNode(QSqlDatabase *db, int id) : m_id(id), m_db(db)
{
    const QString number = QString::number(id);
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    query.exec(QLatin1String("select title from folder where id=") % number);
    while (query.next())
        m_title = query.value(0).toString();

    // The default folder holds the favourites first.
    if (id == 1)
        m_feeds.push_back(std::make_unique<FeedNode>(m_db, 0));

    // Collected first: building a node runs statements of its own on the connection.
    QList<int> ids;
    query.exec(QLatin1String("select id from feeds where folderid=") % number);
    while (query.next())
        ids.append(query.value(0).toInt());
    query.finish();
    for (int feedId : std::as_const(ids))
        m_feeds.push_back(std::make_unique<FeedNode>(m_db, feedId));
}

FolderNode::~FolderNode() = default;

int FolderNode::unreadCount() const
{
    int unread = 0;
    for (const auto &feed : m_feeds) {
        if (!feed->isFavorites())
            unread += feed->unreadCount();
    }
    return unread;
}

FeedNode *FolderNode::feed(int row) const
{
    if (row < 0 || row >= feedCount())
        return nullptr;
    return m_feeds[size_t(row)].get();
}

int FolderNode::rowOfFeed(int id) const
{
    for (int row = 0; row < feedCount(); ++row) {
        if (m_feeds[size_t(row)]->id() == id)
            return row;
    }
    return -1;
}

void FolderNode::appendFeed(std::unique_ptr<FeedNode> feed)
{
    m_feeds.push_back(std::move(feed));
}

void FolderNode::removeFeeds(int row, int count)
{
    if (row < 0 || count <= 0 || row >= feedCount())
        return;
    const int end = std::min(row + count, feedCount());
    m_feeds.erase(m_feeds.begin() + row, m_feeds.begin() + end);
}
