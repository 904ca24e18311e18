#include "sqliteserverstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

// Files this class created carry this number, so that a foreign database is never taken for one.
static const int StoreVersion = 1;

bool SqliteServerStore::open(const QString &file)
{
    close();
    m_error.clear();
    m_address = file;
    m_location = file;
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
    if (!createSchema(schema)) {
        const QString reason = m_error;
        close();
        return fail(tr("The server store %1 cannot be created: %2").arg(file, reason));
    }
    return true;
}

QString SqliteServerStore::beginStatement(bool write) const
{
    // A writer takes the file's write lock at once: one that started as a reader
    // could not wait for another writer, only fail.
    return write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN");
}

bool SqliteServerStore::isTransient(const QSqlError &error) const
{
    // SQLITE_BUSY and SQLITE_LOCKED: another client held the file longer than the wait.
    return error.nativeErrorCode() == QLatin1String("5")
        || error.nativeErrorCode() == QLatin1String("6");
}
