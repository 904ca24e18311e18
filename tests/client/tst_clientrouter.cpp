#include "client/catalogue.h"
#include "client/clientrouter.h"
#include "client/messagelog.h"
#include "client/outbox.h"
#include "client/sqliteserverstore.h"
#include "core/rssprotocol.h"
#include "testhelpers.h"

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
    void knownRequests();
    void unknownAndOfflineRequestsFail_data();
    void unknownAndOfflineRequestsFail();
    void messageLogTracesEverything();
    void offlineChangesReachTheStoreFirst();

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
    m_store = std::make_unique<SqliteServerStore>();
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

void tst_ClientRouter::knownRequests()
{
    m_router->setBrand(QStringLiteral("acme"));
    m_sender.send(Protocol(ClientMessage::CoreModule, ClientMessage::MandatorIdRequest));
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_sender.reply.args().size(), 1);
    QCOMPARE(m_sender.reply.args().at(0).field(), ProtocolField::Mandator);
    QCOMPARE(m_sender.reply.args().at(0).variant().toString(), QStringLiteral("acme"));

    m_sender.send(Protocol(ClientMessage::CoreModule, ClientMessage::ProxyRequest));
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_sender.reply.args().at(0).variant().toInt(), 0); // no proxy

    QSignalSpy activations(m_router.get(), &ClientRouter::windowActivationRequested);
    Protocol activate(ClientMessage::CoreModule, ClientMessage::WindowActivate);
    activate.add(0, ProtocolArg::Int32, 4242);
    m_sender.send(activate);
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(activations.size(), 1);
    QCOMPARE(activations.at(0).at(0).toLongLong(), 4242);

    QVERIFY(m_store->addUser(12));
    // A catalogue subscription names only the id; the store takes address and
    // title from the catalogue.
    Protocol subscribed(ClientMessage::NewsModule, ClientMessage::FeedSubscribed);
    subscribed.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 1);
    subscribed.add(ProtocolField::FarmId, ProtocolArg::UInt32, 1001);
    subscribed.add(ProtocolField::FeedState, ProtocolArg::UInt32, 3);
    m_sender.send(subscribed);
    QTRY_VERIFY(m_sender.answered);
    const UserRecord record = m_store->record(12);
    QCOMPARE(record.feeds.size(), 1);
    QCOMPARE(record.feeds.at(0).source, m_catalogue.feed(1001)->address);
    QCOMPARE(record.feeds.at(0).title, m_catalogue.feed(1001)->title);

    // Notices for the display are acknowledged and passed on.
    QSignalSpy notices(m_router.get(), &ClientRouter::noticeReceived);
    for (quint16 command : {ClientMessage::FeedItemsChanged, ClientMessage::FeedShownInClient,
             ClientMessage::FeedHiddenInClient, ClientMessage::OptionsChanged,
             ClientMessage::ItemStateNotice}) {
        m_sender.send(Protocol(ClientMessage::NewsModule, command));
        QTRY_VERIFY(m_sender.answered);
    }
    QCOMPARE(notices.size(), 5);
    QCOMPARE(notices.at(4).at(0).value<quint16>(), ClientMessage::ItemStateNotice);
}

