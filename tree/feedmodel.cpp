#include "feedmodel.h"

#include "core/feedhealth.h"
#include "core/transaction.h"
#include "pages/channelpages.h"

#include <QBrush>
#include <QColor>
#include <QPainter>
#include <QPixmap>

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringBuilder>
#include <QVariant>

namespace {

const QString dragFormat()
{
    return QStringLiteral("rss/channelid.int");
}

quint32 identifierOf(const QModelIndex &index)
{
    return quint32(index.internalId());
}

int folderRowOf(quint32 identifier)
{
    return int((identifier >> 16) & 0x7FFF);
}

int feedRowOf(quint32 identifier)
{
    return int(identifier & 0xFFFF);
}

enum IconIndex { FolderIcon, UnreadFeedIcon, ReadFeedIcon, FailedFeedIcon };

// A red disc with an exclamation mark, the size of the feed icons.
QIcon failedIcon()
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xc0, 0x20, 0x20));
    painter.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(5, 2.5, 2, 4.5));
    painter.drawRect(QRectF(5, 8, 2, 1.8));
    return QIcon(pixmap);
}

} // namespace

FeedModel::FeedModel(QSqlDatabase *db, QObject *parent) : QAbstractItemModel(parent), m_db(db)
{
    QList<int> ids;
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    query.exec(QStringLiteral("select id from folder"));
    while (query.next())
        ids.append(query.value(0).toInt());
    query.finish();
    m_failed = FeedHealth(m_db).failedFeeds();
    // Reading a whole tree is many small statements: one transaction is far quicker,
    // and one listing of the viewer directory serves every feed's pages.
    const ChannelPages::Batch pages;
    Transaction transaction(*m_db);
    for (int id : std::as_const(ids))
        m_folders.push_back(std::make_unique<FolderNode>(m_db, id));
    transaction.commit();
}

FeedModel::~FeedModel() = default;

bool FeedModel::isFolderIndex(const QModelIndex &index)
{
    return index.isValid() && !(identifierOf(index) & ItemBit)
        && (identifierOf(index) & 0xFFFF) == FolderMark;
}

bool FeedModel::isFeedIndex(const QModelIndex &index)
{
    return index.isValid() && !(identifierOf(index) & ItemBit)
        && (identifierOf(index) & 0xFFFF) != FolderMark;
}

bool FeedModel::isItemIndex(const QModelIndex &index)
{
    return index.isValid() && (identifierOf(index) & ItemBit);
}

FolderNode *FeedModel::folderAt(int row) const
{
    if (row < 0 || row >= folderCount())
        return nullptr;
    return m_folders[size_t(row)].get();
}

FeedNode *FeedModel::feedAt(quint32 identifier) const
{
    const FolderNode *folder = folderAt(folderRowOf(identifier));
    return folder ? folder->feed(feedRowOf(identifier)) : nullptr;
}

FeedNode *FeedModel::feedNodeAt(const QModelIndex &index) const
{
    if (!index.isValid() || isFolderIndex(index))
        return nullptr;
    return feedAt(identifierOf(index));
}

QModelIndex FeedModel::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    if (!parent.isValid())
        return createIndex(row, column, quintptr((quint32(row) << 16) | FolderMark));
    const quint32 parentId = identifierOf(parent);
    if (parentId & ItemBit)
        return QModelIndex();
    if ((parentId & 0xFFFF) == FolderMark)
        return createIndex(row, column, quintptr((quint32(parent.row()) << 16) | quint32(row)));
    return createIndex(row, column, quintptr(parentId | ItemBit));
}

QModelIndex FeedModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    const quint32 id = identifierOf(child);
    if (id & ItemBit) {
        const quint32 feedId = id & ~ItemBit;
        return createIndex(feedRowOf(feedId), 0, quintptr(feedId));
    }
    if ((id & 0xFFFF) == FolderMark)
        return QModelIndex();
    const int folderRow = folderRowOf(id);
    return createIndex(folderRow, 0, quintptr((quint32(folderRow) << 16) | FolderMark));
}

int FeedModel::rowCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return folderCount();
    if (parent.column() > 0 || isItemIndex(parent))
        return 0;
    if (isFolderIndex(parent)) {
        const FolderNode *folder = folderAt(parent.row());
        return folder ? folder->feedCount() : 0;
    }
    const FeedNode *feed = feedAt(identifierOf(parent));
    return feed ? feed->shownRows() : 0;
}

int FeedModel::columnCount(const QModelIndex &parent) const
{
    if (!parent.isValid())
        return 1;
    if (isItemIndex(parent))
        return 0;
    return rowCount(parent) > 0 ? 1 : 0;
}

