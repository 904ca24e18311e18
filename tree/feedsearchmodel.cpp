#include "feedsearchmodel.h"

#include "pages/channelpages.h"
#include "pages/decodeentities.h"
#include "tree/searchindex.h"

#include <QHash>
#include <QSize>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// Candidates of one feed read by one statement at most; candidates one fetchMore()
// reads at most, so that a search with few real matches among many candidates never
// holds the view up for long.
constexpr int ChunkSize = 256;
constexpr int MaxCheckedPerFetch = 4096;

// Everything from a "<" to the next ">" goes; an unclosed "<" keeps the rest.
QString stripTags(const QString &text)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf(QLatin1Char('<'), pos);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1Char('>'), open + 1);
        if (close < 0)
            break;
        out += QStringView(text).mid(pos, open - pos);
        pos = close + 1;
    }
    out += QStringView(text).mid(pos);
    return out;
}

QString likePattern(const QString &text)
{
    QString pattern = text;
    pattern.replace(QLatin1Char('*'), QLatin1Char('%'));
    pattern.replace(QLatin1Char('?'), QLatin1Char('_'));
    return QLatin1Char('%') + pattern + QLatin1Char('%');
}

// Folders and entries hold rows; an index's internal pointer names the one that holds
// it (none for a folder).
struct Node
{
    bool isEntry;
    int row;
};

} // namespace

struct FeedSearchModel::Key
{
    int feed;
    int item;
};

struct FeedSearchModel::Found
{
    // As stored: decoding waits until a row is painted. hasNull: the stored title or
    // description is null, and the row is a short one.
    QString title;
    QString description;
    QString date;
    QString link;
    bool hasNull;
};

struct FeedSearchModel::Folder : Node
{
    int id;
    QString title;
    std::vector<std::unique_ptr<Entry>> entries;
};

struct FeedSearchModel::Entry : Node
{
    Folder *folder;
    int feedId; // 0: the favourites
    QString title;
    // Items that may match, in the order rows are listed; those before `checked`
    // have been read, and the ones that matched are `found`.
    std::vector<Key> candidates;
    // The candidates are all items of their feed, not a selection.
    bool allItems = false;
    size_t checked = 0;
    std::vector<Found> found;
};

FeedSearchModel::FeedSearchModel(QSqlDatabase *db, QObject *parent)
    : QAbstractItemModel(parent),
      m_db(db),
      m_index(new SearchIndex(db, this)),
      m_folderIcon(QStringLiteral(":/folder-16"))
{
}

FeedSearchModel::~FeedSearchModel() = default;

void FeedSearchModel::clear()
{
    beginResetModel();
    m_folders.clear();
    m_pattern.clear();
    endResetModel();
}

void FeedSearchModel::search(const QString &text, int folderScope, int feedScope)
{
    // A new search drops the old one with whatever it had not fetched yet.
    beginResetModel();
    m_folders.clear();
    m_pattern = likePattern(text);

    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (folderScope == -1)
        query.exec(QStringLiteral("select id, title from folder"));
    else
        query.exec(QStringLiteral("select id, title from folder where id = ")
            + QString::number(folderScope));
    QHash<int, Folder *> folderById;
    while (query.next()) {
        auto folder = std::make_unique<Folder>();
        folder->isEntry = false;
        folder->row = int(m_folders.size());
        folder->id = query.value(0).toInt();
        folder->title = query.value(1).toString();
        folderById.insert(folder->id, folder.get());
        m_folders.push_back(std::move(folder));
    }

    const auto addEntry = [](Folder *folder, int feedId, const QString &title) {
        auto entry = std::make_unique<Entry>();
        entry->isEntry = true;
        entry->row = int(folder->entries.size());
        entry->folder = folder;
        entry->feedId = feedId;
        entry->title = title;
        folder->entries.push_back(std::move(entry));
    };
    // The favourites come first in the default folder.
    if (feedScope == -1 || feedScope == 0) {
        if (Folder *folder = folderById.value(1))
            addEntry(folder, 0, QString());
    }
    if (feedScope == -1) {
        query.exec(QStringLiteral("select id, channeltitle, folderid from feeds where channeltitle "
                                  "is not null order by id"));
        while (query.next()) {
            if (Folder *folder = folderById.value(query.value(2).toInt()))
                addEntry(folder, query.value(0).toInt(), decodeEntities(query.value(1).toString()));
        }
    } else if (feedScope > 0) {
        // Chosen by id, a feed is listed even without a title.
        query.exec(QStringLiteral("select id, channeltitle from feeds where id = ")
            + QString::number(feedScope));
        while (query.next()) {
            for (const auto &folder : m_folders)
                addEntry(folder.get(), feedScope, decodeEntities(query.value(1).toString()));
        }
    }

    findCandidates(m_pattern, feedScope);
    endResetModel();
}

