#pragma once

#include "hostexport.h"

#include <QLineEdit>

// A line edit for search texts, with a clear button.
class PHOST_EXPORT PSearchField : public QLineEdit
{
    Q_OBJECT
public:
    explicit PSearchField(QWidget *parent = nullptr);

protected:
    void changeEvent(QEvent *event) override;
};