const QIcon &FeedModel::icon(int which) const
{
    if (m_icons[which].isNull()) {
        if (which == FailedFeedIcon) {
            m_icons[which] = failedIcon();
            return m_icons[which];
        }
        static const char *const names[] = {":/folder-16", ":/unreadfeed-12", ":/readfeed-12"};
        m_icons[which] = QIcon(QString::fromLatin1(names[which]));
    }
    return m_icons[which];
}

QVariant FeedModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const quint32 id = identifierOf(index);
    if (isFolderIndex(index)) {
        const FolderNode *folder = folderAt(index.row());
        if (!folder)
            return QVariant();
        if (role == Qt::DisplayRole) {
            // A folder adds up the unread items of its feeds.
            const int unread = folder->unreadCount();
            if (unread == 0)
                return folder->title();
            return QString(
                folder->title() % QLatin1String(" (") % QString::number(unread) % QLatin1Char(')'));
        }
        if (role == Qt::DecorationRole)
            return icon(FolderIcon);
        return QVariant();
    }
    const FeedNode *feed = feedAt(id);
    if (!feed)
        return QVariant();
    if (id & ItemBit) {
        if (role != Qt::DisplayRole || index.row() < 0 || index.row() >= feed->items().size())
            return QVariant();
        return feed->items().at(index.row()).title();
    }
    switch (role) {
    case Qt::DisplayRole: {
        QString text = feed->title() % QLatin1String(" (");
        if (feed->unreadCount() != 0)
            text += QString::number(feed->unreadCount()) % QLatin1Char('/');
        return QString(text % QString::number(feed->itemCount()) % QLatin1Char(')'));
    }
    case Qt::DecorationRole:
        if (m_failed.contains(feed->id()))
            return icon(FailedFeedIcon);
        // "readfeed" marks a feed that has unread items.
        return icon(feed->unreadCount() > 0 ? ReadFeedIcon : UnreadFeedIcon);
    case Qt::ForegroundRole:
        if (m_failed.contains(feed->id()))
            return QBrush(QColor(0xb0, 0x10, 0x10));
        return QVariant();
    case Qt::ToolTipRole: {
        if (feed->isFavorites())
            return QVariant();
        const QString source = feed->source().toHtmlEscaped();
        QString text = QLatin1String("<b>") % feed->title().toHtmlEscaped()
            % QLatin1String("</b><br>") % source;
        const QString health = FeedHealth::summary(FeedHealth(m_db).recordOf(feed->id()));
        text += QLatin1String("<br>")
            % health.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
        return QString(QLatin1String("<qt>") % text % QLatin1String("</qt>"));
    }
    case Qt::UserRole:
        return feed->id();
    default:
        return QVariant();
    }
}

QStringList FeedModel::mimeTypes() const
{
    return {dragFormat()};
}

QMimeData *FeedModel::mimeData(const QModelIndexList &indexes) const
{
    auto *mime = new QMimeData;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    for (const QModelIndex &index : indexes) {
        if (index.isValid())
            stream << qint32(data(index, Qt::UserRole).toInt());
    }
    mime->setData(dragFormat(), bytes);
    return mime;
}

bool FeedModel::dropMimeData(
    const QMimeData *data, Qt::DropAction action, int row, int column, const QModelIndex &parent)
{
    Q_UNUSED(row);
    if (!data || !data->hasFormat(dragFormat()))
        return false;
    if (action == Qt::IgnoreAction)
        return true;
    if (column > 0 || !isFolderIndex(parent))
        return false;
    const FolderNode *folder = folderAt(parent.row());
    if (!folder)
        return false;
    const int target = folder->id();

    QByteArray bytes = data->data(dragFormat());
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    QList<int> ids;
    while (!stream.atEnd()) {
        qint32 id = 0;
        stream >> id;
        if (stream.status() != QDataStream::Ok)
            break;
        ids.append(id);
    }
    for (int id : std::as_const(ids)) {
        QSqlQuery query(*m_db);
        query.setForwardOnly(true);
        query.exec(QLatin1String("select folderid from feeds where id = ") % QString::number(id));
        query.next();
        if (query.value(0).toInt() == target)
            continue;
        query.finish();
        clearFeed(id);
        query.exec(QLatin1String("update feeds set folderid = ") % QString::number(target)
            % QLatin1String(" where id = ") % QString::number(id));
        update(id);
    }
    emit sendSaveGroups();
    return true;
}

Qt::DropActions FeedModel::supportedDropActions() const
{
    return Qt::CopyAction;
}

bool FeedModel::insertRows(int row, int count, const QModelIndex &parent)
{
    beginInsertRows(parent, row, row + count - 1);
    if (FeedNode *feed = isFeedIndex(parent) ? feedAt(identifierOf(parent)) : nullptr)
        feed->setShownRows(feed->shownRows() + count);
    endInsertRows();
    return true;
}

