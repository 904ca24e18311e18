#include "localprofile.h"
#include "core/rssprotocol.h"

#include "core/newsprofile.h"
#include "core/rsssettings.h"
#include "host/pdir.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>

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
        QList<NewsProfile::Feed> feeds;
        if (!NewsProfile::feeds(db, &feeds, errorString))
            return false;
        for (const NewsProfile::Feed &row : std::as_const(feeds)) {
            UserRecord::Feed feed;
            feed.kind = row.farmid < 0 ? 2 : 1;
            feed.id = int(row.farmid < 0 ? -row.farmid : row.farmid);
            feed.title = row.title;
            feed.source = row.source;
            feed.state = (row.subscribed ? 1 : 0) + (row.inClient ? 2 : 0);
            record->feeds.append(feed);
        }
        QList<NewsProfile::Folder> folders;
        if (!NewsProfile::folders(db, &folders, errorString))
            return false;
        for (const NewsProfile::Folder &row : std::as_const(folders)) {
            UserRecord::Folder folder;
            folder.id = row.id;
            folder.title = row.title;
            QList<qint64> farmids;
            if (!NewsProfile::folderFarmIds(db, folder.id, &farmids, errorString))
                return false;
            for (qint64 farmid : std::as_const(farmids))
                folder.feeds.append({farmid < 0 ? 2 : 1, int(farmid < 0 ? -farmid : farmid)});
            record->folders.append(folder);
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
        found = NewsProfile::catalogueFeed(db, catalogueId, title, source);
        return true;
    });
    return found;
}
