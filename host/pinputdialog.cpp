#include "pinputdialog.h"

#include <QInputDialog>

namespace {
struct Script
{
    bool active = false;
    QList<PInputDialog::Answer> answers;
    QList<PInputDialog::Asked> asked;
};
Script &script()
{
    static Script s;
    return s;
}
QString scripted(bool *ok)
{
    PInputDialog::Answer a{QString(), false};
    if (!script().answers.isEmpty())
        a = script().answers.takeFirst();
    if (ok)
        *ok = a.ok;
    return a.text;
}
} // namespace

QString PInputDialog::getText(QWidget *parent, const QString &title, const QString &label,
    QLineEdit::EchoMode mode, const QString &text, bool *ok)
{
    script().asked.append({title, label, text, {}, 0});
    if (script().active)
        return scripted(ok);
    return QInputDialog::getText(parent, title, label, mode, text, ok);
}

QString PInputDialog::getItem(QWidget *parent, const QString &title, const QString &label,
    const QStringList &items, int current, bool editable, bool *ok)
{
    script().asked.append({title, label, QString(), items, current});
    if (script().active)
        return scripted(ok);
    return QInputDialog::getItem(parent, title, label, items, current, editable, ok);
}

void PInputDialog::scriptAnswers(const QList<Answer> &answers)
{
    script().active = true;
    script().answers = answers;
    script().asked.clear();
}

void PInputDialog::clearScript()
{
    script() = Script();
}

QList<PInputDialog::Asked> PInputDialog::asked()
{
    return script().asked;
}
