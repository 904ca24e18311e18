#include "core/rssprotocol.h"
#include "feedfixture.h"
#include "host/protocol.h"
#include "host/request.h"
#include "recordingrouter.h"
#include "tests/common/testhttpserver.h"
#include "updater/httpconnection.h"
#include "updater/updater.h"

#include <QSignalSpy>
#include <QTest>

namespace {

QByteArray feedDocument(const QByteArray &title, int items = 2)
{
    QByteArray doc = "<?xml version=\"1.0\"?><rss><channel><title>" + title + "</title>";
    for (int i = 0; i < items; ++i)
        doc += "<item><title>" + title + " " + QByteArray::number(i) + "</title></item>";
    return doc + "</channel></rss>";
}

} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void proxyAnswerIsAwaited_data();
    void proxyAnswerIsAwaited();
    void lastModifiedDecidesTheGet();
    void fullRunsVisitKeysAsTextAndGetEachTime();
    void callsWhileBusy_data();
    void callsWhileBusy();
    void redirects_data();
    void redirects();
    void brokenServers_data();
    void brokenServers();

private:
    // A started updater whose proxy request has been answered with "no proxy".
    std::unique_ptr<Updater> startedUpdater(int timeoutMs = 500);
    void addServedFeed(int id)
    {
        const QByteArray path = "/f" + QByteArray::number(id);
        f->addFeed(id, server->url(path).toString());
        server->setResponse(path, TestHttpResponse::ok(feedDocument("F" + QByteArray::number(id))));
    }

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

std::unique_ptr<Updater> TestUpdater::startedUpdater(int timeoutMs)
{
    auto updater = std::make_unique<Updater>(&f->db);
    updater->setTimings(50, timeoutMs, timeoutMs + 300);
    const int proxy = router->indexOf(ClientMessage::CoreModule, ClientMessage::ProxyRequest);
    if (proxy < 0 || !router->answer(proxy, Protocol()))
        return nullptr;
    return updater;
}

void TestUpdater::proxyAnswerIsAwaited_data()
{
    QTest::addColumn<QString>("answer"); // without one, the run goes without a proxy
    for (const char *answer : {"http proxy", "failed request", "reply without message"})
        QTest::newRow(answer) << answer;
}

void TestUpdater::proxyAnswerIsAwaited()
{
    QFETCH(QString, answer);
    TestHttpServer proxy;
    proxy.setHandler(
        [](const TestHttpRequest &) { return TestHttpResponse::ok(feedDocument("via proxy")); });
    addServedFeed(1);
    Updater updater(&f->db);
    QSignalSpy reports(&updater, &Updater::newItems);
    QSignalSpy over(&updater, &Updater::queueEmpty);
    QCOMPARE(router->commandList(), QStringList({"1,99"}));
    QVERIFY(updater.isBusy());
    updater.update(1);
    updater.updateAll();
    QTest::qWait(50);
    QCOMPARE(server->requestCount() + proxy.requestCount(), 0); // nothing before the answer

    if (answer == "failed request") {
        router->fail(0, 5);
    } else if (answer == "reply without message") {
        router->answerWithoutMessage(0);
    } else {
        Protocol reply; // an HTTP proxy
        reply.add(0, ProtocolArg::UInt8, 1);
        reply.add(0, ProtocolArg::String, QStringLiteral("127.0.0.1"), 1);
        reply.add(0, ProtocolArg::UInt16, proxy.port());
        router->answer(0, reply);
    }
    QVERIFY(over.wait());
    QCOMPARE(over.size(), 1);
    QCOMPARE(reports, QList<QVariantList>({{1, true}}));
    const QByteArray url = answer == "http proxy" ? server->url("/f1").toEncoded() : "/f1";
    QCOMPARE((answer == "http proxy" ? proxy : *server).requestLines(),
        QList<QByteArray>({"HEAD " + url, "GET " + url}));
}

