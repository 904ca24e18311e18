#include "wrapplugin.h"
#include "protocol.h"
#include "request.h"
#include "wrappluginhelper.h"

WrapPlugin::WrapPlugin(QObject *parent) : QObject(parent) { }

WrapPlugin::~WrapPlugin()
{
    WrapPluginHelper::Instance().removeCommands(this);
}

void WrapPlugin::send(Protocol &message)
{
    WrapPluginHelper::Instance().send(new Request(&message));
}
