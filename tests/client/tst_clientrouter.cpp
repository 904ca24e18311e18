#include "client/catalogue.h"
#include "client/clientrouter.h"
#include "client/messagelog.h"
#include "client/protocolfields.h"
#include "client/serverstore.h"

#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "host/psimplemessage.h"
#include "host/wrappluginhelper.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Stands in for the plug-in: sends a message and keeps what comes back.
class Sender : public QObject
{
    Q_OBJECT
public:
    bool answered = false;
    bool failed = false;
    Protocol reply;

    void send(const Protocol &message)
    {
        answered = failed = false;
        PSimpleMessage m(message.module(), message.command(), false);
        for (const ProtocolArg &arg : message.args()) {
            if (arg.type() == ProtocolArg::String)
                m.AddFieldAsString(arg.field(), arg.variant().toString(), 1);
            else
                m.AddFieldAsUint32(arg.field(), arg.variant().toUInt());
        }
        m.Send(this, &Sender::ok, this, &Sender::bad, 0);
    }
    void ok(Request *r)
    {
        answered = true;
        reply = r->reply() ? *r->reply() : Protocol();
        WrapPluginHelper::Instance().freeRequest(r);
    }
    void bad(Request *r)
    {
        failed = true;
        WrapPluginHelper::Instance().freeRequest(r);
    }
};

class tst_ClientRouter : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void clientRequests();
    void unknownAndOfflineRequestsFail_data();
    void unknownAndOfflineRequestsFail();
    void firstAnswerForNewAndExistingUsers();
    void unreadableLocalDatabaseIsNotRecorded();
    void storeFollowsTheMessages();
    void noticesReachTheDisplay();
    void messageLogTracesEverything();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<ClientRouter> m_router;
    Catalogue m_catalogue;
    Sender m_sender;
};

void tst_ClientRouter::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    PDir::setHomePath(m_home->path());
    CPxBuddy_Administrator::Instance().reset();
    CPxBuddy_Administrator::Instance().signIn(12);
    m_store = std::make_unique<ServerStore>();
    QVERIFY(m_store->open(m_home->filePath(QStringLiteral("server/store.sqlite"))));
    QVERIFY(m_catalogue.load(Catalogue::builtInFile()));
    m_router = std::make_unique<ClientRouter>();
    m_router->setStore(m_store.get());
    m_router->setCatalogue(&m_catalogue);
    m_router->install();
}

void tst_ClientRouter::cleanup()
{
    m_router.reset();
    m_store.reset();
}

void tst_ClientRouter::clientRequests()
{
    m_router->setBrand(QStringLiteral("acme"));
    m_sender.send(Protocol(1, ClientMessage::MandatorIdRequest));
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_sender.reply.args().size(), 1);
    QCOMPARE(m_sender.reply.args().at(0).field(), ProtocolField::Mandator);
    QCOMPARE(m_sender.reply.args().at(0).variant().toString(), QStringLiteral("acme"));

    m_sender.send(Protocol(1, ClientMessage::ProxyRequest));
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_sender.reply.args().at(0).variant().toInt(), 0);

    QSignalSpy activations(m_router.get(), &ClientRouter::windowActivationRequested);
    Protocol activate(1, ClientMessage::WindowActivate);
    activate.add(0, ProtocolArg::Int32, 4242);
    m_sender.send(activate);
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(activations.size(), 1);
    QCOMPARE(activations.at(0).at(0).toLongLong(), 4242);

    // The top of the catalogue, then one category's subtree.
    Protocol top(41, ClientMessage::CatalogueChildrenRequest);
    top.add(ProtocolField::CatalogueNode, ProtocolArg::UInt32, 0);
    top.add(ProtocolField::CatalogueFlag, ProtocolArg::UInt8, 0);
    m_sender.send(top);
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_sender.reply.args().size(), m_catalogue.childrenAnswer(0).args().size());
    QVERIFY(m_sender.reply.args().at(0).variant().toInt() >= 6);
}

void tst_ClientRouter::unknownAndOfflineRequestsFail_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("offline");
    QTest::newRow("unknown core request") << 1 << 500 << false;
    QTest::newRow("unknown news request") << 41 << 99 << false;
    QTest::newRow("unknown module") << 7 << 1 << false;
    QTest::newRow("feeds and settings offline") << 41 << 1 << true;
    QTest::newRow("catalogue offline") << 41 << 3 << true;
    QTest::newRow("folders offline") << 41 << 7 << true;
}

void tst_ClientRouter::unknownAndOfflineRequestsFail()
{
    QFETCH(int, module);
    QFETCH(int, command);
    QFETCH(bool, offline);
    if (offline) {
        m_router->setStore(nullptr);
        m_router->setCatalogue(nullptr);
    }
    Protocol message{quint16(module), quint16(command)};
    message.add(ProtocolField::CatalogueNode, ProtocolArg::UInt32, 0);
    m_sender.send(message);
    QTRY_VERIFY(m_sender.failed);
    QVERIFY(!m_sender.answered);
    QVERIFY(!m_store->hasUser(12));
}

