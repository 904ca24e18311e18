#include "updater/httpconnection.h"
#include "wizard/feeddiscovery.h"
#include "wizard/feedlinkreader.h"
#include "wizard/pabofeedtable.h"

#include "testhelpers.h"
#include "testhttpserver.h"
#include "treefixture.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

namespace {

const QUrl PageAddress("http://site.test/dir/page.html");

// Feeds as "address|type|title".
QStringList lines(const FeedLinkList &feeds)
{
    QStringList result;
    for (const FeedLink &feed : feeds)
        result.append(feed.address + QLatin1Char('|') + feed.type + QLatin1Char('|') + feed.title);
    return result;
}

QByteArray page(const QByteArray &head, const QByteArray &body = "<p>x</p>")
{
    return "<!DOCTYPE html>\n<html>\n<head>\n<title>A page</title>\n" + head + "\n</head><body>"
        + body + "</body></html>";
}

QByteArray rssLink(const QByteArray &attributes)
{
    return page("<link rel=\"alternate\" type=\"application/rss+xml\" " + attributes + ">");
}

// Rows of the wizard's table as "text|address|ticked", a status row as its text.
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

const QByteArray Rss = "application/rss+xml";
const QByteArray Feed
    = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Own &amp; Title</title>"
      "<item><title>Not this</title></item></channel></rss>";

} // namespace

class tst_FeedDiscovery : public QObject
{
    Q_OBJECT
private slots:
    void links_data();
    void links();
    void charset_data();
    void charset();
    void hostilePages_data();
    void hostilePages();
    void feedDocument_data();
    void feedDocument();
    void addressFromInput_data();
    void addressFromInput();
    void discovery_data();
    void discovery();
    void silenceTimesOutNotTheTransfer();
    void tableRows();
    void subscribedRowsAndSelection();
};

void tst_FeedDiscovery::links_data()
{
    QTest::addColumn<QByteArray>("html");
    QTest::addColumn<QStringList>("expected");
    const QDir pages(QStringLiteral(FEED_LINKS_DIR));
    const QStringList names = pages.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(names.size() >= 20);
    for (const QString &name : names) {
        const QString base = pages.filePath(QFileInfo(name).completeBaseName());
        QTest::newRow(qPrintable(name))
            << TestHelpers::readFile(base + QStringLiteral(".html"))
            << QString::fromUtf8(TestHelpers::readFile(base + QStringLiteral(".feeds")))
                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
}

void tst_FeedDiscovery::links()
{
    QFETCH(QByteArray, html);
    QFETCH(QStringList, expected);
    QCOMPARE(lines(FeedLinkReader::read(html, "text/html", PageAddress)), expected);
}

void tst_FeedDiscovery::charset_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QString>("title"); // of the one feed on the page

    const QString umlauts = QStringLiteral("Nachrichten – Übersicht");
    const QByteArray utf8 = umlauts.toUtf8();
    const QByteArray cp1252 = "Nachrichten \x96 \xdc"
                              "bersicht";
    auto linkWith = [](const QByteArray &title, const QByteArray &head = {}) {
        return page(head
            + "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/f\" "
              "title=\""
            + title + "\">");
    };
    auto row = [](const char *name, const QByteArray &body, const QByteArray &type,
                   const QString &title) { QTest::newRow(name) << body << type << title; };

    row("http charset", linkWith(utf8), "text/html; charset=UTF-8", umlauts);
    row("quoted http charset", linkWith(utf8), "text/html;charset=\"utf-8\"", umlauts);
    row("http charset wins over meta", linkWith(cp1252, "<meta charset=\"utf-8\">"),
        "text/html; charset=windows-1252", umlauts);
    row("unknown http charset falls to meta", linkWith(utf8, "<meta charset=utf-8>"),
        "text/html; charset=x-nonsense", umlauts);
    row("byte-order mark", "\xef\xbb\xbf" + linkWith(utf8), "text/html", umlauts);
    row("utf-16 with byte-order mark",
        QByteArray("\xff\xfe")
            + QByteArray(reinterpret_cast<const char *>(QString::fromUtf8(linkWith(utf8)).utf16()),
                QString::fromUtf8(linkWith(utf8)).size() * 2),
        "text/html", umlauts);
    row("meta charset", linkWith(utf8, "<meta charset='UTF-8'>"), "text/html", umlauts);
    row("meta http-equiv",
        linkWith(utf8, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"),
        "", umlauts);
    row("meta in a comment does not count", linkWith(cp1252, "<!-- <meta charset=utf-8> -->"),
        "text/html", umlauts);
    row("meta too far down does not count",
        linkWith(cp1252, "<!--" + QByteArray(1100, 'x') + "--><meta charset=utf-8>"), "text/html",
        umlauts);
    row("latin-1 is read as windows-1252", linkWith(cp1252), "text/html; charset=ISO-8859-1",
        umlauts);
    row("nothing declared: windows-1252", linkWith(cp1252), "text/html", umlauts);
    row("iso-8859-15", linkWith("\xa4 \xbd"), "text/html; charset=iso-8859-15", "€ œ");
    row("broken utf-8 is replaced, not dropped",
        linkWith("a\xff"
                 "b"),
        "text/html; charset=utf-8", QStringLiteral("a\uFFFDb"));
}

void tst_FeedDiscovery::charset()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, contentType);
    QFETCH(QString, title);
    const FeedLinkList feeds = FeedLinkReader::read(body, contentType, PageAddress);
    QCOMPARE(feeds.size(), 1);
    QCOMPARE(feeds.first().title, title);
    QCOMPARE(feeds.first().address, QStringLiteral("http://site.test/f"));
}

