#include "languagemanager.h"

#include "host/pbasicdata.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

LanguageManager::LanguageManager(QObject *parent) : QObject(parent) { }

LanguageManager::~LanguageManager()
{
    removeTranslators();
}

void LanguageManager::removeTranslators()
{
    for (QTranslator *translator : std::as_const(m_translators)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    m_translators.clear();
}

bool LanguageManager::setLanguage(const QString &code)
{
    if (code != QLatin1String("de") && code != QLatin1String("en"))
        return false;
    removeTranslators();
    if (code == QLatin1String("de")) {
        // The client's texts, the plug-in's (compiled into its library) and Qt's own dialogs.
        const QList<QPair<QString, QString>> files = {
            {QStringLiteral("pellix_client_de"), QStringLiteral(":/i18n")},
            {QStringLiteral("pellix_de"), QStringLiteral(":/i18n")},
            {QStringLiteral("qtbase_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)},
        };
        for (const auto &file : files) {
            auto *translator = new QTranslator;
            if (translator->load(file.first, file.second)
                && QCoreApplication::installTranslator(translator))
                m_translators.append(translator);
            else
                delete translator;
        }
    }
    m_code = code;
    PBasicData::instance().setCurrentLanguage(code == QLatin1String("de")
            ? PLanguage(QStringLiteral("de"), QStringLiteral("Deutsch"))
            : PLanguage(QStringLiteral("en"), QStringLiteral("English")));
    // Installing or removing a translator sends LanguageChange to every widget;
    // switching back to English removes them all, which sends it as well.
    return true;
}
