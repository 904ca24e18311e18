#include "messagelog.h"

#include "host/protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

bool MessageLog::open(const QString &file, QString *errorString)
{
    m_file.close();
    m_file.setFileName(file);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (errorString)
            *errorString = m_file.errorString();
        return false;
    }
    return true;
}

static QJsonObject entry(const char *event, const Protocol &message)
{
    QJsonObject o = message.toJson();
    o.insert(QStringLiteral("event"), QLatin1String(event));
    return o;
}

void MessageLog::message(quint64 request, const Protocol &message)
{
    QJsonObject o = entry("message", message);
    o.insert(QStringLiteral("request"), qint64(request));
    write(o);
}

void MessageLog::reply(quint64 request, const Protocol &message, const Protocol *reply)
{
    QJsonObject o;
    o.insert(QStringLiteral("event"), QStringLiteral("reply"));
    o.insert(QStringLiteral("request"), qint64(request));
    o.insert(QStringLiteral("module"), int(message.module()));
    o.insert(QStringLiteral("command"), int(message.command()));
    o.insert(QStringLiteral("outcome"), QStringLiteral("success"));
    o.insert(
        QStringLiteral("fields"), reply ? Protocol::fieldsToJson(reply->args()) : QJsonArray());
    write(o);
}

void MessageLog::failure(quint64 request, const Protocol &message, int code)
{
    QJsonObject o;
    o.insert(QStringLiteral("event"), QStringLiteral("reply"));
    o.insert(QStringLiteral("request"), qint64(request));
    o.insert(QStringLiteral("module"), int(message.module()));
    o.insert(QStringLiteral("command"), int(message.command()));
    o.insert(QStringLiteral("outcome"), QStringLiteral("failure"));
    o.insert(QStringLiteral("code"), code);
    write(o);
}

void MessageLog::command(
    quint16 module, quint16 command, const Protocol *message, bool succeeded, int code)
{
    QJsonObject o;
    o.insert(QStringLiteral("event"), QStringLiteral("command"));
    o.insert(QStringLiteral("module"), int(module));
    o.insert(QStringLiteral("command"), int(command));
    o.insert(
        QStringLiteral("fields"), message ? Protocol::fieldsToJson(message->args()) : QJsonArray());
    o.insert(QStringLiteral("message"), message != nullptr);
    o.insert(QStringLiteral("outcome"),
        succeeded ? QStringLiteral("succeeded") : QStringLiteral("failed"));
    if (!succeeded)
        o.insert(QStringLiteral("code"), code);
    write(o);
}

void MessageLog::write(const QJsonObject &entry)
{
    if (!m_file.isOpen())
        return;
    m_file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact));
    m_file.write("\n");
    m_file.flush(); // a trace must survive a crash of the process
}
