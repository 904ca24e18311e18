#include "feedfixture.h"
#include "host/protocol.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "tests/common/testhttpserver.h"
#include "updater/httpconnection.h"
#include "updater/updater.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

namespace {

QByteArray feedDocument(const QByteArray &title, int items = 2)
{
    QByteArray doc
        = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss><channel><title>" + title + "</title>";
    for (int i = 0; i < items; ++i)
        doc += "<item><title>" + title + " " + QByteArray::number(i) + "</title></item>";
    return doc + "</channel></rss>";
}

QList<int> reportedIds(const QSignalSpy &spy)
{
    QList<int> ids;
    for (const QList<QVariant> &args : spy)
        ids << args.at(0).toInt();
    return ids;
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nothingIsFetchedBeforeTheProxyAnswer();
    void proxyAnswer_data();
    void proxyAnswer();
    void httpProxyCarriesTheRequests();
    void lastModifiedDecidesTheGet();
    void noLastModifiedMeansAGetEveryRun();
    void fullRunVisitsKeysAsText();
    void updateWhileBusyQueuesOnceAfterTheFeedInFlight();
    void updateAllWhileBusyRestartsWithoutReport();
    void redirects_data();
    void redirects();
    void redirectLoopIsBounded();
    void headStatusEndsTheFeed_data();
    void headStatusEndsTheFeed();
    void removeFeedInFlight();
    void brokenServers_data();
    void brokenServers();
    void firstTitleRenamesBeforeReport();
    void queueEmptyEndsEveryRun();

private:
    // A started updater whose proxy request has been answered with "no proxy".
    std::unique_ptr<Updater> startedUpdater();
    QByteArray path(int feed) const { return "/f" + QByteArray::number(feed); }
    void addServedFeed(int id, const QByteArray &body = {}, const TestHttpHeaders &headers = {});

    std::unique_ptr<FeedFixture> f;
    std::unique_ptr<RecordingRouter> router;
    std::unique_ptr<TestHttpServer> server;
};

void TestUpdater::init()
{
    f = std::make_unique<FeedFixture>();
    QVERIFY(f->opened);
    router = std::make_unique<RecordingRouter>();
    server = std::make_unique<TestHttpServer>();
}

void TestUpdater::cleanup()
{
    server.reset();
    router.reset();
    f.reset();
}

void TestUpdater::addServedFeed(int id, const QByteArray &body, const TestHttpHeaders &headers)
{
    f->addFeed(id, server->url(path(id)).toString());
    server->setResponse(path(id),
        TestHttpResponse::ok(
            body.isNull() ? feedDocument("F" + QByteArray::number(id)) : body, headers));
}

std::unique_ptr<Updater> TestUpdater::startedUpdater()
{
    auto updater = std::make_unique<Updater>(&f->db);
    updater->setTimings(50, 500, 800);
    const int proxy = router->indexOf(1, 99);
    if (proxy < 0 || !router->answer(proxy, Protocol()))
        return nullptr;
    return updater;
}

void TestUpdater::nothingIsFetchedBeforeTheProxyAnswer()
{
    addServedFeed(1);
    Updater updater(&f->db);
    QCOMPARE(router->commandList(), QStringList({"1,99"}));
    QVERIFY(updater.isBusy());
    updater.update(1);
    updater.updateAll();
    QCoreApplication::processEvents();
    QCOMPARE(updater.connection()->currentId(), 0);

    QSignalSpy reports(&updater, &Updater::newItems);
    router->answer(0, Protocol());
    QVERIFY(reports.wait());
    QCOMPARE(reportedIds(reports), QList<int>({1}));
    QCOMPARE(server->requestLines(), QList<QByteArray>({"HEAD /f1", "GET /f1"}));
}

void TestUpdater::proxyAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("type");
    QTest::newRow("kind 0") << "0" << int(QNetworkProxy::NoProxy);
    QTest::newRow("kind 7 is socks") << "7" << int(QNetworkProxy::Socks5Proxy);
    QTest::newRow("failed request") << "fail" << int(QNetworkProxy::NoProxy);
    QTest::newRow("reply without message") << "none" << int(QNetworkProxy::NoProxy);
}

