#include "pmessagebox.h"

#include "dialoganswerer.h"

#include <QMessageBox>

namespace {
DialogAnswerer *&installedAnswerer()
{
    static DialogAnswerer *answerer = nullptr;
    return answerer;
}
} // namespace

DialogAnswerer::~DialogAnswerer()
{
    if (installedAnswerer() == this)
        installedAnswerer() = nullptr;
}

DialogAnswerer *DialogAnswerer::installed()
{
    return installedAnswerer();
}

void DialogAnswerer::install(DialogAnswerer *answerer)
{
    installedAnswerer() = answerer;
}

int PMessageBox::question(QWidget *parent, const QString &title, const QString &text)
{
    if (DialogAnswerer *answerer = DialogAnswerer::installed())
        return answerer->question(parent, title, text);
    const auto button = QMessageBox::question(parent, title, text,
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (button == QMessageBox::Yes)
        return 1;
    if (button == QMessageBox::No)
        return 0;
    return 2;
}
