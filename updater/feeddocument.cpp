#include "feeddocument.h"

#include "feedtree.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

enum Slot {
    LookupTitleDesc,
    LookupTitleNoDesc,
    LookupNoTitleDesc,
    LookupNoTitleNoDesc,
    UpdateLink,
    InsertItem
};

} // namespace

FeedDocument::FeedDocument(QSqlDatabase *db, const QString &feedId)
    : m_db(db), m_feedId(feedId), m_tree(std::make_unique<FeedTree>())
{
}

FeedDocument::~FeedDocument() = default;

QString FeedDocument::declaredCharset(const QByteArray &bytes)
{
    QString buffer;
    bool encodingSeen = false;
    for (const char byte : bytes) {
        switch (byte) {
        case '>':
            return QString();
        case ' ':
            buffer.clear();
            break;
        case '=':
            if (buffer.toLower() == QLatin1String("encoding"))
                encodingSeen = true;
            buffer.clear();
            break;
        case '"':
            if (!encodingSeen)
                buffer += QLatin1Char('"');
            else if (!buffer.isEmpty())
                return buffer;
            break;
        default:
            buffer += QLatin1Char(byte);
            break;
        }
    }
    return QString();
}

QString FeedDocument::expandDayNames(const QString &date)
{
    if (date.contains(QLatin1String("Montag")))
        return date;
    static const char *const shortNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const fullNames[] = {QT_TRANSLATE_NOOP("Updater", "Monday"),
        QT_TRANSLATE_NOOP("Updater", "Tuesday"), QT_TRANSLATE_NOOP("Updater", "Wednesday"),
        QT_TRANSLATE_NOOP("Updater", "Thursday"), QT_TRANSLATE_NOOP("Updater", "Friday"),
        QT_TRANSLATE_NOOP("Updater", "Saturday"), QT_TRANSLATE_NOOP("Updater", "Sunday")};
    QString expanded = date;
    for (int i = 0; i < 7; ++i) {
        expanded.replace(
            QLatin1String(shortNames[i]), QCoreApplication::translate("Updater", fullNames[i]));
    }
    return expanded;
}

bool FeedDocument::isStorageFailure(const QSqlError &error)
{
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5: // busy
    case 6: // locked
    case 7: // out of memory
    case 8: // read-only
    case 10: // I/O error
    case 11: // corrupt
    case 13: // full
    case 14: // cannot open
    case 26: // not a database
        return true;
    default:
        return false;
    }
}

bool FeedDocument::run(QSqlQuery &query)
{
    if (query.exec())
        return true;
    if (m_lost)
        return false;
    // A statement the data makes fail (a constraint, say) is passed over. A
    // database that cannot be written at all gives the document up.
    if (isStorageFailure(query.lastError())) {
        m_transaction->rollback();
        m_lost = true;
        return false;
    }
    // SQLite may also have ended the transaction with the statement (a trigger's
    // ROLLBACK); BEGIN only succeeds outside a transaction.
    QSqlQuery probe(*m_db);
    if (probe.exec(QStringLiteral("BEGIN"))) {
        probe.exec(QStringLiteral("ROLLBACK"));
        m_transaction->forget();
        m_lost = true;
    }
    return false;
}

bool FeedDocument::finishTransaction()
{
    if (!m_transaction)
        return true;
    const bool stored = m_transaction->commit();
    m_transaction.reset();
    return stored;
}

QSqlQuery &FeedDocument::prepared(int slot, const QString &statement)
{
    std::unique_ptr<QSqlQuery> &query = m_queries[slot];
    if (!query) {
        query = std::make_unique<QSqlQuery>(*m_db);
        query->setForwardOnly(true);
        query->prepare(statement);
    }
    return *query;
}

