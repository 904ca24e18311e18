#pragma once

#include "core/feeddatabase.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "testhelpers.h"

#include <QDir>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QVariant>

// A signed-in user 4711 with a fresh feed database (folder 1 "My Feeds" only) and a
// viewer directory, all inside a temporary home that goes away with the fixture.
class TreeFixture
{
public:
    TreeFixture()
    {
        PDir::setHomePath(m_home.path());
        CPxBuddy_Administrator::Instance().signIn(4711);
        opened = FeedDatabase::open(db, FeedDatabase::fileFor(4711));
        // The file is thrown away: no need to wait for the disk after every statement.
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }
    ~TreeFixture()
    {
        FeedDatabase::close(db);
        PDir::setHomePath(QString());
    }
    TreeFixture(const TreeFixture &) = delete;
    TreeFixture &operator=(const TreeFixture &) = delete;

    // Runs a statement with positional values; returns the error text, empty on success.
    QString exec(const QString &sql, const QVariantList &values = {})
    {
        return TestHelpers::execSql(db, sql, values);
    }

    // Value 0 of the first row, invalid when there is none.
    QVariant value(const QString &sql, const QVariantList &values = {})
    {
        auto [query, ran] = TestHelpers::runSql(db, sql, values);
        return ran && query.next() ? query.value(0) : QVariant();
    }

    void addFolder(int id, const QString &title, int expand = 0)
    {
        exec(QStringLiteral("insert into folder (id, title, expand) values (?, ?, ?)"),
            {id, title, expand});
    }

    // A null title stands for a feed that was never fetched.
    void addFeed(int id, int folder, const QVariant &title, int toload = 1, int expand = 0)
    {
        exec(QStringLiteral("insert into feeds (id, source, channeltitle, link, toload, farmid, "
                            "folderid, inclient, expand) values (?, ?, ?, ?, ?, ?, ?, 0, ?)"),
            {id, QStringLiteral("http://example.org/feed%1.xml").arg(id), title,
                QStringLiteral("http://example.org/"), toload, -id, folder, expand});
    }

    struct Item
    {
        int channel;
        int item;
        QVariant title;
        QVariant description;
        QVariant pubdate = QStringLiteral("Mon, 01 Jan 2024 10:00:00 GMT");
        QString link = QString();
        int mark = 0;
        int toclear = 0;
        int isread = 0;
    };
    void addItem(const Item &i)
    {
        const QString link = i.link.isEmpty()
            ? QStringLiteral("http://example.org/%1/%2").arg(i.channel).arg(i.item)
            : i.link;
        exec(QStringLiteral("insert into items (channelid, itemid, title, link, description, "
                            "pubdate, isread, toclear, mark, date) values (?, ?, ?, ?, ?, ?, ?, "
                            "?, ?, '2024-01-02 03:04:05')"),
            {i.channel, i.item, i.title, link, i.description, i.pubdate, i.isread, i.toclear,
                i.mark});
    }

    QString page(int feedId) const
    {
        return QDir::toNativeSeparators(
            PDir::applicationDataPath(true) + QStringLiteral("/4711_channel%1_1.html").arg(feedId));
    }

    QSqlDatabase db;
    bool opened = false;

private:
    QTemporaryDir m_home;
};
