#pragma once

#include <QAbstractItemModel>
#include <QIcon>

#include <memory>
#include <optional>
#include <vector>

class QSqlDatabase;
class SearchIndex;

// The search results as a model: folders, their feeds (and the favourites entry in
// folder 1) and under each the stored items whose title or description matches.
//
// A search decides which items can match with one statement for all feeds (the
// search index narrows it where it can); the found rows themselves are read in
// batches as a view asks for them (canFetchMore/fetchMore), so a search that
// matches tens of thousands of items costs no more than the rows on show.
class FeedSearchModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    // Role of the page (folder and feed rows) or the link (found items) a click opens.
    static constexpr int LinkRole = Qt::UserRole + 1;
    // Found rows one fetchMore() adds at most.
    static constexpr int BatchSize = 32;

    explicit FeedSearchModel(QSqlDatabase *db, QObject *parent = nullptr);
    ~FeedSearchModel() override;

    SearchIndex *searchIndex() const { return m_index; }

    // "*" stands for any run of characters, "?" for one character. A folder scope of
    // -1 searches all folders, a feed scope of -1 all feeds (0 is the favourites).
    void search(const QString &text, int folderScope, int feedScope);
    void clear();

    // While paused, canFetchMore() is false everywhere. A QTreeView fetches for every
    // expanded parent on every layout, wherever it is; a view that fetches only for
    // the rows it shows pauses the model around its layouts.
    void setFetchPaused(bool paused) { m_fetchPaused = paused; }

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    bool hasChildren(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

private:
    struct Folder;
    struct Entry;
    struct Found;
    struct Key;

    Entry *entryOf(const QModelIndex &index) const;
    // Fills every entry's candidates: the items that may match, in the order rows are
    // listed (by feed, newest first).
    void findCandidates(const QString &pattern, int feedScope);
    QString pageOf(const Entry &entry) const;

    QSqlDatabase *m_db;
    SearchIndex *m_index;
    QString m_pattern;
    QIcon m_folderIcon;
    bool m_fetchPaused = false;
    std::vector<std::unique_ptr<Folder>> m_folders;
};
