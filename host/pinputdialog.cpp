#include "pinputdialog.h"

#include "dialoganswerer.h"

#include <QInputDialog>

QString PInputDialog::getText(QWidget *parent, const QString &title, const QString &label,
    QLineEdit::EchoMode mode, const QString &text, bool *ok)
{
    if (DialogAnswerer *answerer = DialogAnswerer::installed())
        return answerer->getText(title, label, text, ok);
    return QInputDialog::getText(parent, title, label, mode, text, ok);
}

QString PInputDialog::getItem(QWidget *parent, const QString &title, const QString &label,
    const QStringList &items, int current, bool editable, bool *ok)
{
    if (DialogAnswerer *answerer = DialogAnswerer::installed())
        return answerer->getItem(title, label, items, current, ok);
    return QInputDialog::getItem(parent, title, label, items, current, editable, ok);
}
