#pragma once

#include "hostexport.h"

#include <QLineEdit>
#include <QStringList>

class QWidget;

// The client's input dialogs. An installed DialogAnswerer answers in their place.
class PHOST_EXPORT PInputDialog
{
public:
    static QString getText(QWidget *parent, const QString &title, const QString &label,
        QLineEdit::EchoMode mode = QLineEdit::Normal, const QString &text = QString(),
        bool *ok = nullptr);
    static QString getItem(QWidget *parent, const QString &title, const QString &label,
        const QStringList &items, int current = 0, bool editable = true, bool *ok = nullptr);
};
