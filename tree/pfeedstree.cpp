#include "pfeedstree.h"

#include "host/pinputdialog.h"
#include "tree/feedmodel.h"
#include "tree/feednode.h"
#include "tree/pdrawfeed.h"

#include <QAction>
#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

bool isFolder(const QModelIndex &index)
{
    return index.isValid() && !index.parent().isValid();
}

bool isItem(const QModelIndex &index)
{
    return index.parent().parent().isValid();
}

// Value 0 of the first row, or an invalid value when there is none.
QVariant firstValue(QSqlQuery &query)
{
    return query.next() ? query.value(0) : QVariant();
}

} // namespace

PFeedsTree::PFeedsTree(QSqlDatabase *db, QWidget *parent) : QTreeView(parent), m_db(db)
{
    setItemDelegate(new PDrawFeed(this));
    m_model = new FeedModel(db, this);
    setModel(m_model);

    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    // Activation toggles a node (getActivated); a second toggle on double-click would undo it.
    setExpandsOnDoubleClick(false);

    createActions();

    header()->hide();
    setContextMenuPolicy(Qt::ActionsContextMenu);

    linkOnChange = true;
    toggleOnActivate = true;

    // Before the connections below, so that restoring writes nothing back.
    restoreExpansion();

    connect(this, &QTreeView::collapsed, this, &PFeedsTree::collapsItem);
    connect(this, &QTreeView::expanded, this, &PFeedsTree::expandItem);
    connect(m_model, &FeedModel::sendNewPage, this, &PFeedsTree::sendNewPage);
    connect(m_model, &FeedModel::sendSaveGroups, this, &PFeedsTree::sendSaveGroups);
    connect(this, &QTreeView::activated, this, &PFeedsTree::getActivated);
}

void PFeedsTree::createActions()
{
    const auto make = [this](void (PFeedsTree::*slot)()) {
        auto *action = new QAction(this);
        connect(action, &QAction::triggered, this, slot);
        m_actions.append(action);
        return action;
    };
    m_cleanChannel1 = make(&PFeedsTree::pressCleanChannel1);
    m_cleanChannel2 = make(&PFeedsTree::pressCleanChannel2);
    m_newFolder = make(&PFeedsTree::pressNewFolder);
    m_renameFolder = make(&PFeedsTree::pressRenameFolder);
    m_clearFolder = make(&PFeedsTree::pressClearFolder);
    m_clearChannel = make(&PFeedsTree::pressClearChannel);
    m_actChannel = make(&PFeedsTree::pressActChannel);
    m_renameChannel = make(&PFeedsTree::pressRenameChannel);
    m_updateChannel = make(&PFeedsTree::pressUpdateChannel);
    m_moveChannel = make(&PFeedsTree::pressMoveChannel);
    m_clearSelection = make(&PFeedsTree::pressClearSelection);
    m_markRead = make(&PFeedsTree::pressMarkRead);
    m_markAllRead = make(&PFeedsTree::pressMarkAllRead);
    m_openSite = make(&PFeedsTree::pressOpenSite);
    m_openItem = make(&PFeedsTree::pressOpenItem);
    m_properties = make(&PFeedsTree::pressProperties);
    retranslate();
}

void PFeedsTree::retranslate()
{
    m_cleanChannel1->setText(tr("Clean News"));
    m_cleanChannel2->setText(tr("Clean News"));
    m_newFolder->setText(tr("New Folder"));
    m_renameFolder->setText(tr("Rename Folder"));
    m_clearFolder->setText(tr("Delete Folder"));
    m_clearChannel->setText(tr("Delete News"));
    m_actChannel->setText(tr("Load News Again"));
    m_renameChannel->setText(tr("Rename News"));
    m_updateChannel->setText(tr("Update News"));
    m_moveChannel->setText(tr("Move News"));
    m_clearSelection->setText(tr("Clear Selection"));
    m_markRead->setText(tr("Mark All Read"));
    m_markAllRead->setText(tr("Mark Everything Read"));
    m_openSite->setText(tr("Open Web Site in Browser"));
    m_openItem->setText(tr("Open in Browser"));
    m_properties->setText(tr("Properties"));
}

void PFeedsTree::restoreExpansion()
{
    QSqlQuery query(*m_db);
    for (int r = 0; r < m_model->rowCount(); ++r) {
        query.exec(QStringLiteral("select expand from folder where id = ")
            + QString::number(m_model->folderIdAt(r)));
        if (firstValue(query).toInt() != 1)
            continue;
        const QModelIndex folder = m_model->index(r, 0);
        expand(folder);
        for (int f = 0; f < m_model->rowCount(folder); ++f) {
            const QModelIndex feed = m_model->index(f, 0, folder);
            query.exec(QStringLiteral("select expand from feeds where id = ")
                + QString::number(m_model->feedIdAt(feed)));
            if (firstValue(query).toInt() == 1)
                expand(feed);
        }
    }
}

