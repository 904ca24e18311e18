#include "cpxwizard_base.h"

CPxWizard_Base::CPxWizard_Base(QWidget *parent) : PDialog2(parent) { }
