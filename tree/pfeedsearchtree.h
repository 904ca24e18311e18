#pragma once

#include <QModelIndex>
#include <QTreeWidget>

class QSqlDatabase;
class QSqlQuery;
class SearchIndex;

// The search results: folders, their feeds (and the favourites entry) and under each
// the stored items whose title or description matches the search text.
class PFeedSearchTree : public QTreeWidget
{
    Q_OBJECT
public:
    PFeedSearchTree(QSqlDatabase *db, QWidget *parent = nullptr);

    // Where the next searches look: everywhere, in one folder, or in one feed (0 is
    // the favourites entry).
    void clearScope();
    void setFolderScope(int folderId);
    void setFeedScope(int feedId);

    int folderScope() const { return m_folderScope; }
    int feedScope() const { return m_feedScope; }

    // The first page of a feed's page set (0: the favourites).
    static QString firstPage(int feedId);

    SearchIndex *searchIndex() const { return m_index; }

signals:
    void sendLink(const QString &link);
    void sendOverview(const QString &page);

public slots:
    // "*" stands for any run of characters, "?" for one character.
    void setFilter(const QString &text);
    void clicked(QTreeWidgetItem *item, int column);
    void getActivated(const QModelIndex &index);

private:
    void addFoundItems(QTreeWidgetItem *parent, QSqlQuery &query);

    QSqlDatabase *m_db;
    SearchIndex *m_index;
    int m_folderScope = -1;
    int m_feedScope = -1;
};
