#include "serverstore.h"
#include "core/rssprotocol.h"
#include "postgresserverstore.h"
#include "sqliteserverstore.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include <algorithm>
#include <atomic>

// Conflicts between writers are short: a few attempts with a growing, random
// pause let every one of them through.
static const int WriteAttempts = 12;

// The column is quoted everywhere: "user" is a reserved word in PostgreSQL.
#define USER_COLUMN "\"user\""

ServerStore::ServerStore()
{
    // Stores may be opened on several threads, each with its own connection.
    static std::atomic<int> instances{0};
    m_connection = QStringLiteral("pellix_server_store_%1").arg(++instances);
}

ServerStore::~ServerStore()
{
    close();
}

bool ServerStore::isDatabaseAddress(const QString &location)
{
    return location.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive)
        || location.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

std::unique_ptr<ServerStore> ServerStore::forLocation(const QString &location)
{
    if (isDatabaseAddress(location))
        return std::make_unique<PostgresServerStore>();
    return std::make_unique<SqliteServerStore>();
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

bool ServerStore::run(QSqlQuery &query) const
{
    if (query.exec())
        return true;
    m_statementError = query.lastError();
    return false;
}

bool ServerStore::run(QSqlQuery &query, const QString &statement) const
{
    if (query.exec(statement))
        return true;
    m_statementError = query.lastError();
    return false;
}

bool ServerStore::begin(bool write) const
{
    QSqlQuery query(m_db);
    return run(query, beginStatement(write));
}

bool ServerStore::end(bool commit) const
{
    QSqlQuery query(m_db);
    if (commit)
        return run(query, QStringLiteral("COMMIT"));
    query.exec(QStringLiteral("ROLLBACK"));
    return true;
}

bool ServerStore::write(const std::function<bool()> &work)
{
    if (!isOpen())
        return fail(tr("The server store is not open."));
    bool reconnected = false;
    for (int attempt = 1;; ++attempt) {
        m_error.clear();
        m_statementError = QSqlError();
        const bool begun = begin(true);
        if (begun && work() && end(true))
            return true;
        if (begun)
            end(false);
        // A message that cannot be read fails the same way every time.
        if (!m_error.isEmpty())
            return false;
        if (attempt == WriteAttempts || !isTransient(m_statementError)) {
            // A database server that restarted has dropped the connection: one
            // new connection, one more attempt.
            const QSqlError error = m_statementError;
            if (!reconnected && reconnect()) {
                reconnected = true;
                continue;
            }
            return fail(error.text());
        }
        QThread::msleep(QRandomGenerator::global()->bounded(1u, 5u * uint(attempt) + 2u));
    }
}

bool ServerStore::reconnect()
{
    if (m_reconnecting || m_address.isEmpty())
        return false;
    {
        QSqlQuery probe(m_db);
        if (probe.exec(QStringLiteral("select 1")))
            return false; // the connection works: the failure was the statement's own
    }
    m_reconnecting = true;
    const bool ok = open(m_address);
    m_reconnecting = false;
    return ok;
}

bool ServerStore::createSchema(const QStringList &statements)
{
    return write([&] {
        QSqlQuery query(m_db);
        for (const QString &statement : statements) {
            if (!run(query, statement))
                return false;
        }
        return true;
    });
}

bool ServerStore::lockUser(quint32 user)
{
    const QString statement = lockUserStatement();
    if (statement.isEmpty())
        return true;
    QSqlQuery query(m_db);
    query.prepare(statement);
    query.bindValue(QStringLiteral(":user"), qint64(user));
    return run(query);
}

bool ServerStore::hasUser(quint32 user) const
{
    QSqlQuery query(m_db);
    query.prepare(
        QStringLiteral("select " USER_COLUMN " from users where " USER_COLUMN " = :user"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    return run(query) && query.next();
}

QList<quint32> ServerStore::readUsers() const
{
    QList<quint32> users;
    QSqlQuery query(m_db);
    run(query, QStringLiteral("select " USER_COLUMN " from users order by " USER_COLUMN));
    while (query.next())
        users.append(quint32(query.value(0).toLongLong()));
    return users;
}

QList<quint32> ServerStore::users() const
{
    if (!isOpen() || !begin(false))
        return {};
    const QList<quint32> result = readUsers();
    end(true);
    return result;
}

bool ServerStore::addUser(quint32 user, const UserRecord &record)
{
    return write([&] {
        QSqlQuery query(m_db);
        // Two homes of a new user may meet the server at the same moment: the
        // first one's record stays, the second one finds the user known.
        query.prepare(QStringLiteral("insert into users (" USER_COLUMN ") values(:user) "
                                     "on conflict (" USER_COLUMN ") do nothing"));
        query.bindValue(QStringLiteral(":user"), qint64(user));
        if (!run(query))
            return false;
        if (query.numRowsAffected() == 0)
            return true;
        query.finish();
        return writeRecord(user, record);
    });
}

bool ServerStore::writeRecord(quint32 user, const UserRecord &record)
{
    for (auto it = record.settings.cbegin(); it != record.settings.cend(); ++it) {
        if (!writeSetting(user, it.key(), it.value()))
            return false;
    }
    QSqlQuery query(m_db);
    // A local database may name one feed twice; the server keeps it once.
    query.prepare(QStringLiteral(
        "insert into feeds (" USER_COLUMN ", kind, feedid, title, source, state) "
        "values(:user, :kind, :feedid, :title, :source, :state) "
        "on conflict (" USER_COLUMN ", kind, feedid) do update set "
        "title = coalesce(excluded.title, feeds.title), "
        "source = coalesce(nullif(excluded.source, ''), feeds.source), state = excluded.state"));
    for (const UserRecord::Feed &feed : record.feeds) {
        query.bindValue(QStringLiteral(":user"), qint64(user));
        query.bindValue(QStringLiteral(":kind"), feed.kind);
        query.bindValue(QStringLiteral(":feedid"), feed.id);
        // A feed that has no title yet keeps none, so that readers still show its address.
        query.bindValue(QStringLiteral(":title"),
            feed.title.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(feed.title));
        query.bindValue(
            QStringLiteral(":source"), feed.source.isNull() ? QStringLiteral("") : feed.source);
        query.bindValue(QStringLiteral(":state"), feed.state);
        if (!run(query))
            return false;
    }
    return record.folders.isEmpty() || writeFolders(user, record.folders);
}

bool ServerStore::removeUser(quint32 user)
{
    const QString where = QStringLiteral(" where " USER_COLUMN " = ") + QString::number(user);
    QSqlQuery query(m_db);
    for (const char *table : {"settings", "feeds", "folders", "folderfeeds", "users"}) {
        if (!run(query, QStringLiteral("delete from ") + QLatin1String(table) + where))
            return false;
    }
    return true;
}

UserRecord ServerStore::record(quint32 user, bool *ok) const
{
    m_statementError = QSqlError();
    // One snapshot: a writer that commits meanwhile shows up completely or not at all.
    const bool begun = isOpen() && begin(false);
    const UserRecord result = begun ? readRecord(user) : UserRecord();
    const bool read = begun && !m_statementError.isValid();
    if (begun)
        end(true);
    if (!read) {
        m_error = isOpen()
            ? tr("The server store %1 cannot be read: %2").arg(m_location, m_statementError.text())
            : tr("The server store is not open.");
    }
    if (ok)
        *ok = read;
    return read ? result : UserRecord();
}

UserRecord ServerStore::readRecord(quint32 user) const
{
    UserRecord record;
    const QString who = QString::number(user);
    QSqlQuery query(m_db);
    run(query,
        QStringLiteral("select field, value from settings where " USER_COLUMN " = ") + who
            + QStringLiteral(" order by field"));
    while (query.next())
        record.settings.insert(query.value(0).toInt(), query.value(1).toInt());

    run(query,
        QStringLiteral(
            "select kind, feedid, title, source, state from feeds where " USER_COLUMN " = ")
            + who + QStringLiteral(" order by ") + feedOrder());
    while (query.next()) {
        UserRecord::Feed feed;
        feed.kind = query.value(0).toInt();
        feed.id = query.value(1).toInt();
        feed.title = query.value(2).toString();
        feed.source = query.value(3).toString();
        feed.state = query.value(4).toInt();
        record.feeds.append(feed);
    }

    // All references at once, in folder order: one statement however many folders.
    run(query,
        QStringLiteral("select position, folderid, title from folders where " USER_COLUMN " = ")
            + who + QStringLiteral(" order by position"));
    QList<int> positions;
    while (query.next()) {
        positions.append(query.value(0).toInt());
        UserRecord::Folder folder;
        folder.id = query.value(1).toInt();
        folder.title = query.value(2).toString();
        record.folders.append(folder);
    }
    run(query,
        QStringLiteral("select folder, kind, feedid from folderfeeds where " USER_COLUMN " = ")
            + who + QStringLiteral(" order by folder, position"));
    while (query.next()) {
        const qsizetype index = positions.indexOf(query.value(0).toInt());
        if (index >= 0)
            record.folders[index].feeds.append({query.value(1).toInt(), query.value(2).toInt()});
    }
    return record;
}

bool ServerStore::writeSetting(quint32 user, int field, int value)
{
    QSqlQuery query(m_db);
    query.prepare(QStringLiteral(
        "insert into settings (" USER_COLUMN ", field, value) values(:user, :field, :value) "
        "on conflict (" USER_COLUMN ", field) do update set value = excluded.value"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":field"), field);
    query.bindValue(QStringLiteral(":value"), value);
    return run(query);
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
        "where " USER_COLUMN " = :user and kind = :kind and feedid = :feedid"));
    query.bindValue(QStringLiteral(":title"), textOrNull(feed.title));
    query.bindValue(
        QStringLiteral(":source"), feed.source.isEmpty() ? textOrNull(QString()) : feed.source);
    query.bindValue(QStringLiteral(":state"), feed.state);
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":kind"), feed.kind);
    query.bindValue(QStringLiteral(":feedid"), feed.id);
    if (!run(query))
        return false;
    if (query.numRowsAffected() > 0)
        return true;
    query.prepare(
        QStringLiteral("insert into feeds (" USER_COLUMN ", kind, feedid, title, source, state) "
                       "values(:user, :kind, :feedid, :title, :source, :state)"));
    query.bindValue(QStringLiteral(":user"), qint64(user));
    query.bindValue(QStringLiteral(":kind"), feed.kind);
    query.bindValue(QStringLiteral(":feedid"), feed.id);
    query.bindValue(QStringLiteral(":title"), textOrNull(feed.title));
    query.bindValue(
        QStringLiteral(":source"), feed.source.isNull() ? QStringLiteral("") : feed.source);
    query.bindValue(QStringLiteral(":state"), feed.state);
    return run(query);
}

