#include "newsdisplay.h"
#include "core/rssprotocol.h"
#include "fieldreader.h"

#include "core/newsprofile.h"
#include "core/rsssettings.h"
#include "host/protocol.h"

#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QTextDocumentFragment>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

// Feed titles may carry HTML entities; the display shows plain text.
static QString plainTitle(const QString &title)
{
    if (!title.contains(QLatin1Char('&')) && !title.contains(QLatin1Char('<')))
        return title.simplified();
    return QTextDocumentFragment::fromHtml(title).toPlainText().simplified();
}

NewsDisplay::NewsDisplay(QWidget *parent)
    : QWidget(parent),
      m_tree(new QTreeWidget(this)),
      m_emptyLabel(new QLabel(this)),
      m_refreshTimer(new QTimer(this))
{
    static int instances = 0;
    m_connection = QStringLiteral("pellix_client_display_%1").arg(++instances);

    setObjectName(QStringLiteral("newsDisplay"));
    m_tree->setObjectName(QStringLiteral("headlines"));
    m_tree->setColumnCount(1);
    m_tree->header()->hide();
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_emptyLabel->setObjectName(QStringLiteral("emptyLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_emptyLabel, 1);

    m_refreshTimer->setSingleShot(true);
    m_refreshTimer->setInterval(0);
    connect(m_refreshTimer, &QTimer::timeout, this, &NewsDisplay::refresh);
    connect(m_tree, &QTreeWidget::itemActivated, this,
        [this](QTreeWidgetItem *item) { activated(item); });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &NewsDisplay::showContextMenu);
    retranslate(); // also fills the tree
}

NewsDisplay::~NewsDisplay()
{
    closeDatabase();
}

void NewsDisplay::setDatabaseFile(const QString &file)
{
    closeDatabase();
    m_file = file;
}

void NewsDisplay::closeDatabase()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool NewsDisplay::ensureOpen()
{
    if (m_db.isOpen())
        return true;
    // Opening would create a missing file; the plug-in alone creates the database.
    if (m_file.isEmpty() || !QFileInfo(m_file).isFile())
        return false;
    if (!m_db.isValid()) {
        m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        m_db.setDatabaseName(m_file);
        m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    return m_db.open();
}

void NewsDisplay::scheduleRefresh()
{
    m_refreshTimer->start();
}

QTreeWidgetItem *NewsDisplay::addFeed(QTreeWidgetItem *parent, int id, const QString &title)
{
    auto *feed = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_tree);
    feed->setText(0, plainTitle(title));
    feed->setData(0, ChannelRole, id);
    feed->setData(0, ItemRole, -1);
    QFont font = feed->font(0);
    font.setBold(true);
    feed->setFont(0, font);

    const int limit = RssSettings::intValue(RssSettings::MaxItemsInClient);
    const bool unreadOnly = RssSettings::intValue(RssSettings::NewItemsOnly) == 1;
    int unread = 0;
    const QList<NewsProfile::Headline> headlines
        = NewsProfile::headlines(m_db, id, limit, unreadOnly);
    for (const NewsProfile::Headline &headline : headlines) {
        auto *item = new QTreeWidgetItem(feed);
        const bool read = headline.read;
        item->setText(0, plainTitle(headline.title));
        item->setToolTip(0, headline.pubdate);
        item->setData(0, ChannelRole, id);
        item->setData(0, ItemRole, headline.itemId);
        item->setData(0, ReadRole, read);
        if (!read) {
            ++unread;
            QFont itemFont = item->font(0);
            itemFont.setBold(true);
            item->setFont(0, itemFont);
        }
    }
    if (unread > 0)
        feed->setText(0, tr("%1 (%2)").arg(feed->text(0)).arg(unread));
    return feed;
}

void NewsDisplay::refresh()
{
    // Keep what the user looked at across the rebuild.
    QSet<int> collapsed;
    int selectedChannel = 0;
    int selectedItem = 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if ((*it)->data(0, ItemRole).toInt() == -1 && !(*it)->isExpanded())
            collapsed.insert((*it)->data(0, ChannelRole).toInt());
    }
    if (QTreeWidgetItem *current = m_tree->currentItem()) {
        selectedChannel = current->data(0, ChannelRole).toInt();
        selectedItem = current->data(0, ItemRole).toInt();
    }
    m_tree->clear();

    if (ensureOpen()) {
        const bool inGroups = RssSettings::intValue(RssSettings::InGroups) == 1;
        QList<QPair<int, QString>> folders;
        if (inGroups) {
            QList<NewsProfile::Folder> rows;
            NewsProfile::folders(m_db, &rows);
            for (const NewsProfile::Folder &folder : std::as_const(rows))
                folders.append({folder.id, folder.title});
        }
        QHash<int, QTreeWidgetItem *> folderItems;
        struct Row
        {
            int id;
            QString title;
            int folder;
        };
        QList<Row> rows;
        for (const NewsProfile::Feed &feed : NewsProfile::feedsInClient(m_db))
            rows.append({feed.id, feed.title, feed.folderId});

        QHash<int, QString> folderTitles;
        for (const auto &folder : folders)
            folderTitles.insert(folder.first, folder.second);
        for (const Row &row : rows) {
            QTreeWidgetItem *parent = nullptr;
            // A feed whose folder is gone stands on its own.
            if (inGroups && folderTitles.contains(row.folder)) {
                parent = folderItems.value(row.folder);
                if (!parent) {
                    parent = new QTreeWidgetItem;
                    parent->setText(0, folderTitles.value(row.folder));
                    parent->setData(0, ChannelRole, 0);
                    parent->setData(0, ItemRole, -2);
                    folderItems.insert(row.folder, parent);
                }
            }
            addFeed(parent, row.id, row.title);
        }
        // Folders in their own order, each only when it holds a feed on show.
        int position = 0;
        for (const auto &folder : folders) {
            if (QTreeWidgetItem *item = folderItems.value(folder.first)) {
                m_tree->insertTopLevelItem(position++, item);
                item->setExpanded(true);
            }
        }
    }

    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        QTreeWidgetItem *item = *it;
        const int channel = item->data(0, ChannelRole).toInt();
        const int itemId = item->data(0, ItemRole).toInt();
        if (itemId == -1)
            item->setExpanded(!collapsed.contains(channel));
        if (selectedChannel && channel == selectedChannel && itemId == selectedItem)
            m_tree->setCurrentItem(item);
    }
    const bool empty = m_tree->topLevelItemCount() == 0;
    m_tree->setVisible(!empty);
    m_emptyLabel->setVisible(empty);
}

