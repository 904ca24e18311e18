#include "host/psettings.h"
#include "pages/channelpages.h"
#include "pages/decodeentities.h"
#include "testhelpers.h"
#include "tests/common/treefixture.h"
#include "tree/feednode.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <memory>

class TestChannelPages : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void decodeEntities();
    void feedWithoutVisibleItems_data();
    void feedWithoutVisibleItems();
    void onePageAsWritten();
    void pagesOfThirty_data();
    void pagesOfThirty();
    void pageBar_data();
    void pageBar();
    void untitledFeedShownBySource();
    void favoritesAcrossFeeds();
    void encodingFollowsCharset_data();
    void encodingFollowsCharset();
    void hostileFeedTextIsDefused();

private:
    void addItems(int channel, int count);

    std::unique_ptr<TreeFixture> m_db;
};

static QStringList titles(const FeedNode &node)
{
    QStringList shown;
    for (const FeedNodeItem &item : node.items())
        shown << item.title();
    return shown;
}

static void touch(const QString &name)
{
    QFile file(PDir::applicationDataPath(true) + u'/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestChannelPages::init()
{
    m_db = std::make_unique<TreeFixture>();
    QVERIFY(m_db->opened);
    PSettings::instance()->changeUser(QStringLiteral("pages"));
}

void TestChannelPages::cleanup()
{
    PSettings::instance()->changeUser(QStringLiteral("default"));
    m_db.reset();
}

void TestChannelPages::addItems(int channel, int count)
{
    m_db->exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= count; ++i)
        m_db->addItem({channel, i, QStringLiteral("Item %1").arg(i), QStringLiteral("d")});
    m_db->exec(QStringLiteral("COMMIT"));
}

static QStringList pageFiles()
{
    QStringList files = QDir(PDir::applicationDataPath(true)).entryList(QDir::Files);
    files.sort();
    return files;
}

static QByteArray readPage(int feed, int page)
{
    return TestHelpers::readFile(PDir::applicationDataPath(true)
        + QStringLiteral("/4711_channel%1_%2.html").arg(feed).arg(page));
}

void TestChannelPages::decodeEntities()
{
    // The order matters: "&amp;" after the letters, before the brackets.
    const std::pair<const char *, const char *> cases[]
        = {{"Gr&uuml;&szlig;e &amp; mehr", "Grüße & mehr"},
            {"&Auml;&Ouml;&Uuml;&auml;&ouml; &quot;x&quot; &acute;", "ÄÖÜäö \"x\" ´"},
            {"&amp;auml; &amp;lt;b&amp;gt;", "&auml; <b>"},
            {"&AUML; &Amp; &#228; &nbsp; &euro;", "&AUML; &Amp; &#228; &nbsp; &euro;"}};
    for (const auto &[text, expected] : cases)
        QCOMPARE(::decodeEntities(QString::fromUtf8(text)), QString::fromUtf8(expected));
}

void TestChannelPages::feedWithoutVisibleItems_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("toclear");
    QTest::addColumn<QString>("title");
    QTest::newRow("no items") << 5 << -1 << "T";
    QTest::newRow("all cleared") << 5 << 1 << "T";
    QTest::newRow("favorites, nothing marked") << 0 << 0 << "Favorites";
}

void TestChannelPages::feedWithoutVisibleItems()
{
    QFETCH(int, id);
    QFETCH(int, toclear);
    QFETCH(QString, title);
    m_db->addFeed(5, 1, QStringLiteral("T"));
    if (toclear >= 0) {
        m_db->addItem({5, 1, QStringLiteral("a"), QString(), {}, {}, 0, toclear});
        m_db->addItem({5, 2, QStringLiteral("b"), QString(), {}, {}, 0, toclear, 1});
    }
    // Leftovers of an earlier set go; the pages of feed 51 and of user 47 stay.
    const QString other = QStringLiteral("47_channel%1_1.html").arg(id);
    for (const QString &name : {QStringLiteral("4711_channel%1_1.html").arg(id),
             QStringLiteral("4711_channel%1_9.html").arg(id),
             QStringLiteral("4711_channel51_1.html"), other})
        touch(name);

    FeedNode node(&m_db->db, id);
    QCOMPARE(node.page(), QStringLiteral("about:blank"));
    QCOMPARE(node.itemCount() + node.unreadCount(), 0);
    QCOMPARE(node.title(), title);
    QCOMPARE(pageFiles(), QStringList({"4711_channel51_1.html", other}));
}

