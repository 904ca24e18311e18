#pragma once

#include "hostexport.h"

#include <QString>

#include <functional>

// The client's directories, all below its home.
class PHOST_EXPORT PDir
{
public:
    // HOME; defaults to the platform's per-user application data location.
    static QString homePath();
    static void setHomePath(const QString &path);

    // HOME/appdata: the viewer's files. Created on demand when create is true.
    static QString applicationDataPath(bool create);
    // HOME/profiles: the per-user databases.
    static QString profilesPath(bool create);
    // HOME/settings: the per-user settings files.
    static QString settingsPath(bool create);

    // Whether another process of this home still uses the shared files in
    // applicationDataPath (style sheet, script, images). The client, which knows
    // the processes of its home, answers; without it nobody else does.
    static bool sharedFilesInUse();
    static void setSharedFilesInUse(std::function<bool()> check);

private:
    static QString subPath(const QString &name, bool create);
};