void TestUpdater::lastModifiedDecidesTheGet()
{
    f->addFeed(1, server->url("/f1").toString());
    server->setResponse("/f1",
        TestHttpResponse::ok(feedDocument("F1"), {{"Last-Modified", "Tue, 04 Dec 2007 10:00"}}));
    auto updater = startedUpdater();
    QStringList events;
    connect(updater.get(), &Updater::sendRenameFeed, this,
        [&](int id) { events << QStringLiteral("rename %1").arg(id); });
    connect(updater.get(), &Updater::newItems, this, [&](int id, bool changed) {
        events << QStringLiteral("items %1 %2").arg(id).arg(changed);
    });
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(updater->lastOutcome(1), Updater::Changed);
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("F1"));

    updater->updateAll(); // same Last-modified: HEAD only
    QVERIFY(over.wait());
    QCOMPARE(updater->lastOutcome(1), Updater::Unchanged);
    QCOMPARE(server->requestCount("GET", "/f1"), 1);

    updater->addFeed(1); // forgets the value: GET again
    QVERIFY(over.wait());
    QCOMPARE(server->requestCount("GET", "/f1"), 2);

    server->setResponse("/f1",
        TestHttpResponse::ok(feedDocument("F1", 3), {{"Last-Modified", "Wed, 05 Dec 2007"}}));
    updater->update(1);
    QVERIFY(over.wait());
    QCOMPARE(server->requestCount("GET", "/f1"), 3);
    // The first title renames the feed, before the feed's report.
    QCOMPARE(events, QStringList({"rename 1", "items 1 1", "items 1 0", "items 1 0", "items 1 1"}));
    for (const TestHttpRequest &request : server->requests())
        QVERIFY(request.header("User-Agent").startsWith("pellix-News/"));
}

void TestUpdater::fullRunsVisitKeysAsTextAndGetEachTime()
{
    for (int id : {2, 9, 10})
        addServedFeed(id);
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(reports, QList<QVariantList>({{10, true}, {2, true}, {9, true}}));
    updater->updateAll(); // no Last-modified: every run GETs again
    QVERIFY(over.wait());
    const QList<QByteArray> run
        = {"HEAD /f10", "GET /f10", "HEAD /f2", "GET /f2", "HEAD /f9", "GET /f9"};
    QCOMPARE(server->requestLines(), run + run);
}

void TestUpdater::callsWhileBusy_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QList<QVariantList>>("reported");
    using R = QList<QVariantList>;
    QTest::newRow("update prepends once")
        << "update" << R{{3, true}, {7, true}, {4, true}, {5, true}};
    // The aborted feed is not reported; the new run starts with the lowest key text.
    QTest::newRow("updateAll restarts")
        << "updateAll" << R{{3, true}, {3, false}, {4, true}, {5, true}};
    QTest::newRow("removeFeed of the feed in flight") << "removeFeed" << R{{4, true}, {5, true}};
}

void TestUpdater::callsWhileBusy()
{
    QFETCH(QString, call);
    QFETCH(QList<QVariantList>, reported);
    for (int id : {3, 4, 5})
        addServedFeed(id);
    TestHttpResponse slow = TestHttpResponse::ok(feedDocument("F3"));
    slow.delayMs = 300;
    const QByteArray held = call == "updateAll" ? "/f4" : "/f3";
    server->queueResponse("HEAD", held, call == "update" ? slow : TestHttpResponse::silence());
    auto updater = startedUpdater(60000);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QTRY_COMPARE(server->requestCount("HEAD", held), 1);

    if (call == "update") {
        addServedFeed(7); // subscribed while the run goes on
        updater->addFeed(7);
        updater->update(4); // already queued
        updater->update(7); // already queued right after 3
    } else if (call == "updateAll") {
        updater->updateAll();
    } else {
        updater->removeFeed(3);
    }
    QVERIFY(over.wait());
    QCOMPARE(over.size(), 1);
    QCOMPARE(reports, reported);
    if (call == "updateAll")
        QCOMPARE(server->requestLines().mid(3, 2), QList<QByteArray>({"HEAD /f3", "GET /f3"}));
    if (call == "removeFeed") {
        QCOMPARE(updater->feedIds(), QList<int>({4, 5}));
        QCOMPARE(updater->lastOutcome(3), Updater::NotFetched);
    }
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

    updater->updateAll(); // the new address holds for later runs
    QVERIFY(reports.wait());
    QCOMPARE(server->requestCount("HEAD", "/old"), 1);
}