void TestChannelPages::onePageAsWritten()
{
    m_db->addFeed(5, 1, QStringLiteral("News &amp; more"));
    m_db->exec(QStringLiteral("update feeds set description = 'About <b>news</b>' where id = 5"));
    const QString d = QStringLiteral("d");
    m_db->addItem({5, 1, QStringLiteral("A"), d, QStringLiteral("P1")});
    m_db->addItem({5, 2, QStringLiteral("B"), d, QStringLiteral("P2"), {}, 0, 0, 1});
    m_db->addItem({5, 3, QStringLiteral("C"), d, QStringLiteral("P3"), {}, 1, 0, 0});
    m_db->addItem({5, 4, QStringLiteral("D"), d, QStringLiteral("P4"), {}, 1, 0, 1});
    m_db->addItem({5, 5, QStringLiteral("E"), d, QVariant()});
    m_db->addItem({5, 6, QStringLiteral("F"), d, QStringLiteral("")});

    FeedNode node(&m_db->db, 5);
    QCOMPARE(node.title(), QStringLiteral("News & more"));
    QCOMPARE(node.page(), m_db->page(5));
    QCOMPARE(std::pair(node.itemCount(), node.unreadCount()), std::pair(6, 4));

    // Item blocks, newest first, told apart by read and flag state and by the date shown.
    const auto lines = [](const QByteArray &page) { return QString::fromUtf8(page).split(u'\n'); };
    QCOMPARE(lines(readPage(5, 1)),
        lines(TestHelpers::readFile(QStringLiteral(PAGES_GOLDEN_DIR "/one-page-as-written.html"))));
}

void TestChannelPages::pagesOfThirty_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<QList<int>>("itemsPerPage");
    QTest::newRow("30") << 30 << QList<int>{30};
    QTest::newRow("31") << 31 << QList<int>{30, 1};
    QTest::newRow("90") << 90 << QList<int>{30, 30, 30};
}

void TestChannelPages::pagesOfThirty()
{
    QFETCH(int, items);
    QFETCH(QList<int>, itemsPerPage);
    const int pages = int(itemsPerPage.size());
    m_db->addFeed(5, 1, QStringLiteral("T"));
    addItems(5, items);
    m_db->exec(QStringLiteral("update items set isread = 1 where itemid <= 4"));

    FeedNode node(&m_db->db, 5);
    QCOMPARE(node.itemCount(), items);
    QCOMPARE(node.unreadCount(), items - 4);
    QStringList expectedFiles;
    for (int p = 1; p <= pages; ++p)
        expectedFiles << QStringLiteral("4711_channel5_%1.html").arg(p);
    QCOMPARE(pageFiles(), expectedFiles);

    int newest = items;
    for (int p = 1; p <= pages; ++p) {
        const QByteArray page = readPage(5, p);
        QCOMPARE(page.count("class=\"feeditem\""), itemsPerPage.at(p - 1));
        QCOMPARE(page.count("<div class=\"line\">&nbsp;</div>\n"), itemsPerPage.at(p - 1) - 1);
        // Newest first, across the pages.
        QVERIFY(page.contains(QStringLiteral("id = \"5:%1\"").arg(newest).toUtf8()));
        newest -= itemsPerPage.at(p - 1);
        const QByteArray bar = ChannelPages::pageBar(p, pages, "4711_channel5_").toUtf8();
        QCOMPARE(page.count(bar), 2);
        QVERIFY(page.endsWith("</div>" + bar + "</body></html>"));
    }

    // Rendering again replaces the whole set; the shorter page keeps nothing of the longer.
    m_db->exec(QStringLiteral("update items set toclear = 1 where itemid > 25"));
    node.renderPages();
    QCOMPARE(pageFiles(), QStringList({"4711_channel5_1.html"}));
    QCOMPARE(node.itemCount(), 25);
    const QByteArray page = readPage(5, 1);
    QCOMPARE(page.count("class=\"feeditem\""), 25);
    QCOMPARE(page.count("</html>"), 1);
    QVERIFY(page.endsWith("</body></html>"));
}

void TestChannelPages::pageBar_data()
{
    TestHelpers::addRows(QStringLiteral("cases/page-bars.txt"), {"current", "count", "expected"});
}

void TestChannelPages::pageBar()
{
    QFETCH(QString, current);
    QFETCH(QString, count);
    QFETCH(QString, expected);
    QCOMPARE(ChannelPages::pageBar(current.toInt(), count.toInt(), QStringLiteral("X_channel5_")),
        expected);
}

void TestChannelPages::untitledFeedShownBySource()
{
    m_db->addFeed(5, 1, QVariant());
    m_db->addFeed(6, 1, QStringLiteral(""));
    m_db->addItem({5, 1, QStringLiteral("A"), QStringLiteral("d")});
    FeedNode untitled(&m_db->db, 5);
    FeedNode empty(&m_db->db, 6);
    QCOMPARE(untitled.title(), QStringLiteral("http://example.org/feed5.xml"));
    QCOMPARE(empty.title(), QStringLiteral("http://example.org/feed6.xml"));
    QVERIFY(readPage(5, 1).contains("<div class=\"bigShadow\">http://example.org/feed5.xml</div>"));
}

