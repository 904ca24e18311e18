#include "updater/httpconnection.h"
#include "wizard/pabofeedtable.h"

#include "testhttpserver.h"
#include "treefixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Rows as "text|address|ticked", a status row as its text.
QStringList rows(const PAboFeedTable &table)
{
    QStringList result;
    for (int row = 0; row < table.rowCount(); ++row) {
        const QTableWidgetItem *item = table.item(row, 0);
        QString text = item->text();
        if (item->flags() & Qt::ItemIsUserCheckable)
            text += QLatin1Char('|') + item->data(PAboFeedTable::AddressRole).toString()
                + (item->checkState() == Qt::Checked ? "|ticked" : "|unticked");
        result.append(text);
    }
    return result;
}

bool finished(const PAboFeedTable &table)
{
    const QTableWidgetItem *first = table.rowCount() > 0 ? table.item(0, 0) : nullptr;
    return first && first->text() != "Searching..." && first->text() != "Parse page";
}

const QByteArray Feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel/></rss>";

QByteArray page(const QByteArray &head)
{
    return "<html>\n<head>\n<title>A page</title>\n" + head + "\n</head><body>x</body></html>";
}

QByteArray rssLink(const QByteArray &attributes)
{
    return page("<link type=\"application/rss+xml\" " + attributes + ">");
}

} // namespace

class tst_FeedDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void discovery_data();
    void discovery();
    void subscribedRowsAndSelection();
};

void tst_FeedDiscovery::discovery_data()
{
    QTest::addColumn<QByteArray>("body"); // served at /dir/page.html; empty: ask for path
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QStringList>("expected"); // "%1" is the server; "*" any error text

    const QStringList none{"No news found"}, error{"Error"};
    auto scan = [](const char *name, const QByteArray &body, const QStringList &expected) {
        QTest::newRow(name) << body << QByteArray("/dir/page.html") << expected;
    };
    auto fetch = [](const char *name, const QByteArray &path, const QStringList &expected) {
        QTest::newRow(name) << QByteArray() << path << expected;
    };

    // Double-quoted values only, names and type in any case, the tag name
    // followed by a space; relative addresses count from the page.
    scan("double quotes, entity in title",
        page("<link rel=\"alternate\" type=\"application/rss+xml\" title=\"News &amp; More\" "
             "href=\"/rss.xml\">"),
        {"News & More|%1/rss.xml|unticked"});
    scan("upper-case names and type",
        page("<LINK REL=\"alternate\" TYPE=\"Application/RSS+XML\" TITLE=\"Up\" "
             "HREF=\"http://other.example/Feed?a=1&b=2\">"),
        {"Up|http://other.example/Feed?a=1&b=2|unticked"});
    scan("atom and rss in page order",
        page("<link href=\"atom.xml\" type=\"application/atom+xml\" title=\"A\" />\n"
             "<link title=\"R\" type=\"application/rss+xml\" href=\"//cdn.example/r\"/>"),
        {"A|%1/dir/atom.xml|unticked", "R|http://cdn.example/r|unticked"});
    scan("single quotes are no values",
        page("<link rel='alternate' type='application/rss+xml' href='/rss.xml'>"), none);
    scan("unquoted value hides the next href", rssLink("title=\"T\" rel=alternate href=\"/x\""),
        {"T||unticked"});
    scan("spaces around equals signs", rssLink("title = \"T\" href = \"/x\""), {"T|%1/x|unticked"});
    scan("greater-than inside quotes", rssLink("title=\"a > b\" href=\"/q\""),
        {"a > b|%1/q|unticked"});
    scan("style sheet", page("<link rel=\"stylesheet\" type=\"text/css\" href=\"/s.css\">"), none);
    scan("tag name followed by a line feed",
        page("<link\ntype=\"application/rss+xml\" href=\"/rss.xml\">"), none);

    // Bad input ends, never hangs.
    QByteArray binary(300000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) % 256);
    scan("binary", binary, none);
    scan("unterminated quote",
        page("<link type=\"application/rss+xml\" href=\"/x.xml>" + QByteArray(200000, 'a')), none);
    scan("unterminated tags", QByteArray(100000, '<') + "link " + QByteArray(100000, ' '), none);
    scan("deep nesting", "<rss>" + QByteArray("<a>").repeated(1000000), none);
    fetch("larger than 16 MiB", "/huge", {"*"});

    // The address itself is a feed: offered under the address as typed.
    fetch("rss feed", "/feed.xml", {"News found|%1/feed.xml|unticked"});
    fetch("atom feed", "/atom", {"News found|%1/atom|unticked"});
    fetch("rdf feed", "/rdf", {"News found|%1/rdf|unticked"});
    fetch("redirect to a feed", "/old", {"News found|%1/old|unticked"});
    fetch("redirect to a page", "/start", {"P|%1/site/feeds/p.xml|unticked"});

    fetch("not found", "/missing", error);
    fetch("300 is no redirect", "/choices", error);
    fetch("redirect loop", "/loop", error);
    fetch("redirect without location", "/nowhere", error);
    // Ends with the connection's own error text.
    fetch("nobody listening", "closed", {"*"});
    fetch("stalled header", "/slow", {"Connection timed out"});
    fetch("stalled body", "/slowbody", {"Connection timed out"});
}