void NewsDisplay::noticeReceived(quint16 command, const Protocol &message)
{
    using namespace ClientMessage;
    if (command != FeedItemsChanged && command != FeedShownInClient && command != FeedHiddenInClient
        && command != OptionsChanged && command != ItemStateNotice)
        return;
    scheduleRefresh();
    if (command != FeedItemsChanged || !ensureOpen())
        return;
    // Only new items of a feed on show bring the display forward; the same notice
    // also names feeds a synchronisation removed.
    FieldReader reader(message);
    const qint64 count = reader.nextInt();
    QList<qint64> ids;
    for (qint64 i = 0; reader.ok() && i < count; ++i) {
        const qint64 id = reader.nextInt();
        if (reader.ok())
            ids.append(id);
    }
    if (NewsProfile::showsAnyInClient(m_db, ids))
        emit newItemsArrived();
}

void NewsDisplay::markRead(int channelId, int itemId)
{
    if (!ensureOpen())
        return;
    if (!NewsProfile::markRead(m_db, channelId, itemId))
        return;
    emit itemMarkedRead(channelId, itemId);
    scheduleRefresh();
}

void NewsDisplay::activated(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const int itemId = item->data(0, ItemRole).toInt();
    if (itemId == -2) // a folder
        return;
    emit openItemRequested(itemId, item->data(0, ChannelRole).toInt());
}

void NewsDisplay::showContextMenu(const QPoint &position)
{
    QTreeWidgetItem *item = m_tree->itemAt(position);
    if (!item || item->data(0, ItemRole).toInt() < 0)
        return;
    const int channel = item->data(0, ChannelRole).toInt();
    const int itemId = item->data(0, ItemRole).toInt();
    QMenu menu(this);
    menu.addAction(
        tr("Open"), this, [this, channel, itemId] { emit openItemRequested(itemId, channel); });
    QAction *read = menu.addAction(
        tr("Mark as read"), this, [this, channel, itemId] { markRead(channel, itemId); });
    read->setEnabled(!item->data(0, ReadRole).toBool());
    menu.exec(m_tree->viewport()->mapToGlobal(position));
}

void NewsDisplay::retranslate()
{
    m_emptyLabel->setText(tr("No news to show. Subscribe to feeds and choose in the settings "
                             "which of them appear here."));
    refresh();
}

void NewsDisplay::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}