void TestUpdater::proxyAnswer()
{
    QFETCH(QString, answer);
    QFETCH(int, type);
    Updater updater(&f->db); // no feeds: the run is over as soon as it may start
    QSignalSpy over(&updater, &Updater::queueEmpty);
    if (answer == "fail") {
        router->fail(0, 5);
    } else if (answer == "none") {
        router->answerWithoutMessage(0);
    } else {
        Protocol reply;
        reply.add(0, ProtocolArg::UInt8, answer.toUInt());
        reply.add(0, ProtocolArg::String, QStringLiteral("proxy.invalid"), 1);
        reply.add(0, ProtocolArg::UInt16, 1080);
        router->answer(0, reply);
    }
    QVERIFY(over.wait());
    QCOMPARE(over.size(), 1);
    QCOMPARE(int(updater.connection()->proxy().type()), type);
}

void TestUpdater::httpProxyCarriesTheRequests()
{
    TestHttpServer proxy;
    proxy.setHandler(
        [](const TestHttpRequest &) { return TestHttpResponse::ok(feedDocument("via proxy")); });
    f->addFeed(1, QStringLiteral("http://feeds.invalid:8080/rss?x=1"));
    Updater updater(&f->db);
    QSignalSpy reports(&updater, &Updater::newItems);
    Protocol reply;
    reply.add(0, ProtocolArg::UInt8, 1);
    reply.add(0, ProtocolArg::String, QStringLiteral("127.0.0.1"), 1);
    reply.add(0, ProtocolArg::UInt16, proxy.port());
    reply.add(0, ProtocolArg::String, QStringLiteral("user"), 1);
    reply.add(0, ProtocolArg::String, QStringLiteral("secret"), 1);
    router->answer(0, reply);
    QVERIFY(reports.wait());
    QCOMPARE(reports.at(0), QVariantList({1, true}));
    QCOMPARE(proxy.requestLines(),
        QList<QByteArray>(
            {"HEAD http://feeds.invalid:8080/rss?x=1", "GET http://feeds.invalid:8080/rss?x=1"}));
}

void TestUpdater::lastModifiedDecidesTheGet()
{
    addServedFeed(1, {}, {{"Last-Modified", "Tue, 04 Dec 2007 10:00:00 GMT"}});
    auto updater = startedUpdater();
    QVERIFY(updater);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QVERIFY(reports.wait());
    QCOMPARE(reports.takeFirst(), QVariantList({1, true}));
    QCOMPARE(updater->lastOutcome(1), Updater::Changed);

    updater->updateAll(); // same Last-modified: HEAD only
    QVERIFY(reports.wait());
    QCOMPARE(reports.takeFirst(), QVariantList({1, false}));
    QCOMPARE(updater->lastOutcome(1), Updater::Unchanged);
    QCOMPARE(server->requestCount("GET", "/f1"), 1);

    updater->addFeed(1); // forgets the value: GET again
    QVERIFY(reports.wait());
    QCOMPARE(reports.takeFirst(), QVariantList({1, false}));
    QCOMPARE(server->requestCount("GET", "/f1"), 2);

    server->setResponse("/f1",
        TestHttpResponse::ok(feedDocument("F1", 3), {{"Last-Modified", "Wed, 05 Dec 2007"}}));
    updater->update(1);
    QVERIFY(reports.wait());
    QCOMPARE(reports.takeFirst(), QVariantList({1, true}));
    QCOMPARE(server->requestCount("GET", "/f1"), 3);

    for (const TestHttpRequest &request : server->requests())
        QVERIFY(request.header("User-Agent").startsWith("pellix-News/1.0.0"));
}

void TestUpdater::noLastModifiedMeansAGetEveryRun()
{
    addServedFeed(1);
    auto updater = startedUpdater();
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    updater->updateAll();
    QVERIFY(over.wait());
    QCOMPARE(
        server->requestLines(), QList<QByteArray>({"HEAD /f1", "GET /f1", "HEAD /f1", "GET /f1"}));
}

void TestUpdater::fullRunVisitsKeysAsText()
{
    for (int id : {2, 9, 10})
        addServedFeed(id);
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(reportedIds(reports), QList<int>({10, 2, 9}));
    QCOMPARE(server->requestLines(),
        QList<QByteArray>({"HEAD /f10", "GET /f10", "HEAD /f2", "GET /f2", "HEAD /f9", "GET /f9"}));
}

