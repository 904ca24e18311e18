// The schema of the feed database: what FeedDatabase::open() brings every file
// up to, one numbered step at a time, recorded in PRAGMA user_version.
#include "feeddatabase.h"

#include "core/feedhealth.h"
#include "core/transaction.h"

#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

int FeedDatabase::schemaVersion(QSqlDatabase &db)
{
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA user_version")) && query.next()
        ? query.value(0).toInt()
        : -1;
}

void FeedDatabase::migrate(QSqlDatabase &db)
{
    const int version = schemaVersion(db);
    QSqlQuery query(db);

    if (version < 1) {
        // Files from before the charset column gain it.
        if (!query.exec(QStringLiteral("select charset from feeds")))
            query.exec(QStringLiteral("ALTER TABLE feeds ADD COLUMN charset DEFAULT 'utf-8'"));
        setSchemaVersion(db, 1);
    }

    if (version < 2) {
        // The updater looks an item up by feed, title and description (with the
        // description outside the index, many items of one title make every lookup
        // a scan); a flag or a deletion changes only the columns that searches and
        // pages read by.
        query.exec(QStringLiteral("DROP INDEX IF EXISTS items_lookup"));
        query.exec(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS items_identity ON items (channelid, title, description)"));
        query.exec(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS items_by_mark ON items (mark, toclear, channelid)"));
        query.exec(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS items_by_channel ON items (channelid, toclear, itemid)"));
        setSchemaVersion(db, 2);
    }

    // Step 3, the full-text index, waits for the first search tree: ensureSearchIndex().

    // The feed health table is not a numbered step: step 3 is taken late, so a
    // later number could pass it by. Its statement leaves a table there is alone.
    FeedHealth::createTable(db);
}

void FeedDatabase::setSchemaVersion(QSqlDatabase &db, int version)
{
    QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = %1").arg(version));
}

bool FeedDatabase::ensureSearchIndex(QSqlDatabase &db)
{
    if (schemaVersion(db) >= 3)
        return true;
    // Without FTS5 in this SQLite the step fails as a whole and is tried again
    // next time; searches then read every item.
    if (!createSearchIndex(db))
        return false;
    setSchemaVersion(db, 3);
    return true;
}

bool FeedDatabase::createSearchIndex(QSqlDatabase &db)
{
    // The index key of an item: feed id in the high half, item id (offset to be
    // non-negative) in the low half. The search index reads keys the same way.
    const QString keyOf = QStringLiteral("%1.channelid * 4294967296 + %1.itemid + 2147483648");

    QSqlQuery query(db);
    query.exec(QStringLiteral("select count(*) from sqlite_master where name = 'items_search'"));
    if (query.next() && query.value(0).toInt() == 1)
        return true;

    // All or nothing: an index without its triggers would miss new items. Rows up
    // to items_search_state.built are indexed; the triggers keep those current and
    // the search index fills in the rest.
    Transaction transaction(db);
    const QStringList statements{
        QStringLiteral("CREATE VIRTUAL TABLE items_search USING fts5(title, description, "
                       "content='', tokenize='trigram', detail=none, columnsize=0)"),
        QStringLiteral("CREATE TABLE items_search_state (built INTEGER)"),
        QStringLiteral("INSERT INTO items_search_state (built) VALUES (0)"),
        QStringLiteral("CREATE TRIGGER items_search_insert AFTER INSERT ON items "
                       "WHEN new.rowid <= (SELECT built FROM items_search_state) BEGIN "
                       "INSERT INTO items_search (rowid, title, description) VALUES (%1, "
                       "new.title, new.description); END")
            .arg(keyOf.arg(QStringLiteral("new"))),
        QStringLiteral("CREATE TRIGGER items_search_delete AFTER DELETE ON items "
                       "WHEN old.rowid <= (SELECT built FROM items_search_state) BEGIN "
                       "INSERT INTO items_search (items_search, rowid, title, description) "
                       "VALUES ('delete', %1, old.title, old.description); END")
            .arg(keyOf.arg(QStringLiteral("old"))),
        QStringLiteral("CREATE TRIGGER items_search_update AFTER UPDATE OF channelid, itemid, "
                       "title, description ON items "
                       "WHEN old.rowid <= (SELECT built FROM items_search_state) BEGIN "
                       "INSERT INTO items_search (items_search, rowid, title, description) "
                       "VALUES ('delete', %1, old.title, old.description); "
                       "INSERT INTO items_search (rowid, title, description) VALUES (%2, "
                       "new.title, new.description); END")
            .arg(keyOf.arg(QStringLiteral("old")), keyOf.arg(QStringLiteral("new"))),
    };
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return false;
    }
    return transaction.commit();
}
