#include "wrappluginhelper.h"
#include "messagerouter.h"

#include <QTimer>

MessageRouter::~MessageRouter() = default;

WrapPluginHelper &WrapPluginHelper::Instance()
{
    static WrapPluginHelper helper;
    return helper;
}

static quint32 commandKey(quint16 module, quint16 command)
{
    return (quint32(module) << 16) | command;
}

RequestHandler *WrapPluginHelper::registerCommand(quint16 module, quint16 command,
    QObject *receiver, std::function<void(RequestHandler *, Request *)> call)
{
    auto entry = std::make_shared<Command>();
    entry->receiver = receiver;
    entry->call = std::move(call);
    entry->handler = std::make_unique<RequestHandler>(module, command);
    RequestHandler *handler = entry->handler.get();
    m_commands.insert(commandKey(module, command), entry);
    return handler;
}

bool WrapPluginHelper::hasCommand(quint16 module, quint16 command) const
{
    const auto entry = m_commands.value(commandKey(module, command));
    return entry && entry->receiver;
}

void WrapPluginHelper::removeCommands(QObject *receiver)
{
    for (auto it = m_commands.begin(); it != m_commands.end();) {
        if (!it.value()->receiver || it.value()->receiver == receiver)
            it = m_commands.erase(it);
        else
            ++it;
    }
}

Request *WrapPluginHelper::deliverCommand(quint16 module, quint16 command, const Protocol *message)
{
    auto *request = new Request(message, this);
    connect(request, &Request::finished, this, [this](Request *r) {
        emit commandFinished(r);
        r->deleteLater();
    });
    const auto entry = m_commands.value(commandKey(module, command));
    if (!entry || !entry->receiver) {
        request->setOutcome(Request::Outcome::Failed, 0);
        return request;
    }
    entry->call(entry->handler.get(), request); // keeps entry alive while it runs
    return request;
}

void WrapPluginHelper::requestSucceeded(Request *request, int)
{
    if (request && request->outcome() == Request::Outcome::Pending)
        request->setOutcome(Request::Outcome::Succeeded);
}

void WrapPluginHelper::requestFailed(Request *request, int code, int)
{
    if (request && request->outcome() == Request::Outcome::Pending)
        request->setOutcome(Request::Outcome::Failed, code);
}

void WrapPluginHelper::freeRequest(Request *request)
{
    if (request)
        request->deleteLater();
}

void WrapPluginHelper::registerPluginId(int id)
{
    if (!m_pluginIds.contains(id))
        m_pluginIds.append(id);
    emit pluginRegistered(id);
}

QString WrapPluginHelper::pluginKey(int id) const
{
    return QStringLiteral("pellix.plugin.%1").arg(id);
}

void WrapPluginHelper::send(Request *request)
{
    request->setParent(this);
    if (m_router)
        m_router->route(request);
    else
        request->fail(1); // no client: every request fails, later
}