bool ServerStore::writeFolders(quint32 user, const QList<UserRecord::Folder> &folders)
{
    const QString who = QString::number(user);
    QSqlQuery query(m_db);
    if (!run(query, QStringLiteral("delete from folders where " USER_COLUMN " = ") + who)
        || !run(query, QStringLiteral("delete from folderfeeds where " USER_COLUMN " = ") + who))
        return false;
    // Prepared once each: a layout of a hundred feeds is a hundred executions, not
    // a hundred preparations.
    QSqlQuery folderRow(m_db);
    folderRow.prepare(
        QStringLiteral("insert into folders (" USER_COLUMN ", position, folderid, title) "
                       "values(:user, :position, :folderid, :title)"));
    QSqlQuery feedRow(m_db);
    feedRow.prepare(
        QStringLiteral("insert into folderfeeds (" USER_COLUMN ", folder, position, kind, feedid) "
                       "values(:user, :folder, :position, :kind, :feedid)"));
    for (int position = 0; position < folders.size(); ++position) {
        const UserRecord::Folder &folder = folders.at(position);
        folderRow.bindValue(QStringLiteral(":user"), qint64(user));
        folderRow.bindValue(QStringLiteral(":position"), position);
        folderRow.bindValue(QStringLiteral(":folderid"), folder.id);
        folderRow.bindValue(
            QStringLiteral(":title"), folder.title.isNull() ? QStringLiteral("") : folder.title);
        if (!run(folderRow))
            return false;
        for (int i = 0; i < folder.feeds.size(); ++i) {
            feedRow.bindValue(QStringLiteral(":user"), qint64(user));
            feedRow.bindValue(QStringLiteral(":folder"), position);
            feedRow.bindValue(QStringLiteral(":position"), i);
            feedRow.bindValue(QStringLiteral(":kind"), folder.feeds.at(i).first);
            feedRow.bindValue(QStringLiteral(":feedid"), folder.feeds.at(i).second);
            if (!run(feedRow))
                return false;
        }
    }
    return true;
}

