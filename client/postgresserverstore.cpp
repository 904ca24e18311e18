#include "postgresserverstore.h"

#include <QSet>
#include <QSqlQuery>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

// The schema this class creates and understands; kept in the table storeversion.
static const int StoreVersion = 1;

bool PostgresServerStore::open(const QString &address)
{
    close();
    m_error.clear();
    m_address = address;
    const QUrl url(address, QUrl::StrictMode);
    m_location = url.isValid() ? url.toDisplayString(QUrl::RemovePassword) : address;
    if (!url.isValid() || !isDatabaseAddress(address) || url.path().size() < 2) {
        return fail(tr("%1 is not a PostgreSQL address such as postgresql://USER@HOST:PORT/DBNAME.")
                        .arg(m_location));
    }
    // Without a time limit a host that swallows packets would hold the client forever.
    QString options = QStringLiteral("connect_timeout=%1").arg(ConnectTimeout);
    static const QSet<QString> sslModes
        = {QStringLiteral("disable"), QStringLiteral("allow"), QStringLiteral("prefer"),
            QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    for (const auto &[key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key != QLatin1String("sslmode") || !sslModes.contains(value)) {
            return fail(
                tr("The PostgreSQL address %1 has the option %2=%3; it understands "
                   "only sslmode (disable, allow, prefer, require, verify-ca, verify-full).")
                    .arg(m_location, key, value));
        }
        options += QStringLiteral(";sslmode=") + value;
    }

    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    if (!m_db.isValid()) {
        close();
        return fail(tr("The server store %1 needs Qt's PostgreSQL driver, which is not "
                       "installed (Debian package libqt6sql6-psql).")
                        .arg(m_location));
    }
    m_db.setHostName(url.host(QUrl::FullyDecoded));
    if (url.port() != -1)
        m_db.setPort(url.port());
    m_db.setUserName(url.userName(QUrl::FullyDecoded));
    m_db.setPassword(url.password(QUrl::FullyDecoded));
    m_db.setDatabaseName(url.path(QUrl::FullyDecoded).mid(1));
    m_db.setConnectOptions(options);
    if (!m_db.open()) {
        const QString reason = m_db.lastError().text().trimmed();
        close();
        return fail(tr("The server store %1 cannot be reached: %2").arg(m_location, reason));
    }
    // The schema statements below would otherwise print notices on the terminal.
    QSqlQuery(m_db).exec(QStringLiteral("set client_min_messages = warning"));
    if (!prepareSchema()) {
        close();
        return false;
    }
    return true;
}

bool PostgresServerStore::prepareSchema()
{
    QSqlQuery query(m_db);
    if (!run(query,
            QStringLiteral("select table_name from information_schema.tables "
                           "where table_schema = current_schema()"))) {
        return fail(
            tr("The server store %1 cannot be read: %2").arg(m_location, m_statementError.text()));
    }
    QSet<QString> tables;
    while (query.next())
        tables.insert(query.value(0).toString());
    if (tables.contains(QStringLiteral("storeversion"))) {
        if (run(query, QStringLiteral("select max(version) from storeversion")) && query.next()
            && query.value(0).toInt() == StoreVersion)
            return true;
        return fail(tr("The database %1 holds a server store of another version; it is left "
                       "as it is.")
                        .arg(m_location));
    }
    if (!tables.isEmpty()) {
        return fail(tr("The database %1 is not a pellix server store; it is left as it is.")
                        .arg(m_location));
    }
    query.finish();

    // Clients that meet an empty database together create the schema once: the
    // lock makes the others wait and then find the tables there.
    const QStringList schema = {
        QStringLiteral("select pg_advisory_xact_lock(7305190)"),
        QStringLiteral("create table if not exists users (\"user\" bigint primary key)"),
        QStringLiteral("create table if not exists settings (\"user\" bigint, field integer, "
                       "value integer, primary key (\"user\", field))"),
        QStringLiteral("create table if not exists feeds (\"user\" bigint, kind integer, "
                       "feedid integer, title text, source text, state integer, "
                       "seq bigserial, primary key (\"user\", kind, feedid))"),
        QStringLiteral("create table if not exists folders (\"user\" bigint, position integer, "
                       "folderid integer, title text, primary key (\"user\", position))"),
        QStringLiteral("create table if not exists folderfeeds (\"user\" bigint, folder integer, "
                       "position integer, kind integer, feedid integer, "
                       "primary key (\"user\", folder, position))"),
        QStringLiteral("create table if not exists storeversion (version integer not null)"),
        QStringLiteral("insert into storeversion (version) select %1 "
                       "where not exists (select 1 from storeversion)")
            .arg(StoreVersion),
    };
    if (!createSchema(schema)) {
        return fail(
            tr("The server store %1 cannot be created: %2").arg(m_location, m_error.trimmed()));
    }
    return true;
}

QString PostgresServerStore::beginStatement(bool write) const
{
    // Readers see one snapshot of a user's record; writers lock the user's row.
    return write ? QStringLiteral("begin")
                 : QStringLiteral("begin isolation level repeatable read read only");
}

QString PostgresServerStore::lockUserStatement() const
{
    return QStringLiteral("select \"user\" from users where \"user\" = :user for update");
}

bool PostgresServerStore::isTransient(const QSqlError &error) const
{
    // Serialisation failure, deadlock, a lock not granted, and the one key two
    // new users' first writes may both insert: the next attempt sees the winner.
    static const QSet<QString> codes = {QStringLiteral("40001"), QStringLiteral("40P01"),
        QStringLiteral("55P03"), QStringLiteral("23505")};
    return codes.contains(error.nativeErrorCode());
}
