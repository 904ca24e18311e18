#pragma once

#include "hostexport.h"

#include <QObject>

class Protocol;

// Base of every plug-in object the client loads.
class PHOST_EXPORT WrapPlugin : public QObject
{
    Q_OBJECT
public:
    explicit WrapPlugin(QObject *parent = nullptr);
    ~WrapPlugin() override;

    virtual QString version() const = 0;
    virtual QString displayName() const = 0;
    virtual bool initialize() = 0;
    virtual void shutdown() = 0;
    virtual int pluginId() const = 0;
    virtual QString pluginKey() const = 0;

    // Sends a message to the client without waiting for an answer.
    void send(Protocol &message);
};

// The one exported entry of a plug-in library.
using CreatePluginFunction = WrapPlugin *(*)();
