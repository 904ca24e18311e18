#pragma once

#include "clientoptions.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;

// The owner's end of the hand-over: later starts on the same home and user
// send their command line here instead of running themselves.
//
// Each connection carries one request line (JSON: open, subscribe, update) and
// gets lines back: "accepted", then whatever the request prints ("pellix: ..."
// lines belong on the error output), then "exit <code>"; or "busy" when this
// process cannot take the request.
class InstanceServer : public QObject
{
    Q_OBJECT
public:
    explicit InstanceServer(QObject *parent = nullptr);

    // Listens on name; a socket left by a dead owner is replaced.
    bool listen(const QString &name);
    QString errorString() const;

    static QByteArray requestLine(const ClientOptions &options);
    // The answers to a request: take it (then finish it), or refuse it as busy.
    static void take(QLocalSocket *socket);
    static void refuseBusy(QLocalSocket *socket);
    // Ends a request: the exit code line, then the connection closes.
    static void finish(QLocalSocket *socket, int exitCode);

signals:
    // socket stays open until finish() or the other side goes away.
    void requested(QLocalSocket *socket, const ClientOptions &request);

private:
    void accept();
    void read(QLocalSocket *socket);

    QLocalServer *m_server;
};
