#pragma once

#include "hostexport.h"

// A wizard page; the wizard calls Activate() each time it shows the page.
class PHOST_EXPORT CPxWizard_Page_Base
{
public:
    CPxWizard_Page_Base();
    virtual void Activate();
    virtual void Deactivate();
    virtual void RefreshPage();
    virtual ~CPxWizard_Page_Base();
};
