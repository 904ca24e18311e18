#include "feeddatabase.h"
#include "feedhealth.h"

#include "host/pdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

QString FeedDatabase::connectionName()
{
    return QStringLiteral("pellix_feeds");
}

QString FeedDatabase::fileFor(quint32 user)
{
    return PDir::profilesPath(true) + QLatin1Char('/') + QString::number(user)
        + QStringLiteral(".rssdb");
}

bool FeedDatabase::open(QSqlDatabase &db, const QString &file, bool *created, QString *errorString)
{
    if (created)
        *created = false;
    // Replacing the connection of the same name: the old handle must let go first.
    if (db.isValid())
        db.close();
    db = QSqlDatabase();
    if (QSqlDatabase::contains(connectionName()))
        QSqlDatabase::removeDatabase(connectionName());

    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName());
    db.setUserName(QStringLiteral("pellix"));
    db.setDatabaseName(file);
    if (!db.open()) {
        if (errorString)
            *errorString = db.lastError().text();
        return false;
    }

    // SQLite opens lazily: a file that is not a database only fails at the first read.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
        if (errorString)
            *errorString = probe.lastError().text();
        db.close();
        return false;
    }

    const QStringList tables = db.tables(QSql::Tables);
    QSqlQuery query(db);
    if (!tables.contains(QStringLiteral("feeds")))
        query.exec(QStringLiteral(
            "CREATE TABLE feeds (id INTEGER PRIMARY KEY, source TEXT,channeltitle TEXT, link "
            "TEXT, toload INTEGER, description TEXT, farmid INTEGER,folderid INTEGER, "
            "inclient INTEGER, expand INTEGER DEFAULT 0,charset TEXT DEFAULT 'utf-8', "
            "UNIQUE(source))"));
    if (!tables.contains(QStringLiteral("items")))
        query.exec(QStringLiteral(
            "CREATE TABLE items (channelid INTEGER, itemid INTEGER, title TEXT, link "
            "TEXT,description TEXT, pubdate TEXT, isread INTEGER, toclear INTEGER, mark "
            "INTEGER, date TEXT DEFAULT CURRENT_TIMESTAMP, PRIMARY KEY(channelid, itemid))"));
    if (!tables.contains(QStringLiteral("folder"))) {
        query.exec(QStringLiteral("CREATE TABLE folder (id INTEGER PRIMARY KEY, title TEXT, "
                                  "expand INTEGER DEFAULT 0, UNIQUE(title))"));
        query.prepare(QStringLiteral("INSERT INTO folder (id, title) values(1, :title)"));
        query.bindValue(
            QStringLiteral(":title"), QCoreApplication::translate("PRSSFeedPlugin", "My Feeds"));
        query.exec();
        if (created)
            *created = true;
    }

    // Files from before the charset column gain it.
    if (!query.exec(QStringLiteral("select charset from feeds")))
        query.exec(QStringLiteral("ALTER TABLE feeds ADD COLUMN charset DEFAULT 'utf-8'"));
    FeedHealth::createTable(db);
    return true;
}

void FeedDatabase::close(QSqlDatabase &db)
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName());
}
