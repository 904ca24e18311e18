#include "protocolreader.h"

bool ProtocolReader::isInteger(const ProtocolArg &arg)
{
    switch (arg.type()) {
    case ProtocolArg::UInt8:
    case ProtocolArg::UInt16:
    case ProtocolArg::UInt32:
    case ProtocolArg::Int32: {
        bool ok = false;
        arg.variant().toLongLong(&ok);
        return ok;
    }
    case ProtocolArg::String:
    case ProtocolArg::Bytes:
        break;
    }
    return false;
}

const ProtocolArg *ProtocolReader::next()
{
    if (m_failed)
        return nullptr;
    if (m_index >= m_args.size()) {
        m_failed = true;
        return nullptr;
    }
    return &m_args.at(m_index);
}

bool ProtocolReader::readInt(qint64 *value)
{
    quint32 field = 0;
    return readField(&field, value);
}

bool ProtocolReader::readField(quint32 *field, qint64 *value)
{
    const ProtocolArg *arg = next();
    if (!arg)
        return false;
    if (!isInteger(*arg)) {
        m_failed = true;
        return false;
    }
    ++m_index;
    *field = arg->field();
    *value = arg->variant().toLongLong();
    return true;
}

bool ProtocolReader::readText(QString *value)
{
    const ProtocolArg *arg = next();
    if (!arg)
        return false;
    if (arg->type() == ProtocolArg::String)
        *value = arg->variant().toString();
    else if (arg->type() == ProtocolArg::Bytes)
        *value = QString::fromUtf8(arg->variant().toByteArray());
    else {
        m_failed = true;
        return false;
    }
    ++m_index;
    return true;
}
