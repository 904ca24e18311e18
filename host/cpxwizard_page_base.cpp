#include "cpxwizard_page_base.h"

CPxWizard_Page_Base::CPxWizard_Page_Base() = default;
CPxWizard_Page_Base::~CPxWizard_Page_Base() = default;
void CPxWizard_Page_Base::Activate() { }
void CPxWizard_Page_Base::Deactivate() { }
void CPxWizard_Page_Base::RefreshPage() { }
