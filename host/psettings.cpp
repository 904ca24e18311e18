#include "psettings.h"
#include "pdir.h"

#include <QDir>
#include <QSettings>

PSettings *PSettings::instance()
{
    static PSettings settings;
    return &settings;
}

PSettings::PSettings()
{
    changeUser(QStringLiteral("default"));
}

PSettings::~PSettings() = default;

void PSettings::changeUser(const QString &name)
{
    if (m_settings)
        m_settings->sync();
    m_user = name;
    const QString file = QDir(PDir::settingsPath(false)).filePath(name + QStringLiteral(".ini"));
    m_settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
}

QString PSettings::fileName() const
{
    return m_settings->fileName();
}

QVariant PSettings::get(
    const QString &key, const QVariant &defaultValue, const QString &group) const
{
    return m_settings->value(group + QLatin1Char('/') + key, defaultValue);
}

void PSettings::set(const QString &key, const QVariant &value, const QString &group)
{
    QDir().mkpath(PDir::settingsPath(true));
    m_settings->setValue(group + QLatin1Char('/') + key, value);
    m_settings->sync();
}

void PSettings::remove(const QString &key, const QString &group)
{
    m_settings->remove(group + QLatin1Char('/') + key);
    m_settings->sync();
}
