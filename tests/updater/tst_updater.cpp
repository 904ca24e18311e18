#include "core/rssprotocol.h"
#include "core/rsssettings.h"
#include "feedfixture.h"
#include "host/protocol.h"
#include "host/psettings.h"
#include "host/request.h"
#include "recordingrouter.h"
#include "tests/common/testhttpserver.h"
#include "updater/feedvalidators.h"
#include "updater/updater.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

namespace {

QByteArray feedDocument(const QByteArray &title, int items = 2)
{
    QByteArray doc = "<?xml version=\"1.0\"?><rss><channel><title>" + title + "</title>";
    for (int i = items - 1; i >= 0; --i)
        doc += "<item><title>" + title + " " + QByteArray::number(i) + "</title></item>";
    return doc + "</channel></rss>";
}

// Reports in the order feeds finished do not matter when several are in flight.
QList<QVariantList> sorted(const QSignalSpy &spy)
{
    QList<QVariantList> reports(spy.cbegin(), spy.cend());
    std::sort(reports.begin(), reports.end(), [](const QVariantList &a, const QVariantList &b) {
        return a.at(0).toInt() < b.at(0).toInt();
    });
    return reports;
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
    void validatorsSpanRuns_data();
    void validatorsSpanRuns();
    void failedTransferKeepsValidators_data();
    void failedTransferKeepsValidators();
    void transfersInFlight_data();
    void transfersInFlight();
    void callsWhileBusy_data();
    void callsWhileBusy();
    void redirects_data();
    void redirects();
    void brokenServers_data();
    void brokenServers();
    void refusedConnectionsEndAtOnce();

private:
    // A started updater whose proxy request has been answered with "no proxy".
    std::unique_ptr<Updater> startedUpdater(
        int parallel = Updater::DefaultParallel, int headerTimeoutMs = 500);
    void addServedFeed(int id, const TestHttpHeaders &validators = {})
    {
        const QByteArray path = "/f" + QByteArray::number(id);
        f->addFeed(id, server->url(path).toString());
        server->setResponse(
            path, TestHttpResponse::ok(feedDocument("F" + QByteArray::number(id)), validators));
    }
    QStringList requestsWith(const QByteArray &header) const
    {
        QStringList values;
        for (const TestHttpRequest &r : server->requests())
            values << QString::fromLatin1(r.header(header));
        return values;
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
    PSettings::instance()->remove(
        RssSettings::name(RssSettings::ParallelUpdates), RssSettings::group());
    server.reset();
    router.reset();
    f.reset();
}

std::unique_ptr<Updater> TestUpdater::startedUpdater(int parallel, int headerTimeoutMs)
{
    auto updater = std::make_unique<Updater>(&f->db);
    updater->setParallel(parallel);
    updater->setTimeouts(headerTimeoutMs, headerTimeoutMs + 300);
    // This updater's proxy request is the latest one.
    int proxy = -1;
    for (int i = router->indexOf(ClientMessage::CoreModule, ClientMessage::ProxyRequest); i >= 0;
         i = router->indexOf(ClientMessage::CoreModule, ClientMessage::ProxyRequest, i + 1))
        proxy = i;
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
        QList<QByteArray>({"GET " + url}));
}

void TestUpdater::validatorsSpanRuns_data()
{
    QTest::addColumn<TestHttpHeaders>("validators");
    QTest::addColumn<QString>("ifNoneMatch"); // sent by the later runs
    QTest::addColumn<QString>("ifModifiedSince");
    const QByteArray date = "Tue, 04 Dec 2007 10:00:00 GMT";
    QTest::newRow("etag") << TestHttpHeaders{{"ETag", "\"v1\""}} << "\"v1\""
                          << "";
    const QString dateText = QString::fromLatin1(date);
    QTest::newRow("last-modified") << TestHttpHeaders{{"Last-Modified", date}} << "" << dateText;
    QTest::newRow("both") << TestHttpHeaders{{"ETag", "W/\"v1\""}, {"Last-Modified", date}}
                          << "W/\"v1\"" << dateText;
    QTest::newRow("neither") << TestHttpHeaders{} << ""
                             << "";
}

void TestUpdater::validatorsSpanRuns()
{
    QFETCH(TestHttpHeaders, validators);
    QFETCH(QString, ifNoneMatch);
    QFETCH(QString, ifModifiedSince);
    const bool conditional = !validators.isEmpty();
    server->setValidating(true);
    for (int id : {1, 2, 3})
        addServedFeed(id, validators);
    {
        auto first = startedUpdater();
        QSignalSpy over(first.get(), &Updater::queueEmpty);
        QVERIFY(over.wait());
    }
    QCOMPARE(server->conditionalCount(), 0);
    const QStringList stored = f->items(3);
    QCOMPARE(stored.size(), 2);

    // The next process knows what the last one fetched.
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    QCOMPARE(sorted(reports), QList<QVariantList>({{1, false}, {2, false}, {3, false}}));
    QCOMPARE(server->requestCount(), 6);
    QCOMPARE(server->conditionalCount(), conditional ? 3 : 0);
    QCOMPARE(server->notModifiedCount(), conditional ? 3 : 0);
    QCOMPARE(requestsWith("If-None-Match").mid(3), QStringList(3, ifNoneMatch));
    QCOMPARE(requestsWith("If-Modified-Since").mid(3), QStringList(3, ifModifiedSince));
    QCOMPARE(updater->lastOutcome(3), Updater::Unchanged);
    QCOMPARE(f->items(3), stored);

    // A new subscription or "update now" fetches the document whatever it was.
    updater->addFeed(2);
    QVERIFY(over.wait());
    QVERIFY(!server->requests().last().isConditional());
    QCOMPARE(server->notModifiedCount(), conditional ? 3 : 0);

    // A changed document is fetched and stored with its new validators.
    TestHttpHeaders next = validators;
    for (auto &field : next)
        field.second.replace("v1", "v2").replace("2007", "2008");
    server->setResponse("/f3", TestHttpResponse::ok(feedDocument("F3", 3), next));
    updater->update(3);
    QVERIFY(over.wait());
    QCOMPARE(reports.last(), QVariantList({3, true}));
    QCOMPARE(f->items(3).size(), 3);
    const FeedValidators kept = FeedValidators::load(f->db, 3);
    QCOMPARE(kept.etag, QString(ifNoneMatch).replace("v1", "v2"));
    QCOMPARE(kept.lastModified, QString(ifModifiedSince).replace("2007", "2008"));
}

void TestUpdater::failedTransferKeepsValidators_data()
{
    QTest::addColumn<TestHttpResponse>("failure");
    const TestHttpHeaders v2 = {{"ETag", "\"v2\""}};
    TestHttpResponse cut = TestHttpResponse::ok(feedDocument("F1", 40), v2);
    cut.dropAfterBytes = 120;
    QTest::newRow("cut short") << cut;
    TestHttpResponse trickle = TestHttpResponse::ok(feedDocument("F1", 40), v2);
    trickle.chunkSize = 16;
    trickle.chunkDelayMs = 100;
    QTest::newRow("body too slow") << trickle;
    QTest::newRow("server error with a feed body")
        << TestHttpResponse::withStatus(500, v2, feedDocument("F1", 3));
    QTest::newRow("not a feed") << TestHttpResponse::ok("<html><p>x<br></html>", v2);
    QTest::newRow("silent") << TestHttpResponse::silence();
    QTest::newRow("dropped") << TestHttpResponse::dropped();
}

void TestUpdater::failedTransferKeepsValidators()
{
    QFETCH(TestHttpResponse, failure);
    server->setValidating(true);
    addServedFeed(1, {{"ETag", "\"v1\""}});
    auto updater = startedUpdater();
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait());
    const QStringList stored = f->items(1);

