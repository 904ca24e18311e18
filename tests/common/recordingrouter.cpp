#include "recordingrouter.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"

RecordingRouter::RecordingRouter(QObject *parent) : QObject(parent)
{
    m_previous = WrapPluginHelper::Instance().router();
    WrapPluginHelper::Instance().setRouter(this);
}

RecordingRouter::~RecordingRouter()
{
    if (WrapPluginHelper::Instance().router() == this)
        WrapPluginHelper::Instance().setRouter(m_previous);
}

void RecordingRouter::route(Request *request)
{
    m_messages.append(request->message() ? *request->message() : Protocol());
    m_requests.append(request);
    if (m_autoFail)
        request->fail(m_autoFailCode);
    emit routed(int(m_messages.size()) - 1);
}

int RecordingRouter::indexOf(quint16 module, quint16 command, int from) const
{
    for (int i = qMax(0, from); i < m_messages.size(); ++i) {
        if (m_messages.at(i).module() == module && m_messages.at(i).command() == command)
            return i;
    }
    return -1;
}

QList<int> RecordingRouter::indexesOf(quint16 module, quint16 command) const
{
    QList<int> result;
    for (int i = 0; i < m_messages.size(); ++i) {
        if (m_messages.at(i).module() == module && m_messages.at(i).command() == command)
            result.append(i);
    }
    return result;
}

QList<Protocol> RecordingRouter::messagesOf(quint16 module, quint16 command) const
{
    QList<Protocol> result;
    for (int i : indexesOf(module, command))
        result.append(m_messages.at(i));
    return result;
}

QStringList RecordingRouter::commandList() const
{
    QStringList result;
    for (const Protocol &p : m_messages)
        result.append(QStringLiteral("%1,%2").arg(p.module()).arg(p.command()));
    return result;
}

bool RecordingRouter::answer(int index, const Protocol &reply)
{
    Request *r = m_requests.value(index);
    if (!r || r->outcome() != Request::Outcome::Pending)
        return false;
    r->succeed(reply);
    return true;
}

bool RecordingRouter::answerWithoutMessage(int index)
{
    Request *r = m_requests.value(index);
    if (!r || r->outcome() != Request::Outcome::Pending)
        return false;
    r->succeedWithoutMessage();
    return true;
}

bool RecordingRouter::fail(int index, int code)
{
    Request *r = m_requests.value(index);
    if (!r || r->outcome() != Request::Outcome::Pending)
        return false;
    r->fail(code);
    return true;
}

void RecordingRouter::clear()
{
    m_messages.clear();
    m_requests.clear();
}
