#pragma once

#include <QTreeView>

class FeedSearchModel;
class QSqlDatabase;
class QTimer;
class SearchIndex;

// The search results: folders, their feeds (and the favourites entry) and under each
// the stored items whose title or description matches the search text. Every folder
// and feed is shown expanded; found rows are read as they come into view.
class PFeedSearchTree : public QTreeView
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

    SearchIndex *searchIndex() const;

    // Empties the tree.
    void clear();

    // Lays the tree out without fetching rows for feeds out of view.
    void doItemsLayout() override;

signals:
    void sendLink(const QString &link);
    void sendOverview(const QString &page);

public slots:
    // "*" stands for any run of characters, "?" for one character.
    void setFilter(const QString &text);
    void rowClicked(const QModelIndex &index);
    void getActivated(const QModelIndex &index);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Fetches rows for every feed whose end is in view, until the view is full.
    void fetchShownRows();

    QSqlDatabase *m_db;
    FeedSearchModel *m_model;
    QTimer *m_fetchTimer;
    int m_folderScope = -1;
    int m_feedScope = -1;
};
