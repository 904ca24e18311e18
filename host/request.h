#pragma once

#include "hostexport.h"
#include "protocol.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

// One message in flight: a message a plug-in sent (with its reply once answered)
// or a command the client delivered to a plug-in (with its outcome).
class PHOST_EXPORT Request : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Pending, Succeeded, Failed };
    using Callback = std::function<void(Request *)>;

    explicit Request(const Protocol *message, QObject *parent = nullptr);
    ~Request() override;

    quint64 id() const { return m_id; }
    // The sent message, or the command's message; null for a command without one.
    const Protocol *message() const { return m_message.get(); }
    // The reply to a sent message; null until answered, and for replies without message.
    const Protocol *reply() const { return m_reply.get(); }
    Outcome outcome() const { return m_outcome; }
    int failureCode() const { return m_failureCode; }

    // Router side of a sent message. The callbacks run later from the event
    // loop, never inside the call, so a plug-in never sees its reply re-entrantly.
    void succeed(const Protocol &reply);
    void succeedWithoutMessage();
    void fail(int code);

    // Client side of a delivered command.
    void setOutcome(Outcome outcome, int code = 0);

    void setCallbacks(
        QObject *successContext, Callback success, QObject *failureContext, Callback failure);
    bool hasSuccessCallback() const { return bool(m_success); }
    bool hasFailureCallback() const { return bool(m_failure); }

signals:
    void finished(Request *request);

private:
    void deliver(bool ok);

    quint64 m_id;
    std::unique_ptr<Protocol> m_message;
    std::unique_ptr<Protocol> m_reply;
    Outcome m_outcome = Outcome::Pending;
    int m_failureCode = 0;
    QPointer<QObject> m_successContext;
    QPointer<QObject> m_failureContext;
    Callback m_success;
    Callback m_failure;
};
