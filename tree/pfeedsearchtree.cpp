#include "pfeedsearchtree.h"

#include "pages/channelpages.h"
#include "pages/decodeentities.h"
#include "tree/pdrawsearch.h"
#include "tree/searchindex.h"

#include <QHeaderView>
#include <QIcon>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

constexpr int LinkRole = Qt::UserRole + 1;

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

QString searchPattern(const QString &text)
{
    QString pattern = text;
    pattern.replace(QLatin1Char('*'), QLatin1Char('%'));
    pattern.replace(QLatin1Char('?'), QLatin1Char('_'));
    return QLatin1Char('%') + pattern + QLatin1Char('%');
}

} // namespace

PFeedSearchTree::PFeedSearchTree(QSqlDatabase *db, QWidget *parent)
    : QTreeWidget(parent), m_db(db), m_index(new SearchIndex(db, this))
{
    setItemDelegate(new PDrawSearch(this));
    setColumnCount(1);
    header()->hide();
    // Activation toggles a row (getActivated); a second toggle on double-click would undo it.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeWidget::itemClicked, this, &PFeedSearchTree::clicked);
    connect(this, &QTreeWidget::activated, this, &PFeedSearchTree::getActivated);
}

void PFeedSearchTree::clearScope()
{
    m_folderScope = -1;
    m_feedScope = -1;
}

void PFeedSearchTree::setFolderScope(int folderId)
{
    m_folderScope = folderId;
    m_feedScope = -1;
}

void PFeedSearchTree::setFeedScope(int feedId)
{
    m_feedScope = feedId;
    // The favourites entry (0) and a feed without a row stay in the default folder.
    m_folderScope = 1;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("SELECT id FROM folder WHERE id = (select folderid from feeds "
                              "where id = ")
        + QString::number(feedId) + QLatin1Char(')'));
    while (query.next())
        m_folderScope = query.value(0).toInt();
}

QString PFeedSearchTree::firstPage(int feedId)
{
    return ChannelPages::pagePath(feedId, 1);
}

void PFeedSearchTree::setFilter(const QString &text)
{
    clear();
    const QString pattern = searchPattern(text);
    const QIcon folderIcon(QStringLiteral(":/folder-16"));
    const auto pageOf = [](int feedId, int size) {
        return size == 0 ? QStringLiteral("about:blank") : firstPage(feedId);
    };
    QHash<int, QList<int>> candidates;
    // Within one feed reading its items is cheaper than asking the index about all of them.
    const bool narrowed = m_feedScope == -1 && m_index->candidates(pattern, &candidates);

    QSqlQuery folders(*m_db);
    folders.setForwardOnly(true);
    if (m_folderScope == -1)
        folders.exec(QStringLiteral("select id, title from folder"));
    else
        folders.exec(QStringLiteral("select id, title from folder where id = ")
            + QString::number(m_folderScope));

    QList<QTreeWidgetItem *> rows;
    while (folders.next()) {
        const int folderId = folders.value(0).toInt();
        auto *folder = new QTreeWidgetItem(QStringList(folders.value(1).toString()));
        folder->setIcon(0, folderIcon);
        rows.append(folder);

        if (folderId == 1 && (m_feedScope == -1 || m_feedScope == 0)) {
            auto *favourites = new QTreeWidgetItem(folder, QStringList(tr("Favorites")));
            QSqlQuery count(*m_db);
            count.exec(
                QStringLiteral("select count(*) from  items where mark = 1 and toclear = 0"));
            count.next();
            favourites->setData(0, LinkRole, pageOf(0, count.value(0).toInt()));
            QSqlQuery found(*m_db);
            found.setForwardOnly(true);
            found.prepare(QStringLiteral(
                "select title, description, pubdate, date, link from items where mark = 1 "
                "and (title like :search1  or description like :search2) and toclear = 0 "
                "order by channelid, itemid desc"));
            found.bindValue(QStringLiteral(":search1"), pattern);
            found.bindValue(QStringLiteral(":search2"), pattern);
            found.exec();
            addFoundItems(favourites, found);
        }

        QSqlQuery feeds(*m_db);
        feeds.setForwardOnly(true);
        const QString feedsQuery = QStringLiteral(
            "select id, channeltitle, (select count(*) from items where channelid = id and "
            "toclear = 0) as size from feeds where ");
        if (m_feedScope == -1)
            feeds.exec(feedsQuery + QStringLiteral("folderid = ") + QString::number(folderId)
                + QStringLiteral(" and channeltitle is not null"));
        else
            feeds.exec(feedsQuery + QStringLiteral("id = ") + QString::number(m_feedScope));

        while (feeds.next()) {
            const int feedId = feeds.value(0).toInt();
            auto *feed = new QTreeWidgetItem(
                folder, QStringList(decodeEntities(feeds.value(1).toString())));
            feed->setData(0, LinkRole, pageOf(feedId, feeds.value(2).toInt()));
            QString restriction;
            if (narrowed) {
                // Only the items the index names can match; none named, none found.
                const QList<int> ids = candidates.value(feedId);
                if (ids.isEmpty())
                    continue;
                QStringList numbers;
                numbers.reserve(ids.size());
                for (int id : ids)
                    numbers.append(QString::number(id));
                restriction = QStringLiteral(" and itemid in (") + numbers.join(QLatin1Char(','))
                    + QLatin1Char(')');
            }
            QSqlQuery found(*m_db);
            found.setForwardOnly(true);
            found.prepare(QStringLiteral("select title, description, pubdate, date, link from "
                                         "items where channelid = :channelid")
                + restriction
                + QStringLiteral(" and (title like :search1  or description like "
                                 ":search2) and toclear = 0 order by itemid desc"));
            found.bindValue(QStringLiteral(":channelid"), feedId);
            found.bindValue(QStringLiteral(":search1"), pattern);
            found.bindValue(QStringLiteral(":search2"), pattern);
            found.exec();
            addFoundItems(feed, found);
        }
    }
    addTopLevelItems(rows);
    expandAll();
}

void PFeedSearchTree::addFoundItems(QTreeWidgetItem *parent, QSqlQuery &query)
{
    QList<QTreeWidgetItem *> found;
    while (query.next()) {
        const QVariant title = query.value(0);
        const QVariant description = query.value(1);
        const QVariant pubdate = query.value(2);
        const QString date = pubdate.isNull() ? query.value(3).toString() : pubdate.toString();

        auto *item = new QTreeWidgetItem;
        item->setData(0, Qt::UserRole,
            QStringList{decodeEntities(title.toString()),
                stripTags(decodeEntities(description.toString())), date});
        item->setData(0, LinkRole, query.value(4).toString());
        item->setSizeHint(0, QSize(0, title.isNull() || description.isNull() ? 53 : 93));
        found.append(item);
    }
    parent->addChildren(found);
}

void PFeedSearchTree::clicked(QTreeWidgetItem *item, int)
{
    const QVariant link = item->data(0, LinkRole);
    if (!link.isValid()) {
        emit sendOverview(QString());
        return;
    }
    emit sendLink(link.toString());
    QTreeWidgetItem *parent = item->parent();
    const QVariant overview = parent ? parent->data(0, LinkRole) : QVariant();
    emit sendOverview(overview.isValid() ? overview.toString() : link.toString());
}

void PFeedSearchTree::getActivated(const QModelIndex &index)
{
    setExpanded(index, !isExpanded(index));
}
