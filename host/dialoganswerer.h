#pragma once

#include "hostexport.h"

#include <QString>
#include <QStringList>

class QWidget;

// Whoever is installed answers the client's question and input dialogs in their
// place, for instance a program that drives the client without a user. With
// none installed the dialogs appear.
class PHOST_EXPORT DialogAnswerer
{
public:
    virtual ~DialogAnswerer();

    // 1 for yes, 0 for no, anything else is cancel.
    virtual int question(QWidget *parent, const QString &title, const QString &text) = 0;
    virtual QString getText(
        const QString &title, const QString &label, const QString &text, bool *ok)
        = 0;
    virtual QString getItem(
        const QString &title, const QString &label, const QStringList &items, int current, bool *ok)
        = 0;

    static DialogAnswerer *installed();
    // Replaces the installed answerer; nullptr brings the dialogs back.
    static void install(DialogAnswerer *answerer);
};
