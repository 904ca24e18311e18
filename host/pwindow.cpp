#include "pwindow.h"
#include "pstatusbar.h"

#include <QMenuBar>
#include <QVBoxLayout>

PWindow::PWindow(QWidget *parent)
    : QWidget(parent, Qt::Window),
      m_layout(new QVBoxLayout(this)),
      m_menuBar(new QMenuBar(this)),
      m_statusBar(new PStatusBar(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->setMenuBar(m_menuBar);
    m_layout->addStretch(1);
    m_layout->addWidget(m_statusBar);
}

void PWindow::setWidget(QWidget *widget)
{
    if (m_widget == widget)
        return;
    // The stretch placeholder or the previous widget sits at index 0.
    QLayoutItem *old = m_layout->takeAt(0);
    if (old && old->widget())
        old->widget()->deleteLater();
    delete old;
    m_widget = widget;
    if (widget)
        m_layout->insertWidget(0, widget, 1);
    else
        m_layout->insertStretch(0, 1);
}
