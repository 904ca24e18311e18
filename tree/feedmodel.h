#pragma once

#include "tree/foldernode.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>
#include <QSet>

#include <memory>
#include <vector>

class QSqlDatabase;

// The three levels of the feed tree: folders, their feeds (and the favourites
// entry in folder 1), and each feed's newest item titles. Rows keep database order.
//
// Every index is in column 0 and carries a 32-bit identifier:
//   folder at row r:                      (r << 16) | 0xFFFF
//   feed at row f of the folder at row r: (r << 16) | f
//   item under that feed:                 0x80000000 | (r << 16) | f
class FeedModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    static constexpr quint32 ItemBit = 0x80000000u;
    static constexpr quint32 FolderMark = 0xFFFFu;

    FeedModel(QSqlDatabase *db, QObject *parent = nullptr);
    ~FeedModel() override;

    QModelIndex index(
        int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
        const QModelIndex &parent) override;
    Qt::DropActions supportedDropActions() const override;
    // Only announces rows to the views; the node lists are already current.
    bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    // Deletes folder nodes (top level) or feed nodes (under a folder); under a feed
    // only announces, because the item list was already reloaded.
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    static bool isFolderIndex(const QModelIndex &index);
    static bool isFeedIndex(const QModelIndex &index);
    static bool isItemIndex(const QModelIndex &index);

    // Id of the feed the index names (an item index gives its feed's id).
    int feedIdAt(const QModelIndex &index) const;
    int folderIdAt(int row) const;
    // Folder title for a folder index, else the feed's title.
    QString titleAt(const QModelIndex &index) const;
    bool toLoadAt(const QModelIndex &index) const;
    // An item's link, or a feed's first page.
    QString linkAt(const QModelIndex &index) const;
    QString pageAt(const QModelIndex &index) const;
    QString sourceAt(const QModelIndex &index) const;
    int countToLoad() const;
    // Folders in row order; within a folder, feeds in reverse row order.
    QList<int> idsToLoad() const;

    // Reads the folder titles again (the default folder's follows the language).
    void reloadFolderTitles();
    // Reloads every feed's item list (not its pages), e.g. after the number of
    // items shown changed.
    void refreshAll();
    // Writes every feed's pages anew (the favourites too), as after a change of
    // language: the page words and titles must match the page script's.
    void rewriteAllPages();
    // Drops a folder (invalid parent) or a feed (folder parent) from the tree only.
    void removeNode(int row, const QModelIndex &parent);
    // Renames a feed (stored and reported to the client) or a folder (stored).
    void setTitle(const QModelIndex &index, const QString &text);
    // The folder row must already exist in the database.
    void addFolder(int id);

    // Whether the feed's last update failed, as the profile records it.
    bool hasFailed(int id) const { return m_failed.contains(id); }
    // Reads the feed's last update outcome again (the updater has just stored it).
    void updateHealth(int id);

    int folderCount() const { return int(m_folders.size()); }
    FolderNode *folderAt(int row) const;
    FeedNode *feedNodeAt(const QModelIndex &index) const;

signals:
    void sendNewPage(int id);
    void sendSaveGroups();

public slots:
    void clearFeed(int id);
    void update(int id);

private:
    FeedNode *feedAt(quint32 identifier) const;
    // Announces the difference between the rows shown under a feed and its item list.
    void announceItemRows(const QModelIndex &feedIndex, FeedNode *node);
    const QIcon &icon(int which) const;
    QModelIndex indexOfFeed(int id) const;

    QSqlDatabase *m_db = nullptr;
    std::vector<std::unique_ptr<FolderNode>> m_folders;
    mutable QIcon m_icons[4];
    QSet<int> m_failed;
};
