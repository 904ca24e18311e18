#pragma once

#include <QFile>
#include <QString>

class Protocol;
class QJsonObject;

// The protocol trace: one JSON object per line for every message the plug-in
// sends, every reply the client gives and every command the client delivers.
class MessageLog
{
public:
    // Appends to file; false (with the reason) when it cannot be written.
    bool open(const QString &file, QString *errorString = nullptr);
    bool isOpen() const { return m_file.isOpen(); }
    void close() { m_file.close(); }

    // {"event":"message","request":id,"module":..,"command":..,"fields":[..]}
    void message(quint64 request, const Protocol &message);
    // {"event":"reply","request":id,"module":..,"command":..,"outcome":"success","fields":[..]}
    // or "outcome":"failure" with "code".
    void reply(quint64 request, const Protocol &message, const Protocol *reply);
    void failure(quint64 request, const Protocol &message, int code);
    // {"event":"command","module":..,"command":..,"fields":[..],"outcome":"succeeded"|"failed"[,"code"]}
    void command(
        quint16 module, quint16 command, const Protocol *message, bool succeeded, int code);

private:
    void write(const QJsonObject &entry);
    QFile m_file;
};