bool ServerStore::apply(quint32 user, const Protocol &message, const FeedLookup &lookup)
{
    return write([&] {
        // Writers of one user take turns; other users are not held up.
        if (!lockUser(user))
            return false;
        // Changes for a user the server has no record of are not kept: the next
        // synchronisation adopts that user's whole local state instead, and a record
        // holding only these changes would make the answer drop everything else.
        if (!hasUser(user))
            return fail(tr("The server has no record of user %1 yet.").arg(user));
        switch (message.command()) {
        case ClientMessage::SettingChanged:
            return applySettings(user, message);
        case ClientMessage::FeedSubscribed:
        case ClientMessage::FeedChanged:
            return applyFeed(user, message, lookup);
        case ClientMessage::FeedUnsubscribed:
            return applyUnsubscribed(user, message);
        case ClientMessage::FoldersChanged:
            return applyFolders(user, message);
        default:
            return fail(tr("The server does not keep message %1.").arg(message.command()));
        }
    });
}

bool ServerStore::copy(const QString &from, const QString &to, int *copied, QString *error)
{
    *copied = 0;
    // A file the copy creates goes again when the copy fails: nothing is left behind.
    const bool newFile = !isDatabaseAddress(to) && !QFileInfo::exists(to);
    if (copyInto(from, to, copied, error))
        return true;
    if (newFile) {
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(to + QLatin1String(suffix));
    }
    return false;
}