bool FeedModel::removeRows(int row, int count, const QModelIndex &parent)
{
    beginRemoveRows(parent, row, row + count - 1);
    if (!parent.isValid()) {
        if (row >= 0 && row < folderCount()) {
            const int end = std::min(row + count, folderCount());
            m_folders.erase(m_folders.begin() + row, m_folders.begin() + end);
        }
    } else if (isFolderIndex(parent)) {
        if (FolderNode *folder = folderAt(parent.row()))
            folder->removeFeeds(row, count);
    } else if (FeedNode *feed = feedAt(identifierOf(parent))) {
        feed->setShownRows(std::max(0, feed->shownRows() - count));
    }
    endRemoveRows();
    return true;
}

Qt::ItemFlags FeedModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags base = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (isFolderIndex(index))
        return base | Qt::ItemIsDropEnabled;
    if (isFeedIndex(index)) {
        const FeedNode *feed = feedAt(identifierOf(index));
        if (feed && feed->id() != 0)
            return base | Qt::ItemIsDragEnabled;
    }
    return base;
}

int FeedModel::feedIdAt(const QModelIndex &index) const
{
    const FeedNode *feed = index.isValid() ? feedAt(identifierOf(index)) : nullptr;
    return feed ? feed->id() : 0;
}

int FeedModel::folderIdAt(int row) const
{
    const FolderNode *folder = folderAt(row);
    return folder ? folder->id() : 0;
}

QString FeedModel::titleAt(const QModelIndex &index) const
{
    if (isFolderIndex(index)) {
        const FolderNode *folder = folderAt(index.row());
        return folder ? folder->title() : QString();
    }
    const FeedNode *feed = feedNodeAt(index);
    return feed ? feed->title() : QString();
}

bool FeedModel::toLoadAt(const QModelIndex &index) const
{
    const FeedNode *feed = feedNodeAt(index);
    return feed && feed->toLoad();
}

QString FeedModel::linkAt(const QModelIndex &index) const
{
    const FeedNode *feed = feedNodeAt(index);
    if (!feed)
        return QString();
    if (isItemIndex(index)) {
        if (index.row() < 0 || index.row() >= feed->items().size())
            return QString();
        return feed->items().at(index.row()).link();
    }
    return feed->page();
}

QString FeedModel::pageAt(const QModelIndex &index) const
{
    const FeedNode *feed = feedNodeAt(index);
    return feed ? feed->page() : QString();
}

QString FeedModel::sourceAt(const QModelIndex &index) const
{
    const FeedNode *feed = feedNodeAt(index);
    return feed ? feed->source() : QString();
}

int FeedModel::countToLoad() const
{
    int count = 0;
    for (const auto &folder : m_folders) {
        for (int f = 0; f < folder->feedCount(); ++f) {
            if (folder->feed(f)->toLoad())
                ++count;
        }
    }
    return count;
}

QList<int> FeedModel::idsToLoad() const
{
    QList<int> ids;
    for (const auto &folder : m_folders) {
        const qsizetype start = ids.size();
        for (int f = 0; f < folder->feedCount(); ++f) {
            if (folder->feed(f)->toLoad())
                ids.insert(start, folder->feed(f)->id());
        }
    }
    return ids;
}

void FeedModel::announceItemRows(const QModelIndex &feedIndex, FeedNode *node)
{
    const int shown = node->shownRows();
    const int entries = int(node->items().size());
    if (entries < shown)
        removeRows(entries, shown - entries, feedIndex);
    else if (entries > shown)
        insertRows(shown, entries - shown, feedIndex);
    if (entries > 0)
        emit dataChanged(index(0, 0, feedIndex), index(entries - 1, 0, feedIndex));
}

void FeedModel::reloadFolderTitles()
{
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("select title from folder where id = :id"));
    for (int r = 0; r < folderCount(); ++r) {
        FolderNode *folder = m_folders[size_t(r)].get();
        query.bindValue(QStringLiteral(":id"), folder->id());
        if (!query.exec() || !query.next())
            continue;
        const QString title = query.value(0).toString();
        query.finish();
        if (title == folder->title())
            continue;
        folder->setTitle(title);
        const QModelIndex folderIndex = index(r, 0);
        emit dataChanged(folderIndex, folderIndex);
    }
}

void FeedModel::refreshAll()
{
    for (int r = 0; r < folderCount(); ++r) {
        FolderNode *folder = m_folders[size_t(r)].get();
        const QModelIndex folderIndex = index(r, 0);
        for (int f = 0; f < folder->feedCount(); ++f) {
            FeedNode *feed = folder->feed(f);
            feed->loadItems();
            announceItemRows(index(f, 0, folderIndex), feed);
        }
    }
}

