#pragma once

#include "hostexport.h"
#include "request.h"
#include "requesthandler.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class MessageRouter;

// The client's side of the plug-in protocol: command routing into plug-ins,
// outcomes of commands, and the path of every message a plug-in sends.
class PHOST_EXPORT WrapPluginHelper : public QObject
{
    Q_OBJECT
public:
    static WrapPluginHelper &Instance();

    template <typename R>
    RequestHandler *setOnCommand(quint16 module, quint16 command, R *receiver,
        void (R::*slot)(RequestHandler *, Request *), int = 0)
    {
        return registerCommand(module, command, receiver,
            [receiver, slot](RequestHandler *h, Request *r) { (receiver->*slot)(h, r); });
    }

    void requestSucceeded(Request *request, int = 0);
    void requestFailed(Request *request, int code, int = 0);
    void freeRequest(Request *request);

    // A plug-in announces its id when its account is ready.
    virtual void registerPluginId(int id);
    // What a plug-in's last interface operation reports about itself.
    virtual QString pluginKey(int id) const;
    QList<int> registeredPluginIds() const { return m_pluginIds; }

    // Client side.
    void setRouter(MessageRouter *router) { m_router = router; }
    MessageRouter *router() const { return m_router; }
    bool hasCommand(quint16 module, quint16 command) const;
    // Delivers a command synchronously to its slot. message may be null. The returned
    // request carries the outcome once the slot has answered; it is deleted later
    // by the event loop after it finished.
    Request *deliverCommand(quint16 module, quint16 command, const Protocol *message);
    // Used by PSimpleMessage: hands a built request to the installed router, or fails it.
    void send(Request *request);
    void removeCommands(QObject *receiver);

signals:
    void commandFinished(Request *request);
    void pluginRegistered(int id);

private:
    struct Command
    {
        QPointer<QObject> receiver;
        std::function<void(RequestHandler *, Request *)> call;
        std::unique_ptr<RequestHandler> handler;
    };
    RequestHandler *registerCommand(quint16 module, quint16 command, QObject *receiver,
        std::function<void(RequestHandler *, Request *)> call);
    WrapPluginHelper() = default;

    QHash<quint32, std::shared_ptr<Command>> m_commands;
    MessageRouter *m_router = nullptr;
    QList<int> m_pluginIds;
};
