#pragma once

#include "hostexport.h"

class QWidget;

class PHOST_EXPORT PDesktop
{
public:
    // Centres the window on the screen it is on (or the primary screen).
    static void setCentered(QWidget *widget);
};
