#pragma once

#include "userrecord.h"

#include "host/protocol.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// The news module's messages as the server store sees them: the changes a
// client reports (SettingChanged, FeedSubscribed, FeedChanged, FeedUnsubscribed,
// FoldersChanged), read into parts of a user's record, and a whole record
// written as the answer to the feeds-and-settings request. A reader returns
// false when the message ends before its fields do.
class StoreMessages
{
public:
    // Finds title and address of a catalogue feed the messages name only by id.
    using FeedLookup = std::function<bool(int catalogueId, QString *title, QString *source)>;

    // (field, value) of every setting the server keeps; others are passed over.
    static bool readSettings(const Protocol &message, QList<QPair<int, int>> *values);
    // A subscription or a change; a catalogue feed gets its address (and, when
    // subscribed, its title) from the lookup.
    static bool readFeed(const Protocol &message, const FeedLookup &lookup, UserRecord::Feed *feed);
    static bool readUnsubscribed(const Protocol &message, int *kind, int *id);
    static bool readFolders(const Protocol &message, QList<UserRecord::Folder> *folders);

    // Settings, feeds, folders. A user with neither feeds nor folders gets one
    // untitled folder.
    static Protocol answer(const UserRecord &record);
};
