#pragma once

#include "hostexport.h"

#include <QStatusBar>

class PHOST_EXPORT PStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit PStatusBar(QWidget *parent = nullptr);
};
