#include "pdesktop.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void PDesktop::setCentered(QWidget *widget)
{
    if (!widget)
        return;
    QScreen *screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QSize size = widget->frameGeometry().size();
    widget->move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}