void tst_ClientRouter::firstAnswerForNewAndExistingUsers()
{
    QSignalSpy answered(m_router.get(), &ClientRouter::feedsAndSettingsAnswered);
    Protocol request(41, ClientMessage::FeedsAndSettingsRequest);
    request.add(ProtocolField::Country, ProtocolArg::String, QStringLiteral("DE"));
    // The plug-in has just created the database: nothing to adopt.
    m_router->setProfileExisted(false);
    m_sender.send(request);
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(answered.size(), 1);
    QVERIFY(m_store->hasUser(12));
    const QList<ProtocolArg> args = m_sender.reply.args();
    // 0 settings, 0 feeds, 1 folder: id 1, no title, no feeds.
    QCOMPARE(args.size(), 6);
    QCOMPARE(args.at(0).variant().toInt(), 0);
    QCOMPARE(args.at(1).variant().toInt(), 0);
    QCOMPARE(args.at(2).variant().toInt(), 1);
    QVERIFY(args.at(4).variant().toByteArray().isEmpty());
    QCOMPARE(args.at(5).variant().toInt(), 0);
}

void tst_ClientRouter::unreadableLocalDatabaseIsNotRecorded()
{
    QDir().mkpath(PDir::profilesPath(true));
    QFile broken(PDir::profilesPath(true) + QStringLiteral("/12.rssdb"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(8192, 'z'));
    broken.close();
    QSignalSpy problems(m_router.get(), &ClientRouter::serverProblem);
    m_router->setProfileExisted(true);
    m_sender.send(Protocol(41, ClientMessage::FeedsAndSettingsRequest));
    QTRY_VERIFY(m_sender.failed);
    QCOMPARE(problems.size(), 1);
    QVERIFY(!m_store->hasUser(12));
}

void tst_ClientRouter::storeFollowsTheMessages()
{
    QVERIFY(m_store->addUser(12));
    // A catalogue subscription names only the id; the store takes address and
    // title from the catalogue.
    Protocol subscribed(41, ClientMessage::FeedSubscribed);
    subscribed.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 1);
    subscribed.add(ProtocolField::FarmId, ProtocolArg::UInt32, 1001);
    subscribed.add(ProtocolField::FeedState, ProtocolArg::UInt32, 3);
    m_sender.send(subscribed);
    QTRY_VERIFY(m_sender.answered);
    const UserRecord record = m_store->record(12);
    QCOMPARE(record.feeds.size(), 1);
    QCOMPARE(record.feeds.at(0).source, m_catalogue.feed(1001)->address);
    QCOMPARE(record.feeds.at(0).title, m_catalogue.feed(1001)->title);
}

void tst_ClientRouter::noticesReachTheDisplay()
{
    QSignalSpy notices(m_router.get(), &ClientRouter::noticeReceived);
    for (quint16 command : {ClientMessage::FeedItemsChanged, ClientMessage::FeedShownInClient,
             ClientMessage::FeedHiddenInClient, ClientMessage::OptionsChanged,
             ClientMessage::ItemStateNotice}) {
        m_sender.send(Protocol(41, command));
        QTRY_VERIFY(m_sender.answered);
    }
    QCOMPARE(notices.size(), 5);
    QCOMPARE(notices.at(4).at(0).value<quint16>(), ClientMessage::ItemStateNotice);
}

void tst_ClientRouter::messageLogTracesEverything()
{
    const QString file = m_home->filePath(QStringLiteral("trace.jsonl"));
    MessageLog log;
    QVERIFY(log.open(file));
    m_router->setLog(&log);
    Protocol request(41, ClientMessage::FeedsAndSettingsRequest);
    request.add(ProtocolField::Country, ProtocolArg::String, QStringLiteral("DE"));
    m_sender.send(request);
    QTRY_VERIFY(m_sender.answered);
    m_sender.send(Protocol(1, 500));
    QTRY_VERIFY(m_sender.failed);
    log.command(41, 61812, nullptr, false, 82);
    log.close();

    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = in.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 5);
    const QJsonObject sent = QJsonDocument::fromJson(lines.at(0)).object();
    QCOMPARE(sent.value(QStringLiteral("event")).toString(), QStringLiteral("message"));
    QCOMPARE(sent.value(QStringLiteral("module")).toInt(), 41);
    QCOMPARE(sent.value(QStringLiteral("command")).toInt(), 1);
    const QJsonObject field = sent.value(QStringLiteral("fields")).toArray().at(0).toObject();
    QCOMPARE(field.value(QStringLiteral("field")).toInt(), 732);
    QCOMPARE(field.value(QStringLiteral("type")).toString(), QStringLiteral("string"));
    QCOMPARE(field.value(QStringLiteral("value")).toString(), QStringLiteral("DE"));
    const QJsonObject reply = QJsonDocument::fromJson(lines.at(1)).object();
    QCOMPARE(reply.value(QStringLiteral("event")).toString(), QStringLiteral("reply"));
    QCOMPARE(reply.value(QStringLiteral("request")), sent.value(QStringLiteral("request")));
    QCOMPARE(reply.value(QStringLiteral("outcome")).toString(), QStringLiteral("success"));
    QCOMPARE(reply.value(QStringLiteral("fields")).toArray().size(), 6);
    const QJsonObject failure = QJsonDocument::fromJson(lines.at(3)).object();
    QCOMPARE(failure.value(QStringLiteral("outcome")).toString(), QStringLiteral("failure"));
    QCOMPARE(failure.value(QStringLiteral("code")).toInt(), ClientMessage::UnknownRequest);
    const QJsonObject command = QJsonDocument::fromJson(lines.at(4)).object();
    QCOMPARE(command.value(QStringLiteral("event")).toString(), QStringLiteral("command"));
    QCOMPARE(command.value(QStringLiteral("outcome")).toString(), QStringLiteral("failed"));
    QCOMPARE(command.value(QStringLiteral("code")).toInt(), 82);
}

QTEST_MAIN(tst_ClientRouter)
#include "tst_clientrouter.moc"
