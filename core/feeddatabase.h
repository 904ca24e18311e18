#pragma once

#include <QSqlDatabase>
#include <QString>

// Opening, creating and migrating the per-user feed database, connection "pellix_feeds".
class FeedDatabase
{
public:
    static QString connectionName();
    // File of a user: <profiles>/<user>.rssdb.
    static QString fileFor(quint32 user);

    // Replaces the connection by one on file, creates missing tables (folder 1
    // "My Feeds" with a new folder table; *created tells) and brings an older
    // file up to the current schema. Returns false when the file cannot be used;
    // errorString tells why. A file that is not a database is never changed.
    static bool open(QSqlDatabase &db, const QString &file, bool *created = nullptr,
        QString *errorString = nullptr);
    static void close(QSqlDatabase &db);
    // Moves every feed whose folder does not exist to the default folder (and
    // brings that back if it is missing), so that no feed drops out of the tree.
    // Returns how many feeds moved.
    static int rehomeOrphans(QSqlDatabase &db);

    // The default folder's title in the user's language now: "My Feeds", translated.
    static QString defaultFolderTitle();
    // Whether a title is the default folder's in any language the program ships.
    static bool isDefaultFolderTitle(const QString &title);
    // Gives the default folder the title of the current language when it still
    // carries the title of another (a title the user chose stays, and so does one
    // another folder already has). True when it was renamed.
    static bool retitleDefaultFolder(QSqlDatabase &db);

    // How long a statement waits for another program's lock on the file.
    static constexpr int busyTimeoutMs = 2000;

    // The schema a file has reached (PRAGMA user_version); -1 when unreadable.
    // 1: feeds.charset, 2: the item indexes, 3: the full-text index of items.
    static constexpr int CurrentSchema = 3;
    static int schemaVersion(QSqlDatabase &db);
    // Adds the full-text index of items with the triggers that keep it current,
    // unless the file has it. The index costs space and time on every write, so
    // a profile gets it with its first search tree, not when it is opened.
    // False when this SQLite has no FTS5.
    static bool ensureSearchIndex(QSqlDatabase &db);

private:
    static void migrate(QSqlDatabase &db);
    static void setSchemaVersion(QSqlDatabase &db, int version);
    static bool createSearchIndex(QSqlDatabase &db);
};
