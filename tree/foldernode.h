#pragma once

#include "tree/feednode.h"

#include <QString>

#include <memory>
#include <vector>

class QSqlDatabase;

// A folder of the tree with its feeds in database order. Folder 1, the default
// folder, always holds the favourites entry as its first row.
class FolderNode
{
public:
    FolderNode(QSqlDatabase *db, int id);
    ~FolderNode();

    FolderNode(const FolderNode &) = delete;
    FolderNode &operator=(const FolderNode &) = delete;

    int id() const { return m_id; }
    const QString &title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QSqlDatabase *db() const { return m_db; }

    int feedCount() const { return int(m_feeds.size()); }
    // Unread items of the folder's feeds; the favourites entry only repeats them.
    int unreadCount() const;
    // nullptr for a row out of range.
    FeedNode *feed(int row) const;
    // Row of the feed with that id, or -1.
    int rowOfFeed(int id) const;

    void appendFeed(std::unique_ptr<FeedNode> feed);
    void removeFeeds(int row, int count);

private:
    int m_id = 0;
    QString m_title;
    std::vector<std::unique_ptr<FeedNode>> m_feeds;
    QSqlDatabase *m_db = nullptr;
};