    server->setResponse("GET", "/f1", failure);
    updater->updateAll();
    QVERIFY(over.wait(5000));
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
    QVERIFY(!updater->lastError(1).isEmpty());
    QCOMPARE(FeedValidators::load(f->db, 1).etag, "\"v1\"");
    QCOMPARE(f->items(1), stored);

    // The next run asks with the old validators and gets the whole new document.
    server->setResponse(
        "GET", "/f1", TestHttpResponse::ok(feedDocument("F1", 3), {{"ETag", "\"v2\""}}));
    updater->updateAll();
    QVERIFY(over.wait(5000));
    QCOMPARE(server->requests().last().header("If-None-Match"), "\"v1\"");
    QCOMPARE(updater->lastOutcome(1), Updater::Changed);
    QCOMPARE(updater->lastError(1), QString());
    QCOMPARE(FeedValidators::load(f->db, 1).etag, "\"v2\"");
    QCOMPARE(f->items(1).size(), 3);
}

void TestUpdater::transfersInFlight_data()
{
    QTest::addColumn<int>("parallel"); // the setting; 0: not set
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("inFlight"); // at most, with 12 feeds
    QTest::newRow("one at a time") << 1 << 1 << 1;
    QTest::newRow("two") << 2 << 2 << 2;
    QTest::newRow("default") << 0 << int(Updater::DefaultParallel) << int(Updater::DefaultParallel);
    QTest::newRow("more than there are feeds") << 20 << 20 << 12;
    QTest::newRow("below one") << -3 << 1 << 1;
    QTest::newRow("above the bound") << 1000 << int(Updater::MaxParallel) << 12;
}

