#include "feeddatabase.h"

#include "host/pdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTranslator>

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
    // Another program holding the file is reported at once rather than waited for.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
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

    // A file this process cannot write to (locked by another program, read-only)
    // would lose every change made in it.
    if (!probe.exec(QStringLiteral("BEGIN IMMEDIATE")) || !probe.exec(QStringLiteral("ROLLBACK"))) {
        if (errorString) {
            *errorString = QCoreApplication::translate(
                "FeedDatabase", "%1 cannot be written (%2); another program may be using it.")
                               .arg(QDir::toNativeSeparators(file), probe.lastError().text());
        }
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
        query.bindValue(QStringLiteral(":title"), defaultFolderTitle());
        query.exec();
        if (created)
            *created = true;
    }
    migrate(db);
    rehomeOrphans(db);
    retitleDefaultFolder(db);
    return true;
}

QString FeedDatabase::defaultFolderTitle()
{
    return QCoreApplication::translate("PRSSFeedPlugin", "My Feeds");
}

bool FeedDatabase::isDefaultFolderTitle(const QString &title)
{
    // The shipped translations are read once: they are compiled into the program.
    static const QStringList titles = [] {
        QStringList found{QStringLiteral("My Feeds")};
        const QDir folder(QStringLiteral(":/i18n"));
        const QStringList files = folder.entryList({QStringLiteral("*.qm")}, QDir::Files);
        for (const QString &file : files) {
            QTranslator translator;
            if (!translator.load(folder.filePath(file)))
                continue;
            const QString title = translator.translate("PRSSFeedPlugin", "My Feeds");
            if (!title.isEmpty() && !found.contains(title))
                found.append(title);
        }
        return found;
    }();
    return titles.contains(title) || title == defaultFolderTitle();
}

bool FeedDatabase::retitleDefaultFolder(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select title from folder where id = 1")) || !query.next())
        return false;
    const QString current = query.value(0).toString();
    const QString title = defaultFolderTitle();
    query.finish();
    if (current == title || !isDefaultFolderTitle(current))
        return false;
    // Titles are unique: a folder of the user's that already has it keeps it.
    query.prepare(QStringLiteral("update folder set title = :title where id = 1 and not exists "
                                 "(select 1 from folder where title = :same)"));
    query.bindValue(QStringLiteral(":title"), title);
    query.bindValue(QStringLiteral(":same"), title);
    return query.exec() && query.numRowsAffected() == 1;
}

int FeedDatabase::rehomeOrphans(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select count(*) from folder where id = 1")) || !query.next())
        return 0;
    if (query.value(0).toInt() == 0) {
        query.prepare(QStringLiteral("insert into folder (id, title) values(1, :title)"));
        query.bindValue(QStringLiteral(":title"), defaultFolderTitle());
        if (!query.exec()) {
            // Its title is taken by another folder: that one becomes the default folder.
            query.prepare(QStringLiteral("update folder set id = 1 where title = :title"));
            query.bindValue(QStringLiteral(":title"), defaultFolderTitle());
            query.exec();
        }
    }
    query.exec(QStringLiteral("update feeds set folderid = 1 where folderid is null or folderid "
                              "not in (select id from folder)"));
    return query.numRowsAffected();
}

void FeedDatabase::close(QSqlDatabase &db)
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName());
}
