#include "pluginhost.h"

#include "core/newsplugininterface.h"
#include "host/wrapplugin.h"

#include <QDir>

PluginHost::PluginHost(QObject *parent) : QObject(parent) { }

PluginHost::~PluginHost()
{
    unload();
}

QString PluginHost::libraryPath(const QString &directory)
{
    return QDir(directory).filePath(QStringLiteral("libpellixRss.so"));
}

bool PluginHost::load(const QString &libraryFile)
{
    m_library.setFileName(libraryFile);
    if (!m_library.load()) {
        m_error = tr("The news plug-in %1 cannot be loaded: %2")
                      .arg(libraryFile, m_library.errorString());
        return false;
    }
    auto create = reinterpret_cast<CreatePluginFunction>(m_library.resolve("create"));
    if (!create) {
        m_error = tr("The library %1 is not a pellix plug-in: it has no entry \"create\".")
                      .arg(libraryFile);
        return false;
    }
    m_plugin = create();
    if (!m_plugin) {
        m_error = tr("The news plug-in %1 could not be created.").arg(libraryFile);
        return false;
    }
    return true;
}

bool PluginHost::initialize()
{
    if (!m_plugin)
        return false;
    if (!m_plugin->initialize()) {
        m_error = tr("The news plug-in could not be initialised.");
        return false;
    }
    return true;
}

void PluginHost::unload()
{
    if (!m_plugin)
        return;
    WrapPlugin *plugin = m_plugin;
    m_plugin = nullptr;
    plugin->shutdown();
    delete plugin;
    // The library stays loaded: objects and resources of it may outlive the plug-in
    // until the process ends.
}

NewsPluginInterface *PluginHost::news() const
{
    return qobject_cast<NewsPluginInterface *>(m_plugin);
}
