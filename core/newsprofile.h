#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// What the client reads of a user's feed database, on a connection of its own:
// the headlines of its news display and the subscriptions a server takes over.
// The statements live here, beside the schema, so that the client never names
// the plug-in's tables itself.
namespace NewsProfile {

struct Folder
{
    int id = 0;
    QString title;
};

struct Feed
{
    int id = 0;
    qint64 farmid = 0;
    // The title, or the address while the feed has none.
    QString title;
    QString source;
    int folderId = 0;
    bool subscribed = false; // toload
    bool inClient = false;
};

struct Headline
{
    int itemId = 0;
    QString title;
    bool read = false;
    QString pubdate;
    QString link;
};

// Folders and feeds in the order of their ids; false when the database cannot be
// read, errorString tells why.
bool folders(QSqlDatabase &db, QList<Folder> *folders, QString *errorString = nullptr);
bool feeds(QSqlDatabase &db, QList<Feed> *feeds, QString *errorString = nullptr);
// The farm ids of a folder's feeds, in the order of their ids.
bool folderFarmIds(
    QSqlDatabase &db, int folderId, QList<qint64> *farmids, QString *errorString = nullptr);
// The feeds shown in the client's news display, with the address for a missing title.
QList<Feed> feedsInClient(QSqlDatabase &db);
// Whether any of the feeds is shown in the client's news display.
bool showsAnyInClient(QSqlDatabase &db, const QList<qint64> &feedIds);
// A feed's newest items that are not cleared, at most limit of them.
QList<Headline> headlines(QSqlDatabase &db, int feedId, int limit, bool unreadOnly);
// Title and address of the feed with that catalogue id.
bool catalogueFeed(QSqlDatabase &db, int catalogueId, QString *title, QString *source);

// Marks one item read; false when there is no such item or the database refused.
bool markRead(QSqlDatabase &db, int feedId, int itemId);

} // namespace NewsProfile