void tst_FeedDiscovery::discovery()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, path);
    QFETCH(QStringList, expected);

    TestHttpServer server;
    server.setResponse("/dir/page.html", TestHttpResponse::ok(body));
    server.setResponse("/feed.xml", TestHttpResponse::ok(Feed));
    server.setResponse(
        "/atom", TestHttpResponse::ok("<feed xmlns=\"http://www.w3.org/2005/Atom\"/>"));
    server.setResponse("/rdf",
        TestHttpResponse::ok(
            "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"></rdf:RDF>"));
    server.setResponse("/old", TestHttpResponse::redirect(301, server.baseUrl() + "/feed.xml"));
    server.setResponse("/start", TestHttpResponse::redirect(302, "/site/index.html"));
    server.setResponse(
        "/site/index.html", TestHttpResponse::ok(rssLink("title=\"P\" href=\"feeds/p.xml\"")));
    server.setResponse("/choices", TestHttpResponse::withStatus(300));
    server.setResponse("/loop", TestHttpResponse::redirect(302, "/loop"));
    server.setResponse("/nowhere", TestHttpResponse::withStatus(302));
    TestHttpResponse huge
        = TestHttpResponse::ok(page(QByteArray(HttpConnection::DefaultMaxBodySize + 1024, 'x')));
    huge.omitContentLength = true;
    server.setResponse("GET", "/huge", huge);
    server.setResponse("HEAD", "/huge", TestHttpResponse::ok({}));
    server.setResponse("HEAD", "/slow", TestHttpResponse::silence());
    server.setResponse("HEAD", "/slowbody", TestHttpResponse::ok({}));
    server.setResponse("GET", "/slowbody", TestHttpResponse::silence());

    PAboFeedTable table;
    if (path.startsWith("/slow"))
        table.setStallTimeout(300);
    table.discover(path == "closed" ? QUrl("http://127.0.0.1:1/") : server.url(path));
    QTRY_VERIFY_WITH_TIMEOUT(finished(table), 20000);

    const QStringList result = rows(table);
    if (expected == QStringList{"*"}) {
        QCOMPARE(result.size(), 1);
        QVERIFY(result.first() != "No news found");
    } else {
        for (QString &row : expected)
            row.replace("%1", QString::fromLatin1(server.baseUrl()));
        QCOMPARE(result, expected);
    }
    if (path == "closed")
        return;

    // HEAD first, GET only after a 200; redirects are bounded; the updater's agent.
    QCOMPARE(server.requests().first().method, QByteArray("HEAD"));
    QCOMPARE(server.requests().first().path, path);
    if (path == "/loop")
        QCOMPARE(server.requestCount("HEAD", path), PAboFeedTable::MaxRedirects + 1);
    if (expected == QStringList{"Error"})
        QCOMPARE(server.requestCount("GET", path), 0);
    for (const TestHttpRequest &request : server.requests())
        QCOMPARE(request.header("User-Agent"), HttpConnection::defaultUserAgent());
}

void tst_FeedDiscovery::subscribedRowsAndSelection()
{
    TreeFixture fixture;
    TestHttpServer server;
    const QString base = QString::fromLatin1(server.baseUrl());
    QByteArray links;
    for (const char *title : {"Kept", "Gone", "Old", "New"})
        links += "<link type=\"application/rss+xml\" title=\"" + QByteArray(title) + "\" href=\"/"
            + QByteArray(title).toLower() + "\">";
    server.setResponse("/page", TestHttpResponse::ok(page(links)));
    // /old was unsubscribed: its row is kept but no longer loaded.
    fixture.exec("insert into feeds (source, toload, farmid, folderid, inclient) values "
                 "(?, 1, -1, 1, 1), (?, 1, -1, 1, 1), (?, 0, -1, 1, 1)",
        {base + "/kept", base + "/gone", base + "/old"});

    PAboFeedTable table;
    table.setDatabase(&fixture.db);
    QSignalSpy saved(&table, &PAboFeedTable::saveFeed);
    QSignalSpy cleared(&table, &PAboFeedTable::clearFeed);
    table.discover(server.url("/page"));
    QTRY_VERIFY(finished(table));
    QCOMPARE(rows(table).join(' ').replace(base, "%1"),
        QStringLiteral(
            "Kept|%1/kept|ticked Gone|%1/gone|ticked Old|%1/old|unticked New|%1/new|unticked"));

    // Off and on again is no change.
    table.item(0, 0)->setCheckState(Qt::Unchecked);
    table.item(0, 0)->setCheckState(Qt::Checked);
    table.item(1, 0)->setCheckState(Qt::Unchecked);
    table.item(3, 0)->setCheckState(Qt::Checked);
    table.applySelection();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0).toString(), base + "/gone");
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{base + "/new", "New"}));
}

QTEST_MAIN(tst_FeedDiscovery)
#include "tst_feeddiscovery.moc"
