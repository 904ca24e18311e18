#pragma once

#include "userrecord.h"
#include <QCoreApplication>

#include "host/protocol.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>

// The server's copy of every user's settings, feeds and folder layout, kept in
// a SQLite file that several client homes may share.
class ServerStore
{
    Q_DECLARE_TR_FUNCTIONS(ServerStore)

public:
    // Finds title and address of a catalogue feed the messages name only by id.
    using FeedLookup = std::function<bool(int catalogueId, QString *title, QString *source)>;

    ServerStore();
    ~ServerStore();
    ServerStore(const ServerStore &) = delete;
    ServerStore &operator=(const ServerStore &) = delete;

    // Opens or creates the store. A file that is not a store (not SQLite, or
    // another program's database) is refused and left untouched.
    bool open(const QString &file);
    void close();
    bool isOpen() const { return m_db.isOpen(); }
    QString errorString() const { return m_error; }
    QString fileName() const { return m_file; }

    bool hasUser(quint32 user) const;
    // Records a user the server has not seen, with what it is given (possibly
    // nothing). Does nothing for a known user.
    bool addUser(quint32 user, const UserRecord &record = UserRecord());
    UserRecord record(quint32 user) const;

    // Applies SettingChanged, FeedSubscribed, FeedUnsubscribed, FeedChanged and
    // FoldersChanged for a known user. A message that ends before its fields do
    // changes nothing.
    bool apply(quint32 user, const Protocol &message, const FeedLookup &lookup = {});

    // The answer to the feeds-and-settings request: settings, feeds, folders.
    // A user with neither feeds nor folders gets one untitled folder.
    static Protocol answer(const UserRecord &record);

private:
    bool applySettings(quint32 user, const Protocol &message);
    bool applyFeed(quint32 user, const Protocol &message, const FeedLookup &lookup);
    bool applyUnsubscribed(quint32 user, const Protocol &message);
    bool applyFolders(quint32 user, const Protocol &message);
    bool writeFeed(quint32 user, const UserRecord::Feed &feed);
    bool writeFolders(quint32 user, const QList<UserRecord::Folder> &folders);
    bool writeSetting(quint32 user, int field, int value);
    bool fail(const QString &what);

    QString m_connection;
    QString m_file;
    QSqlDatabase m_db;
    QString m_error;
};
