#pragma once

#include "core/feeddatabase.h"
#include "host/pdir.h"
#include "testhelpers.h"
#include "updater/updater.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

// One row of a data table; a string literal fills a QString column.
template <typename... Cells> void row(const char *name, const Cells &...cells)
{
    (QTest::newRow(name) << ... << cells);
}

// A fresh feed database in a temporary home, with helpers to add feeds and read rows.
class FeedFixture
{
public:
    FeedFixture()
    {
        PDir::setHomePath(home.path());
        opened = FeedDatabase::open(db, home.filePath(QStringLiteral("4711.rssdb")));
        Updater::prepareDatabase(db);
        exec(QStringLiteral("PRAGMA synchronous = OFF")); // a throw-away file
    }
    ~FeedFixture()
    {
        FeedDatabase::close(db);
        PDir::setHomePath(QString());
    }

    void addFeed(int id, const QString &source)
    {
        TestHelpers::execSql(db,
            QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                           "values (?, ?, 1, ?, 1, 1)"),
            {id, source, -id});
    }
    bool exec(const QString &sql) { return QSqlQuery(db).exec(sql); }
    // The first column of the first row; NULL as "~".
    QString value(const QString &sql)
    {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next())
            return QStringLiteral("<no row>");
        return q.isNull(0) ? QStringLiteral("~") : q.value(0).toString();
    }
    QString feedColumn(int feed, const QString &column)
    {
        return value(QStringLiteral("select %1 from feeds where id = %2").arg(column).arg(feed));
    }
    // "itemid|title|link|description|pubdate" per item of the feed, by item id; NULL as "~".
    QStringList items(int feed)
    {
        QStringList rows;
        QSqlQuery q(db);
        q.exec(QStringLiteral("select itemid, title, link, description, pubdate from items "
                              "where channelid = %1 order by itemid")
                   .arg(feed));
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < 5; ++i)
                fields << (q.isNull(i) ? QStringLiteral("~") : q.value(i).toString());
            rows << fields.join(QLatin1Char('|'));
        }
        return rows;
    }

    QTemporaryDir home;
    QSqlDatabase db;
    bool opened = false;
};
