#include "searchindex.h"

#include "core/feeddatabase.h"
#include "core/transaction.h"

#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTimer>

#include <limits>

namespace {

// Rows of items with a rowid up to this value are in the index; the triggers keep those
// current. Once everything is indexed it is the largest rowid there can be.
constexpr qint64 AllBuilt = std::numeric_limits<qint64>::max();
// Items indexed per turn of the event loop: some tens of milliseconds of work.
constexpr int StepSize = 250;
// More trigrams narrow little further but make the index read more.
constexpr int MaxTrigrams = 12;

// The index key of an item, as the feed database's triggers write it: feed id in
// the high half, item id (offset to be non-negative) in the low half.
const QString keyOf = QStringLiteral("%1.channelid * 4294967296 + %1.itemid + 2147483648");

int feedOfKey(qint64 key)
{
    return int(key >> 32);
}

int itemOfKey(qint64 key)
{
    return int((key & 0xFFFFFFFFLL) - 2147483648LL);
}

// Every trigram of the pattern's runs of at least three characters without wildcards.
QStringList trigramsOf(const QString &likePattern)
{
    QStringList trigrams;
    QSet<QString> seen;
    const QList<uint> chars = likePattern.toUcs4();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i <= chars.size(); ++i) {
        if (i < chars.size() && chars.at(i) != '%' && chars.at(i) != '_')
            continue;
        for (qsizetype t = runStart; t + 3 <= i && trigrams.size() < MaxTrigrams; ++t) {
            const QString trigram
                = QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + t), 3);
            if (!seen.contains(trigram)) {
                seen.insert(trigram);
                trigrams.append(trigram);
            }
        }
        runStart = i + 1;
    }
    return trigrams;
}

} // namespace

SearchIndex::SearchIndex(QSqlDatabase *db, QObject *parent)
    : QObject(parent), m_db(db), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (!buildStep(StepSize))
            m_timer->start();
    });
    create();
    if (m_available && !buildStep(0))
        m_timer->start();
}

void SearchIndex::create()
{
    // An SQLite without FTS5 has no index, and searches then read every item.
    m_available = FeedDatabase::ensureSearchIndex(*m_db);
}

bool SearchIndex::buildStep(int count)
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("SELECT built FROM items_search_state"));
    if (!query.next())
        return true;
    const qint64 built = query.value(0).toLongLong();
    if (built == AllBuilt) {
        m_ready = true;
        return true;
    }
    if (count <= 0)
        return false;

    // The rows up to `last` go into the index together with the mark that says so.
    query.exec(QStringLiteral("SELECT rowid FROM items WHERE rowid > %1 ORDER BY rowid LIMIT 1 "
                              "OFFSET %2")
                   .arg(built)
                   .arg(count - 1));
    const bool more = query.next();
    const qint64 last = more ? query.value(0).toLongLong() : AllBuilt;

    Transaction transaction(*m_db);
    const bool indexed = query.exec(
        QStringLiteral("INSERT INTO items_search (rowid, title, description) SELECT %1, "
                       "title, description FROM items WHERE rowid > %2 AND rowid <= %3")
            .arg(keyOf.arg(QStringLiteral("items")))
            .arg(built)
            .arg(last));
    if (!indexed
        || !query.exec(QStringLiteral("UPDATE items_search_state SET built = %1").arg(last)))
        return true;
    if (!transaction.commit())
        return true;
    if (more)
        return false;
    m_ready = true;
    emit ready();
    return true;
}

void SearchIndex::buildAll()
{
    m_timer->stop();
    if (m_available)
        while (!buildStep(20000)) { }
}

bool SearchIndex::candidates(const QString &likePattern, QHash<int, QList<int>> *byFeed) const
{
    if (!m_ready)
        return false;
    const QStringList trigrams = trigramsOf(likePattern);
    if (trigrams.isEmpty())
        return false;

    QStringList terms;
    for (QString trigram : trigrams)
        terms.append(QLatin1Char('"') + trigram.replace(QLatin1Char('"'), QStringLiteral("\"\""))
            + QLatin1Char('"'));
    QSqlQuery query(*m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT rowid FROM items_search WHERE items_search MATCH :match "
                                 "ORDER BY rowid"));
    query.bindValue(QStringLiteral(":match"), terms.join(QStringLiteral(" AND ")));
    if (!query.exec())
        return false;
    byFeed->clear();
    while (query.next()) {
        const qint64 key = query.value(0).toLongLong();
        (*byFeed)[feedOfKey(key)].append(itemOfKey(key));
    }
    return true;
}
