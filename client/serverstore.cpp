#include "serverstore.h"
#include "core/rssprotocol.h"
#include "fieldreader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Files this class created carry this number, so that a foreign database is never taken for one.
static const int StoreVersion = 1;

ServerStore::ServerStore()
{
    static int instances = 0;
    m_connection = QStringLiteral("pellix_server_store_%1").arg(++instances);
}

ServerStore::~ServerStore()
{
    close();
}

void ServerStore::close()
{
    if (!m_db.isValid())
        return;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

bool ServerStore::fail(const QString &what)
{
    m_error = what;
    return false;
}

bool ServerStore::open(const QString &file)
{
    close();
    m_error.clear();
    m_file = file;
    const QFileInfo info(file);
    if (info.exists() && !info.isFile())
        return fail(tr("The server store %1 is not a file.").arg(file));
    if (!info.exists() && !QDir().mkpath(info.absolutePath()))
        return fail(tr("The folder of the server store %1 cannot be created.").arg(file));

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(file);
    // Two clients may share one store; let one wait briefly for the other's write.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open()) {
        const QString reason = m_db.lastError().text();
        close();
        return fail(tr("The server store %1 cannot be opened: %2").arg(file, reason));
    }

    QSqlQuery query(m_db);
    // SQLite opens lazily: a file that is not a database fails only at the first read.
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        const QString reason = query.lastError().text();
        close();
        return fail(tr("The server store %1 cannot be read: %2").arg(file, reason));
    }
    const int version = query.value(0).toInt();
    query.finish();
    if (version != StoreVersion && (version != 0 || !m_db.tables(QSql::Tables).isEmpty())) {
        close();
        return fail(tr("The file %1 is not a pellix server store; it is left as it is.").arg(file));
    }
    // Every plug-in message is one small write: a journal that does not sync on
    // each commit keeps a subscription run from waiting on the disk.
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    if (version == StoreVersion)
        return true;

    const QStringList schema = {
        QStringLiteral("CREATE TABLE users (user INTEGER PRIMARY KEY)"),
        QStringLiteral("CREATE TABLE settings (user INTEGER, field INTEGER, value INTEGER, "
                       "PRIMARY KEY(user, field))"),
        QStringLiteral(
            "CREATE TABLE feeds (user INTEGER, kind INTEGER, feedid INTEGER, title TEXT, "
            "source TEXT, state INTEGER, PRIMARY KEY(user, kind, feedid))"),
        QStringLiteral("CREATE TABLE folders (user INTEGER, position INTEGER, folderid INTEGER, "
                       "title TEXT, PRIMARY KEY(user, position))"),
        QStringLiteral("CREATE TABLE folderfeeds (user INTEGER, folder INTEGER, position INTEGER, "
                       "kind INTEGER, feedid INTEGER, PRIMARY KEY(user, folder, position))"),
        QStringLiteral("PRAGMA user_version = %1").arg(StoreVersion),
    };
    m_db.transaction();
    for (const QString &statement : schema) {
        if (!query.exec(statement)) {
            const QString reason = query.lastError().text();
            m_db.rollback();
            close();
            return fail(tr("The server store %1 cannot be created: %2").arg(file, reason));
        }
    }
    if (!m_db.commit()) {
        const QString reason = m_db.lastError().text();
        close();
        return fail(tr("The server store %1 cannot be created: %2").arg(file, reason));
    }
    return true;
}

bool ServerStore::hasUser(quint32 user) const
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("select user from users where user = :user"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    return query.exec() && query.next();
}

