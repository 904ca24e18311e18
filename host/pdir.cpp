#include "pdir.h"

#include <QDir>
#include <QStandardPaths>

static QString &homeOverride()
{
    static QString path;
    return path;
}

QString PDir::homePath()
{
    if (!homeOverride().isEmpty())
        return homeOverride();
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void PDir::setHomePath(const QString &path)
{
    homeOverride() = path.isEmpty() ? QString() : QDir(path).absolutePath();
}

QString PDir::subPath(const QString &name, bool create)
{
    const QString path = QDir(homePath()).filePath(name);
    if (create)
        QDir().mkpath(path);
    return path;
}

QString PDir::applicationDataPath(bool create)
{
    return subPath(QStringLiteral("appdata"), create);
}

QString PDir::profilesPath(bool create)
{
    return subPath(QStringLiteral("profiles"), create);
}

QString PDir::settingsPath(bool create)
{
    return subPath(QStringLiteral("settings"), create);
}

static std::function<bool()> &sharedFilesCheck()
{
    static std::function<bool()> check;
    return check;
}

bool PDir::sharedFilesInUse()
{
    return sharedFilesCheck() && sharedFilesCheck()();
}

void PDir::setSharedFilesInUse(std::function<bool()> check)
{
    sharedFilesCheck() = std::move(check);
}