void TestChannelPages::favoritesAcrossFeeds()
{
    m_db->addFeed(5, 1, QStringLiteral("Five"));
    m_db->addFeed(3, 1, QStringLiteral("Three"));
    // The favourites page is always UTF-8, whatever its feeds use.
    m_db->exec(QStringLiteral("update feeds set charset = 'iso-8859-1' where id = 3"));
    const QString d = QStringLiteral("d"), same = QStringLiteral("http://example.org/same");
    m_db->addItem({5, 1, QStringLiteral("Five &amp; one"), d, {}, {}, 1});
    m_db->addItem({3, 1, QStringLiteral("Old title"), d, {}, same, 1, 0, 1});
    m_db->addItem({3, 2, QStringLiteral("Three two"), d, {}, {}, 1});
    m_db->addItem({3, 3, QStringLiteral("not flagged"), d});
    m_db->addItem({3, 4, QStringLiteral("cleared"), d, {}, {}, 1, 1});
    m_db->addItem({3, 5, QStringLiteral("New title"), d, {}, same, 1});

    FeedNode favorites(&m_db->db, 0);
    QCOMPARE(std::pair(favorites.itemCount(), favorites.unreadCount()), std::pair(4, 3));
    QCOMPARE(favorites.page(), m_db->page(0));
    // The tree's entries: one per link, under the newer title, decoded.
    QCOMPARE(titles(favorites), QStringList({"New title", "Three two", "Five & one"}));

    const QString page = QString::fromUtf8(readPage(0, 1));
    QVERIFY(page.contains(QStringLiteral("content=\"text/html;charset=utf-8\" />\n")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"big\"><a href=\"%1\">Favorites</a></div>")
                              .arg(m_db->page(0))));
    QVERIFY(page.contains(
        QStringLiteral("<div class=\"small\">All selected messages of the individual news</div>")));
    // The page holds every flagged item, by feed id, newest first.
    QStringList keys;
    for (auto it = QRegularExpression(QStringLiteral("id = \"(\\d+:\\d+)\"")).globalMatch(page);
         it.hasNext();)
        keys << it.next().captured(1);
    QCOMPARE(keys, QStringList({"3:5", "3:2", "3:1", "5:1"}));
}

void TestChannelPages::encodingFollowsCharset_data()
{
    TestHelpers::addRows(QStringLiteral("cases/page-charsets.txt"), {"charset", "umlaut"});
}

void TestChannelPages::encodingFollowsCharset()
{
    QFETCH(QString, charset);
    QFETCH(QString, umlaut); // its bytes, one character each
    m_db->addFeed(5, 1, QStringLiteral("T"));
    m_db->exec(QStringLiteral("update feeds set charset = ? where id = 5"), {charset});
    m_db->addItem({5, 1, QStringLiteral("M\u00fcll"), QStringLiteral("d")});
    FeedNode node(&m_db->db, 5);
    const QByteArray bytes = readPage(5, 1);
    QVERIFY(bytes.contains("\">M" + umlaut.toLatin1() + "ll</a>"));
    QVERIFY(bytes.contains("content=\"text/html;charset=" + charset.toLatin1() + "\" />\n"));
}

void TestChannelPages::hostileFeedTextIsDefused()
{
    m_db->addFeed(5, 1, QStringLiteral("Evil &lt;script&gt;alert(1)&lt;/script&gt;"));
    m_db->exec(QStringLiteral("update feeds set link = 'javascript:alert(2)', "
                              "description = '<iframe src=x></iframe>Feed' where id = 5"));
    m_db->addItem({5, 1, QStringLiteral("<b onmouseover=\"x()\">T</b>"),
        QStringLiteral("<p>Hi</p><script>alert(3)</script><img src=\"a.png\" "
                       "onerror=\"alert(4)\"><a href=\"javascript:alert(5)\">x</a>"
                       "<a href=\"http://ok.org/\">y</a>"),
        QStringLiteral("<script>alert(6)</script>Today"),
        QStringLiteral("http://x.org/\"onmouseover=\"alert(7)")});
    m_db->addItem({5, 2, QStringLiteral("T2"), QStringLiteral("d"), {},
        QStringLiteral(" JavaScript:alert(8)")});

    FeedNode node(&m_db->db, 5);
    // The tree shows the title as text; only the page needs it defused.
    QCOMPARE(node.title(), QStringLiteral("Evil <script>alert(1)</script>"));
    const QByteArray page = readPage(5, 1);
    const QByteArray parts
        = TestHelpers::readFile(QStringLiteral(TEST_DIR "/cases/defused-parts.txt"));
    QVERIFY(!parts.isEmpty()); // one line each that the page must hold
    for (const QByteArray &part : parts.trimmed().split('\n'))
        QVERIFY2(page.contains(part), part.constData());
    // The page's own command links stay the only script addresses; what is left
    // of the hostile texts is the defused address, in the title and the open link.
    QCOMPARE(page.count("javascript:"), 8);
    QCOMPARE(page.count("alert("), 2);
    QVERIFY(!page.contains("onmouseover=\""));
}

QTEST_MAIN(TestChannelPages)
#include "tst_channelpages.moc"