void PFeedsTree::attach(std::initializer_list<QAction *> actions)
{
    for (QAction *action : actions)
        addAction(action);
}

void PFeedsTree::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex idx = indexAt(event->position().toPoint());

    if (event->button() == Qt::RightButton) {
        for (QAction *action : std::as_const(m_actions))
            removeAction(action);
        const QModelIndex cur = currentIndex();
        if (idx != cur) {
            if (!idx.isValid()) {
                attach({m_cleanChannel1, m_newFolder, m_clearSelection, m_markAllRead});
                QTreeView::mousePressEvent(event);
                return;
            }
            // The press makes the node current; that change shows no page.
            linkOnChange = false;
        }
        if (idx.isValid()) {
            toggleOnActivate = false;
            if (isFolder(idx)) {
                addAction(m_renameFolder);
                // Folder 1 always holds the favourites entry and so is never empty.
                if (m_model->folderIdAt(idx.row()) != 0 && m_model->rowCount(idx) == 0)
                    addAction(m_clearFolder);
                addAction(m_markRead);
                addAction(m_clearSelection);
            } else if (!isItem(idx) && m_model->feedIdAt(idx) != 0) {
                attach({m_cleanChannel2, m_renameChannel, m_clearChannel});
                if (!m_model->toLoadAt(idx))
                    addAction(m_actChannel);
                if (m_model->rowCount() > 1)
                    addAction(m_moveChannel);
                addAction(m_updateChannel);
                addAction(m_markRead);
                const FeedNode *feed = m_model->feedNodeAt(idx);
                if (feed && !feed->link().isEmpty())
                    addAction(m_openSite);
                addAction(m_properties);
            } else if (!isItem(idx)) {
                addAction(m_markRead); // the favourites: every flagged item
            } else if (!m_model->linkAt(idx).isEmpty()) {
                addAction(m_openItem);
            }
        } else {
            attach({m_cleanChannel1, m_newFolder, m_clearSelection, m_markAllRead});
        }
    } else if (event->button() == Qt::LeftButton) {
        // Clicking the shown feed or item again reloads it.
        if (idx.isValid() && idx == currentIndex() && !isFolder(idx))
            emit sendLink(m_model->linkAt(idx));
    }
    QTreeView::mousePressEvent(event);
}

void PFeedsTree::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (!current.isValid()) {
        emit sendSource(QString());
    } else {
        const bool folder = isFolder(current);
        emit sendOverview(folder ? QString() : m_model->pageAt(current));
        if (!folder && linkOnChange)
            emit sendLink(m_model->linkAt(current));
        emit sendSource(folder || isItem(current) ? QString() : m_model->sourceAt(current));
    }
    QTreeView::currentChanged(current, previous);
    linkOnChange = true;
}

void PFeedsTree::getActivated(const QModelIndex &index)
{
    if (toggleOnActivate)
        setExpanded(index, !isExpanded(index));
    toggleOnActivate = true;
}

void PFeedsTree::collapsItem(const QModelIndex &index)
{
    storeExpansion(index, false);
}

void PFeedsTree::expandItem(const QModelIndex &index)
{
    storeExpansion(index, true);
}

void PFeedsTree::storeExpansion(const QModelIndex &index, bool expanded)
{
    if (!index.isValid() || isItem(index))
        return;
    const QString state = expanded ? QStringLiteral("1") : QStringLiteral("0");
    QSqlQuery query(*m_db);
    if (isFolder(index))
        query.exec(QStringLiteral("update folder set expand = ") + state
            + QStringLiteral(" where id = ") + QString::number(m_model->folderIdAt(index.row())));
    else
        query.exec(QStringLiteral("update feeds set expand = ") + state
            + QStringLiteral(" where id = ") + QString::number(m_model->feedIdAt(index)));
}

void PFeedsTree::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        m_model->reloadFolderTitles();
        return;
    }
    QTreeView::changeEvent(event);
}

int PFeedsTree::currentFeedId() const
{
    return m_model->feedIdAt(currentIndex());
}

int PFeedsTree::currentFolderId() const
{
    return m_model->folderIdAt(currentIndex().row());
}

void PFeedsTree::pressCleanChannel1()
{
    emit sendStartCleanWizard(0);
}

