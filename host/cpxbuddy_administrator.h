#pragma once

#include "hostexport.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

// The client's account: the signed-in user number and who wants to know when
// an account becomes available.
class PHOST_EXPORT CPxBuddy_Administrator : public QObject
{
    Q_OBJECT
public:
    static CPxBuddy_Administrator &Instance();

    // The receiver's slot is called each time a user signs in; when a user is
    // already signed in, it is also called once from the event loop.
    template <typename R> void init(R *receiver, void (R::*slot)(), bool, bool)
    {
        addReadyCall(receiver, [receiver, slot] { (receiver->*slot)(); });
    }

    quint32 userId() const { return m_user; }
    bool isSignedIn() const { return m_signedIn; }

    // Client side: signs the user in and calls every registered slot.
    void signIn(quint32 user);
    void signOut();
    // Forgets every registered slot and the user (tests).
    void reset();

signals:
    void signedIn(quint32 user);

private:
    CPxBuddy_Administrator() = default;
    void addReadyCall(QObject *receiver, std::function<void()> call);

    struct ReadyCall
    {
        QPointer<QObject> receiver;
        std::function<void()> call;
    };
    QList<ReadyCall> m_calls;
    quint32 m_user = 0;
    bool m_signedIn = false;
};
