#pragma once

#include "host/protocolarg.h"

#include <QList>
#include <QString>

// Reads the arguments of a received message strictly in order. The first argument
// that is missing or of the wrong kind stops the reader: that read and every later
// one fail, so a short or garbled answer is never read past its end.
class ProtocolReader
{
public:
    explicit ProtocolReader(const QList<ProtocolArg> &args) : m_args(args) { }

    // An integer argument (uint8, uint16, uint32 or int32).
    bool readInt(qint64 *value);
    // A text argument: a string, or bytes in UTF-8.
    bool readText(QString *value);
    // An integer argument together with its field number.
    bool readField(quint32 *field, qint64 *value);

    bool failed() const { return m_failed; }
    bool atEnd() const { return m_index >= m_args.size(); }
    int position() const { return m_index; }

    static bool isInteger(const ProtocolArg &arg);

private:
    const ProtocolArg *next();

    QList<ProtocolArg> m_args;
    int m_index = 0;
    bool m_failed = false;
};
