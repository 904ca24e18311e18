#pragma once

#include "hostexport.h"

#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

// Per-user key/value store with groups: one INI file per user under HOME/settings.
class PHOST_EXPORT PSettings
{
public:
    static PSettings *instance();
    ~PSettings();

    QVariant get(const QString &key, const QVariant &defaultValue, const QString &group) const;
    void set(const QString &key, const QVariant &value, const QString &group);
    void remove(const QString &key, const QString &group);
    void changeUser(const QString &name);
    QString user() const { return m_user; }
    QString fileName() const;

private:
    PSettings();
    QString m_user;
    std::unique_ptr<QSettings> m_settings;
};
