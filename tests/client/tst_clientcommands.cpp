#include "clientprocess.h"
#include "core/opmldocument.h"
#include "testhelpers.h"
#include "testhttpserver.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace TestHelpers;

// The client's commands that work without a window: subscription lists, the remembered
// language, feed discovery and updates run from a pipe or a cron job.
class tst_ClientCommands : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void subscriptionListsWithoutAWindow();
    void rememberedLanguage();
    void discover_data();
    void discover();
    void updateLinesArriveAsFeedsEnd();
    void secondRunTransfersNoUnchangedDocument();
    void storeRefusedDuringTheRunFailsTheUpdate();
    void messagesOfASubscriptionAsBefore();

private:
    QString served(const char *path) const { return ::served(m_server, path); }

    TestHttpServer m_server;
};

void tst_ClientCommands::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() + "/pellix"_L1));
    serveSite(m_server);
}

void tst_ClientCommands::subscriptionListsWithoutAWindow()
{
    QTemporaryDir root;
    const QString store = root.filePath(u"shared/store.sqlite"_s);
    const auto start = [&](const char *home, const QStringList &more,
                           const QString &server = QString(), const QByteArray &input = {}) {
        return runClient(
            as(root.filePath(QLatin1String(home)), 5, server.isEmpty() ? store : server) + more,
            input);
    };
    const auto database = [&](const char *home) {
        return root.filePath(QLatin1String(home)) + "/profiles/5.rssdb"_L1;
    };
    const QString layout = u"select folder.title, feeds.channeltitle, feeds.source, feeds.toload "
                           "from feeds join folder on folder.id = feeds.folderid "
                           "order by feeds.source"_s;
    const QByteArray base = m_server.baseUrl();
    const QString list = root.filePath(u"in.opml"_s);
    writeFile(list, readFile(u"" PELLIX_CLIENT_DATA "/subscriptions.opml"_s).replace("BASE", base));

    // Imported without waiting for the feeds: nothing is fetched yet.
    Run run = start("a", {"--import-opml", list});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.out.contains("2 added, 0 skipped"), run.out.constData());
    QVERIFY(run.out.contains("1 refused"));
    const QStringList imported = sqliteRows(database("a"), layout);
    QCOMPARE(imported,
        (QStringList{u"Work / Deep|Tech \u00e4|%1/tech.xml|1"_s.arg(base.constData()),
            u"My Feeds|World|%1/world.xml|1"_s.arg(base.constData())}));

    // The same list again, from standard input, adds nothing.
    run = start("a", {"--import-opml", "-"}, QString(), readFile(list));
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.out.contains("0 added, 2 skipped"), run.out.constData());

    // The server heard of both: a fresh home on it gets them back.
    run = start("b", {"--quit-after-sync"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sqliteRows(database("b"), layout).size(), 2);

    // Out to standard output, then into an empty home with a server of its own.
    run = start("a", {"--export-opml", "-"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    OpmlDocument exported;
    QVERIFY2(exported.read(run.out), qPrintable(exported.errorString()));
    QCOMPARE(exported.feeds().size(), 2);
    const QString copy = root.filePath(u"copy.opml"_s);
    writeFile(copy, run.out);
    const QString otherStore = root.filePath(u"other/store.sqlite"_s);
    run = start("c", {"--import-opml", copy}, otherStore);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sqliteRows(database("c"), layout), imported);
    const QString again = root.filePath(u"again.opml"_s);
    run = start("c", {"--export-opml", again}, otherStore);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QFile written(again);
    QVERIFY(written.open(QIODevice::ReadOnly));
    OpmlDocument second;
    QVERIFY(second.read(&written));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(second.feeds().at(i).xmlUrl, exported.feeds().at(i).xmlUrl);
        QCOMPARE(second.feeds().at(i).folder, exported.feeds().at(i).folder);
        QCOMPARE(second.feeds().at(i).htmlUrl, exported.feeds().at(i).htmlUrl);
    }

    // Refused lists change nothing and say why.
    const QString feed = root.filePath(u"feed.xml"_s);
    writeFile(feed, rss("Not a list", {"x"}));
    const QByteArray before = digest(database("a"));
    for (const QString &bad : {feed, root.filePath(u"missing.opml"_s)}) {
        run = start("a", {"--import-opml", bad});
        QCOMPARE(run.exitCode, 1);
        // The reason: what is wrong with the list, or the file that cannot be read.
        const QByteArray reason = bad == feed
            ? QByteArray("pellix: The subscription list was not imported: The file is not an OPML")
            : "pellix: The subscription list " + bad.toLocal8Bit() + " cannot be read";
        QVERIFY2(run.err.contains(reason), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
    QCOMPARE(digest(database("a")), before);
    run = start("a", {"--export-opml", root.filePath(u"no/such/dir/x.opml"_s)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("cannot be written"), run.err.constData());
}

void tst_ClientCommands::rememberedLanguage()
{
    // The language chosen in the menu last time names the new default folder;
    // --lang still decides for its own run.
    for (const auto &[arguments, folder] : {std::pair{QStringList{}, u"1|Meine Feeds"_s},
             std::pair{QStringList{"--lang", "en"}, u"1|My Feeds"_s}}) {
        QTemporaryDir home;
        QSettings(home.filePath("client.ini"), QSettings::IniFormat).setValue("language", "de");
        const Run run = runClient(
            QStringList{"--home", home.path(), "--offline", "--quit-after-sync"} + arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(sqliteRows(home.filePath("profiles/1.rssdb"), "select id, title from folder"),
            QStringList{folder});
    }
}

void tst_ClientCommands::discover_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%1" is the test server
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // a part of the error output

    const QByteArray site = m_server.baseUrl();
    const QByteArray world = site + "/site/world.xml\tapplication/rss+xml\tWorld \xc2\xbb All\n";
    const QByteArray atom = "http://feeds.test/a\tapplication/atom+xml\thttp://feeds.test/a\n";
    const auto row = [](const char *name, const QStringList &arguments, int exitCode,
                         const QByteArray &out, const QByteArray &err = {}) {
        QTest::newRow(name) << arguments << exitCode << out << err;
    };
    row("page", {"--discover", "%1/site/index.html"}, 0, world + atom);
    row("feed itself, typed without a scheme, offline",
        {"--offline", "--discover", site.mid(7) + "/tech.xml"}, 0,
        site + "/tech.xml\tapplication/rss+xml\tTech news\n");
    row("no feeds", {"--discover", "%1/plain.html"}, 1, {}, "no feeds found");
    row("http error", {"--discover", "%1/nothing-here"}, 1, {},
        "The server answered 404 Not Found");
    row("nobody listening", {"--discover", "http://127.0.0.1:1/"}, 1, {}, "127.0.0.1:1");
    row("through a proxy", {"--proxy", "%1", "--discover", "http://feeds.test/page"}, 0,
        "http://feeds.test/world.xml\tapplication/rss+xml\tWorld \xc2\xbb All\n" + atom);
    row("bad address", {"--discover", "ftp://example.test/feed"}, 2, {}, "--discover");
}

void tst_ClientCommands::discover()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    arguments.replaceInStrings(u"%1"_s, QString::fromLatin1(m_server.baseUrl()));
    QTemporaryDir home;
    const Run run = runClient(QStringList{"--home", home.path()} + arguments);
    QCOMPARE(run.out, out);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(err), run.err.constData());
    QCOMPARE(run.err.isEmpty(), err.isEmpty());
}

void tst_ClientCommands::updateLinesArriveAsFeedsEnd()
{
    // Through a pipe, a line is there when its feed ends, not when the run ends: the
    // held feed keeps the client running while the others are already reported.
    m_server.setResponse("/quick.xml", TestHttpResponse::ok(rss("Quick", {"q1"})));
    m_server.setResponse("/gone.xml", TestHttpResponse::withStatus(404, {}, rss("Gone", {"g1"})));
    m_server.setResponse("/held.xml", TestHttpResponse::silence());
    QTemporaryDir home;
    QStringList args = as(home.path(), 5, home.filePath(u"s.sqlite"_s));
    for (const char *path : {"/quick.xml", "/gone.xml", "/held.xml"})
        args << "--subscribe" << served(path);
    args << "--subscribe"
         << "http://127.0.0.1:1/refused"
         << "--update";

    QProcess process;
    prepareClient(process, args);
    process.start();
    QVERIFY(process.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).count('\n') >= 3, 20000);
    const bool running = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    QVERIFY(running);

    QStringList lines = QString::fromUtf8(out).split(u'\n', Qt::SkipEmptyParts);
    for (QString &line : lines)
        line = line.section(u'\t', 1); // the id depends on the order of subscribing
    lines.sort();
    QStringList expected
        = {served("/gone.xml") + "\tfailed\tHTTP 404 Not Found", served("/quick.xml") + "\tchanged",
            "http://127.0.0.1:1/refused\tfailed\tConnection refused"};
    expected.sort();
    QCOMPARE(lines, expected);
}

