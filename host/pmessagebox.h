#pragma once

#include "hostexport.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

// The client's question box: 1 for yes, 0 for no, anything else is cancel.
// A test can script the answers: while scripting, no box appears.
class PHOST_EXPORT PMessageBox
{
public:
    struct Asked
    {
        QPointer<QWidget> parent;
        bool hadParent = false;
        QString title;
        QString text;
    };

    static int question(QWidget *parent, const QString &title, const QString &text);

    // Scripting stays on until clearScript(); an exhausted script answers 2 (cancel).
    static void scriptAnswers(const QList<int> &answers);
    static void clearScript();
    static QList<Asked> asked();
};
