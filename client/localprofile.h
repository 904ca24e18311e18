#pragma once

#include "userrecord.h"

#include <QString>

// A user's local state as the news plug-in keeps it (feed database and
// settings file), read without changing either.
class LocalProfile
{
public:
    LocalProfile(const QString &databaseFile, const QString &settingsFile);
    // The files of a signed-in user below the client's home.
    static LocalProfile ofUser(quint32 user);

    QString databaseFile() const { return m_databaseFile; }
    bool exists() const;

    // Feeds, folders and the settings the user has set. False when the database
    // exists but cannot be read; errorString tells why.
    bool read(UserRecord *record, QString *errorString = nullptr) const;
    // Title and address of the local feed with that catalogue id.
    bool catalogueFeed(int catalogueId, QString *title, QString *source) const;

private:
    QString m_databaseFile;
    QString m_settingsFile;
};