void tst_ClientCommands::secondRunTransfersNoUnchangedDocument()
{
    TestHttpServer server;
    server.setValidating(true);
    server.setResponse("/a.xml", TestHttpResponse::ok(rss("A", {"a1"}), {{"ETag", "\"a\""}}));
    server.setResponse("/b.xml",
        TestHttpResponse::ok(
            rss("B", {"b1", "b2"}), {{"Last-Modified", "Tue, 02 Jan 2024 10:00:00 GMT"}}));
    QTemporaryDir home;
    // The same command line twice, subscriptions included, as a cron job would run it.
    const QStringList args = as(home.path(), 6, home.filePath(u"s.sqlite"_s))
        + QStringList{"--subscribe", QString::fromLatin1(server.baseUrl() + "/a.xml"),
            "--subscribe", QString::fromLatin1(server.baseUrl() + "/b.xml"), "--update"};
    Run run = runClient(args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.count("\tchanged\n"), 2);
    QCOMPARE(server.requestCount(), 2);

    run = runClient(args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.count("\tunchanged\n"), 2);
    QCOMPARE(server.requestCount(), 4);
    QCOMPARE(server.conditionalCount(), 2);
    QCOMPARE(server.notModifiedCount(), 2);
    QCOMPARE(sqliteRows(home.filePath(u"profiles/6.rssdb"_s), u"select count(*) from items"_s),
        QStringList{"3"});
}

