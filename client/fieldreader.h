#pragma once

#include "host/protocol.h"

// Reads a message's fields in order and notices when the message runs out
// before its counts say it should.
class FieldReader
{
public:
    explicit FieldReader(const Protocol &message) : m_args(message.args()) { }

    bool atEnd() const { return m_index >= m_args.size(); }
    bool ok() const { return m_ok; }

    qint64 nextInt()
    {
        if (atEnd()) {
            m_ok = false;
            return 0;
        }
        bool converted = false;
        const qint64 value = m_args.at(m_index++).variant().toLongLong(&converted);
        if (!converted)
            m_ok = false;
        return value;
    }

    QString nextString()
    {
        if (atEnd()) {
            m_ok = false;
            return QString();
        }
        const ProtocolArg &arg = m_args.at(m_index++);
        if (arg.type() == ProtocolArg::Bytes)
            return QString::fromUtf8(arg.variant().toByteArray());
        return arg.variant().toString();
    }

    // The field number of the next field, or -1 at the end.
    qint64 peekField() const { return atEnd() ? -1 : qint64(m_args.at(m_index).field()); }

private:
    const QList<ProtocolArg> &m_args;
    qsizetype m_index = 0;
    bool m_ok = true;
};
