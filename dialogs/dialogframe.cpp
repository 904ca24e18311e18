#include "dialogframe.h"

#include "host/pdialog2.h"

#include <QColor>
#include <QIcon>
#include <QPalette>

void setUpDialogFrame(PDialog2 *dialog, const QString &title)
{
    dialog->setFixedSize(580, 480);
    dialog->setFixed(true);
    dialog->setWindowTitle(title);
    dialog->setWindowIcon(QIcon(QStringLiteral(":/rss-16")));
    QPalette white = dialog->palette();
    white.setBrush(QPalette::All, QPalette::Window, QColor(255, 255, 255, 255));
    dialog->setPalette(white);
    dialog->setAutoFillBackground(true);
}

QString dialogHeading(const QString &text)
{
    static const QLatin1String prefix(
        "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
        "p, li { white-space: pre-wrap; }\n"
        "</style></head><body style=\" font-family:'MS Shell Dlg 2'; font-size:8.25pt; "
        "font-weight:400; font-style:normal;\">\n"
        "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
        "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:10pt; "
        "font-weight:600;\">");
    return prefix + text + QLatin1String("</span></p></body></html>");
}