void FeedSearchModel::findCandidates(const QString &pattern, int feedScope)
{
    QHash<int, std::vector<Entry *>> feeds;
    std::vector<Entry *> favourites;
    for (const auto &folder : m_folders) {
        for (const auto &entry : folder->entries) {
            if (entry->feedId == 0)
                favourites.push_back(entry.get());
            else
                feeds[entry->feedId].push_back(entry.get());
        }
    }

    // The index names, for all feeds at once, the items that can match. Within one feed
    // reading its items is cheaper than asking the index about all of them.
    QHash<int, QList<int>> narrowed;
    const bool isNarrowed = feedScope == -1 && m_index->candidates(pattern, &narrowed);
    const auto mayMatch = [&](int feed, int item) {
        if (!isNarrowed)
            return true;
        const auto ids = narrowed.constFind(feed);
        return ids != narrowed.constEnd() && std::binary_search(ids->cbegin(), ids->cend(), item);
    };

    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (!favourites.empty()) {
        query.exec(QStringLiteral("select channelid, itemid from items where mark = 1 and "
                                  "toclear = 0 order by channelid, itemid desc"));
        std::vector<Key> keys;
        while (query.next()) {
            const Key key{query.value(0).toInt(), query.value(1).toInt()};
            if (mayMatch(key.feed, key.item))
                keys.push_back(key);
        }
        for (Entry *entry : favourites)
            entry->candidates = keys;
    }
    if (feeds.isEmpty())
        return;

    if (isNarrowed) {
        for (auto it = narrowed.cbegin(); it != narrowed.cend(); ++it) {
            const auto entries = feeds.constFind(it.key());
            if (entries == feeds.constEnd())
                continue;
            // Newest first: the index lists them by ascending id.
            std::vector<Key> keys;
            keys.reserve(it->size());
            for (auto item = it->crbegin(); item != it->crend(); ++item)
                keys.push_back({it.key(), *item});
            for (Entry *entry : *entries)
                entry->candidates = keys;
        }
        return;
    }

    // Without the index every item not cleared is a candidate: the keys alone come
    // from an index of the items table, no item is read here.
    if (feedScope > 0)
        query.exec(QStringLiteral("select channelid, itemid from items where channelid = ")
            + QString::number(feedScope)
            + QStringLiteral(" and toclear = 0 order by channelid, itemid desc"));
    else
        query.exec(QStringLiteral("select channelid, itemid from items where toclear = 0 order "
                                  "by channelid, itemid desc"));
    const std::vector<Entry *> *entries = nullptr;
    int entriesFeed = 0;
    while (query.next()) {
        const Key key{query.value(0).toInt(), query.value(1).toInt()};
        if (!entries || key.feed != entriesFeed) {
            const auto found = feeds.constFind(key.feed);
            entries = found == feeds.constEnd() ? nullptr : &*found;
            entriesFeed = key.feed;
            if (!entries)
                continue;
        }
        for (Entry *entry : *entries) {
            entry->candidates.push_back(key);
            entry->allItems = true;
        }
    }
}

FeedSearchModel::Entry *FeedSearchModel::entryOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    auto *node = static_cast<Node *>(index.internalPointer());
    if (!node || node->isEntry)
        return nullptr;
    return static_cast<Folder *>(node)->entries.at(size_t(index.row())).get();
}

QModelIndex FeedSearchModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column != 0)
        return {};
    if (!parent.isValid())
        return size_t(row) < m_folders.size() ? createIndex(row, 0) : QModelIndex();
    auto *node = static_cast<Node *>(parent.internalPointer());
    if (!node) {
        Folder *folder = m_folders.at(size_t(parent.row())).get();
        return size_t(row) < folder->entries.size()
            ? createIndex(row, 0, static_cast<Node *>(folder))
            : QModelIndex();
    }
    Entry *entry = entryOf(parent);
    if (!entry || size_t(row) >= entry->found.size())
        return {};
    return createIndex(row, 0, static_cast<Node *>(entry));
}

QModelIndex FeedSearchModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return {};
    auto *node = static_cast<Node *>(child.internalPointer());
    if (!node)
        return {};
    if (!node->isEntry)
        return createIndex(node->row, 0);
    return createIndex(node->row, 0, static_cast<Node *>(static_cast<Entry *>(node)->folder));
}

int FeedSearchModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return int(m_folders.size());
    if (parent.column() != 0)
        return 0;
    if (!parent.internalPointer())
        return int(m_folders.at(size_t(parent.row()))->entries.size());
    const Entry *entry = entryOf(parent);
    return entry ? int(entry->found.size()) : 0;
}

int FeedSearchModel::columnCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : 1;
}

bool FeedSearchModel::hasChildren(const QModelIndex &parent) const
{
    return rowCount(parent) > 0 || canFetchMore(parent);
}

bool FeedSearchModel::canFetchMore(const QModelIndex &parent) const
{
    if (m_fetchPaused)
        return false;
    const Entry *entry = entryOf(parent);
    return entry && entry->checked < entry->candidates.size();
}

