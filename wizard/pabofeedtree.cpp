#include "pabofeedtree.h"

#include "host/pbasicdata.h"
#include "host/psimplemessage.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

#include <QHeaderView>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTreeWidgetItemIterator>

namespace {

constexpr quint16 PluginModule = 41;
constexpr quint16 CatalogueChildrenRequest = 3;
constexpr quint32 CatalogueFlag = 770;
constexpr quint32 CatalogueNode = 771;

QString argText(const ProtocolArg &arg)
{
    if (arg.type() == ProtocolArg::Bytes || arg.variant().typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(arg.variant().toByteArray());
    return arg.variant().toString();
}

// "*", "?" and "[...]" as wildcards over the whole title, "/" included; everything
// else literal.
QRegularExpression wildcardPattern(const QString &wildcard)
{
    QString rx;
    const int n = int(wildcard.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = wildcard.at(i);
        if (c == QLatin1Char('*')) {
            rx += QLatin1String(".*");
        } else if (c == QLatin1Char('?')) {
            rx += QLatin1Char('.');
        } else if (c == QLatin1Char('[')) {
            int j = i + 1;
            if (j < n && (wildcard.at(j) == QLatin1Char('!') || wildcard.at(j) == QLatin1Char('^')))
                ++j;
            if (j < n && wildcard.at(j) == QLatin1Char(']'))
                ++j;
            while (j < n && wildcard.at(j) != QLatin1Char(']'))
                ++j;
            if (j >= n) {
                rx += QLatin1String("\\[");
                continue;
            }
            QString set = wildcard.mid(i + 1, j - i - 1);
            QString cls = QStringLiteral("[");
            int k = 0;
            if (set.startsWith(QLatin1Char('!')) || set.startsWith(QLatin1Char('^'))) {
                cls += QLatin1Char('^');
                k = 1;
            }
            for (; k < set.size(); ++k) {
                const QChar s = set.at(k);
                if (s == QLatin1Char('\\') || s == QLatin1Char('[') || s == QLatin1Char(']')
                    || s == QLatin1Char('^'))
                    cls += QLatin1Char('\\');
                cls += s;
            }
            rx += cls + QLatin1Char(']');
            i = j;
        } else {
            rx += QRegularExpression::escape(QString(c));
        }
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(rx),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

// Answers belong to the load that asked for them: a reload drops this receiver,
// and the host then drops the answers still on their way to it.
class PAboFeedTree::Load : public QObject
{
public:
    explicit Load(PAboFeedTree *tree) : QObject(tree), m_tree(tree) { }
    void getChilds(Request *request) { m_tree->getChilds(request); }
    void getFailure(Request *request)
    {
        WrapPluginHelper::Instance().freeRequest(request);
        emit m_tree->catalogueUnavailable();
    }

private:
    PAboFeedTree *m_tree;
};

PAboFeedTree::PAboFeedTree(QWidget *parent) : QTreeWidget(parent)
{
    header()->hide();
    connect(this, &QTreeView::activated, this, &PAboFeedTree::getActivated);
    watchTicks(true);
}

PAboFeedTree::~PAboFeedTree() = default;

void PAboFeedTree::watchTicks(bool on)
{
    if (on)
        connect(
            this, &QTreeWidget::itemChanged, this, &PAboFeedTree::aboChanged, Qt::UniqueConnection);
    else
        disconnect(this, &QTreeWidget::itemChanged, this, &PAboFeedTree::aboChanged);
}

bool PAboFeedTree::isFeed(const QTreeWidgetItem *item)
{
    return item && item->data(0, AddressRole).isValid();
}

void PAboFeedTree::loadCatalogue(QSqlDatabase *db)
{
    m_db = db;
    m_selected = 0;
    m_total = 0;
    delete m_load;
    m_load = new Load(this);
    watchTicks(false);
    clear();
    watchTicks(true);
    requestChildren(0, false);
}

void PAboFeedTree::requestChildren(quint32 node, bool flag)
{
    if (!m_load)
        m_load = new Load(this);
    PSimpleMessage message(PluginModule, CatalogueChildrenRequest, false);
    message.AddFieldAsUint32(CatalogueNode, node);
    message.AddFieldAsUint8(CatalogueFlag, flag ? 1 : 0);
    // Only the top of the catalogue decides whether there is one at all.
    if (node == 0)
        message.Send(m_load.data(), &Load::getChilds, m_load.data(), &Load::getFailure);
    else
        message.Send(m_load.data(), &Load::getChilds);
}

void PAboFeedTree::getChilds(Request *request)
{
    if (!request->reply()) {
        WrapPluginHelper::Instance().requestFailed(request, 82, 0);
        WrapPluginHelper::Instance().freeRequest(request);
        return;
    }
    watchTicks(false);

    quint32 node = 0;
    if (request->message() && !request->message()->args().isEmpty())
        node = request->message()->args().first().variant().toUInt();

    // Categories of four arguments (id, parent, name, feed count), each followed by
    // its feeds of three (catalogue id, title, address). An answer shorter than its
    // counts promise keeps what it holds.
    const QList<ProtocolArg> &args = request->reply()->args();
    const qsizetype size = args.size();
    const qint64 categories = size > 0 ? args.at(0).variant().toLongLong() : 0;
    qsizetype pos = 1;

    QSqlQuery lookup = m_db ? QSqlQuery(*m_db) : QSqlQuery();
    if (m_db)
        lookup.prepare(QStringLiteral("select id from feeds where source = :source or farmid = "
                                      ":farmid"));

    for (qint64 c = 0; c < categories && pos + 4 <= size; ++c) {
        const int id = args.at(pos).variant().toInt();
        const int parentId = args.at(pos + 1).variant().toInt();
        const QString name = argText(args.at(pos + 2));
        const qint64 feeds = args.at(pos + 3).variant().toLongLong();
        pos += 4;

        QTreeWidgetItem *category = nullptr;
        if (parentId == 0) {
            category = new QTreeWidgetItem(this);
        } else if (QTreeWidgetItem *parentItem = findCategory(parentId)) {
            category = new QTreeWidgetItem(parentItem);
        }
        // A category whose parent is unknown is not shown; its records are passed over.
        if (category) {
            category->setData(0, IdRole, id);
            category->setText(0, name);
            if (node == 0)
                requestChildren(quint32(id), true);
        }

        for (qint64 f = 0; f < feeds && pos + 3 <= size; ++f) {
            const int feedId = args.at(pos).variant().toInt();
            const QString title = argText(args.at(pos + 1));
            const QString address = argText(args.at(pos + 2));
            pos += 3;
            if (!category)
                continue;
            ++m_total;
            auto *feed = new QTreeWidgetItem(category);
            feed->setText(0, title);
            feed->setData(0, IdRole, feedId);
            feed->setData(0, AddressRole, address);

            bool subscribed = false;
            if (m_db) {
                lookup.bindValue(QStringLiteral(":source"), address);
                lookup.bindValue(QStringLiteral(":farmid"), feedId);
                subscribed = lookup.exec() && lookup.first();
                lookup.finish();
            }
            feed->setCheckState(0, subscribed ? Qt::Checked : Qt::Unchecked);
            feed->setData(0, SubscribedRole, subscribed);
            feed->setData(0, TickedRole, subscribed);
            if (subscribed)
                ++m_selected;
        }
    }

    if (node != 0) {
        QTreeWidgetItem *category = findCategory(int(node));
        if (category && PBasicData::instance().currentLanguage().name() == QLatin1String("Deutsch")
            && category->text(0) == QLatin1String("Deutschland"))
            category->setExpanded(true);
    }

    WrapPluginHelper::Instance().freeRequest(request);
    watchTicks(true);
    emit selectedFeeds(m_selected);
}

QTreeWidgetItem *PAboFeedTree::findCategory(int id, QTreeWidgetItem *under) const
{
    const int count = under ? under->childCount() : topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *item = under ? under->child(i) : topLevelItem(i);
        if (isFeed(item))
            continue;
        if (item->data(0, IdRole).toInt() == id)
            return item;
        if (QTreeWidgetItem *found = findCategory(id, item))
            return found;
    }
    return nullptr;
}

void PAboFeedTree::aboChanged(QTreeWidgetItem *item, int column)
{
    if (!isFeed(item))
        return;
    const bool ticked = item->checkState(column) == Qt::Checked;
    // Other data changes of a feed leave the counter alone.
    if (ticked == item->data(0, TickedRole).toBool())
        return;
    watchTicks(false);
    m_selected += ticked ? 1 : -1;
    emit selectedFeeds(m_selected);
    item->setData(0, TickedRole, ticked);
    watchTicks(true);
}

void PAboFeedTree::setTicks(bool ticked, const QModelIndex &index)
{
    QTreeWidgetItem *item = index.isValid() ? itemFromIndex(index) : nullptr;
    if (isFeed(item)) {
        if (item->data(0, TickedRole).toBool() != ticked)
            item->setCheckState(0, ticked ? Qt::Checked : Qt::Unchecked);
        return;
    }
    const int rows = model()->rowCount(index);
    for (int row = 0; row < rows; ++row)
        setTicks(ticked, model()->index(row, 0, index));
}

void PAboFeedTree::checkAll(const QModelIndex &index)
{
    setTicks(true, index);
}

void PAboFeedTree::uncheckAll(const QModelIndex &index)
{
    setTicks(false, index);
}

bool PAboFeedTree::setFilter(const QString &newText)
{
    return setFilter(newText, QModelIndex());
}

bool PAboFeedTree::setFilter(const QString &newText, const QModelIndex &parent)
{
    const QRegularExpression pattern
        = wildcardPattern(QLatin1Char('*') + newText + QLatin1Char('*'));
    return filter(pattern, newText.isEmpty(), parent);
}

bool PAboFeedTree::filter(
    const QRegularExpression &pattern, bool emptyText, const QModelIndex &index)
{
    QTreeWidgetItem *item = index.isValid() ? itemFromIndex(index) : nullptr;
    if (isFeed(item)) {
        const bool shown = pattern.match(item->text(0)).hasMatch();
        item->setHidden(!shown);
        return shown;
    }
    bool anyShown = false;
    const int rows = model()->rowCount(index);
    for (int row = 0; row < rows; ++row) {
        if (filter(pattern, emptyText, model()->index(row, 0, index)))
            anyShown = true;
    }
    if (item)
        item->setHidden(!anyShown && !emptyText);
    return anyShown;
}

void PAboFeedTree::applySelection(const QModelIndex &index)
{
    QTreeWidgetItem *item = index.isValid() ? itemFromIndex(index) : nullptr;
    if (isFeed(item)) {
        const bool ticked = item->data(0, TickedRole).toBool();
        if (ticked == item->data(0, SubscribedRole).toBool())
            return;
        const QString address = item->data(0, AddressRole).toString();
        if (ticked)
            emit saveFeed(address, item->text(0), item->data(0, IdRole).toInt());
        else
            emit clearFeed(address);
        return;
    }
    const int rows = model()->rowCount(index);
    for (int row = 0; row < rows; ++row)
        applySelection(model()->index(row, 0, index));
}

void PAboFeedTree::getActivated(const QModelIndex &index)
{
    setExpanded(index, !isExpanded(index));
}

int PAboFeedTree::changedCount() const
{
    int changed = 0;
    for (QTreeWidgetItemIterator it(const_cast<PAboFeedTree *>(this)); *it; ++it) {
        const QTreeWidgetItem *item = *it;
        if (isFeed(item)
            && (item->checkState(0) == Qt::Checked) != item->data(0, SubscribedRole).toBool())
            ++changed;
    }
    return changed;
}
