#include "cpxbuddy_administrator.h"

#include <QTimer>

CPxBuddy_Administrator &CPxBuddy_Administrator::Instance()
{
    static CPxBuddy_Administrator administrator;
    return administrator;
}

void CPxBuddy_Administrator::addReadyCall(QObject *receiver, std::function<void()> call)
{
    m_calls.append({receiver, call});
    if (m_signedIn) {
        QPointer<QObject> guard(receiver);
        QTimer::singleShot(0, this, [guard, call] {
            if (guard)
                call();
        });
    }
}

void CPxBuddy_Administrator::signIn(quint32 user)
{
    m_user = user;
    m_signedIn = true;
    emit signedIn(user);
    const QList<ReadyCall> calls = m_calls;
    for (const ReadyCall &c : calls) {
        if (c.receiver)
            c.call();
    }
}

void CPxBuddy_Administrator::signOut()
{
    m_signedIn = false;
}

void CPxBuddy_Administrator::reset()
{
    m_calls.clear();
    m_user = 0;
    m_signedIn = false;
}
