#include "psearchfield.h"

#include <QEvent>

PSearchField::PSearchField(QWidget *parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
    setPlaceholderText(tr("Search"));
}

void PSearchField::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        setPlaceholderText(tr("Search"));
    QLineEdit::changeEvent(event);
}
