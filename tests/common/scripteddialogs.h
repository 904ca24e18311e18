#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

// Scripted answers for the client's question box (PMessageBox). While a script
// is on no box appears: each question takes the next answer, an exhausted
// script answers 2 (cancel), and every question is kept for the test to read.
class ScriptedMessageBox
{
public:
    struct Asked
    {
        QPointer<QWidget> parent;
        bool hadParent = false;
        QString title;
        QString text;
    };

    // Stays on until clearScript().
    static void scriptAnswers(const QList<int> &answers);
    static void clearScript();
    static QList<Asked> asked();
};

// The same for the client's input dialogs (PInputDialog); an exhausted script
// answers "cancelled" (empty text, ok false).
class ScriptedInputDialog
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

    static void scriptAnswers(const QList<Answer> &answers);
    static void clearScript();
    static QList<Asked> asked();
};