void FeedSearchModel::fetchMore(const QModelIndex &parent)
{
    Entry *entry = entryOf(parent);
    if (!entry)
        return;
    std::vector<Found> batch;
    size_t checkedNow = 0;
    // Most candidates match where the index narrowed the search: read about as many
    // as rows are wanted, and more each time where few of them match.
    size_t chunk = BatchSize;
    const std::vector<Key> &candidates = entry->candidates;
    while (batch.size() < size_t(BatchSize) && entry->checked < candidates.size()
        && checkedNow < size_t(MaxCheckedPerFetch)) {
        // A run of one feed's candidates, all read by one statement.
        const size_t begin = entry->checked;
        const int feed = candidates.at(begin).feed;
        size_t end = begin;
        while (end < candidates.size() && candidates.at(end).feed == feed && end - begin < chunk)
            ++end;
        chunk = std::min(chunk * 2, size_t(ChunkSize));
        QString which;
        if (entry->allItems) {
            // Every item of the feed is a candidate: a range of ids names them.
            which = QStringLiteral(" and itemid between ")
                + QString::number(candidates.at(end - 1).item) + QStringLiteral(" and ")
                + QString::number(candidates.at(begin).item);
        } else {
            QStringList ids;
            for (size_t i = begin; i < end; ++i)
                ids.append(QString::number(candidates.at(i).item));
            which = QStringLiteral(" and itemid in (") + ids.join(QLatin1Char(','))
                + QLatin1Char(')');
        }

        const qsizetype wanted = BatchSize - qsizetype(batch.size());
        QSqlQuery query(*m_db);
        query.setForwardOnly(true);
        query.prepare(
            QStringLiteral("select itemid, title, description, pubdate, date, link from items "
                           "where channelid = ")
            + QString::number(feed) + which + QStringLiteral(" and toclear = 0")
            + (entry->feedId == 0 ? QStringLiteral(" and mark = 1") : QString())
            + QStringLiteral(" and (title like :search1 or description like :search2) order by "
                             "itemid desc limit ")
            + QString::number(wanted));
        query.bindValue(QStringLiteral(":search1"), m_pattern);
        query.bindValue(QStringLiteral(":search2"), m_pattern);
        if (!query.exec()) {
            // An unreadable database ends the entry with what it has.
            entry->checked = candidates.size();
            break;
        }
        qsizetype rows = 0;
        int lastItem = 0;
        while (query.next()) {
            const QVariant title = query.value(1);
            const QVariant description = query.value(2);
            const QVariant pubdate = query.value(3);
            batch.push_back({title.toString(), description.toString(),
                pubdate.isNull() ? query.value(4).toString() : pubdate.toString(),
                query.value(5).toString(), title.isNull() || description.isNull()});
            lastItem = query.value(0).toInt();
            ++rows;
        }
        // A full batch may stop inside the run: the rest of it is read next time.
        if (rows == wanted) {
            size_t next = begin;
            while (next < end && candidates.at(next).item != lastItem)
                ++next;
            end = std::min(next + 1, end);
        }
        checkedNow += end - begin;
        entry->checked = end;
    }
    if (batch.empty())
        return;
    const int first = int(entry->found.size());
    beginInsertRows(parent, first, first + int(batch.size()) - 1);
    std::move(batch.begin(), batch.end(), std::back_inserter(entry->found));
    endInsertRows();
}

QString FeedSearchModel::pageOf(const Entry &entry) const
{
    // A feed without visible items shows an empty page rather than a missing file.
    QSqlQuery query(*m_db);
    if (entry.feedId == 0)
        query.exec(
            QStringLiteral("select exists (select 1 from items where mark = 1 and toclear = 0)"));
    else
        query.exec(QStringLiteral("select exists (select 1 from items where channelid = ")
            + QString::number(entry.feedId) + QStringLiteral(" and toclear = 0)"));
    if (!query.next() || query.value(0).toInt() == 0)
        return QStringLiteral("about:blank");
    return ChannelPages::pagePath(entry.feedId, 1);
}

QVariant FeedSearchModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    auto *node = static_cast<Node *>(index.internalPointer());
    if (!node) {
        const Folder &folder = *m_folders.at(size_t(index.row()));
        if (role == Qt::DisplayRole)
            return folder.title;
        if (role == Qt::DecorationRole)
            return m_folderIcon;
        return {};
    }
    if (!node->isEntry) {
        const Entry &entry = *static_cast<Folder *>(node)->entries.at(size_t(index.row()));
        if (role == Qt::DisplayRole)
            return entry.feedId == 0 ? tr("Favorites") : entry.title;
        if (role == LinkRole)
            return pageOf(entry);
        return {};
    }
    const Found &found = static_cast<Entry *>(node)->found.at(size_t(index.row()));
    switch (role) {
    case Qt::UserRole:
        return QStringList{
            decodeEntities(found.title), stripTags(decodeEntities(found.description)), found.date};
    case LinkRole:
        return found.link;
    case Qt::SizeHintRole:
        return QSize(0, found.hasNull ? 53 : 93);
    default:
        return {};
    }
}

Qt::ItemFlags FeedSearchModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    auto *node = static_cast<Node *>(index.internalPointer());
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Found rows never have children: a view that expands all need not remember them.
    return node && node->isEntry ? flags | Qt::ItemNeverHasChildren : flags;
}
