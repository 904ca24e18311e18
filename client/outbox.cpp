#include "outbox.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

Outbox::Outbox(const QString &directory) : m_directory(directory) { }

QString Outbox::fileFor(quint32 user) const
{
    return QDir(m_directory).filePath(QString::number(user) + QStringLiteral(".jsonl"));
}

bool Outbox::append(quint32 user, const Protocol &message)
{
    if (!QDir().mkpath(m_directory))
        return false;
    QFile file(fileFor(user));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray line = QJsonDocument(message.toJson()).toJson(QJsonDocument::Compact) + '\n';
    return file.write(line) == line.size() && file.flush();
}

QList<Protocol> Outbox::messages(quint32 user) const
{
    QList<Protocol> result;
    QFile file(fileFor(user));
    if (!file.open(QIODevice::ReadOnly))
        return result;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        Protocol message;
        // A line cut short by a crash while it was written is all that can be lost.
        if (!line.isEmpty() && Protocol::fromJson(QJsonDocument::fromJson(line).object(), &message))
            result.append(message);
    }
    return result;
}

bool Outbox::remove(quint32 user, int count)
{
    const QList<Protocol> kept = messages(user).mid(count);
    if (kept.isEmpty())
        return !QFile::exists(fileFor(user)) || QFile::remove(fileFor(user));
    QSaveFile file(fileFor(user));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Protocol &message : kept)
        file.write(QJsonDocument(message.toJson()).toJson(QJsonDocument::Compact) + '\n');
    return file.commit();
}
