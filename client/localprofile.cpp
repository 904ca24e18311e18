#include "localprofile.h"
#include "protocolfields.h"

#include "host/pdir.h"
#include "plugin/rsssettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <functional>

LocalProfile::LocalProfile(const QString &databaseFile, const QString &settingsFile)
    : m_databaseFile(databaseFile), m_settingsFile(settingsFile)
{
}

LocalProfile LocalProfile::ofUser(quint32 user)
{
    const QString name = QString::number(user);
    return LocalProfile(QDir(PDir::profilesPath(false)).filePath(name + QStringLiteral(".rssdb")),
        QDir(PDir::settingsPath(false)).filePath(name + QStringLiteral(".ini")));
}

bool LocalProfile::exists() const
{
    return QFileInfo(m_databaseFile).isFile();
}

// Runs work on a read-only connection of its own, never the plug-in's.
static bool withDatabase(
    const QString &file, QString *errorString, const std::function<bool(QSqlDatabase &)> &work)
{
    static int connections = 0;
    const QString name = QStringLiteral("pellix_client_profile_%1").arg(++connections);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open()) {
            ok = work(db);
            if (!ok && errorString && errorString->isEmpty())
                *errorString = db.lastError().text();
            db.close();
        } else if (errorString) {
            *errorString = db.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

bool LocalProfile::read(UserRecord *record, QString *errorString) const
{
    *record = UserRecord();

    const QSettings settings(m_settingsFile, QSettings::IniFormat);
    const QList<QPair<RssSettings::Key, quint32>> keys = {
        {RssSettings::UpdateIntervall, ProtocolField::UpdateInterval},
        {RssSettings::InGroups, ProtocolField::InGroups},
        {RssSettings::NewItemsOnly, ProtocolField::NewItemsOnly},
        {RssSettings::MaxItemsInClient, ProtocolField::MaxItemsInClient},
        {RssSettings::MaxItemsInViewer, ProtocolField::MaxItemsInViewer},
    };
    for (const auto &key : keys) {
        const QString name = RssSettings::group() + QLatin1Char('/') + RssSettings::name(key.first);
        bool ok = false;
        const int value = settings.value(name).toInt(&ok);
        if (settings.contains(name) && ok)
            record->settings.insert(int(key.second), value);
    }

    if (!exists())
        return true;
    return withDatabase(m_databaseFile, errorString, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        const auto failed = [&] {
            if (errorString)
                *errorString = query.lastError().text();
            return false;
        };
        if (!query.exec(QStringLiteral(
                "select farmid, channeltitle, source, toload, inclient from feeds order by id")))
            return failed();
        while (query.next()) {
            UserRecord::Feed feed;
            const qint64 farmid = query.value(0).toLongLong();
            feed.kind = farmid < 0 ? 2 : 1;
            feed.id = int(farmid < 0 ? -farmid : farmid);
            feed.title = query.value(1).toString();
            feed.source = query.value(2).toString();
            feed.state
                = (query.value(3).toInt() == 1 ? 1 : 0) + (query.value(4).toInt() == 1 ? 2 : 0);
            record->feeds.append(feed);
        }
        if (!query.exec(QStringLiteral("select id, title from folder order by id")))
            return failed();
        while (query.next()) {
            UserRecord::Folder folder;
            folder.id = query.value(0).toInt();
            folder.title = query.value(1).toString();
            record->folders.append(folder);
        }
        for (UserRecord::Folder &folder : record->folders) {
            if (!query.exec(QStringLiteral("select farmid from feeds where folderid = ")
                    + QString::number(folder.id) + QStringLiteral(" order by id")))
                return failed();
            while (query.next()) {
                const qint64 farmid = query.value(0).toLongLong();
                folder.feeds.append({farmid < 0 ? 2 : 1, int(farmid < 0 ? -farmid : farmid)});
            }
        }
        return true;
    });
}

bool LocalProfile::catalogueFeed(int catalogueId, QString *title, QString *source) const
{
    if (!exists())
        return false;
    bool found = false;
    withDatabase(m_databaseFile, nullptr, [&](QSqlDatabase &db) {
        QSqlQuery query(db);
        query.prepare(
            QStringLiteral("select channeltitle, source from feeds where farmid = :farmid"));
        query.bindValue(QStringLiteral(":farmid"), catalogueId);
        if (query.exec() && query.next()) {
            *title = query.value(0).toString();
            *source = query.value(1).toString();
            found = true;
        }
        return true;
    });
    return found;
}