void tst_FeedDiscovery::hostilePages_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("feeds");

    QByteArray binary(300000, '\0');
    for (int i = 0; i < binary.size(); ++i)
        binary[i] = char((i * 7919) % 256);
    const QByteArray link = "<link rel=alternate type=application/rss+xml href=/x>";
    QTest::newRow("binary") << binary << 0;
    QTest::newRow("binary around a link") << binary + link + binary << 1;
    QTest::newRow("unterminated quote") << page(
        "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/x.xml>"
        + QByteArray(200000, 'a')) << 0;
    QTest::newRow("unterminated tags")
        << QByteArray(100000, '<') + "link " + QByteArray(100000, ' ') << 0;
    // Nesting deeper than any real page is read up to where it gets that deep.
    QTest::newRow("deep nesting") << link + QByteArray("<div>").repeated(200000) + link << 1;
    QTest::newRow("deep nesting, then p")
        << QByteArray("<div>").repeated(4000) + link + QByteArray("<p>x").repeated(100000) << 1;
    QTest::newRow("misnested formatting") << link + QByteArray("<b><i><a>").repeated(20000) << 1;
    QTest::newRow("wide, not deep")
        << QByteArray("<div><span>x</span></div>").repeated(200000) + link << 1;
    QTest::newRow("ten thousand feeds")
        << QByteArray("<link rel=alternate type=application/rss+xml href=/f?%1>")
                .repeated(1)
                .replace("%1", "0")
            +
            [] {
                QByteArray many;
                for (int i = 1; i < 10000; ++i)
                    many += "<link rel=alternate type=application/rss+xml href=/f?"
                        + QByteArray::number(i) + ">";
                return many;
            }()
        << 10000;
    // A NUL spoils the value it is in, as in a browser, and nothing else.
    QTest::newRow("nul bytes") << QByteArray(
        "<p>\0</p><link rel=alternate type=application/rss+xml href=/n>"
        "<link rel=alternate\0 type=application/rss+xml href=/m>",
        115) << 1;
}