bool ServerStore::addUser(quint32 user, const UserRecord &record)
{
    if (!isOpen())
        return fail(tr("The server store is not open."));
    if (hasUser(user))
        return true;
    m_db.transaction();
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral("insert into users (user) values(:user)"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    bool ok = query.exec();
    for (auto it = record.settings.cbegin(); ok && it != record.settings.cend(); ++it)
        ok = writeSetting(user, it.key(), it.value());
    for (const UserRecord::Feed &feed : record.feeds) {
        if (ok)
            ok = writeFeed(user, feed);
    }
    if (ok && !record.folders.isEmpty())
        ok = writeFolders(user, record.folders);
    if (!ok) {
        m_error = query.lastError().text();
        m_db.rollback();
        return false;
    }
    return m_db.commit();
}

UserRecord ServerStore::record(quint32 user) const
{
    UserRecord record;
    const QString who = QString::number(user);
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("select field, value from settings where user = ") + who
        + QStringLiteral(" order by field"));
    while (query.next())
        record.settings.insert(query.value(0).toInt(), query.value(1).toInt());

    query.exec(QStringLiteral("select kind, feedid, title, source, state from feeds where user = ")
        + who + QStringLiteral(" order by rowid"));
    while (query.next()) {
        UserRecord::Feed feed;
        feed.kind = query.value(0).toInt();
        feed.id = query.value(1).toInt();
        feed.title = query.value(2).toString();
        feed.source = query.value(3).toString();
        feed.state = query.value(4).toInt();
        record.feeds.append(feed);
    }

    query.exec(QStringLiteral("select position, folderid, title from folders where user = ") + who
        + QStringLiteral(" order by position"));
    QList<int> positions;
    while (query.next()) {
        positions.append(query.value(0).toInt());
        UserRecord::Folder folder;
        folder.id = query.value(1).toInt();
        folder.title = query.value(2).toString();
        record.folders.append(folder);
    }
    for (int i = 0; i < positions.size(); ++i) {
        query.exec(QStringLiteral("select kind, feedid from folderfeeds where user = ") + who
            + QStringLiteral(" and folder = ") + QString::number(positions.at(i))
            + QStringLiteral(" order by position"));
        while (query.next())
            record.folders[i].feeds.append({query.value(0).toInt(), query.value(1).toInt()});
    }
    return record;
}

bool ServerStore::writeSetting(quint32 user, int field, int value)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "insert or replace into settings (user, field, value) values(:user, :field, :value)"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":field"), field);
    query.bindValue(QStringLiteral(":value"), value);
    return query.exec();
}

static QVariant textOrNull(const QString &text)
{
    return text.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

bool ServerStore::writeFeed(quint32 user, const UserRecord::Feed &feed)
{
    QSqlQuery query(m_db);
    // An update keeps the record's place in the answer; an address or title the
    // message does not carry stays as it was.
    query.prepare(QStringLiteral(
        "update feeds set title = coalesce(:title, title), source = coalesce(:source, source), "
        "state = :state "
        "where user = :user and kind = :kind and feedid = :feedid"));
    query.bindValue(QStringLiteral(":title"), textOrNull(feed.title));
    query.bindValue(
        QStringLiteral(":source"), feed.source.isEmpty() ? textOrNull(QString()) : feed.source);
    query.bindValue(QStringLiteral(":state"), feed.state);
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":kind"), feed.kind);
    query.bindValue(QStringLiteral(":feedid"), feed.id);
    if (!query.exec())
        return false;
    if (query.numRowsAffected() > 0)
        return true;
    query.prepare(QStringLiteral("insert into feeds (user, kind, feedid, title, source, state) "
                                 "values(:user, :kind, :feedid, :title, :source, :state)"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":kind"), feed.kind);
    query.bindValue(QStringLiteral(":feedid"), feed.id);
    // A feed that has no title yet keeps none, so that readers still show its address.
    query.bindValue(QStringLiteral(":title"), textOrNull(feed.title));
    query.bindValue(
        QStringLiteral(":source"), feed.source.isNull() ? QStringLiteral("") : feed.source);
    query.bindValue(QStringLiteral(":state"), feed.state);
    return query.exec();
}

bool ServerStore::writeFolders(quint32 user, const QList<UserRecord::Folder> &folders)
{
    const QString who = QString::number(user);
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("delete from folders where user = ") + who)
        || !query.exec(QStringLiteral("delete from folderfeeds where user = ") + who))
        return false;
    for (int position = 0; position < folders.size(); ++position) {
        const UserRecord::Folder &folder = folders.at(position);
        query.prepare(QStringLiteral("insert into folders (user, position, folderid, title) "
                                     "values(:user, :position, :folderid, :title)"));
        query.bindValue(QStringLiteral(":user"), qint64(user));
        query.bindValue(QStringLiteral(":position"), position);
        query.bindValue(QStringLiteral(":folderid"), folder.id);
        query.bindValue(
            QStringLiteral(":title"), folder.title.isNull() ? QStringLiteral("") : folder.title);
        if (!query.exec())
            return false;
        for (int i = 0; i < folder.feeds.size(); ++i) {
            query.prepare(
                QStringLiteral("insert into folderfeeds (user, folder, position, kind, feedid) "
                               "values(:user, :folder, :position, :kind, :feedid)"));
            query.bindValue(QStringLiteral(":user"), qint64(user));
            query.bindValue(QStringLiteral(":folder"), position);
            query.bindValue(QStringLiteral(":position"), i);
            query.bindValue(QStringLiteral(":kind"), folder.feeds.at(i).first);
            query.bindValue(QStringLiteral(":feedid"), folder.feeds.at(i).second);
            if (!query.exec())
                return false;
        }
    }
    return true;
}