void TestUpdater::updateWhileBusyQueuesOnceAfterTheFeedInFlight()
{
    for (int id : {3, 4, 5})
        addServedFeed(id);
    TestHttpResponse slow = TestHttpResponse::ok(feedDocument("F3"));
    slow.delayMs = 300;
    server->queueResponse("HEAD", "/f3", slow);
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QTRY_COMPARE(server->requestCount("HEAD", "/f3"), 1);

    addServedFeed(7); // subscribed while the run goes on
    updater->addFeed(7);
    updater->update(4); // already queued
    updater->update(7); // already queued right after 3
    QCOMPARE(updater->queuedFeeds(), QStringList({"7", "3", "4", "5"}));

    QVERIFY(over.wait());
    QCOMPARE(reportedIds(reports), QList<int>({3, 7, 4, 5}));
}

void TestUpdater::updateAllWhileBusyRestartsWithoutReport()
{
    for (int id : {3, 4, 5})
        addServedFeed(id);
    server->queueResponse("HEAD", "/f4", TestHttpResponse::silence());
    auto updater = startedUpdater();
    updater->setTimings(50, 60000, 60000);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QTRY_COMPARE(server->requestCount("HEAD", "/f4"), 1);

    updater->updateAll();
    QVERIFY(over.wait());
    QCOMPARE(over.size(), 1);
    QCOMPARE(reportedIds(reports), QList<int>({3, 3, 4, 5}));
    QCOMPARE(server->requestLines().mid(3, 2), QList<QByteArray>({"HEAD /f3", "GET /f3"}));
}

void TestUpdater::redirects_data()
{
    QTest::addColumn<bool>("otherHost");
    QTest::newRow("another host and port") << true;
    QTest::newRow("relative location") << false;
}

void TestUpdater::redirects()
{
    QFETCH(bool, otherHost);
    TestHttpServer other;
    TestHttpServer &target = otherHost ? other : *server;
    target.setResponse("/moved", TestHttpResponse::ok(feedDocument("Moved")));
    f->addFeed(1, server->url("/old").toString());
    server->setResponse("HEAD", "/old",
        TestHttpResponse::redirect(
            301, otherHost ? other.baseUrl() + "/moved" : QByteArray("moved")));
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QVERIFY(reports.wait());
    QCOMPARE(reports.at(0), QVariantList({1, true}));
    QCOMPARE(target.requestLines().mid(target.requestCount() - 2),
        QList<QByteArray>({"HEAD /moved", "GET /moved"}));
    QCOMPARE(updater->feedUrl(1), target.url("/moved"));
    QCOMPARE(f->feedColumn(1, "source"), server->url("/old").toString());
    QCOMPARE(f->items(1).size(), 2);

    // The new address holds for later runs.
    updater->updateAll();
    QVERIFY(reports.wait());
    QCOMPARE(server->requestCount("HEAD", "/old"), 1);
}

void TestUpdater::redirectLoopIsBounded()
{
    f->addFeed(1, server->url("/loop").toString());
    server->setResponse("/loop", TestHttpResponse::redirect(302, server->baseUrl() + "/loop"));
    addServedFeed(2);
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(server->requestCount("HEAD", "/loop"), 1 + Updater::MaxRedirects);
    QCOMPARE(server->requestCount("GET", "/loop"), 0);
    QCOMPARE(reports.at(0), QVariantList({1, false}));
    QCOMPARE(reports.at(1), QVariantList({2, true}));
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
}

void TestUpdater::headStatusEndsTheFeed_data()
{
    QTest::addColumn<int>("status");
    for (int status : {300, 404, 405, 500, 204})
        QTest::newRow(qPrintable(QString::number(status))) << status;
}

void TestUpdater::headStatusEndsTheFeed()
{
    QFETCH(int, status);
    addServedFeed(1);
    server->setResponse("HEAD", "/f1", TestHttpResponse::withStatus(status));
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QVERIFY(reports.wait());
    QCOMPARE(reports.at(0), QVariantList({1, false}));
    QCOMPARE(server->requestCount("GET", "/f1"), 0);
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
}