FeedDocument::Result FeedDocument::process(const QByteArray &body)
{
    {
        QSqlQuery base(*m_db);
        base.exec(QStringLiteral("select max(itemid) from items where channelid=") + m_feedId);
        bool ok = false;
        const int highest = base.next() ? base.value(0).toInt(&ok) : 0;
        m_nextItemId = ok ? highest + 1 : 1;
    }
    m_lowestSeenId = 2147483647;
    m_changed = false;
    m_renamed = false;
    m_recognised = false;

    if (body.isEmpty() || !m_tree->parse(body))
        return NotADocument;

    // One transaction per document: all of its rows or none, and one commit
    // instead of one per statement.
    m_lost = false;
    m_transaction.reset();
    m_transaction.emplace(*m_db);
    if (!m_transaction->isActive()) {
        m_transaction.reset();
        return StorageFailed;
    }

    const QString charset = declaredCharset(body);
    if (!charset.isNull()) {
        QSqlQuery query(*m_db);
        query.prepare(QStringLiteral("update feeds set charset = :charset where id = :id"));
        query.bindValue(QStringLiteral(":charset"), charset);
        query.bindValue(QStringLiteral(":id"), m_feedId);
        run(query);
    }

    const QString root = m_tree->tagName(m_tree->root());
    if (root == QLatin1String("rss"))
        walkRss();
    else if (root == QLatin1String("rdf:RDF"))
        walkRdf();
    else if (root == QLatin1String("Channel"))
        walkChannel();
    else if (root == QLatin1String("feed"))
        walkAtom();
    m_recognised = root == QLatin1String("rss") || root == QLatin1String("rdf:RDF")
        || root == QLatin1String("Channel") || root == QLatin1String("feed");

    if (!m_lost) {
        QSqlQuery prune(*m_db);
        prune.prepare(QStringLiteral("delete from items where channelid = ") + m_feedId
            + QStringLiteral(" and toclear=1 and itemid <") + QString::number(m_lowestSeenId));
        run(prune);
    }
    if (!m_lost && m_storeValidators) {
        QSqlQuery store(*m_db);
        FeedValidators::prepareStore(store, m_feedId, m_validators);
        run(store);
    }

    for (const std::unique_ptr<QSqlQuery> &query : m_queries) {
        if (query)
            query->finish();
    }
    if (m_lost || !finishTransaction()) {
        m_changed = false;
        m_renamed = false;
        return StorageFailed;
    }
    return m_changed ? Changed : Unchanged;
}

void FeedDocument::walkRss()
{
    const QList<int> channels = m_tree->elementsByTagName(u"channel");
    for (const int channel : channels) {
        for (int child = m_tree->lastChildElement(channel); child >= 0;
             child = m_tree->previousSiblingElement(child)) {
            if (m_tree->hasTagName(child, u"title"))
                applyTitle(m_tree->text(child));
            else if (m_tree->hasTagName(child, u"link"))
                applyLink(m_tree->text(child));
            else if (m_tree->hasTagName(child, u"description"))
                applyDescription(m_tree->text(child));
            else if (m_tree->hasTagName(child, u"item"))
                storeItem(readRssItem(child));
        }
    }
}

void FeedDocument::walkRdf()
{
    const QList<int> channels = m_tree->elementsByTagName(u"channel");
    if (!channels.isEmpty()) {
        for (int child = m_tree->firstChildElement(channels.first()); child >= 0;
             child = m_tree->nextSiblingElement(child)) {
            if (m_tree->hasTagName(child, u"title"))
                applyTitle(m_tree->text(child));
            else if (m_tree->hasTagName(child, u"link"))
                applyLink(m_tree->text(child));
            else if (m_tree->hasTagName(child, u"description"))
                applyDescription(m_tree->text(child));
        }
    }
    const QList<int> items = m_tree->elementsByTagName(u"item");
    for (auto it = items.crbegin(); it != items.crend(); ++it)
        storeItem(readRssItem(*it));
}

void FeedDocument::walkChannel()
{
    for (int child = m_tree->firstChildElement(m_tree->root()); child >= 0;
         child = m_tree->nextSiblingElement(child)) {
        if (m_tree->hasTagName(child, u"title")) {
            applyTitle(m_tree->text(child));
        } else if (m_tree->hasTagName(child, u"link")) {
            applyLink(m_tree->text(child));
        } else if (m_tree->hasTagName(child, u"items")) {
            for (int item = m_tree->lastChildElement(child); item >= 0;
                 item = m_tree->previousSiblingElement(item))
                storeItem(readRssItem(item));
        }
    }
}

void FeedDocument::walkAtom()
{
    for (int child = m_tree->lastChildElement(m_tree->root()); child >= 0;
         child = m_tree->previousSiblingElement(child)) {
        if (m_tree->hasTagName(child, u"title")) {
            applyTitle(m_tree->text(child));
        } else if (m_tree->hasTagName(child, u"link")) {
            const QString href = m_tree->attribute(child, u"href");
            applyLink(href.isNull() ? QStringLiteral("") : href);
        } else if (m_tree->hasTagName(child, u"entry")) {
            storeItem(readAtomEntry(child));
        }
    }
}

void FeedDocument::applyTitle(const QString &title)
{
    if (m_lost)
        return;
    QSqlQuery stored(*m_db);
    stored.exec(QStringLiteral("select channeltitle from feeds where id=") + m_feedId);
    // A title already there, fetched or given by the user, stays.
    if (stored.next() && !stored.value(0).toString().isEmpty())
        return;
    QSqlQuery update(*m_db);
    update.prepare(QStringLiteral("update feeds set channeltitle = :title where id = ") + m_feedId);
    update.bindValue(QStringLiteral(":title"), title);
    run(update);
    m_renamed = true;
    m_changed = true;
}

void FeedDocument::applyLink(const QString &link)
{
    if (m_lost)
        return;
    QSqlQuery update(*m_db);
    update.prepare(QStringLiteral("update feeds set link = :link  where id = ") + m_feedId);
    update.bindValue(QStringLiteral(":link"), link);
    run(update);
}