void tst_ClientCommands::storeRefusedDuringTheRunFailsTheUpdate()
{
    // The profile opens and the feed is subscribed; then another program locks the
    // profile while the feed's document is on its way.
    TestHttpServer server;
    TestHttpResponse slow = TestHttpResponse::ok(rss("Slow", {"s1"}));
    slow.delayMs = 1500;
    server.setResponse("/slow.xml", slow);
    QTemporaryDir home;
    const QString feed = QString::fromLatin1(server.baseUrl() + "/slow.xml");
    QProcess process;
    prepareClient(process,
        as(home.path(), 52, home.filePath(u"s.sqlite"_s))
            + QStringList{"--subscribe", feed, "--update"});
    process.start();
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCount() >= 1, 20000);
    {
        QSqlDatabase holder
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(home.filePath(QStringLiteral("profiles/52.rssdb")));
        QVERIFY(holder.open());
        QSqlQuery lock(holder);
        // A BEGIN that met the client's own write is undone before the next try.
        const auto locked = [&lock] {
            if (lock.exec(QStringLiteral("BEGIN EXCLUSIVE")))
                return true;
            lock.exec(QStringLiteral("ROLLBACK"));
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(locked(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 40000);
        lock.exec(QStringLiteral("ROLLBACK"));
        holder.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.readAllStandardOutput(),
        "1\t" + feed.toUtf8() + "\tfailed\tthe news database could not be written\n");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains("could not be stored"), err.constData());
    // Nothing half-stored: the item arrives with the next run.
    QCOMPARE(sqliteRows(home.filePath(u"profiles/52.rssdb"_s), u"select count(*) from items"_s),
        QStringList{"0"});
}

// The messages a subscription and the update after it exchange with the client, byte
// for byte as the client's server has always received them; the test server's
// address stands as http://SERVER.
void tst_ClientCommands::messagesOfASubscriptionAsBefore()
{
    QTemporaryDir home;
    const QString subscribing = home.filePath(u"subscribe.jsonl"_s);
    const QString updating = home.filePath(u"update.jsonl"_s);
    Run run = runClient(as(home.path(), 7)
        + QStringList{"--message-log", subscribing, "--subscribe", served("/world.xml"),
            "--quit-after-sync"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    run = runClient(as(home.path(), 7) + QStringList{"--message-log", updating, "--update"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    for (const QString &log : {subscribing, updating}) {
        const QString name = QFileInfo(log).fileName();
        QCOMPARE(readFile(log).replace(m_server.baseUrl(), "http://SERVER"),
            readFile(PELLIX_CLIENT_DATA "/"_L1 + name));
    }
}

QTEST_MAIN(tst_ClientCommands)
#include "tst_clientcommands.moc"