void PFeedsTree::pressCleanChannel2()
{
    emit sendStartCleanWizard(currentFeedId());
}

void PFeedsTree::pressActChannel()
{
    const int id = currentFeedId();
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("update feeds set toload = 1 where id = ") + QString::number(id));
    emit sendStartUpdate(id);
    emit sendRenameFeed(id);
}

void PFeedsTree::pressUpdateChannel()
{
    emit sendUpdate(currentFeedId());
}

void PFeedsTree::pressClearChannel()
{
    QSqlQuery query(*m_db);
    query.exec(
        QStringLiteral("select source from feeds where id = ") + QString::number(currentFeedId()));
    const QString source = firstValue(query).toString();
    query.exec(QStringLiteral("commit"));
    // The node goes when the plug-in has unsubscribed the feed and calls forgetFeed().
    emit clearFeed(source);
}

void PFeedsTree::pressClearFolder()
{
    QSqlQuery query(*m_db);
    query.exec(
        QStringLiteral("DELETE FROM folder WHERE id = ") + QString::number(currentFolderId()));
    m_model->removeNode(currentIndex().row(), QModelIndex());
    emit sendSaveGroups();
}

void PFeedsTree::pressClearSelection()
{
    setCurrentIndex(QModelIndex());
    clearSelection();
}

void PFeedsTree::pressRenameChannel()
{
    const QModelIndex current = currentIndex();
    bool ok = false;
    const QString text = PInputDialog::getText(this, tr("Rename News"), tr("New Newsname"),
        QLineEdit::Normal, m_model->titleAt(current), &ok);
    // An empty title is kept: the pages then show the feed's address.
    if (!ok)
        return;
    m_model->setTitle(current, text);
    emit sendRenameFeed(m_model->feedIdAt(current));
}

void PFeedsTree::pressRenameFolder()
{
    const QModelIndex current = currentIndex();
    bool ok = false;
    const QString text = PInputDialog::getText(this, tr("Rename Folder"), tr("New Folder Name"),
        QLineEdit::Normal, m_model->titleAt(current), &ok);
    if (!ok || text.isEmpty())
        return;
    m_model->setTitle(current, text);
    emit sendSaveGroups();
}

void PFeedsTree::pressNewFolder()
{
    bool ok = false;
    const QString text = PInputDialog::getText(
        this, tr("Rename Folder"), tr("New Folder Name"), QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("SELECT MAX(id) from folder"));
    const int id = firstValue(query).toInt() + 1;
    query.prepare(QStringLiteral("INSERT INTO folder (id, title) VALUES (:id, :title)"));
    query.bindValue(QStringLiteral(":id"), id);
    query.bindValue(QStringLiteral(":title"), text);
    // Folder titles are unique: a name that is taken adds no row, and a node without a
    // row would swallow the feeds dropped on it.
    if (!query.exec())
        return;
    m_model->addFolder(id);
    emit sendSaveGroups();
}

void PFeedsTree::pressMoveChannel()
{
    const QModelIndex current = currentIndex();
    const int feedId = m_model->feedIdAt(current);
    // The folder row is part of the index's identifier, for a feed and for an item alike.
    const int folderRow = int((current.internalId() >> 16) & 0x7FFF);
    const QString source = QString::number(m_model->folderIdAt(folderRow));

    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select count(*) from folder"));
    QVariant target;
    if (firstValue(query).toInt() == 2) {
        query.exec(QStringLiteral("select id from folder where id != ") + source);
        target = firstValue(query);
    } else {
        QStringList titles;
        query.exec(QStringLiteral("select title from folder where id != ") + source);
        while (query.next())
            titles.append(query.value(0).toString());
        bool ok = false;
        const QString choice = PInputDialog::getItem(
            this, QStringLiteral("Target Folder"), QStringLiteral("Title:"), titles, 0, false, &ok);
        if (!ok || choice.isEmpty())
            return;
        query.prepare(QStringLiteral("select id from folder where title = :title"));
        query.bindValue(QStringLiteral(":title"), choice);
        query.exec();
        target = firstValue(query);
    }

    query.exec(QStringLiteral("update feeds set folderid = ") + QString::number(target.toInt())
        + QStringLiteral(" where id = ") + QString::number(feedId));
    m_model->removeNode(current.row(), m_model->parent(current));
    m_model->update(feedId);
    emit sendSaveGroups();
}

void PFeedsTree::pressMarkRead()
{
    const QModelIndex current = currentIndex();
    if (isFolder(current))
        emit sendMarkFolderRead(currentFolderId());
    else if (current.isValid())
        emit sendMarkFeedRead(currentFeedId());
}

