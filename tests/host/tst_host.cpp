#include "core/rssprotocol.h"
#include "host/cpxbuddy_administrator.h"
#include "host/psimplemessage.h"
#include "host/wrappluginhelper.h"
#include "recordingrouter.h"

#include <QSignalSpy>
#include <QTest>

class Receiver : public QObject
{
    Q_OBJECT
public:
    int succeeded = 0;
    int failed = 0;
    QString text;
    void ok(Request *r)
    {
        ++succeeded;
        PSimpleMessage reply(r->reply());
        text = reply.ReadFieldAsString(0);
        WrapPluginHelper::Instance().freeRequest(r);
    }
    void bad(Request *r)
    {
        ++failed;
        WrapPluginHelper::Instance().freeRequest(r);
    }
    void command(RequestHandler *, Request *r)
    {
        if (!r->message()) {
            WrapPluginHelper::Instance().requestFailed(r, ClientMessage::NoMessage, 0);
            return;
        }
        WrapPluginHelper::Instance().requestSucceeded(r, 0);
    }
};

class tst_Host : public QObject
{
    Q_OBJECT
private slots:
    void recordsFieldsInOrder();
    void repliesArriveFromTheEventLoop();
    void commandsReportTheirOutcome();
};

void tst_Host::recordsFieldsInOrder()
{
    RecordingRouter router;
    PSimpleMessage m(ClientMessage::NewsModule, ClientMessage::FeedChanged, false);
    m.AddFieldAsString(ProtocolField::FeedTitle, QStringLiteral("Title"), 1);
    m.AddFieldAsUint16(ProtocolField::FeedKind, 2);
    m.AddFieldAsUint32(ProtocolField::OwnFeedId, 3);
    m.AddFieldAsUint8(0, 1);
    m.AddFieldAsInt32(0, -7);
    m.Send();
    QCOMPARE(router.count(), 1);
    const Protocol &p = router.message(0);
    QCOMPARE(p.module(), ClientMessage::NewsModule);
    QCOMPARE(p.command(), quint16(6));
    QCOMPARE(p.args().size(), 5);
    QCOMPARE(p.args().at(0).field(), 687u);
    QCOMPARE(p.args().at(0).type(), ProtocolArg::String);
    QCOMPARE(p.args().at(0).encoding(), 1);
    QCOMPARE(p.args().at(1).type(), ProtocolArg::UInt16);
    QCOMPARE(p.args().at(2).variant().toUInt(), 3u);
    QCOMPARE(p.args().at(3).type(), ProtocolArg::UInt8);
    QCOMPARE(p.args().at(4).variant().toInt(), -7);
    QCOMPARE(router.commandList(), QStringList{QStringLiteral("41,6")});
}

void tst_Host::repliesArriveFromTheEventLoop()
{
    RecordingRouter router;
    Receiver receiver;
    PSimpleMessage m(ClientMessage::CoreModule, ClientMessage::MandatorIdRequest, false);
    m.Send(&receiver, &Receiver::ok, &receiver, &Receiver::bad, 0);
    Protocol reply;
    reply.add(0, ProtocolArg::String, QStringLiteral("brand"));
    QVERIFY(router.answer(0, reply));
    QCOMPARE(receiver.succeeded, 0); // never inside the answering call
    QTRY_COMPARE(receiver.succeeded, 1);
    QCOMPARE(receiver.text, QStringLiteral("brand"));
    QVERIFY(!router.fail(0)); // answered once only

    PSimpleMessage second(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest, false);
    second.Send(&receiver, &Receiver::ok, &receiver, &Receiver::bad, 0);
    QVERIFY(router.fail(1, 5));
    QTRY_COMPARE(receiver.failed, 1);
}

void tst_Host::commandsReportTheirOutcome()
{
    Receiver receiver;
    auto &helper = WrapPluginHelper::Instance();
    helper.setOnCommand(ClientMessage::NewsModule, ClientMessage::OpenChooseDialog, &receiver,
        &Receiver::command, 0);
    QSignalSpy finished(&helper, &WrapPluginHelper::commandFinished);
    Protocol message(ClientMessage::NewsModule, ClientMessage::OpenChooseDialog);
    Request *ok = helper.deliverCommand(
        ClientMessage::NewsModule, ClientMessage::OpenChooseDialog, &message);
    QCOMPARE(ok->outcome(), Request::Outcome::Succeeded);
    Request *bad = helper.deliverCommand(
        ClientMessage::NewsModule, ClientMessage::OpenChooseDialog, nullptr);
    QCOMPARE(bad->outcome(), Request::Outcome::Failed);
    QCOMPARE(bad->failureCode(), ClientMessage::NoMessage);
    QCOMPARE(finished.count(), 2);
}

QTEST_MAIN(tst_Host)
#include "tst_host.moc"
