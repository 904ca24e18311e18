#include "pabofeedtable.h"

#include "host/psimplemessage.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"
#include "updater/httpconnection.h"
#include "wizard/feeddiscovery.h"

#include <QHeaderView>
#include <QSqlQuery>

namespace {

constexpr quint16 HostModule = 1;
constexpr quint16 ProxyRequest = 99;
constexpr int RowHeight = 20;
// A page announcing more feeds than this is not a page a user picks from.
constexpr int MaxFeedRows = 1000;

} // namespace

PAboFeedTable::PAboFeedTable(QWidget *parent)
    : QTableWidget(parent), m_discovery(new FeedDiscovery(this))
{
    setShowGrid(false);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setColumnCount(1);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    connect(m_discovery, &FeedDiscovery::stateChanged, this, &PAboFeedTable::stateChanged);

    PSimpleMessage message(HostModule, ProxyRequest, false);
    message.Send(this, &PAboFeedTable::getProxy);
}

PAboFeedTable::~PAboFeedTable() = default;

void PAboFeedTable::setDatabase(QSqlDatabase *db)
{
    m_db = db;
}

void PAboFeedTable::setStallTimeout(int milliseconds)
{
    m_discovery->setStallTimeout(milliseconds);
}

QUrl PAboFeedTable::requestedAddress() const
{
    return m_discovery->requestedAddress();
}

QUrl PAboFeedTable::currentAddress() const
{
    return m_discovery->currentAddress();
}

void PAboFeedTable::getProxy(Request *request)
{
    if (!request->reply())
        WrapPluginHelper::Instance().requestFailed(request, 82, 0);
    else
        m_discovery->setProxy(HttpConnection::proxyFromReply(request->reply()));
    WrapPluginHelper::Instance().freeRequest(request);
}

void PAboFeedTable::discover(const QUrl &address)
{
    m_discovery->start(address);
}

void PAboFeedTable::abort()
{
    m_discovery->abort();
}

void PAboFeedTable::stateChanged()
{
    switch (m_discovery->state()) {
    case FeedDiscovery::Idle:
        break;
    case FeedDiscovery::Searching:
        showStatus(tr("Searching..."));
        break;
    case FeedDiscovery::Reading:
        showStatus(tr("Parse page"));
        break;
    case FeedDiscovery::Found:
        showFeeds();
        break;
    case FeedDiscovery::NothingFound:
        showStatus(tr("No news found"));
        break;
    case FeedDiscovery::Failed:
        showStatus(m_discovery->errorString());
        break;
    }
}

void PAboFeedTable::showStatus(const QString &text)
{
    clearContents();
    setRowCount(1);
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(0, 0, item);
    setRowHeight(0, RowHeight);
}

void PAboFeedTable::showFeeds()
{
    clearContents();
    setRowCount(0);
    QSqlQuery lookup = m_db ? QSqlQuery(*m_db) : QSqlQuery();
    const FeedLinkList &feeds = m_discovery->feeds();
    for (qsizetype i = 0; i < feeds.size() && i < MaxFeedRows; ++i) {
        const FeedLink &feed = feeds.at(i);
        // The address itself is named by its own title; without one it is "News found".
        const QString text = m_discovery->addressIsFeed() && feed.title.isEmpty()
            ? tr("News found")
            : feed.displayTitle();
        addFeedRow(feed, text, &lookup);
    }
    // The one feed there is is what the user came for.
    if (rowCount() == 1)
        item(0, 0)->setCheckState(Qt::Checked);
    emit sendFeedFound();
}

void PAboFeedTable::addFeedRow(const FeedLink &feed, const QString &text, QSqlQuery *lookup)
{
    bool subscribed = false;
    if (m_db) {
        if (lookup->lastQuery().isEmpty())
            lookup->prepare(
                QStringLiteral("select * from feeds where source = :source and toload = 1"));
        lookup->bindValue(QStringLiteral(":source"), feed.address);
        subscribed = lookup->exec() && lookup->first();
        lookup->finish();
    }
    const int row = rowCount();
    insertRow(row);
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setData(AddressRole, feed.address);
    item->setData(SubscribedRole, subscribed);
    item->setData(TitleRole, feed.title);
    item->setData(TypeRole, feed.type);
    item->setToolTip(feed.address);
    item->setCheckState(subscribed ? Qt::Checked : Qt::Unchecked);
    setItem(row, 0, item);
    setRowHeight(row, RowHeight);
}

int PAboFeedTable::tickedCount() const
{
    int ticked = 0;
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *entry = item(row, 0);
        if (entry && (entry->flags() & Qt::ItemIsUserCheckable)
            && entry->checkState() == Qt::Checked)
            ++ticked;
    }
    return ticked;
}

int PAboFeedTable::changedCount() const
{
    int changed = 0;
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *entry = item(row, 0);
        if (entry && (entry->flags() & Qt::ItemIsUserCheckable)
            && (entry->checkState() == Qt::Checked) != entry->data(SubscribedRole).toBool())
            ++changed;
    }
    return changed;
}

void PAboFeedTable::applySelection()
{
    for (int row = 0; row < rowCount(); ++row) {
        const QTableWidgetItem *entry = item(row, 0);
        if (!entry || !(entry->flags() & Qt::ItemIsUserCheckable))
            continue;
        const bool ticked = entry->checkState() == Qt::Checked;
        if (ticked == entry->data(SubscribedRole).toBool())
            continue;
        const QString address = entry->data(AddressRole).toString();
        if (ticked)
            emit saveFeed(address, entry->data(TitleRole).toString());
        else
            emit clearFeed(address);
    }
}
