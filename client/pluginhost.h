#pragma once

#include <QLibrary>
#include <QObject>
#include <QString>

class WrapPlugin;

// Loads the news plug-in library from the client's directory, creates and
// initialises the plug-in, and shuts it down and deletes it again. The plug-in's
// extra signals and operations are reached by name, since it is loaded at run time.
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

    // Whether the plug-in has a signal or method of that (normalised) signature.
    bool hasSignal(const char *signature) const;
    bool hasMethod(const char *signature) const;
    // Connects the plug-in's signal to the receiver's slot, both given as signatures.
    bool connectSignal(const char *signal, QObject *receiver, const char *slot,
        Qt::ConnectionType type = Qt::AutoConnection) const;

private:
    QLibrary m_library;
    WrapPlugin *m_plugin = nullptr;
    QString m_error;
};
