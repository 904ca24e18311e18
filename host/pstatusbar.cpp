#include "pstatusbar.h"

PStatusBar::PStatusBar(QWidget *parent) : QStatusBar(parent) { }
