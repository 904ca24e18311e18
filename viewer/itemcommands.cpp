#include "itemcommands.h"
#include "pbrowserframe.h"

#include "tree/feedmodel.h"
#include "tree/feednode.h"
#include "tree/pfeedstree.h"
#include "tree/readmarker.h"

#include <QDesktopServices>
#include <QSqlQuery>
#include <QUrl>

ItemCommands::ItemCommands(
    QSqlDatabase *db, PFeedsTree *tree, PBrowserFrame *browser, QObject *parent)
    : QObject(parent), m_db(db), m_tree(tree), m_browser(browser)
{
}

void ItemCommands::updateTreesForLink(const QString &link)
{
    QSqlQuery feeds(*m_db);
    feeds.prepare(
        QStringLiteral("select distinct channelid from items where link = :link and toclear = 0"));
    feeds.bindValue(QStringLiteral(":link"), link);
    feeds.exec();
    while (feeds.next())
        m_tree->update(feeds.value(0).toInt());
    m_tree->update(0);
}

bool ItemCommands::readLink(const QString &link)
{
    QSqlQuery read(*m_db);
    read.prepare(QStringLiteral("update items set isread = 1 where link = :link and toclear = 0"));
    read.bindValue(QStringLiteral(":link"), link);
    read.exec();
    const bool any = read.numRowsAffected() > 0;

    updateTreesForLink(link);

    QSqlQuery items(*m_db);
    items.prepare(
        QStringLiteral("select channelid, itemid from items where link = :link and toclear = 0"));
    items.bindValue(QStringLiteral(":link"), link);
    items.exec();
    while (items.next())
        emit itemStateChanged(1, items.value(0).toInt(), items.value(1).toInt());
    return any;
}

void ItemCommands::flagLink(const QString &link)
{
    QSqlQuery mark(*m_db);
    mark.prepare(QStringLiteral("update items set mark = 1 where link = :link and toclear = 0"));
    mark.bindValue(QStringLiteral(":link"), link);
    mark.exec();
    updateTreesForLink(link);
}

void ItemCommands::reportRead(const QList<QPair<int, int>> &keys)
{
    for (int feed : ReadMarker::feedsOf(keys)) {
        m_tree->update(feed);
        m_browser->clearPendingFor(feed);
    }
    m_tree->update(0);
    // The client hears of each item as from a click on its read toggle.
    for (const auto &key : keys)
        emit itemStateChanged(1, key.first, key.second);
}

void ItemCommands::markFeedRead(int id)
{
    reportRead(ReadMarker(m_db).markFeedRead(id));
}

void ItemCommands::markFolderRead(int id)
{
    reportRead(ReadMarker(m_db).markFolderRead(id));
}

void ItemCommands::markAllRead()
{
    reportRead(ReadMarker(m_db).markAllRead());
}

void ItemCommands::markSelectionRead()
{
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid())
        return;
    if (FeedModel::isFolderIndex(current))
        markFolderRead(m_tree->folderIdOf(current));
    else
        markFeedRead(m_tree->feedModel()->feedIdAt(current));
}

bool ItemCommands::currentItem(int *feedId, QString *link) const
{
    const QModelIndex current = m_tree->currentIndex();
    if (!FeedModel::isItemIndex(current))
        return false;
    *feedId = m_tree->feedModel()->feedIdAt(current);
    *link = m_tree->feedModel()->linkAt(current);
    return *feedId != 0;
}

void ItemCommands::toggleItemRead()
{
    int feedId = 0;
    QString link;
    if (!currentItem(&feedId, &link))
        return;
    bool nowRead = false;
    const QList<QPair<int, int>> keys = ReadMarker(m_db).toggleRead(feedId, link, &nowRead);
    if (keys.isEmpty())
        return;
    m_tree->update(feedId);
    m_tree->update(0);
    for (const auto &key : keys)
        emit itemStateChanged(nowRead ? 1 : 2, key.first, key.second);
}

void ItemCommands::toggleItemFlag()
{
    int feedId = 0;
    QString link;
    if (!currentItem(&feedId, &link))
        return;
    bool nowFlagged = false;
    // Flags stay with the viewer: the client is not told, as with the page's flag.
    if (ReadMarker(m_db).toggleFlag(feedId, link, &nowFlagged).isEmpty())
        return;
    m_tree->update(feedId);
    m_tree->update(0);
}

void ItemCommands::openInBrowser(const QString &webPage)
{
    int feedId = 0;
    QString link;
    if (currentItem(&feedId, &link)) {
        openExternally(link);
        return;
    }
    if (!webPage.isEmpty()) {
        openExternally(webPage);
        return;
    }
    if (const FeedNode *feed = m_tree->feedModel()->feedNodeAt(m_tree->currentIndex()))
        openExternally(feed->link());
}

void ItemCommands::openExternally(const QString &url)
{
    const QUrl target(url);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    QDesktopServices::openUrl(target);
}
