#include "pmessagebox.h"

#include <QMessageBox>

namespace {
struct Script
{
    bool active = false;
    QList<int> answers;
    QList<PMessageBox::Asked> asked;
};
Script &script()
{
    static Script s;
    return s;
}
} // namespace

int PMessageBox::question(QWidget *parent, const QString &title, const QString &text)
{
    script().asked.append({parent, parent != nullptr, title, text});
    if (script().active)
        return script().answers.isEmpty() ? 2 : script().answers.takeFirst();
    const auto button = QMessageBox::question(parent, title, text,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes)
        return 1;
    if (button == QMessageBox::No)
        return 0;
    return 2;
}

void PMessageBox::scriptAnswers(const QList<int> &answers)
{
    script().active = true;
    script().answers = answers;
    script().asked.clear();
}

void PMessageBox::clearScript()
{
    script() = Script();
}

QList<PMessageBox::Asked> PMessageBox::asked()
{
    return script().asked;
}
