#include "scripteddialogs.h"

#include "host/dialoganswerer.h"
#include "host/pinputdialog.h"
#include "host/pmessagebox.h"

#include <utility>

namespace {

// Installed while either script is on; a dialog whose script is off appears as usual.
class ScriptedAnswerer : public DialogAnswerer
{
public:
    bool questionsScripted = false;
    QList<int> questionAnswers;
    QList<ScriptedMessageBox::Asked> questionsAsked;

    bool inputScripted = false;
    QList<ScriptedInputDialog::Answer> inputAnswers;
    QList<ScriptedInputDialog::Asked> inputAsked;

    void update() { DialogAnswerer::install(questionsScripted || inputScripted ? this : nullptr); }

    int question(QWidget *parent, const QString &title, const QString &text) override
    {
        if (!questionsScripted)
            return unscripted([&] { return PMessageBox::question(parent, title, text); });
        questionsAsked.append({parent, parent != nullptr, title, text});
        return questionAnswers.isEmpty() ? 2 : questionAnswers.takeFirst();
    }

    QString getText(
        const QString &title, const QString &label, const QString &text, bool *ok) override
    {
        if (!inputScripted)
            return unscripted([&] {
                return PInputDialog::getText(nullptr, title, label, QLineEdit::Normal, text, ok);
            });
        inputAsked.append({title, label, text, {}, 0});
        return nextInput(ok);
    }

    QString getItem(const QString &title, const QString &label, const QStringList &items,
        int current, bool *ok) override
    {
        if (!inputScripted)
            return unscripted([&] {
                return PInputDialog::getItem(nullptr, title, label, items, current, true, ok);
            });
        inputAsked.append({title, label, QString(), items, current});
        return nextInput(ok);
    }

private:
    QString nextInput(bool *ok)
    {
        ScriptedInputDialog::Answer answer{QString(), false};
        if (!inputAnswers.isEmpty())
            answer = inputAnswers.takeFirst();
        if (ok)
            *ok = answer.ok;
        return answer.text;
    }

    template <typename Show> decltype(std::declval<Show>()()) unscripted(Show show)
    {
        DialogAnswerer::install(nullptr);
        auto result = show();
        update();
        return result;
    }
};

ScriptedAnswerer &answerer()
{
    static ScriptedAnswerer instance;
    return instance;
}

} // namespace

void ScriptedMessageBox::scriptAnswers(const QList<int> &answers)
{
    answerer().questionsScripted = true;
    answerer().questionAnswers = answers;
    answerer().questionsAsked.clear();
    answerer().update();
}

void ScriptedMessageBox::clearScript()
{
    answerer().questionsScripted = false;
    answerer().questionAnswers.clear();
    answerer().questionsAsked.clear();
    answerer().update();
}

QList<ScriptedMessageBox::Asked> ScriptedMessageBox::asked()
{
    return answerer().questionsAsked;
}

void ScriptedInputDialog::scriptAnswers(const QList<Answer> &answers)
{
    answerer().inputScripted = true;
    answerer().inputAnswers = answers;
    answerer().inputAsked.clear();
    answerer().update();
}

void ScriptedInputDialog::clearScript()
{
    answerer().inputScripted = false;
    answerer().inputAnswers.clear();
    answerer().inputAsked.clear();
    answerer().update();
}

QList<ScriptedInputDialog::Asked> ScriptedInputDialog::asked()
{
    return answerer().inputAsked;
}
