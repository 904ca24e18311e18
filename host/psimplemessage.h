#pragma once

#include "hostexport.h"
#include "protocol.h"
#include "request.h"

#include <QObject>

// Builds and sends a message, or reads a received one field by field.
class PHOST_EXPORT PSimpleMessage
{
public:
    PSimpleMessage(quint16 module, quint16 command, bool = false);
    explicit PSimpleMessage(const Protocol *received);

    void AddFieldAsUint8(quint32 field, quint8 value);
    void AddFieldAsUint16(quint32 field, quint16 value);
    void AddFieldAsUint32(quint32 field, quint32 value);
    void AddFieldAsInt32(quint32 field, qint32 value);
    void AddFieldAsString(quint32 field, const QString &text, int encoding);

    // Sent and forgotten.
    void Send() { sendWith(nullptr, {}, nullptr, {}); }

    template <typename R> void Send(R *receiver, void (R::*success)(Request *))
    {
        sendWith(receiver, bind(receiver, success), nullptr, {});
    }

    template <typename R, typename F>
    void Send(R *receiver, void (R::*success)(Request *), F *failureReceiver,
        void (F::*failure)(Request *), int = 0)
    {
        sendWith(
            receiver, bind(receiver, success), failureReceiver, bind(failureReceiver, failure));
    }

    // Reading a received message: the next field as text (bytes as UTF-8), or as number.
    QString ReadFieldAsString(int = 0);
    qint64 ReadFieldAsInt(int = 0);
    bool atEnd() const;

    const Protocol &protocol() const { return m_protocol; }

private:
    template <typename R> static Request::Callback bind(R *receiver, void (R::*slot)(Request *))
    {
        if (!receiver || !slot)
            return {};
        return [receiver, slot](Request *r) { (receiver->*slot)(r); };
    }
    void sendWith(QObject *successContext, Request::Callback success, QObject *failureContext,
        Request::Callback failure);

    Protocol m_protocol;
    int m_readIndex = 0;
};
