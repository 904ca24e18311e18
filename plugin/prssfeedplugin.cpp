#include "prssfeedplugin.h"

#include "host/wrappluginhelper.h"

PRSSFeedPlugin::PRSSFeedPlugin(QObject *parent) : WrapPlugin(parent) { }

QString PRSSFeedPlugin::version() const
{
    return QStringLiteral("1.0.0");
}

QString PRSSFeedPlugin::displayName() const
{
    return tr("pellix News");
}

bool PRSSFeedPlugin::initialize()
{
    return true;
}

void PRSSFeedPlugin::shutdown() { }

int PRSSFeedPlugin::pluginId() const
{
    return 41;
}

QString PRSSFeedPlugin::pluginKey() const
{
    return WrapPluginHelper::Instance().pluginKey(pluginId());
}

extern "C" Q_DECL_EXPORT WrapPlugin *create()
{
    return new PRSSFeedPlugin;
}