static void brokenRow(const char *name, const QByteArray &method, const TestHttpResponse &response,
    bool reported, const QString &source = QString())
{
    QTest::newRow(name) << method << response << reported << source;
}

void TestUpdater::brokenServers_data()
{
    QTest::addColumn<QByteArray>("method"); // empty: HEAD and GET
    QTest::addColumn<TestHttpResponse>("response");
    // A HEAD-phase end and a body that is no document are reported, a failed GET not.
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("source"); // "%1": the server's port
    for (int status : {300, 404, 405, 500, 204}) {
        const QByteArray name = "HEAD status " + QByteArray::number(status);
        brokenRow(name, "HEAD", TestHttpResponse::withStatus(status), true);
    }
    brokenRow("redirect loop", {}, TestHttpResponse::redirect(302, "/f1"), true);
    brokenRow("silent on HEAD", "HEAD", TestHttpResponse::silence(), true);
    brokenRow("drops the HEAD", "HEAD", TestHttpResponse::dropped(), true);
    brokenRow("connection refused", "HEAD", {}, true, "http://127.0.0.1:1/f1");
    brokenRow("https to a plain server", "HEAD", {}, true, "https://127.0.0.1:%1/f1");
    TestHttpResponse trickle = TestHttpResponse::ok(feedDocument("slow", 50));
    trickle.chunkSize = 16;
    trickle.chunkDelayMs = 100;
    brokenRow("GET never ends", "GET", trickle, false);
    brokenRow("silent on GET", "GET", TestHttpResponse::silence(), false);
    brokenRow("drops the GET", "GET", TestHttpResponse::dropped(), false);
    TestHttpResponse cut = TestHttpResponse::ok(feedDocument("cut", 50));
    cut.dropAfterBytes = 100;
    brokenRow("body cut short", "GET", cut, false);
    TestHttpResponse big = TestHttpResponse::ok(feedDocument("big", 200));
    brokenRow("body too large", "GET", big, false);
    big.omitContentLength = true;
    brokenRow("body too large, length unknown", "GET", big, false);
    brokenRow("empty body", "GET", TestHttpResponse::ok(""), true);
    brokenRow("not a feed document", "GET", TestHttpResponse::ok("<html><p>x<br></html>"), true);
}

void TestUpdater::brokenServers()
{
    QFETCH(QByteArray, method);
    QFETCH(TestHttpResponse, response);
    QFETCH(bool, reported);
    QFETCH(QString, source);
    addServedFeed(1);
    addServedFeed(2);
    server->setResponse(method, "/f1", response);
    if (!source.isEmpty())
        f->exec(QStringLiteral("update feeds set source = '%1' where id = 1")
                    .arg(source.arg(server->port())));
    auto updater = startedUpdater();
    updater->connection()->setMaxBodySize(4096);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait(10000));

    // The broken feed never holds up the next one.
    QList<QVariantList> expected = {{2, true}};
    if (reported)
        expected.prepend({1, false});
    QCOMPARE(reports, expected);
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
    QCOMPARE(f->items(1), QStringList());
    if (method != "GET")
        QCOMPARE(server->requestCount("GET", "/f1"), 0);
    if (response.status == 302)
        QCOMPARE(server->requestCount("HEAD", "/f1"), 1 + Updater::MaxRedirects);
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