void tst_FeedDiscovery::hostilePages()
{
    QFETCH(QByteArray, body);
    QFETCH(int, feeds);
    QCOMPARE(FeedLinkReader::read(body, QByteArray(), PageAddress).size(), feeds);
}

void tst_FeedDiscovery::feedDocument_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected"); // "type|title"; empty: not a feed

    QTest::newRow("rss") << Feed << "application/rss+xml|Own & Title";
    QTest::newRow("atom") << QByteArray("<feed xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>"
                                        "E</title></entry><title type=\"html\">A</title></feed>")
                          << "application/atom+xml|A";
    QTest::newRow("rdf") << QByteArray("<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/"
                                       "22-rdf-syntax-ns#\"><channel><title>R</title></channel>"
                                       "<item><title>I</title></item></rdf:RDF>")
                         << "application/rdf+xml|R";
    QTest::newRow("windows-1252 declared")
        << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><channel><title>"
                      "Caf\xe9 \x80</title></channel></rss>")
        << "application/rss+xml|Café €";
    QTest::newRow("untitled") << QByteArray("<rss><channel/></rss>") << "application/rss+xml|";
    QTest::newRow("line breaks before the declaration")
        << QByteArray("\r\n\n<?xml version=\"1.0\"?><rss><channel><title>T</title></channel></rss>")
        << "application/rss+xml|T";
    QTest::newRow("charset only in the HTTP header") << QByteArray("<rss><channel><title>Gr\xfc\xdf"
                                                                   "e</title></channel></rss>")
                                                     << "application/rss+xml|Grüße";
    QTest::newRow("xhtml page") << QByteArray("<html><head><title>T</title></head></html>")
                                << QString();
    QTest::newRow("broken feed") << QByteArray("<rss><channel><title>x</channel>") << QString();
    QTest::newRow("deep nesting") << "<rss>" + QByteArray("<a>").repeated(1000000) << QString();
}

void tst_FeedDiscovery::feedDocument()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    FeedLink feed;
    const bool isFeed
        = FeedDiscovery::readFeedDocument(body, &feed, "application/rss+xml; charset=ISO-8859-1");
    QCOMPARE(isFeed, !expected.isEmpty());
    if (isFeed)
        QCOMPARE(feed.type + QLatin1Char('|') + feed.title, expected);
}

void tst_FeedDiscovery::addressFromInput_data()
{
    TestHelpers::addRows(QStringLiteral("cases/typed-addresses.txt"), {"typed", "address"});
}

void tst_FeedDiscovery::addressFromInput()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QCOMPARE(FeedDiscovery::addressFromInput(typed), address);
}

void tst_FeedDiscovery::discovery_data()
{
    TestHelpers::addRows(QStringLiteral("cases/discovery.txt"), {"route", "feeds", "itself"});
}

