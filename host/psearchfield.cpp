#include "psearchfield.h"

PSearchField::PSearchField(QWidget *parent) : QLineEdit(parent)
{
    setClearButtonEnabled(true);
    setPlaceholderText(tr("Search"));
}
