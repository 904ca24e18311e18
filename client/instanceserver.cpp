#include "instanceserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

InstanceServer::InstanceServer(QObject *parent) : QObject(parent), m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

bool InstanceServer::listen(const QString &name)
{
    // Only the lock's owner listens: whatever socket is there belonged to a dead one.
    QLocalServer::removeServer(name);
    return m_server->listen(name);
}

QString InstanceServer::errorString() const
{
    return m_server->errorString();
}

QByteArray InstanceServer::requestLine(const ClientOptions &options)
{
    QJsonObject request;
    request.insert(QStringLiteral("open"), options.open);
    request.insert(QStringLiteral("subscribe"), QJsonArray::fromStringList(options.subscribe));
    request.insert(QStringLiteral("update"), options.update);
    return QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n';
}

void InstanceServer::take(QLocalSocket *socket)
{
    socket->write("accepted\n");
    socket->flush();
}

void InstanceServer::refuseBusy(QLocalSocket *socket)
{
    socket->write("busy\n");
    socket->flush();
    socket->disconnectFromServer();
}

void InstanceServer::finish(QLocalSocket *socket, int exitCode)
{
    socket->write("exit " + QByteArray::number(exitCode) + '\n');
    socket->flush();
    socket->disconnectFromServer();
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
    }
}

void InstanceServer::read(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 64 * 1024)
            socket->abort(); // no command line is that long
        return;
    }
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const QJsonObject json = QJsonDocument::fromJson(socket->readLine()).object();
    ClientOptions request;
    request.open = json.value(QStringLiteral("open")).toString();
    for (const QJsonValue &address : json.value(QStringLiteral("subscribe")).toArray())
        request.subscribe.append(address.toString());
    request.update = json.value(QStringLiteral("update")).toBool();
    emit requested(socket, request);
}
