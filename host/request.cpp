#include "request.h"

#include <QTimer>

static quint64 nextRequestId = 1;

Request::Request(const Protocol *message, QObject *parent)
    : QObject(parent),
      m_id(nextRequestId++),
      m_message(message ? std::make_unique<Protocol>(*message) : nullptr)
{
}

Request::~Request() = default;

void Request::setCallbacks(
    QObject *successContext, Callback success, QObject *failureContext, Callback failure)
{
    m_successContext = successContext;
    m_failureContext = failureContext;
    m_success = std::move(success);
    m_failure = std::move(failure);
}

void Request::succeed(const Protocol &reply)
{
    if (m_outcome != Outcome::Pending)
        return;
    m_reply = std::make_unique<Protocol>(reply);
    deliver(true);
}

void Request::succeedWithoutMessage()
{
    if (m_outcome != Outcome::Pending)
        return;
    deliver(true);
}

void Request::fail(int code)
{
    if (m_outcome != Outcome::Pending)
        return;
    m_failureCode = code;
    deliver(false);
}

void Request::setOutcome(Outcome outcome, int code)
{
    m_outcome = outcome;
    m_failureCode = code;
    emit finished(this);
}

void Request::deliver(bool ok)
{
    m_outcome = ok ? Outcome::Succeeded : Outcome::Failed;
    emit finished(this);
    QTimer::singleShot(0, this, [this, ok] {
        QObject *context = ok ? m_successContext.data() : m_failureContext.data();
        const Callback &callback = ok ? m_success : m_failure;
        if (callback && context)
            callback(this); // the slot frees the request
        else
            deleteLater();
    });
}
