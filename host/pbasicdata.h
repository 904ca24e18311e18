#pragma once

#include "hostexport.h"
#include "planguage.h"

#include <QObject>

// Client-wide data: the user-interface language.
class PHOST_EXPORT PBasicData : public QObject
{
    Q_OBJECT
public:
    static PBasicData &instance();

    PLanguage currentLanguage() const { return m_language; }
    // The client installs its translators before calling this; widgets retranslate
    // through QEvent::LanguageChange.
    void setCurrentLanguage(const PLanguage &language);

signals:
    void languageChanged(const PLanguage &language);

private:
    PBasicData() = default;
    PLanguage m_language;
};
