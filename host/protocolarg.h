#pragma once

#include "hostexport.h"

#include <QString>
#include <QVariant>

// One typed, numbered field of a message.
class PHOST_EXPORT ProtocolArg
{
public:
    enum Type { UInt8, UInt16, UInt32, Int32, String, Bytes };

    ProtocolArg() = default;
    ProtocolArg(quint32 field, Type type, const QVariant &value, int encoding = 0)
        : m_field(field), m_type(type), m_value(value), m_encoding(encoding)
    {
    }

    quint32 field() const { return m_field; }
    Type type() const { return m_type; }
    QVariant variant() const { return m_value; }
    int encoding() const { return m_encoding; }

    static QString typeName(Type type);

private:
    quint32 m_field = 0;
    Type m_type = Int32;
    QVariant m_value;
    int m_encoding = 0;
};