void TestUpdater::transfersInFlight()
{
    QFETCH(int, parallel);
    QFETCH(int, expected);
    QFETCH(int, inFlight);
    if (parallel != 0)
        RssSettings::setValue(RssSettings::ParallelUpdates, parallel);
    for (int id = 1; id <= 12; ++id)
        addServedFeed(id);
    server->setAnswerDelay(200); // long enough for every free slot to be taken
    Updater updater(&f->db);
    QCOMPARE(updater.parallel(), expected);
    QSignalSpy reports(&updater, &Updater::newItems);
    QList<int> reportsAtEnd;
    connect(&updater, &Updater::queueEmpty, this, [&] { reportsAtEnd << int(reports.size()); });
    QVERIFY(router->answer(0, Protocol()));
    QTRY_VERIFY_WITH_TIMEOUT(!reportsAtEnd.isEmpty(), 10000);
    QCOMPARE(server->maxInFlight(), inFlight);
    QCOMPARE(server->requestCount(), 12);
    // The run ends once, after the last feed's report.
    QCOMPARE(reportsAtEnd, QList<int>({12}));
    for (const QVariantList &report : std::as_const(reports))
        QCOMPARE(report.at(1).toBool(), true);
    QCOMPARE(f->value("select count(*) from items"), "24");
}

void TestUpdater::callsWhileBusy_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("parallel");
    QTest::addColumn<QList<QByteArray>>("requested"); // the first requests, in order
    QTest::addColumn<QList<QVariantList>>("reported");
    using L = QList<QByteArray>;
    using R = QList<QVariantList>;
    // 3 and 4 are slow; 7 is subscribed meanwhile and goes before the queued 5 and 6.
    QTest::newRow("update goes first")
        << "update" << 2 << L{"GET /f3", "GET /f4", "GET /f7", "GET /f5", "GET /f6"}
        << R{{3, true}, {4, true}, {5, true}, {6, true}, {7, true}};
    // 4 is in flight: it finishes, and the rebuilt queue starts again at the lowest key.
    QTest::newRow("updateAll rebuilds the queue")
        << "updateAll" << 1 << L{"GET /f3", "GET /f4", "GET /f3", "GET /f5", "GET /f6"}
        << R{{3, true}, {3, false}, {4, true}, {5, true}, {6, true}};
    QTest::newRow("removeFeed of a feed in flight")
        << "removeFeed" << 1 << L{"GET /f3", "GET /f4", "GET /f5", "GET /f6"}
        << R{{4, true}, {5, true}, {6, true}};
}

