#include "protocol.h"

#include <QJsonArray>

QString ProtocolArg::typeName(Type type)
{
    switch (type) {
    case UInt8:
        return QStringLiteral("uint8");
    case UInt16:
        return QStringLiteral("uint16");
    case UInt32:
        return QStringLiteral("uint32");
    case Int32:
        return QStringLiteral("int32");
    case String:
        return QStringLiteral("string");
    case Bytes:
        return QStringLiteral("bytes");
    }
    return QString();
}

Protocol &Protocol::add(quint32 field, ProtocolArg::Type type, const QVariant &value, int encoding)
{
    m_args.append(ProtocolArg(field, type, value, encoding));
    return *this;
}

QJsonArray Protocol::fieldsToJson(const QList<ProtocolArg> &args)
{
    QJsonArray fields;
    for (const ProtocolArg &arg : args) {
        QJsonObject f;
        f.insert(QStringLiteral("field"), qint64(arg.field()));
        f.insert(QStringLiteral("type"), ProtocolArg::typeName(arg.type()));
        switch (arg.type()) {
        case ProtocolArg::String:
            f.insert(QStringLiteral("value"), arg.variant().toString());
            break;
        case ProtocolArg::Bytes:
            f.insert(QStringLiteral("value"), QString::fromUtf8(arg.variant().toByteArray()));
            break;
        default:
            f.insert(QStringLiteral("value"), arg.variant().toLongLong());
            break;
        }
        fields.append(f);
    }
    return fields;
}

QJsonObject Protocol::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("module"), int(m_module));
    o.insert(QStringLiteral("command"), int(m_command));
    o.insert(QStringLiteral("fields"), fieldsToJson(m_args));
    return o;
}

bool Protocol::fromJson(const QJsonObject &json, Protocol *message)
{
    const QJsonValue module = json.value(QStringLiteral("module"));
    const QJsonValue command = json.value(QStringLiteral("command"));
    const QJsonValue fields = json.value(QStringLiteral("fields"));
    if (!module.isDouble() || !command.isDouble() || !fields.isArray())
        return false;
    Protocol result(quint16(module.toInt()), quint16(command.toInt()));
    for (const QJsonValue &value : fields.toArray()) {
        const QJsonObject f = value.toObject();
        const QString type = f.value(QStringLiteral("type")).toString();
        const QJsonValue data = f.value(QStringLiteral("value"));
        const quint32 field = quint32(f.value(QStringLiteral("field")).toInteger());
        bool known = false;
        for (ProtocolArg::Type t : {ProtocolArg::UInt8, ProtocolArg::UInt16, ProtocolArg::UInt32,
                 ProtocolArg::Int32, ProtocolArg::String, ProtocolArg::Bytes}) {
            if (ProtocolArg::typeName(t) != type)
                continue;
            known = true;
            if (t == ProtocolArg::String && data.isString())
                result.add(field, t, data.toString(), 1);
            else if (t == ProtocolArg::Bytes && data.isString())
                result.add(field, t, data.toString().toUtf8());
            else if (data.isDouble())
                result.add(field, t, data.toInteger());
            else
                return false;
        }
        if (!known)
            return false;
    }
    *message = result;
    return true;
}