void PFeedsTree::pressMarkAllRead()
{
    emit sendMarkAllRead();
}

void PFeedsTree::pressOpenSite()
{
    const FeedNode *feed = m_model->feedNodeAt(currentIndex());
    if (feed && !feed->link().isEmpty())
        emit sendOpenExternally(feed->link());
}

void PFeedsTree::pressOpenItem()
{
    const QModelIndex current = currentIndex();
    if (isItem(current) && !m_model->linkAt(current).isEmpty())
        emit sendOpenExternally(m_model->linkAt(current));
}

void PFeedsTree::pressProperties()
{
    if (currentIndex().isValid() && !isFolder(currentIndex()) && currentFeedId() != 0)
        emit sendShowProperties(currentFeedId());
}

QModelIndexList PFeedsTree::allIndexes() const
{
    QModelIndexList indexes;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const QModelIndex folder = m_model->index(r, 0);
        indexes.append(folder);
        for (int f = 0; f < m_model->rowCount(folder); ++f) {
            const QModelIndex feed = m_model->index(f, 0, folder);
            indexes.append(feed);
            for (int i = 0; i < m_model->rowCount(feed); ++i)
                indexes.append(m_model->index(i, 0, feed));
        }
    }
    return indexes;
}

void PFeedsTree::makeCurrent(const QModelIndex &index)
{
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    setCurrentIndex(index);
    scrollTo(index);
}

bool PFeedsTree::selectNextItem()
{
    const QModelIndexList indexes = allIndexes();
    for (qsizetype i = indexes.indexOf(currentIndex()) + 1; i < indexes.size(); ++i) {
        if (isItem(indexes.at(i))) {
            makeCurrent(indexes.at(i));
            return true;
        }
    }
    return false;
}

bool PFeedsTree::selectPreviousItem()
{
    const QModelIndexList indexes = allIndexes();
    qsizetype from = indexes.indexOf(currentIndex());
    if (from < 0)
        from = indexes.size();
    for (qsizetype i = from - 1; i >= 0; --i) {
        if (isItem(indexes.at(i))) {
            makeCurrent(indexes.at(i));
            return true;
        }
    }
    return false;
}

bool PFeedsTree::selectNextUnreadFeed()
{
    QModelIndexList feeds;
    for (const QModelIndex &index : allIndexes()) {
        if (FeedModel::isFeedIndex(index))
            feeds.append(index);
    }
    // From the feed of the current node on, wrapping round; the favourites only
    // repeat other feeds' items.
    const QModelIndex current = currentIndex();
    const QModelIndex currentFeed = isItem(current) ? current.parent() : current;
    const qsizetype start = feeds.indexOf(currentFeed);
    for (qsizetype n = 1; n <= feeds.size(); ++n) {
        const QModelIndex feed = feeds.at((start + n + feeds.size()) % feeds.size());
        const FeedNode *node = m_model->feedNodeAt(feed);
        if (node && !node->isFavorites() && node->unreadCount() > 0) {
            makeCurrent(feed);
            return true;
        }
    }
    return false;
}

void PFeedsTree::update(int id)
{
    m_model->update(id);
}

void PFeedsTree::forgetFeed(int id)
{
    m_model->clearFeed(id);
}

int PFeedsTree::feedIdOf(const QModelIndex &index) const
{
    return isFolder(index) ? 0 : m_model->feedIdAt(index);
}

int PFeedsTree::folderIdOf(const QModelIndex &index) const
{
    return isFolder(index) ? m_model->folderIdAt(index.row()) : 0;
}

int PFeedsTree::countToLoad() const
{
    return m_model->countToLoad();
}

QList<int> PFeedsTree::idsToLoad() const
{
    return m_model->idsToLoad();
}

void PFeedsTree::refreshAll()
{
    m_model->refreshAll();
}

void PFeedsTree::selectFeed(int id)
{
    if (id == -1)
        return;
    linkOnChange = false;
    {
        // Folding everything up to show one feed is not the user's choice: the stored
        // expansion stays as it was.
        const QSignalBlocker blocker(this);
        collapseAll();
    }
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const QModelIndex folder = m_model->index(r, 0);
        for (int f = 0; f < m_model->rowCount(folder); ++f) {
            const QModelIndex feed = m_model->index(f, 0, folder);
            if (m_model->feedIdAt(feed) != id)
                continue;
            expand(folder);
            if (feed == currentIndex())
                linkOnChange = true;
            else
                setCurrentIndex(feed);
            return;
        }
    }
    // No current change follows to use up the suppression.
    linkOnChange = true;
}
