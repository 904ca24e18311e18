#include "handover.h"
#include "instanceserver.h"

#include <QDeadlineTimer>
#include <QIODevice>
#include <QLocalSocket>
#include <QThread>

HandOver::Result HandOver::send(const QString &serverName, const ClientOptions &options,
    QIODevice *output, QIODevice *errors, int connectTimeoutMs)
{
    QLocalSocket socket;
    // The owner may have taken the lock a moment ago and not listen yet.
    QDeadlineTimer deadline(connectTimeoutMs);
    for (;;) {
        socket.connectToServer(serverName);
        if (socket.waitForConnected(1000))
            break;
        if (deadline.hasExpired())
            return NoAnswer;
        QThread::msleep(100);
    }
    socket.write(InstanceServer::requestLine(options));
    socket.flush();

    bool accepted = false;
    for (;;) {
        // Before the owner accepts, it may be busy starting up; after, an update run
        // takes as long as its feeds take.
        while (!socket.canReadLine()) {
            if (socket.state() != QLocalSocket::ConnectedState)
                return accepted ? Done : NoAnswer;
            if (!socket.waitForReadyRead(accepted ? -1 : connectTimeoutMs)
                && socket.state() == QLocalSocket::ConnectedState && !accepted)
                return NoAnswer;
        }
        const QByteArray line = socket.readLine();
        if (!accepted) {
            if (line == "busy\n")
                return Busy;
            if (line != "accepted\n")
                return NoAnswer;
            accepted = true;
            continue;
        }
        if (line.startsWith("exit ")) {
            m_exitCode = line.mid(5).trimmed().toInt();
            return Done;
        }
        if (line.startsWith("pellix:"))
            errors->write(line);
        else
            output->write(line);
    }
}
