#pragma once

#include <QLibrary>
#include <QObject>
#include <QString>

class NewsPluginInterface;
class WrapPlugin;

// Loads the news plug-in library from the client's directory, creates and
// initialises the plug-in, and shuts it down and deletes it again. What the client
// needs of a news plug-in beyond that goes through its NewsPluginInterface.
class PluginHost : public QObject
{
    Q_OBJECT
public:
    explicit PluginHost(QObject *parent = nullptr);
    ~PluginHost() override;

    // The library file the client loads: <dir>/libpellixRss.so.
    static QString libraryPath(const QString &directory);

    // Loads the library and creates the plug-in; false with errorString() on failure.
    bool load(const QString &libraryFile);
    bool initialize();
    // Calls the plug-in's shutdown, then deletes it. Safe to call twice.
    void unload();

    WrapPlugin *plugin() const { return m_plugin; }
    QString errorString() const { return m_error; }

    // The news plug-in's own interface; nullptr when the plug-in has none.
    NewsPluginInterface *news() const;

private:
    QLibrary m_library;
    WrapPlugin *m_plugin = nullptr;
    QString m_error;
};
