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
    // "My Feeds" with a new folder table; *created tells) and adds the charset
    // column to files that predate it. Returns false when the file cannot be used;
    // errorString tells why. A file that is not a database is never changed.
    static bool open(QSqlDatabase &db, const QString &file, bool *created = nullptr,
        QString *errorString = nullptr);
    static void close(QSqlDatabase &db);
    // Moves every feed whose folder does not exist to the default folder (and
    // brings that back if it is missing), so that no feed drops out of the tree.
    // Returns how many feeds moved.
    static int rehomeOrphans(QSqlDatabase &db);

    // How long a statement waits for another program's lock on the file.
    static constexpr int busyTimeoutMs = 2000;
};
