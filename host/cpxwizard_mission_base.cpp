#include "cpxwizard_mission_base.h"

#include <QWidget>

CPxWizard_Mission_Base::CPxWizard_Mission_Base(QObject *parent) : QObject(parent) { }

CPxWizard_Mission_Base::~CPxWizard_Mission_Base() = default;

void CPxWizard_Mission_Base::Set_CurrentPage(QWidget *page)
{
    m_page = page;
    emit currentPageChanged(page);
}

void CPxWizard_Mission_Base::DoOnChanged()
{
    emit changed();
}

void CPxWizard_Mission_Base::CloseWizard()
{
    emit closeRequested();
}
