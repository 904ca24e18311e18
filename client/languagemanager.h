#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QTranslator;

// Switches the user-interface language of the client and the plug-in at run
// time: installs the translators and tells the client's basic data, so that
// every window retranslates through its language-change handling.
class LanguageManager : public QObject
{
    Q_OBJECT
public:
    explicit LanguageManager(QObject *parent = nullptr);
    ~LanguageManager() override;

    // "de" or "en"; false for any other code (the language stays).
    bool setLanguage(const QString &code);
    QString language() const { return m_code; }

private:
    void removeTranslators();

    QList<QTranslator *> m_translators;
    QString m_code = QStringLiteral("en");
};