void TestUpdater::callsWhileBusy()
{
    QFETCH(QString, call);
    QFETCH(int, parallel);
    QFETCH(QList<QByteArray>, requested);
    QFETCH(QList<QVariantList>, reported);
    for (int id : {3, 4, 5, 6})
        addServedFeed(id);
    if (call == "removeFeed") {
        server->queueResponse("GET", "/f3", TestHttpResponse::silence());
    } else {
        for (int id : {3, 4}) {
            TestHttpResponse slow
                = TestHttpResponse::ok(feedDocument("F" + QByteArray::number(id)));
            // Wide enough that a busy machine still sees both in flight.
            slow.delayMs = 1000 * (id - 2);
            server->queueResponse("GET", "/f" + QByteArray::number(id), slow);
        }
    }
    const QByteArray held = call == "update" ? "/f4" : call == "updateAll" ? "/f4" : "/f3";
    auto updater = startedUpdater(parallel, 60000);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QTRY_COMPARE(server->requestCount("GET", held), 1);

    if (call == "update") {
        addServedFeed(7);
        updater->addFeed(7);
        updater->update(5); // already queued: stays where it is
        updater->update(4); // in flight: nothing
    } else if (call == "updateAll") {
        updater->updateAll();
    } else {
        updater->removeFeed(3);
    }
    QVERIFY(over.wait(10000));
    QCOMPARE(over.size(), 1);
    // The first transfers start together: their connections may reach the server in any order.
    QList<QByteArray> lines = server->requestLines().mid(0, requested.size());
    std::sort(lines.begin(), lines.begin() + std::min<qsizetype>(parallel, lines.size()));
    QCOMPARE(lines, requested);
    QCOMPARE(server->requestCount(), requested.size());
    QCOMPARE(sorted(reports), reported);
    if (call == "removeFeed") {
        QCOMPARE(updater->feedIds(), QList<int>({4, 5, 6}));
        QCOMPARE(updater->lastOutcome(3), Updater::NotFetched);
    }
}

void TestUpdater::redirects_data()
{
    TestHelpers::addBoolRows(
        "otherHost", {{"another host and port", true}, {"relative location", false}});
}

void TestUpdater::redirects()
{
    QFETCH(bool, otherHost);
    TestHttpServer other;
    TestHttpServer &target = otherHost ? other : *server;
    target.setResponse("/moved", TestHttpResponse::ok(feedDocument("Moved")));
    f->addFeed(1, server->url("/old").toString());
    server->setResponse("/old",
        TestHttpResponse::redirect(
            301, otherHost ? other.baseUrl() + "/moved" : QByteArray("moved")));
    auto updater = startedUpdater();
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QVERIFY(reports.wait());
    QCOMPARE(reports.at(0), QVariantList({1, true}));
    QCOMPARE(target.requestLines().last(), "GET /moved");
    QCOMPARE(updater->feedUrl(1), target.url("/moved"));
    QCOMPARE(f->feedColumn(1, "source"), server->url("/old").toString());

    updater->updateAll(); // the new address holds for later runs
    QVERIFY(reports.wait());
    QCOMPARE(server->requestCount("GET", "/old"), 1);
}

