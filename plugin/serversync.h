#pragma once

#include <QList>
#include <QObject>
#include <QSqlDatabase>
#include <QString>

class FeedSubscriptions;
class Protocol;
class ProtocolReader;
class ProtocolArg;

// Merges the server's answer to the feeds-and-settings request into the local
// settings and database: the server's answer wins for every feed and folder it
// names, and local feeds it does not name are deleted. What the client must
// hear of it goes out through the signals, in the order it happens.
class ServerSync : public QObject
{
    Q_OBJECT
public:
    ServerSync(QSqlDatabase *db, FeedSubscriptions *subscriptions, QObject *parent = nullptr);

    // databaseCreated: the local database is new with this start.
    void merge(const Protocol &reply, bool databaseCreated);

    // Checks the whole answer against its counts without touching anything.
    static bool isCompleteAnswer(const QList<ProtocolArg> &args);

signals:
    void optionsChanged();
    // The server has no layout yet: it takes the local one.
    void layoutWanted();
    void feedsRemoved(const QList<int> &ids);
    void feedShown(int id);
    void feedHidden(int id);

private:
    void mergeSettings(ProtocolReader &reader);
    bool mergeFeeds(ProtocolReader &reader, QList<int> *named);
    void removeUnnamedFeeds(const QList<int> &named);
    void showFeedsInClient();
    void mergeFolders(ProtocolReader &reader, bool removeUnnamed);
    // The local folder id that now stands for the server's folder.
    qint64 adoptFolder(qint64 folderId, const QString &title);

    QSqlDatabase *m_db;
    FeedSubscriptions *m_subscriptions;
};
