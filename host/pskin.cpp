#include "pskin.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QResource>

QString PSkin::skinFile(const QString &name)
{
    return QStringLiteral("%1/skins/%2.res").arg(QCoreApplication::applicationDirPath(), name);
}

bool PSkin::init(bool)
{
    const QString file = skinFile(QStringLiteral("pellix"));
    if (!QFileInfo::exists(file))
        return false;
    QResource::unregisterResource(file); // registering twice would stack the same file
    return QResource::registerResource(file);
}
