#pragma once

#include "hostexport.h"

#include <QString>

// A user-interface language: its code ("de") and its name in the client ("Deutsch").
class PHOST_EXPORT PLanguage
{
public:
    PLanguage() = default;
    PLanguage(const QString &code, const QString &name) : m_code(code), m_name(name) { }
    QString code() const { return m_code; }
    QString name() const { return m_name; }

private:
    QString m_code = QStringLiteral("en");
    QString m_name = QStringLiteral("English");
};