void tst_ClientRouter::unknownAndOfflineRequestsFail_data()
{
    QTest::addColumn<int>("module");
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("offline");
    QTest::newRow("unknown core request") << 1 << 500 << false;
    QTest::newRow("unknown news request") << int(ClientMessage::NewsModule) << 99 << false;
    QTest::newRow("unknown module") << 7 << 1 << false;
    QTest::newRow("feeds and settings offline")
        << int(ClientMessage::NewsModule) << int(ClientMessage::FeedsAndSettingsRequest) << true;
    QTest::newRow("catalogue offline")
        << int(ClientMessage::NewsModule) << int(ClientMessage::CatalogueChildrenRequest) << true;
    QTest::newRow("folders offline")
        << int(ClientMessage::NewsModule) << int(ClientMessage::FoldersChanged) << true;
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

void tst_ClientRouter::messageLogTracesEverything()
{
    const QString file = m_home->filePath(QStringLiteral("trace.jsonl"));
    MessageLog log;
    QVERIFY(log.open(file));
    m_router->setLog(&log);
    // A user the store has not seen, whose plug-in has just created the database.
    QSignalSpy answered(m_router.get(), &ClientRouter::feedsAndSettingsAnswered);
    m_router->setProfileExisted(false);
    Protocol request(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest);
    request.add(ProtocolField::Country, ProtocolArg::String, QStringLiteral("DE"));
    m_sender.send(request);
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(answered.size(), 1);
    QVERIFY(m_store->hasUser(12));
    // 0 settings, 0 feeds, 1 folder: id 1, no title, no feeds.
    QStringList args;
    for (const ProtocolArg &arg : m_sender.reply.args())
        args.append(arg.variant().toString());
    QCOMPARE(args.join(QLatin1Char('|')), QStringLiteral("0|0|1|1||0"));
    m_sender.send(Protocol(ClientMessage::CoreModule, 500));
    QTRY_VERIFY(m_sender.failed);
    log.command(ClientMessage::NewsModule, ClientMessage::OpenViewer, nullptr, false,
        ClientMessage::NoMessage);
    log.close();

    const QList<QJsonObject> lines = TestHelpers::jsonLines(file);
    QStringList trace; // event|module|command|outcome|code of every line
    for (const QJsonObject &line : lines) {
        QStringList values;
        for (const char *key : {"event", "module", "command", "outcome", "code"})
            values.append(line.value(QLatin1String(key)).toVariant().toString());
        trace.append(values.join(QLatin1Char('|')));
    }
    QCOMPARE(trace,
        (QStringList{QStringLiteral("message|41|1||"), QStringLiteral("reply|41|1|success|"),
            QStringLiteral("message|1|500||"),
            QStringLiteral("reply|1|500|failure|%1").arg(ClientMessage::UnknownRequest),
            QStringLiteral("command|41|61812|failed|82")}));
    const QJsonObject field
        = lines.at(0).value(QStringLiteral("fields")).toArray().at(0).toObject();
    QCOMPARE(field.value(QStringLiteral("field")).toInt(), int(ProtocolField::Country));
    QCOMPARE(field.value(QStringLiteral("type")).toString(), QStringLiteral("string"));
    QCOMPARE(field.value(QStringLiteral("value")).toString(), QStringLiteral("DE"));
    QCOMPARE(
        lines.at(1).value(QStringLiteral("request")), lines.at(0).value(QStringLiteral("request")));
}

// An own feed's subscription (subscribed) or its removal.
static Protocol ownFeed(quint16 command, int id, const QString &source)
{
    Protocol message(41, command);
    message.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 2);
    message.add(ProtocolField::OwnFeedId, ProtocolArg::UInt32, id);
    if (command == ClientMessage::FeedSubscribed)
        message.add(
            ProtocolField::FeedTitle, ProtocolArg::String, QStringLiteral("Own %1").arg(id));
    message.add(ProtocolField::FeedSource, ProtocolArg::String, source);
    if (command == ClientMessage::FeedSubscribed)
        message.add(ProtocolField::FeedState, ProtocolArg::UInt32, 3);
    return message;
}

void tst_ClientRouter::offlineChangesReachTheStoreFirst()
{
    QVERIFY(m_store->addUser(12));
    Outbox outbox(m_home->filePath(QStringLiteral("outbox")));
    m_router->setOutbox(&outbox);
    m_router->setStore(nullptr);

    // Offline: subscribed to two, then gave the first up again.
    const QString first = QStringLiteral("http://127.0.0.1/first");
    const QString second = QStringLiteral("http://127.0.0.1/second");
    for (const Protocol &message : {ownFeed(ClientMessage::FeedSubscribed, 1, first),
             ownFeed(ClientMessage::FeedSubscribed, 2, second),
             ownFeed(ClientMessage::FeedUnsubscribed, 1, first)}) {
        m_sender.send(message);
        QTRY_VERIFY(m_sender.failed);
    }
    QCOMPARE(outbox.messages(12).size(), 3);
    // A line cut short by a crash costs only itself.
    {
        QFile file(outbox.fileFor(12));
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"module\":41,\"comm\n");
    }
    QCOMPARE(outbox.messages(12).size(), 3);
    QVERIFY(outbox.messages(99).isEmpty());

    // Online again: the store has them, in order, before it answers.
    m_router->setStore(m_store.get());
    m_sender.send(Protocol(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest));
    QTRY_VERIFY(m_sender.answered);
    const UserRecord record = m_store->record(12);
    QCOMPARE(record.feeds.size(), 1);
    QCOMPARE(record.feeds.at(0).source, second);
    QStringList answer;
    for (const ProtocolArg &arg : m_sender.reply.args())
        answer.append(arg.variant().toString());
    QVERIFY2(answer.contains(second), qPrintable(answer.join(QLatin1Char('|'))));
    QVERIFY(!QFile::exists(outbox.fileFor(12)));

    // Delivered once only.
    m_store->apply(12, ownFeed(ClientMessage::FeedUnsubscribed, 2, second));
    m_sender.send(Protocol(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest));
    QTRY_VERIFY(m_sender.answered);
    QCOMPARE(m_store->record(12).feeds.size(), 0);
}

QTEST_MAIN(tst_ClientRouter)
#include "tst_clientrouter.moc"
