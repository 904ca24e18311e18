#include "storemessages.h"
#include "fieldreader.h"

#include "core/rssprotocol.h"

bool StoreMessages::readSettings(const Protocol &message, QList<QPair<int, int>> *values)
{
    FieldReader reader(message);
    const qint64 count = reader.nextInt();
    for (qint64 i = 0; reader.ok() && i < count; ++i) {
        const qint64 field = reader.peekField();
        const qint64 value = reader.nextInt();
        if (field >= ProtocolField::UpdateInterval && field <= ProtocolField::MaxItemsInViewer)
            values->append({int(field), int(value)});
    }
    return reader.ok();
}

bool StoreMessages::readFeed(
    const Protocol &message, const FeedLookup &lookup, UserRecord::Feed *feed)
{
    FieldReader reader(message);
    const bool changed = message.command() == ClientMessage::FeedChanged;
    QString title;
    if (changed)
        title = reader.nextString();
    feed->kind = int(reader.nextInt());
    feed->id = int(reader.nextInt());
    if (feed->kind != 1) {
        feed->kind = 2;
        if (!changed)
            title = reader.nextString();
        feed->source = reader.nextString();
    }
    feed->state = int(reader.nextInt());
    if (!reader.ok())
        return false;
    feed->title = title;
    if (feed->kind == 1 && lookup) {
        QString catalogueTitle;
        QString source;
        if (lookup(feed->id, &catalogueTitle, &source)) {
            feed->source = source;
            // A subscription carries no title of its own; a change always does.
            if (!changed)
                feed->title = catalogueTitle;
        }
    }
    return true;
}

bool StoreMessages::readUnsubscribed(const Protocol &message, int *kind, int *id)
{
    FieldReader reader(message);
    *kind = reader.nextInt() == 1 ? 1 : 2;
    *id = int(reader.nextInt());
    return reader.ok();
}

bool StoreMessages::readFolders(const Protocol &message, QList<UserRecord::Folder> *folders)
{
    FieldReader reader(message);
    const qint64 count = reader.nextInt();
    for (qint64 i = 0; reader.ok() && i < count; ++i) {
        UserRecord::Folder folder;
        folder.id = int(reader.nextInt());
        folder.title = reader.nextString();
        const qint64 feeds = reader.nextInt();
        for (qint64 j = 0; reader.ok() && j < feeds; ++j) {
            const int kind = reader.nextInt() == 1 ? 1 : 2;
            folder.feeds.append({kind, int(reader.nextInt())});
        }
        folders->append(folder);
    }
    return reader.ok();
}

Protocol StoreMessages::answer(const UserRecord &record)
{
    Protocol answer(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest);

    answer.add(ProtocolField::SettingCount, ProtocolArg::UInt16, uint(record.settings.size()));
    for (auto it = record.settings.cbegin(); it != record.settings.cend(); ++it) {
        const auto type = it.key() == int(ProtocolField::NewItemsOnly) ? ProtocolArg::UInt8
                                                                       : ProtocolArg::UInt16;
        answer.add(quint32(it.key()), type, it.value());
    }

    // A catalogue feed whose address the server never learnt cannot be named:
    // the reader would overwrite the local address with an empty one.
    QList<UserRecord::Feed> feeds;
    for (const UserRecord::Feed &feed : record.feeds) {
        if (!feed.source.isEmpty())
            feeds.append(feed);
    }
    answer.add(ProtocolField::Plain, ProtocolArg::UInt16, uint(feeds.size()));
    for (const UserRecord::Feed &feed : feeds) {
        answer.add(ProtocolField::FeedKind, ProtocolArg::UInt16, feed.kind);
        answer.add(feed.kind == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId,
            ProtocolArg::UInt32, feed.id);
        answer.add(ProtocolField::FeedTitle, ProtocolArg::Bytes, feed.title.toUtf8());
        answer.add(ProtocolField::FeedSource, ProtocolArg::String, feed.source, 1);
        answer.add(ProtocolField::FeedState, ProtocolArg::UInt32, feed.state);
    }

    if (record.folders.isEmpty() && record.feeds.isEmpty()) {
        // Nothing known yet: one untitled folder asks the reader for its layout.
        answer.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 1);
        answer.add(ProtocolField::FolderId, ProtocolArg::UInt16, 1);
        answer.add(ProtocolField::FolderTitle, ProtocolArg::Bytes, QByteArray(""));
        answer.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 0);
        return answer;
    }
    answer.add(ProtocolField::FolderCount, ProtocolArg::UInt16, uint(record.folders.size()));
    for (const UserRecord::Folder &folder : record.folders) {
        answer.add(ProtocolField::FolderId, ProtocolArg::UInt16, folder.id);
        answer.add(ProtocolField::FolderTitle, ProtocolArg::Bytes, folder.title.toUtf8());
        answer.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, uint(folder.feeds.size()));
        for (const auto &ref : folder.feeds) {
            answer.add(ProtocolField::FeedKind, ProtocolArg::UInt16, ref.first);
            answer.add(ref.first == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId,
                ProtocolArg::UInt32, ref.second);
        }
    }
    return answer;
}