bool ServerStore::apply(quint32 user, const Protocol &message, const FeedLookup &lookup)
{
    if (!isOpen())
        return fail(tr("The server store is not open."));
    // Changes for a user the server has no record of are not kept: the next
    // synchronisation adopts that user's whole local state instead, and a record
    // holding only these changes would make the answer drop everything else.
    if (!hasUser(user))
        return fail(tr("The server has no record of user %1 yet.").arg(user));
    m_db.transaction();
    bool ok = false;
    switch (message.command()) {
    case ClientMessage::SettingChanged:
        ok = applySettings(user, message);
        break;
    case ClientMessage::FeedSubscribed:
    case ClientMessage::FeedChanged:
        ok = applyFeed(user, message, lookup);
        break;
    case ClientMessage::FeedUnsubscribed:
        ok = applyUnsubscribed(user, message);
        break;
    case ClientMessage::FoldersChanged:
        ok = applyFolders(user, message);
        break;
    default:
        m_error = tr("The server does not keep message %1.").arg(message.command());
        break;
    }
    if (!ok) {
        if (m_error.isEmpty())
            m_error = m_db.lastError().text();
        m_db.rollback();
        return false;
    }
    return m_db.commit();
}

bool ServerStore::applySettings(quint32 user, const Protocol &message)
{
    FieldReader reader(message);
    const qint64 count = reader.nextInt();
    QList<QPair<int, int>> values;
    for (qint64 i = 0; reader.ok() && i < count; ++i) {
        const qint64 field = reader.peekField();
        const qint64 value = reader.nextInt();
        if (field >= ProtocolField::UpdateInterval && field <= ProtocolField::MaxItemsInViewer)
            values.append({int(field), int(value)});
    }
    if (!reader.ok())
        return fail(tr("The setting message ends before its settings do."));
    for (const auto &value : values) {
        if (!writeSetting(user, value.first, value.second))
            return false;
    }
    return true;
}

bool ServerStore::applyFeed(quint32 user, const Protocol &message, const FeedLookup &lookup)
{
    FieldReader reader(message);
    UserRecord::Feed feed;
    const bool changed = message.command() == ClientMessage::FeedChanged;
    QString title;
    if (changed)
        title = reader.nextString();
    feed.kind = int(reader.nextInt());
    feed.id = int(reader.nextInt());
    if (feed.kind != 1) {
        feed.kind = 2;
        if (!changed)
            title = reader.nextString();
        feed.source = reader.nextString();
    }
    feed.state = int(reader.nextInt());
    if (!reader.ok())
        return fail(tr("The feed message ends before its fields do."));
    feed.title = title;
    if (feed.kind == 1 && lookup) {
        QString catalogueTitle;
        QString source;
        if (lookup(feed.id, &catalogueTitle, &source)) {
            feed.source = source;
            // A subscription carries no title of its own; a change always does.
            if (!changed)
                feed.title = catalogueTitle;
        }
    }
    return writeFeed(user, feed);
}

bool ServerStore::applyUnsubscribed(quint32 user, const Protocol &message)
{
    FieldReader reader(message);
    const int kind = reader.nextInt() == 1 ? 1 : 2;
    const int id = int(reader.nextInt());
    if (!reader.ok())
        return fail(tr("The feed message ends before its fields do."));
    QSqlQuery query(m_db);
    const QString where = QStringLiteral(" where user = ") + QString::number(user)
        + QStringLiteral(" and kind = ") + QString::number(kind) + QStringLiteral(" and feedid = ")
        + QString::number(id);
    return query.exec(QStringLiteral("delete from feeds") + where)
        && query.exec(QStringLiteral("delete from folderfeeds") + where);
}

bool ServerStore::applyFolders(quint32 user, const Protocol &message)
{
    FieldReader reader(message);
    QList<UserRecord::Folder> folders;
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
        folders.append(folder);
    }
    if (!reader.ok())
        return fail(tr("The folder message ends before its folders do."));
    return writeFolders(user, folders);
}

Protocol ServerStore::answer(const UserRecord &record)
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
