#pragma once

#include "tree/feednodeitem.h"

#include <QList>
#include <QString>

class QSqlDatabase;

// A feed in the tree (or, with id 0, the favourites entry: every flagged item).
// Building it loads its newest item titles and writes its page set; the display
// fields are those the last rendering found.
class FeedNode
{
public:
    FeedNode(QSqlDatabase *db, int id);
    ~FeedNode();

    FeedNode(const FeedNode &) = delete;
    FeedNode &operator=(const FeedNode &) = delete;

    const QString &title() const { return m_title; }
    const QString &link() const { return m_link; }
    // Full native path of page 1, or "about:blank" without visible items.
    const QString &page() const { return m_page; }
    const QString &source() const { return m_source; }
    int id() const { return m_id; }
    int itemCount() const { return m_itemCount; }
    int unreadCount() const { return m_unreadCount; }
    bool toLoad() const { return m_toLoad; }
    QSqlDatabase *db() const { return m_db; }
    bool isFavorites() const { return m_id == 0; }

    // Newest first, at most "MaxItemsInViewer" entries with distinct links.
    const QList<FeedNodeItem> &items() const { return m_items; }

    // Rebuilds the item list from the database.
    void loadItems();
    // Deletes and rewrites the node's page files and sets the display fields.
    void renderPages();
    // loadItems() and renderPages(): what a rebuild of the node does.
    void refresh();

    // Stores a user's new title and reports the changed feed to the client.
    void renameFeedNode(const QString &text);

    // Item rows the model has announced to its views; they follow items() only
    // once the model has told the views about the difference.
    int shownRows() const { return m_shownRows; }
    void setShownRows(int rows) { m_shownRows = rows; }

private:
    QString m_title;
    QString m_link;
    QString m_page;
    QString m_source;
    int m_id = 0;
    int m_itemCount = 0;
    int m_unreadCount = 0;
    bool m_toLoad = false;
    QSqlDatabase *m_db = nullptr;
    QList<FeedNodeItem> m_items;
    int m_shownRows = 0;
};
