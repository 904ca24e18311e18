#include "feedhealth.h"

#include <QLocale>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {

struct Keyword
{
    FeedHealth::Result result;
    QLatin1String text;
};

// Stored as words, so that the table reads plainly in any SQLite shell.
constexpr Keyword keywords[] = {
    {FeedHealth::Changed, QLatin1String("changed")},
    {FeedHealth::Unchanged, QLatin1String("unchanged")},
    {FeedHealth::HttpError, QLatin1String("http")},
    {FeedHealth::NetworkError, QLatin1String("network")},
    {FeedHealth::NotAFeed, QLatin1String("notafeed")},
};

} // namespace

QString FeedHealth::keyword(Result result)
{
    for (const Keyword &k : keywords) {
        if (k.result == result)
            return k.text;
    }
    return QString();
}

FeedHealth::Result FeedHealth::fromKeyword(const QString &keyword)
{
    for (const Keyword &k : keywords) {
        if (k.text == keyword)
            return k.result;
    }
    return NotChecked;
}

bool FeedHealth::createTable(QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS feedhealth (feedid INTEGER "
                                     "PRIMARY KEY, checked TEXT, result TEXT, status INTEGER, "
                                     "error TEXT)"));
}

bool FeedHealth::store(int feedId, const Record &record)
{
    QSqlQuery query(*m_db);
    query.prepare(
        QStringLiteral("insert or replace into feedhealth (feedid, checked, result, "
                       "status, error) values (:id, :checked, :result, :status, :error)"));
    query.bindValue(QStringLiteral(":id"), feedId);
    query.bindValue(QStringLiteral(":checked"), record.checked.toUTC().toString(Qt::ISODate));
    query.bindValue(QStringLiteral(":result"), keyword(record.result));
    query.bindValue(QStringLiteral(":status"), record.httpStatus);
    query.bindValue(QStringLiteral(":error"), record.error);
    return query.exec();
}

FeedHealth::Record FeedHealth::recordOf(int feedId) const
{
    Record record;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select checked, result, status, error from feedhealth where "
                              "feedid = ")
        + QString::number(feedId));
    if (!query.next())
        return record;
    record.checked = QDateTime::fromString(query.value(0).toString(), Qt::ISODate);
    record.checked.setTimeSpec(Qt::UTC);
    record.result = fromKeyword(query.value(1).toString());
    record.httpStatus = query.value(2).toInt();
    record.error = query.value(3).toString();
    return record;
}

QSet<int> FeedHealth::failedFeeds() const
{
    QSet<int> failed;
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("select feedid from feedhealth where result in ('http', "
                              "'network', 'notafeed')"));
    while (query.next())
        failed.insert(query.value(0).toInt());
    return failed;
}

void FeedHealth::forget(int feedId)
{
    QSqlQuery query(*m_db);
    query.exec(QStringLiteral("delete from feedhealth where feedid = ") + QString::number(feedId));
}

QString FeedHealth::resultText(const Record &record)
{
    switch (record.result) {
    case NotChecked:
        return tr("not updated yet");
    case Changed:
        return tr("new items");
    case Unchanged:
        return tr("unchanged");
    case HttpError:
        return tr("HTTP status %1").arg(record.httpStatus);
    case NetworkError:
        return tr("network error");
    case NotAFeed:
        return tr("not a feed");
    }
    return QString();
}

QString FeedHealth::summary(const Record &record)
{
    if (record.result == NotChecked)
        return tr("Not updated yet");
    QStringList lines;
    lines << tr("Last update: %1")
                 .arg(QLocale().toString(record.checked.toLocalTime(), QLocale::ShortFormat))
          << tr("Result: %1").arg(resultText(record));
    if (record.failed() && !record.error.isEmpty())
        lines << tr("Error: %1").arg(record.error);
    return lines.join(QLatin1Char('\n'));
}
