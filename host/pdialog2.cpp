#include "pdialog2.h"

#include <QLayout>

PDialog2::PDialog2(QWidget *parent) : QDialog(parent) { }

void PDialog2::setFixed(bool fixed)
{
    m_fixed = fixed;
    if (fixed)
        setFixedSize(size());
    else
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(!fixed);
}