void TestUpdater::brokenServers_data()
{
    QTest::addColumn<TestHttpResponse>("response");
    QTest::addColumn<QString>("source"); // "%1": the server's port
    QTest::addColumn<QString>("reason"); // the start of lastError; empty: any
    const TestHttpHeaders etag = {{"ETag", "\"e\""}};
    auto add = [](const char *name, const TestHttpResponse &response, const QString &reason,
                   const QString &source = QString()) {
        QTest::newRow(name) << response << source << reason;
    };
    add("404 with a feed body", TestHttpResponse::withStatus(404, etag, feedDocument("F1")),
        "HTTP 404 Not Found");
    add("500", TestHttpResponse::withStatus(500, etag, feedDocument("F1")),
        "HTTP 500 Internal Server Error");
    add("300 is not followed", TestHttpResponse::withStatus(300, {{"Location", "/f2"}}),
        "HTTP 300");
    add("redirect without a location", TestHttpResponse::withStatus(302), "HTTP 302");
    add("redirect loop", TestHttpResponse::redirect(302, "/f1"), "too many redirects");
    add("204", TestHttpResponse::withStatus(204, etag), "not a feed");
    add("empty body", TestHttpResponse::ok("", etag), "not a feed");
    add("not a feed document", TestHttpResponse::ok("<html><p>x<br></html>", etag), "not a feed");
    add("silent", TestHttpResponse::silence(), "no answer");
    TestHttpResponse trickle = TestHttpResponse::ok(feedDocument("slow", 50));
    trickle.chunkSize = 16;
    trickle.chunkDelayMs = 100;
    add("body never ends", trickle, "the transfer took too long");
    add("dropped", TestHttpResponse::dropped(), QString());
    TestHttpResponse cut = TestHttpResponse::ok(feedDocument("cut", 50), etag);
    cut.dropAfterBytes = 100;
    add("body cut short", cut, QString());
    TestHttpResponse big = TestHttpResponse::ok(feedDocument("big", 200), etag);
    add("body too large", big, "The response body is too large");
    big.omitContentLength = true;
    add("body too large, length unknown", big, "The response body is too large");
    add("connection refused", {}, "Connection refused", "http://127.0.0.1:1/f1");
    add("https to a plain server", {}, QString(), "https://127.0.0.1:%1/f1");
}

void TestUpdater::brokenServers()
{
    QFETCH(TestHttpResponse, response);
    QFETCH(QString, source);
    QFETCH(QString, reason);
    addServedFeed(1);
    addServedFeed(2);
    server->setResponse("GET", "/f1", response);
    if (source.contains(QLatin1String("%1")))
        source = source.arg(server->port());
    if (!source.isEmpty())
        f->exec(QStringLiteral("update feeds set source = '%1' where id = 1").arg(source));
    auto updater = startedUpdater(1);
    updater->setMaxBodySize(4096);
    QSignalSpy reports(updater.get(), &Updater::newItems);
    QSignalSpy finished(updater.get(), &Updater::feedFinished);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    QVERIFY(over.wait(10000));

    // The broken feed ends with its reason and never holds up the next one.
    QCOMPARE(reports, QList<QVariantList>({{1, false}, {2, true}}));
    QCOMPARE(updater->lastOutcome(1), Updater::Failed);
    QVERIFY2(updater->lastError(1).startsWith(reason), qPrintable(updater->lastError(1)));
    QVERIFY(!updater->lastError(1).isEmpty());
    QCOMPARE(finished.at(0).at(1).value<Updater::Outcome>(), Updater::Failed);
    QCOMPARE(finished.at(0).at(2).toString(), updater->lastError(1));
    QCOMPARE(updater->lastOutcome(2), Updater::Changed);
    QCOMPARE(updater->lastError(2), QString());
    // Nothing of it is stored, not even its validators.
    QCOMPARE(f->items(1), QStringList());
    QVERIFY(FeedValidators::load(f->db, 1).isEmpty());
    if (response.status == 302 && !response.headers.isEmpty())
        QCOMPARE(server->requestCount("GET", "/f1"), 1 + Updater::MaxRedirects);
}

void TestUpdater::refusedConnectionsEndAtOnce()
{
    for (int id = 1; id <= 5; ++id)
        f->addFeed(id, QStringLiteral("http://127.0.0.1:1/f%1").arg(id));
    addServedFeed(6);
    QElapsedTimer clock;
    clock.start();
    auto updater = startedUpdater(1, 60000);
    QSignalSpy over(updater.get(), &Updater::queueEmpty);
    // No waiting for a timeout: the run is over as soon as the refusals are in.
    QVERIFY(over.wait(5000));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    for (int id = 1; id <= 5; ++id)
        QCOMPARE(updater->lastError(id), "Connection refused");
    QCOMPARE(updater->lastOutcome(6), Updater::Changed);
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
