#pragma once

#include "host/wrapplugin.h"

class PRSSFeedPlugin : public WrapPlugin
{
    Q_OBJECT
public:
    explicit PRSSFeedPlugin(QObject *parent = nullptr);

    QString version() const override;
    QString displayName() const override;
    bool initialize() override;
    void shutdown() override;
    int pluginId() const override;
    QString pluginKey() const override;
};
