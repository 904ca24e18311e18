#pragma once

#include "host/pdir.h"
#include "plugin/feeddatabase.h"
#include "updater/updater.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

// A fresh feed database in a temporary home, with helpers to add feeds and read rows.
class FeedFixture
{
public:
    FeedFixture()
    {
        PDir::setHomePath(home.path());
        file = home.filePath(QStringLiteral("4711.rssdb"));
        opened = FeedDatabase::open(db, file);
        Updater::prepareDatabase(db);
        // The file is thrown away: no need to wait for the disk.
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }
    ~FeedFixture()
    {
        FeedDatabase::close(db);
        PDir::setHomePath(QString());
    }
    FeedFixture(const FeedFixture &) = delete;
    FeedFixture &operator=(const FeedFixture &) = delete;

    void addFeed(int id, const QString &source, int toload = 1, const QVariant &title = {})
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, "
                                 "folderid, inclient) values (?, ?, ?, ?, ?, 1, 1)"));
        q.addBindValue(id);
        q.addBindValue(source);
        q.addBindValue(title.isValid() ? title : QVariant(QMetaType(QMetaType::QString)));
        q.addBindValue(toload);
        q.addBindValue(-id);
        q.exec();
    }

    bool exec(const QString &sql)
    {
        QSqlQuery q(db);
        return q.exec(sql);
    }

    QVariant value(const QString &sql)
    {
        QSqlQuery q(db);
        if (!q.exec(sql) || !q.next())
            return QVariant();
        return q.value(0);
    }

    // "itemid|title|link|description|pubdate" per item of the feed, by item id;
    // NULL is written as "~".
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

    // Column of the feed's row in `feeds`; NULL as "~".
    QString feedColumn(int feed, const QString &column)
    {
        QSqlQuery q(db);
        q.exec(QStringLiteral("select %1 from feeds where id = %2").arg(column).arg(feed));
        if (!q.next())
            return QStringLiteral("<no row>");
        return q.isNull(0) ? QStringLiteral("~") : q.value(0).toString();
    }

    QTemporaryDir home;
    QString file;
    QSqlDatabase db;
    bool opened = false;
};