void FeedDocument::applyDescription(const QString &description)
{
    if (m_lost)
        return;
    QSqlQuery update(*m_db);
    update.prepare(QStringLiteral("update feeds set description = :desc where id = :id"));
    update.bindValue(QStringLiteral(":desc"), description);
    update.bindValue(QStringLiteral(":id"), m_feedId);
    run(update);
}

FeedDocument::Item FeedDocument::readRssItem(int element) const
{
    Item item;
    for (int child = m_tree->firstChildElement(element); child >= 0;
         child = m_tree->nextSiblingElement(child)) {
        if (m_tree->hasTagName(child, u"title"))
            item.title = m_tree->text(child);
        else if (m_tree->hasTagName(child, u"link"))
            item.link = m_tree->text(child);
        else if (m_tree->hasTagName(child, u"description"))
            item.description = m_tree->text(child);
        else if (m_tree->hasTagName(child, u"pubDate"))
            item.pubDate = m_tree->text(child);
    }
    return item;
}

FeedDocument::Item FeedDocument::readAtomEntry(int element) const
{
    Item item;
    // The entry's page is its alternate link (or the one without a relation);
    // replies, enclosures and the like stand in only when there is none.
    QString alternate;
    QString other;
    for (int child = m_tree->firstChildElement(element); child >= 0;
         child = m_tree->nextSiblingElement(child)) {
        if (m_tree->hasTagName(child, u"title")) {
            item.title = m_tree->text(child);
        } else if (m_tree->hasTagName(child, u"link")) {
            const QString href = m_tree->attribute(child, u"href");
            if (href.isNull())
                continue;
            const QString rel = m_tree->attribute(child, u"rel");
            if (rel.isNull() || rel == QLatin1String("alternate"))
                alternate = href;
            else
                other = href;
        } else if (m_tree->hasTagName(child, u"summary")) {
            item.description = m_tree->text(child);
        } else if (m_tree->hasTagName(child, u"updated")) {
            item.pubDate = m_tree->text(child);
        }
    }
    item.link = alternate.isNull() ? other : alternate;
    return item;
}

void FeedDocument::storeItem(const Item &raw)
{
    if (m_lost)
        return;
    Item item = raw;
    if (!item.pubDate.isNull())
        item.pubDate = expandDayNames(item.pubDate);

    const bool hasTitle = !item.title.isNull();
    const bool hasDescription = !item.description.isNull();
    const int slot = hasTitle ? (hasDescription ? LookupTitleDesc : LookupTitleNoDesc)
                              : (hasDescription ? LookupNoTitleDesc : LookupNoTitleNoDesc);
    QString statement = QStringLiteral("select itemid, link, toclear from items where channelid= "
                                       ":channelid");
    statement
        += hasTitle ? QStringLiteral(" and title= :title") : QStringLiteral(" and title IS NULL");
    statement += hasDescription ? QStringLiteral(" and description = :desc")
                                : QStringLiteral(" and description IS NULL");
    statement += QStringLiteral(" LIMIT 1");

    QSqlQuery &lookup = prepared(slot, statement);
    lookup.bindValue(QStringLiteral(":channelid"), m_feedId);
    if (hasTitle)
        lookup.bindValue(QStringLiteral(":title"), item.title);
    if (hasDescription)
        lookup.bindValue(QStringLiteral(":desc"), item.description);
    run(lookup);

    if (lookup.next()) {
        const int itemId = lookup.value(0).toInt();
        const QString storedLink = lookup.value(1).toString();
        const int toClear = lookup.value(2).toInt();
        lookup.finish();
        m_lowestSeenId = qMin(m_lowestSeenId, itemId);
        if (storedLink != item.link && toClear == 0) {
            QSqlQuery &update = prepared(UpdateLink,
                QStringLiteral("update items set link = :link where "
                               "channelid = :channelid and itemid = "
                               ":itemid"));
            update.bindValue(QStringLiteral(":link"), item.link);
            update.bindValue(QStringLiteral(":channelid"), m_feedId);
            update.bindValue(QStringLiteral(":itemid"), itemId);
            run(update);
        }
        return;
    }
    lookup.finish();

    QSqlQuery &insert = prepared(InsertItem,
        QStringLiteral("insert into items (channelid, itemid, title, link, description, "
                       "pubdate, isread, toclear, mark) values (:channelid, :itemid, :title, "
                       ":link, :desc, :pubDate, 0, 0, 0)"));
    insert.bindValue(QStringLiteral(":channelid"), m_feedId);
    insert.bindValue(QStringLiteral(":itemid"), m_nextItemId);
    insert.bindValue(QStringLiteral(":title"), item.title);
    insert.bindValue(QStringLiteral(":link"), item.link);
    insert.bindValue(QStringLiteral(":desc"), item.description);
    insert.bindValue(QStringLiteral(":pubDate"), item.pubDate);
    run(insert);
    ++m_nextItemId;
    m_changed = true;
}