void tst_FeedDiscovery::discovery()
{
    QFETCH(QString, route);
    QFETCH(QString, feeds);
    QFETCH(QString, itself);
    const QByteArray path = route.toUtf8();
    QStringList expected = feeds.split(u'\n', Qt::SkipEmptyParts);

    TestHttpServer server;
    const TestHttpHeaders html{{"Content-Type", "text/html; charset=utf-8"}};
    server.setResponse("/dir/page.html",
        TestHttpResponse::ok(
            page("<link rel=alternate type=application/atom+xml href=feeds/a.xml title=Ä>"
                 "<link rel=alternate type=application/rss+xml href=/rss>"),
            html));
    server.setResponse("/feed.xml", TestHttpResponse::ok(Feed));
    server.setResponse("/old", TestHttpResponse::redirect(301, server.baseUrl() + "/feed.xml"));
    server.setResponse("/start", TestHttpResponse::redirect(302, "/site/index.html"));
    server.setResponse(
        "/site/index.html", TestHttpResponse::ok(rssLink("title=P href=feeds/p.xml")));
    server.setResponse("HEAD", "/nohead", TestHttpResponse::withStatus(405));
    server.setResponse(
        "GET", "/nohead", TestHttpResponse::ok(rssLink("title=P href=site/feeds/p.xml")));
    server.setResponse("HEAD", "/nohead501", TestHttpResponse::withStatus(501));
    server.setResponse("GET", "/nohead501", TestHttpResponse::redirect(302, "/site/index.html"));
    server.setResponse("HEAD", "/getfails", TestHttpResponse::ok({}));
    server.setResponse("GET", "/getfails", TestHttpResponse::withStatus(404));
    server.setResponse("/plain", TestHttpResponse::ok(page("<link rel=stylesheet href=/s.css>")));
    server.setResponse("/broken", TestHttpResponse::withStatus(500));
    server.setResponse("/choices", TestHttpResponse::withStatus(300));
    server.setResponse("/loop", TestHttpResponse::redirect(302, "/loop"));
    server.setResponse("/nowhere", TestHttpResponse::withStatus(302));
    server.setResponse("/toftp", TestHttpResponse::redirect(302, "ftp://127.0.0.1/feed"));
    TestHttpResponse huge
        = TestHttpResponse::ok(page(QByteArray(HttpConnection::DefaultMaxBodySize + 1024, 'x')));
    huge.omitContentLength = true;
    server.setResponse("GET", "/huge", huge);
    server.setResponse("HEAD", "/huge", TestHttpResponse::ok({}));
    server.setResponse("HEAD", "/slow", TestHttpResponse::silence());
    server.setResponse("HEAD", "/slowbody", TestHttpResponse::ok({}));
    server.setResponse("GET", "/slowbody", TestHttpResponse::silence());

    FeedDiscovery discovery;
    if (path.startsWith("/slow"))
        discovery.setStallTimeout(300);
    QSignalSpy finished(&discovery, &FeedDiscovery::finished);
    discovery.start(path == "closed" ? QUrl("http://127.0.0.1:1/") : server.url(path));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!discovery.isRunning());

    for (QString &line : expected)
        line.replace("%1", QString::fromLatin1(server.baseUrl()));
    if (!expected.isEmpty() && expected.first().startsWith(QLatin1Char('!'))) {
        QCOMPARE(discovery.state(), FeedDiscovery::Failed);
        QVERIFY(discovery.feeds().isEmpty());
        if (expected.first() != QLatin1String("!*"))
            QCOMPARE(discovery.errorString(), expected.first().mid(1));
        QVERIFY(!discovery.errorString().isEmpty());
    } else {
        QCOMPARE(lines(discovery.feeds()), expected);
        QCOMPARE(discovery.state(),
            expected.isEmpty() ? FeedDiscovery::NothingFound : FeedDiscovery::Found);
        QCOMPARE(discovery.addressIsFeed(), itself == u"yes");
    }
    if (path == "closed")
        return;

    // HEAD first, GET only for an answer worth reading; redirects are bounded.
    QCOMPARE(server.requests().first().method, QByteArray("HEAD"));
    QCOMPARE(server.requests().first().path, path);
    if (path == "/loop")
        QCOMPARE(server.requestCount("HEAD", path), FeedDiscovery::MaxRedirects + 1);
    if (path == "/missing" || path == "/broken" || path == "/choices")
        QCOMPARE(server.requestCount("GET", path), 0);
    for (const TestHttpRequest &request : server.requests())
        QCOMPARE(request.header("User-Agent"), HttpConnection::defaultUserAgent());
}