bool ServerStore::copyInto(const QString &from, const QString &to, int *copied, QString *error)
{
    // Opening creates an empty store: a mistyped source must not pass for one.
    if (!isDatabaseAddress(from) && !QFileInfo(from).isFile()) {
        *error = tr("The server store %1 does not exist.").arg(from);
        return false;
    }
    const std::unique_ptr<ServerStore> source = forLocation(from);
    const std::unique_ptr<ServerStore> target = forLocation(to);
    if (!source->open(from)) {
        *error = source->errorString();
        return false;
    }
    if (!target->open(to)) {
        *error = target->errorString();
        return false;
    }
    QList<QPair<quint32, UserRecord>> records;
    if (!source->begin(false)) {
        *error = source->m_statementError.text();
        return false;
    }
    for (const quint32 user : source->readUsers())
        records.append({user, source->readRecord(user)});
    const bool read = !source->m_statementError.isValid();
    source->end(true);
    if (!read) {
        *error = tr("The server store %1 cannot be read: %2")
                     .arg(source->location(), source->m_statementError.text());
        return false;
    }
    const bool written = target->write([&] {
        // Ascending users: the same order as any other writer that holds several.
        for (const auto &[user, record] : std::as_const(records)) {
            if (!target->lockUser(user) || !target->removeUser(user))
                return false;
            QSqlQuery query(target->m_db);
            query.prepare(QStringLiteral("insert into users (" USER_COLUMN ") values(:user)"));
            query.bindValue(QStringLiteral(":user"), qint64(user));
            if (!target->run(query) || !target->writeRecord(user, record))
                return false;
        }
        return true;
    });
    if (!written) {
        *error = tr("The server store %1 cannot be written: %2")
                     .arg(target->location(), target->errorString());
        return false;
    }
    *copied = int(records.size());
    return true;
}

bool ServerStore::applySettings(quint32 user, const Protocol &message)
{
    QList<QPair<int, int>> values;
    if (!StoreMessages::readSettings(message, &values))
        return fail(tr("The setting message ends before its settings do."));
    for (const auto &value : values) {
        if (!writeSetting(user, value.first, value.second))
            return false;
    }
    return true;
}

bool ServerStore::applyFeed(quint32 user, const Protocol &message, const FeedLookup &lookup)
{
    UserRecord::Feed feed;
    if (!StoreMessages::readFeed(message, lookup, &feed))
        return fail(tr("The feed message ends before its fields do."));
    return writeFeed(user, feed);
}

bool ServerStore::applyUnsubscribed(quint32 user, const Protocol &message)
{
    int kind = 0;
    int id = 0;
    if (!StoreMessages::readUnsubscribed(message, &kind, &id))
        return fail(tr("The feed message ends before its fields do."));
    QSqlQuery query(m_db);
    const QString where = QStringLiteral(" where " USER_COLUMN " = ") + QString::number(user)
        + QStringLiteral(" and kind = ") + QString::number(kind) + QStringLiteral(" and feedid = ")
        + QString::number(id);
    return run(query, QStringLiteral("delete from feeds") + where)
        && run(query, QStringLiteral("delete from folderfeeds") + where);
}

bool ServerStore::applyFolders(quint32 user, const Protocol &message)
{
    QList<UserRecord::Folder> folders;
    if (!StoreMessages::readFolders(message, &folders))
        return fail(tr("The folder message ends before its folders do."));
    return writeFolders(user, folders);
}
