#include "psimplemessage.h"
#include "wrappluginhelper.h"

PSimpleMessage::PSimpleMessage(quint16 module, quint16 command, bool) : m_protocol(module, command)
{
}

PSimpleMessage::PSimpleMessage(const Protocol *received)
{
    if (received)
        m_protocol = *received;
}

void PSimpleMessage::AddFieldAsUint8(quint32 field, quint8 value)
{
    m_protocol.add(field, ProtocolArg::UInt8, uint(value));
}

void PSimpleMessage::AddFieldAsUint16(quint32 field, quint16 value)
{
    m_protocol.add(field, ProtocolArg::UInt16, uint(value));
}

void PSimpleMessage::AddFieldAsUint32(quint32 field, quint32 value)
{
    m_protocol.add(field, ProtocolArg::UInt32, value);
}

void PSimpleMessage::AddFieldAsInt32(quint32 field, qint32 value)
{
    m_protocol.add(field, ProtocolArg::Int32, value);
}

void PSimpleMessage::AddFieldAsString(quint32 field, const QString &text, int encoding)
{
    m_protocol.add(field, ProtocolArg::String, text, encoding);
}

void PSimpleMessage::sendWith(QObject *successContext, Request::Callback success,
    QObject *failureContext, Request::Callback failure)
{
    auto *request = new Request(&m_protocol);
    request->setCallbacks(successContext, std::move(success), failureContext, std::move(failure));
    WrapPluginHelper::Instance().send(request);
}

QString PSimpleMessage::ReadFieldAsString(int)
{
    if (atEnd())
        return QString();
    const ProtocolArg &arg = m_protocol.args().at(m_readIndex++);
    if (arg.type() == ProtocolArg::Bytes)
        return QString::fromUtf8(arg.variant().toByteArray());
    return arg.variant().toString();
}

qint64 PSimpleMessage::ReadFieldAsInt(int)
{
    if (atEnd())
        return 0;
    return m_protocol.args().at(m_readIndex++).variant().toLongLong();
}

bool PSimpleMessage::atEnd() const
{
    return m_readIndex >= m_protocol.args().size();
}
