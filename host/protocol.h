#pragma once

#include "hostexport.h"
#include "protocolarg.h"

#include <QJsonObject>
#include <QList>

// A message between the client and a plug-in: (module, command) and its fields in order.
class PHOST_EXPORT Protocol
{
public:
    Protocol() = default;
    Protocol(quint16 module, quint16 command) : m_module(module), m_command(command) { }

    quint16 module() const { return m_module; }
    quint16 command() const { return m_command; }
    const QList<ProtocolArg> &args() const { return m_args; }

    void addArg(const ProtocolArg &arg) { m_args.append(arg); }
    Protocol &add(quint32 field, ProtocolArg::Type type, const QVariant &value, int encoding = 0);

    // {"module":..,"command":..,"fields":[{"field":..,"type":"..","value":..},..]}
    QJsonObject toJson() const;
    static QJsonArray fieldsToJson(const QList<ProtocolArg> &args);
    // The reverse of toJson; false (message untouched) for anything toJson does not write.
    static bool fromJson(const QJsonObject &json, Protocol *message);

private:
    quint16 m_module = 0;
    quint16 m_command = 0;
    QList<ProtocolArg> m_args;
};
