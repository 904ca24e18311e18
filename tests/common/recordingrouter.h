#pragma once

#include "host/messagerouter.h"
#include "host/protocol.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include "host/request.h"

// Test seam: installed while it lives, it keeps every message a plug-in sends, in
// order, and lets the test answer any of them with a reply or a failure.
class RecordingRouter : public QObject, public MessageRouter
{
    Q_OBJECT
public:
    explicit RecordingRouter(QObject *parent = nullptr);
    ~RecordingRouter() override;

    void route(Request *request) override;

    int count() const { return int(m_messages.size()); }
    const Protocol &message(int index) const { return m_messages.at(index); }
    const QList<Protocol> &messages() const { return m_messages; }
    Request *request(int index) const { return m_requests.value(index); }
    // Index of the first message (module, command) at or after from; -1 if none.
    int indexOf(quint16 module, quint16 command, int from = 0) const;
    QList<int> indexesOf(quint16 module, quint16 command) const;
    QList<Protocol> messagesOf(quint16 module, quint16 command) const;
    // "module,command" of every message in order, e.g. "41,61818".
    QStringList commandList() const;

    bool answer(int index, const Protocol &reply);
    bool answerWithoutMessage(int index);
    bool fail(int index, int code = 1);
    void clear();

    // When set, every routed request fails at once with this code (later, from the loop).
    void setAutoFail(bool on, int code = 1)
    {
        m_autoFail = on;
        m_autoFailCode = code;
    }

signals:
    void routed(int index);

private:
    QList<Protocol> m_messages;
    QList<QPointer<Request>> m_requests;
    MessageRouter *m_previous = nullptr;
    bool m_autoFail = false;
    int m_autoFailCode = 1;
};
