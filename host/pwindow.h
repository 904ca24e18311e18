#pragma once

#include "hostexport.h"

#include <QWidget>

class QMenuBar;
class QVBoxLayout;
class PStatusBar;

// Top-level window of the client's frame: menu bar, central widget, status bar.
class PHOST_EXPORT PWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PWindow(QWidget *parent = nullptr);

    void setWidget(QWidget *widget);
    QWidget *widget() const { return m_widget; }
    QMenuBar *menuBar() const { return m_menuBar; }
    PStatusBar *statusBar() const { return m_statusBar; }

private:
    QVBoxLayout *m_layout;
    QMenuBar *m_menuBar;
    PStatusBar *m_statusBar;
    QWidget *m_widget = nullptr;
};
