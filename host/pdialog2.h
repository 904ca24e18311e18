#pragma once

#include "hostexport.h"

#include <QDialog>

// Dialog with the client's frame.
class PHOST_EXPORT PDialog2 : public QDialog
{
    Q_OBJECT
public:
    explicit PDialog2(QWidget *parent = nullptr);

    // A fixed frame cannot be resized by the user.
    void setFixed(bool fixed);
    bool isFixed() const { return m_fixed; }

private:
    bool m_fixed = false;
};
