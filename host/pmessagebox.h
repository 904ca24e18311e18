#pragma once

#include "hostexport.h"

#include <QString>

class QWidget;

// The client's question box: 1 for yes, 0 for no, anything else is cancel.
// An installed DialogAnswerer answers in its place.
class PHOST_EXPORT PMessageBox
{
public:
    static int question(QWidget *parent, const QString &title, const QString &text);
};
