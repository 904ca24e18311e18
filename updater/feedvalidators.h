#pragma once

#include <QString>

class QSqlDatabase;
class QSqlQuery;

// The ETag and Last-Modified of the document last stored for each feed. They live
// in the profile beside the feeds, so that any later run, in this process or the
// next, can ask the server whether the document changed since.
class FeedValidators
{
public:
    QString etag;
    QString lastModified;

    bool isEmpty() const { return etag.isEmpty() && lastModified.isEmpty(); }
    bool operator==(const FeedValidators &other) const
    {
        return etag == other.etag && lastModified == other.lastModified;
    }

    static bool createTable(QSqlDatabase &db);
    // Empty when the feed has none.
    static FeedValidators load(QSqlDatabase &db, int feed);
    // The statement that stores validators for feed, prepared and bound, for the
    // caller to run inside its own transaction.
    static void prepareStore(QSqlQuery &query, const QString &feed, const FeedValidators &values);
    static void remove(QSqlDatabase &db, int feed);
};