void TestUpdater::removeFeedInFlight()
{
    addServedFeed(3);
    addServedFeed(4);
    server->setResponse("HEAD", "/f3", TestHttpResponse::silence());
    auto updater = startedUpdater();
    updater->setTimings(50, 60000, 60000);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QTRY_COMPARE(server->requestCount("HEAD", "/f3"), 1);

    updater->removeFeed(3);
    QVERIFY(over.wait());
    QCOMPARE(reportedIds(reports), QList<int>({4}));
    QCOMPARE(updater->feedIds(), QList<int>({4}));
    QCOMPARE(updater->lastOutcome(3), Updater::NotFetched);
}

void TestUpdater::brokenServers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<TestHttpResponse>("response");
    // A HEAD-phase end and a body that is no document are reported, a failed GET not.
    QTest::addColumn<bool>("reported");

    QTest::newRow("silent on HEAD") << QByteArray("HEAD") << TestHttpResponse::silence() << true;
    QTest::newRow("drops the HEAD") << QByteArray("HEAD") << TestHttpResponse::dropped() << true;
    TestHttpResponse trickle = TestHttpResponse::ok(feedDocument("slow", 50));
    trickle.chunkSize = 16;
    trickle.chunkDelayMs = 100;
    QTest::newRow("GET never ends") << QByteArray("GET") << trickle << false;
    QTest::newRow("silent on GET") << QByteArray("GET") << TestHttpResponse::silence() << false;
    QTest::newRow("drops the GET") << QByteArray("GET") << TestHttpResponse::dropped() << false;
    TestHttpResponse cut = TestHttpResponse::ok(feedDocument("cut", 50));
    cut.dropAfterBytes = 100;
    QTest::newRow("body cut short") << QByteArray("GET") << cut << false;
    QTest::newRow("empty body") << QByteArray("GET") << TestHttpResponse::ok("") << true;
    QTest::newRow("not a feed document")
        << QByteArray("GET") << TestHttpResponse::ok("<html><p>moved<br></html>") << true;
    QTest::newRow("body too large")
        << QByteArray("GET") << TestHttpResponse::ok(feedDocument("big", 200)) << false;
}

void TestUpdater::brokenServers()
{
    QFETCH(QByteArray, method);
    QFETCH(TestHttpResponse, response);
    QFETCH(bool, reported);
    addServedFeed(1);
    addServedFeed(2);
    server->setResponse(method, "/f1", response);
    auto updater = startedUpdater();
    updater->connection()->setMaxBodySize(4096);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait(10000));

    // The broken feed never holds up the next one.
    QList<QVariantList> expected;
    if (reported)
        expected << QVariantList({1, false});
    expected << QVariantList({2, true});
    QCOMPARE(QList<QVariantList>(reports.begin(), reports.end()), expected);
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
    QCOMPARE(f->items(1), QStringList());
}

void TestUpdater::firstTitleRenamesBeforeReport()
{
    addServedFeed(1, feedDocument("Named", 0));
    auto updater = startedUpdater();
    QStringList events;
    connect(updater.get(), &Updater::sendRenameFeed, this,
        [&](int id) { events << QStringLiteral("rename %1").arg(id); });
    connect(updater.get(), &Updater::newItems, this, [&](int id, bool changed) {
        events << QStringLiteral("items %1 %2").arg(id).arg(changed);
    });
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(events, QStringList({"rename 1", "items 1 1"}));
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("Named"));

    updater->updateAll();
    QVERIFY(over.wait());
    QCOMPARE(events.last(), QStringLiteral("items 1 0"));
    QCOMPARE(events.size(), 3);
}

void TestUpdater::queueEmptyEndsEveryRun()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 deadPort = closed.serverPort();
    closed.close();
    f->addFeed(1, QStringLiteral("http://127.0.0.1:%1/gone").arg(deadPort));
    f->addFeed(2, QStringLiteral("https://127.0.0.1:%1/f2").arg(server->port())); // not TLS
    addServedFeed(3);

    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(over.size(), 1);
    QCOMPARE(reports.size(), 3);
    QVERIFY(!updater->isBusy());
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
    QCOMPARE(updater->lastOutcome(2), Updater::Failed);
    QCOMPARE(updater->lastOutcome(3), Updater::Changed);
    QCOMPARE(server->requestCount("GET", "/f2"), 0);
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
