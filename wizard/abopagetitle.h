#pragma once

#include <QString>

class QHBoxLayout;
class QLabel;

// Rich text of the bold title at the top of every subscription page.
inline QString aboPageTitle(const QString &text)
{
    return QStringLiteral("<html><head><meta name=\"qrichtext\" content=\"1\" /></head>"
                          "<body style=\" font-family:'MS Shell Dlg 2'; font-size:8pt; "
                          "font-weight:400; font-style:normal;\"><p style=\" margin-top:0px; "
                          "margin-bottom:0px; margin-left:0px; margin-right:0px; "
                          "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:10pt; "
                          "font-weight:600;\">")
        + text + QStringLiteral("</span></p></body></html>");
}

// Dresses the picture, title and introduction every subscription page opens with and lays
// them out: the picture beside the title above the introduction.
QHBoxLayout *aboPageHead(QLabel *picture, QLabel *title, QLabel *intro);
