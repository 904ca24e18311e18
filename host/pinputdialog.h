#pragma once

#include "hostexport.h"

#include <QLineEdit>
#include <QList>
#include <QStringList>

class QWidget;

// The client's input dialogs. A test can script their answers: while answers are
// queued, no dialog appears and each call takes the next answer.
class PHOST_EXPORT PInputDialog
{
public:
    struct Answer
    {
        QString text;
        bool ok = true;
    };
    struct Asked
    {
        QString title;
        QString label;
        QString text;
        QStringList items;
        int current = 0;
    };

    static QString getText(QWidget *parent, const QString &title, const QString &label,
        QLineEdit::EchoMode mode = QLineEdit::Normal, const QString &text = QString(),
        bool *ok = nullptr);
    static QString getItem(QWidget *parent, const QString &title, const QString &label,
        const QStringList &items, int current = 0, bool editable = true, bool *ok = nullptr);

    // Test seam. Scripting stays on until clearScript(); an exhausted script answers
    // "cancelled" (empty text, ok false).
    static void scriptAnswers(const QList<Answer> &answers);
    static void clearScript();
    static QList<Asked> asked();
};