void FeedModel::rewriteAllPages()
{
    QList<int> ids;
    for (int r = 0; r < folderCount(); ++r) {
        FolderNode *folder = m_folders[size_t(r)].get();
        const QModelIndex folderIndex = index(r, 0);
        for (int f = 0; f < folder->feedCount(); ++f) {
            FeedNode *feed = folder->feed(f);
            feed->refresh();
            const QModelIndex feedIndex = index(f, 0, folderIndex);
            emit dataChanged(feedIndex, feedIndex);
            announceItemRows(feedIndex, feed);
            ids.append(feed->id());
        }
    }
    for (int id : std::as_const(ids))
        emit sendNewPage(id);
}

void FeedModel::removeNode(int row, const QModelIndex &parent)
{
    if (parent.isValid()) {
        FolderNode *folder = isFolderIndex(parent) ? folderAt(parent.row()) : nullptr;
        if (!folder || row < 0 || row >= folder->feedCount())
            return;
        beginRemoveRows(parent, row, row);
        folder->removeFeeds(row, 1);
        endRemoveRows();
        // The folder's unread total changes with its feeds.
        emit dataChanged(parent, parent);
        return;
    }
    if (row < 0 || row >= folderCount())
        return;
    beginRemoveRows(parent, row, row);
    m_folders.erase(m_folders.begin() + row);
    endRemoveRows();
}

void FeedModel::setTitle(const QModelIndex &index, const QString &text)
{
    if (isFolderIndex(index)) {
        FolderNode *folder = folderAt(index.row());
        if (!folder)
            return;
        folder->setTitle(text);
        QSqlQuery query(*m_db);
        query.prepare(QStringLiteral("update folder set title = :title where id = :id"));
        query.bindValue(QStringLiteral(":title"), text);
        query.bindValue(QStringLiteral(":id"), folder->id());
        query.exec();
        emit dataChanged(index, index);
    } else if (isFeedIndex(index)) {
        FeedNode *feed = feedAt(identifierOf(index));
        if (!feed)
            return;
        feed->renameFeedNode(text);
        emit dataChanged(index, index);
    }
}

void FeedModel::addFolder(int id)
{
    const int row = folderCount();
    beginInsertRows(QModelIndex(), row, row);
    m_folders.push_back(std::make_unique<FolderNode>(m_db, id));
    endInsertRows();
}

void FeedModel::clearFeed(int id)
{
    for (int r = 0; r < folderCount(); ++r) {
        const int f = m_folders[size_t(r)]->rowOfFeed(id);
        if (f >= 0) {
            removeNode(f, index(r, 0));
            return;
        }
    }
}

QModelIndex FeedModel::indexOfFeed(int id) const
{
    for (int r = 0; r < folderCount(); ++r) {
        const int f = m_folders[size_t(r)]->rowOfFeed(id);
        if (f >= 0)
            return index(f, 0, index(r, 0));
    }
    return QModelIndex();
}

void FeedModel::updateHealth(int id)
{
    const bool failed = FeedHealth(m_db).recordOf(id).failed();
    if (failed == m_failed.contains(id))
        return;
    if (failed)
        m_failed.insert(id);
    else
        m_failed.remove(id);
    const QModelIndex feed = indexOfFeed(id);
    if (feed.isValid())
        emit dataChanged(feed, feed);
}

void FeedModel::update(int id)
{
    int folderId = 1;
    if (id != 0) {
        QSqlQuery query(*m_db);
        query.setForwardOnly(true);
        query.exec(QLatin1String("SELECT folderid FROM feeds WHERE id = ") % QString::number(id));
        query.next();
        folderId = query.value(0).toInt();
    }

    int r = 0;
    while (r < folderCount() && m_folders[size_t(r)]->id() != folderId)
        ++r;
    if (r == folderCount())
        return;
    FolderNode *folder = m_folders[size_t(r)].get();
    const QModelIndex folderIndex = index(r, 0);

    const int f = folder->rowOfFeed(id);
    if (f >= 0) {
        FeedNode *feed = folder->feed(f);
        feed->refresh();
        const QModelIndex feedIndex = index(f, 0, folderIndex);
        emit dataChanged(feedIndex, feedIndex);
        announceItemRows(feedIndex, feed);
    } else {
        const int row = folder->feedCount();
        beginInsertRows(folderIndex, row, row);
        folder->appendFeed(std::make_unique<FeedNode>(m_db, id));
        endInsertRows();
    }
    emit dataChanged(folderIndex, folderIndex);
    emit sendNewPage(id);
}
