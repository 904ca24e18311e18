#include "feednode.h"

#include "core/rssprotocol.h"
#include "core/rsssettings.h"
#include "host/psimplemessage.h"
#include "pages/channelpages.h"
#include "pages/decodeentities.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringBuilder>
#include <QVariant>

#include <algorithm>

namespace {
constexpr int StringEncoding = 1;
} // namespace

FeedNode::FeedNode(QSqlDatabase *db, int id) : m_id(id), m_db(db)
{
    loadItems();
    renderPages();
    m_shownRows = int(m_items.size());
}

FeedNode::~FeedNode() = default;

void FeedNode::loadItems()
{
    m_items.clear();
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    if (m_id == 0)
        query.exec(QStringLiteral("select distinct title, link from items where mark = 1 and "
                                  "toclear = 0 order by channelid, itemid desc"));
    else
        query.exec(QLatin1String("select distinct title, link from items where channelid = ")
            % QString::number(m_id) % QLatin1String(" and toclear = 0 order by itemid desc"));

    const int limit = RssSettings::intValue(RssSettings::MaxItemsInViewer);
    while (m_items.size() < limit && query.next()) {
        // The same story under several titles is listed once, by its newest title.
        const QString link = query.value(1).toString();
        const bool known = std::any_of(m_items.cbegin(), m_items.cend(),
            [&link](const FeedNodeItem &item) { return item.link() == link; });
        if (!known)
            m_items.append(FeedNodeItem(decodeEntities(query.value(0).toString()), link));
    }
}

void FeedNode::renderPages()
{
    ChannelPages::Display display;
    display.title = m_title;
    display.link = m_link;
    display.page = m_page;
    display.source = m_source;
    display.itemCount = m_itemCount;
    display.unreadCount = m_unreadCount;
    display.toLoad = m_toLoad;
    ChannelPages::render(*m_db, m_id, display);
    m_title = display.title;
    m_link = display.link;
    m_page = display.page;
    m_source = display.source;
    m_itemCount = display.itemCount;
    m_unreadCount = display.unreadCount;
    m_toLoad = display.toLoad;
}

void FeedNode::refresh()
{
    loadItems();
    renderPages();
}

void FeedNode::renameFeedNode(const QString &text)
{
    m_title = text;
    const QString id = QString::number(m_id);
    QSqlQuery query(*m_db);
    query.prepare(QStringLiteral("update feeds set channeltitle = :title where id = :id"));
    query.bindValue(QStringLiteral(":title"), text);
    query.bindValue(QStringLiteral(":id"), m_id);
    query.exec();

    query.exec(
        QLatin1String("select farmid, source, inclient, toload from feeds where id = ") % id);
    query.next();
    const int farmId = query.value(0).toInt();
    const QString source = query.value(1).toString();
    const int inClient = query.value(2).toInt();
    const int toLoad = query.value(3).toInt();

    PSimpleMessage message(ClientMessage::NewsModule, ClientMessage::FeedChanged, false);
    message.AddFieldAsString(ProtocolField::FeedTitle, text, StringEncoding);
    // -1 marks a feed the user added by address; its number at the server is the
    // local id here.
    if (farmId != -1) {
        message.AddFieldAsUint16(ProtocolField::FeedKind, 1);
        message.AddFieldAsUint32(ProtocolField::FarmId, quint32(farmId));
    } else {
        message.AddFieldAsUint16(ProtocolField::FeedKind, 2);
        message.AddFieldAsUint32(ProtocolField::OwnFeedId, quint32(m_id));
        message.AddFieldAsString(ProtocolField::FeedSource, source, StringEncoding);
    }
    message.AddFieldAsUint32(ProtocolField::FeedState, quint32(toLoad + 2 * inClient));
    message.Send();
}