void tst_FeedDiscovery::silenceTimesOutNotTheTransfer()
{
    // The body trickles in for longer than the limit, never pausing as long as it.
    TestHttpServer server;
    TestHttpResponse slow = TestHttpResponse::ok(rssLink("href=/trickle title=Slow"));
    slow.chunkSize = 16;
    slow.chunkDelayMs = 40;
    server.setResponse("GET", "/trickle", slow);
    server.setResponse("HEAD", "/trickle", TestHttpResponse::ok({}));

    FeedDiscovery discovery;
    discovery.setStallTimeout(400);
    QSignalSpy finished(&discovery, &FeedDiscovery::finished);
    discovery.start(server.url("/trickle"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(discovery.errorString(), QString());
    QCOMPARE(lines(discovery.feeds()),
        QStringList{server.baseUrl() + "/trickle|application/rss+xml|Slow"});
}

void tst_FeedDiscovery::tableRows()
{
    // Status rows while it runs; a lone feed comes ticked; the address itself
    // without a title is "News found"; a link without a title shows its address.
    TestHttpServer server;
    const QString base = QString::fromLatin1(server.baseUrl());
    server.setResponse("/one", TestHttpResponse::ok(rssLink("href=/lone")));
    server.setResponse("/two",
        TestHttpResponse::ok(page("<link rel=alternate type=" + Rss
            + " href=/a title=A><link rel=alternate type=" + Rss + " href=/b title=B>")));
    server.setResponse("/untitled", TestHttpResponse::ok("<rss><channel/></rss>"));
    server.setResponse("/missing", TestHttpResponse::withStatus(404));

    PAboFeedTable table;
    const struct
    {
        const char *path;
        QStringList rows;
    } cases[] = {{"/one", {base + "/lone|" + base + "/lone|ticked"}},
        {"/two", {"A|" + base + "/a|unticked", "B|" + base + "/b|unticked"}},
        {"/untitled", {"News found|" + base + "/untitled|ticked"}},
        {"/missing", {"The server answered 404 Not Found"}}};
    for (const auto &c : cases) {
        QSignalSpy found(&table, &PAboFeedTable::sendFeedFound);
        table.discover(server.url(c.path));
        QCOMPARE(rows(table), QStringList{"Searching..."});
        QTRY_VERIFY(!table.discovery()->isRunning());
        QCOMPARE(rows(table), c.rows);
        QCOMPARE(found.count(), c.rows.first().contains(QLatin1Char('|')) ? 1 : 0);
    }

    // A lone feed ticked for the user is subscribed under its own title.
    QSignalSpy saved(&table, &PAboFeedTable::saveFeed);
    table.discover(server.url("/two"));
    QTRY_VERIFY(!table.discovery()->isRunning());
    table.item(1, 0)->setCheckState(Qt::Checked);
    table.applySelection();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{base + "/b", "B"}));
}

void tst_FeedDiscovery::subscribedRowsAndSelection()
{
    TreeFixture fixture;
    TestHttpServer server;
    const QString base = QString::fromLatin1(server.baseUrl());
    QByteArray links;
    for (const char *title : {"Kept", "Gone", "Old", "New"})
        links += "<link rel=\"alternate\" type=\"application/rss+xml\" title=\"" + QByteArray(title)
            + "\" href=\"/" + QByteArray(title).toLower() + "\">";
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
    QTRY_VERIFY(!table.discovery()->isRunning());
    QCOMPARE(rows(table).join(' ').replace(base, "%1"),
        QStringLiteral(
            "Kept|%1/kept|ticked Gone|%1/gone|ticked Old|%1/old|unticked New|%1/new|unticked"));
    QCOMPARE(table.changedCount(), 0);

    // Off and on again is no change.
    table.item(0, 0)->setCheckState(Qt::Unchecked);
    table.item(0, 0)->setCheckState(Qt::Checked);
    table.item(1, 0)->setCheckState(Qt::Unchecked);
    table.item(3, 0)->setCheckState(Qt::Checked);
    QCOMPARE(table.changedCount(), 2);
    table.applySelection();
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0).toString(), base + "/gone");
    QCOMPARE(saved.count(), 1);
    QCOMPARE(saved.at(0), (QVariantList{base + "/new", "New"}));
}

QTEST_MAIN(tst_FeedDiscovery)
#include "tst_feeddiscovery.moc"
