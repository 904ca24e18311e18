#include "pbasicdata.h"

PBasicData &PBasicData::instance()
{
    static PBasicData data;
    return data;
}

void PBasicData::setCurrentLanguage(const PLanguage &language)
{
    m_language = language;
    emit languageChanged(language);
}
