#pragma once

#include "hostexport.h"
#include "pdialog2.h"

// Base of the client's wizard dialogs.
class PHOST_EXPORT CPxWizard_Base : public PDialog2
{
    Q_OBJECT
public:
    explicit CPxWizard_Base(QWidget *parent = nullptr);
};
