#include "pfeedsearchtree.h"

#include "tree/feedsearchmodel.h"
#include "tree/pdrawsearch.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTimer>

PFeedSearchTree::PFeedSearchTree(QSqlDatabase *db, QWidget *parent)
    : QTreeView(parent),
      m_db(db),
      m_model(new FeedSearchModel(db, this)),
      m_fetchTimer(new QTimer(this))
{
    setModel(m_model);
    setItemDelegate(new PDrawSearch(this));
    header()->hide();
    // Activation toggles a row (getActivated); a second toggle on double-click would undo it.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::clicked, this, &PFeedSearchTree::rowClicked);
    connect(this, &QTreeView::activated, this, &PFeedSearchTree::getActivated);

    // Rows are read for what is in view: every feed whose end comes into view gets its
    // next rows once the view has settled (a QTreeView by itself fetches for every
    // expanded feed at each layout, which doItemsLayout() prevents, and otherwise only
    // at the very end of the list).
    m_fetchTimer->setSingleShot(true);
    m_fetchTimer->setInterval(0);
    connect(m_fetchTimer, &QTimer::timeout, this, &PFeedSearchTree::fetchShownRows);
    const auto scheduleFetch = [this] { m_fetchTimer->start(); };
    connect(verticalScrollBar(), &QScrollBar::valueChanged, m_fetchTimer, scheduleFetch);
    connect(m_model, &QAbstractItemModel::rowsInserted, m_fetchTimer, scheduleFetch);
    connect(this, &QTreeView::expanded, m_fetchTimer, scheduleFetch);
}

SearchIndex *PFeedSearchTree::searchIndex() const
{
    return m_model->searchIndex();
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

void PFeedSearchTree::clear()
{
    m_fetchTimer->stop();
    m_model->clear();
}

void PFeedSearchTree::setFilter(const QString &text)
{
    m_model->search(text, m_folderScope, m_feedScope);
    m_model->setFetchPaused(true);
    expandAll();
    m_model->setFetchPaused(false);
    fetchShownRows();
}

void PFeedSearchTree::doItemsLayout()
{
    m_model->setFetchPaused(true);
    QTreeView::doItemsLayout();
    m_model->setFetchPaused(false);
    m_fetchTimer->start();
}

void PFeedSearchTree::resizeEvent(QResizeEvent *event)
{
    QTreeView::resizeEvent(event);
    m_fetchTimer->start();
}

void PFeedSearchTree::fetchShownRows()
{
    m_fetchTimer->stop();
    const int bottom = viewport()->height();
    // Every fetch changes the layout: look again from the top after each.
    for (;;) {
        QModelIndex wanted;
        for (QModelIndex index = indexAt(QPoint(1, 1)); index.isValid() && !wanted.isValid();
             index = indexBelow(index)) {
            if (visualRect(index).top() >= bottom)
                break;
            const QModelIndex parent = index.parent();
            // A feed shown without rows yet, or the last row fetched of a feed.
            if (m_model->canFetchMore(index) && isExpanded(index) && m_model->rowCount(index) == 0)
                wanted = index;
            else if (m_model->canFetchMore(parent) && index.row() == m_model->rowCount(parent) - 1)
                wanted = parent;
        }
        if (!wanted.isValid())
            return;
        m_model->fetchMore(wanted);
    }
}

void PFeedSearchTree::rowClicked(const QModelIndex &index)
{
    const QVariant link = index.data(FeedSearchModel::LinkRole);
    if (!link.isValid()) {
        emit sendOverview(QString());
        return;
    }
    emit sendLink(link.toString());
    const QModelIndex parent = index.parent();
    const QVariant overview
        = parent.isValid() ? parent.data(FeedSearchModel::LinkRole) : QVariant();
    emit sendOverview(overview.isValid() ? overview.toString() : link.toString());
}

void PFeedSearchTree::getActivated(const QModelIndex &index)
{
    setExpanded(index, !isExpanded(index));
}
