#include "host/psettings.h"
#include "plugin/rsssettings.h"
#include "tests/common/treefixture.h"
#include "tree/decodeentities.h"
#include "tree/feednode.h"
#include "viewer/channelpages.h"

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

    void decodeEntities_data();
    void decodeEntities();

    void feedWithoutVisibleItems_data();
    void feedWithoutVisibleItems();
    void onePageAsWritten();
    void pagesOfThirty_data();
    void pagesOfThirty();
    void pageBar_data();
    void pageBar();
    void itemClasses_data();
    void itemClasses();
    void missingPubdateShowsArrivalDate();
    void untitledFeedShownBySource();
    void favoritesAcrossFeeds();
    void renderingAgainReplacesTheSet();
    void encodingFollowsCharset_data();
    void encodingFollowsCharset();
    void hostileFeedTextIsDefused();
    void pageThatCannotBeCreatedStopsRendering();

    void itemEntries_data();
    void itemEntries();
    void favoriteEntriesByFeed();

private:
    void addItems(int channel, int count, int firstItem = 1);
    QStringList pageFiles() const;
    QString readPage(int feed, int page) const;

    std::unique_ptr<TreeFixture> m_fixture;
};

void TestChannelPages::init()
{
    m_fixture = std::make_unique<TreeFixture>();
    QVERIFY(m_fixture->opened);
    PSettings::instance()->changeUser(QStringLiteral("pages"));
}

void TestChannelPages::cleanup()
{
    PSettings::instance()->changeUser(QStringLiteral("default"));
    m_fixture.reset();
}

void TestChannelPages::addItems(int channel, int count, int firstItem)
{
    m_fixture->exec(QStringLiteral("BEGIN"));
    for (int i = firstItem; i < firstItem + count; ++i)
        m_fixture->addItem({channel, i, QStringLiteral("Item %1").arg(i),
            QStringLiteral("<p>Text %1</p>").arg(i)});
    m_fixture->exec(QStringLiteral("COMMIT"));
}

QStringList TestChannelPages::pageFiles() const
{
    QStringList files = QDir(PDir::applicationDataPath(true)).entryList(QDir::Files);
    files.sort();
    return files;
}

QString TestChannelPages::readPage(int feed, int page) const
{
    QFile file(PDir::applicationDataPath(true)
        + QStringLiteral("/4711_channel%1_%2.html").arg(feed).arg(page));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void TestChannelPages::decodeEntities_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("letters and ampersand")
        << "Gr&uuml;&szlig;e &amp; mehr" << QStringLiteral("Gr\u00fc\u00dfe & mehr");
    QTest::newRow("capitals") << "&Auml;&Ouml;&Uuml;&auml;&ouml;"
                              << QStringLiteral("\u00c4\u00d6\u00dc\u00e4\u00f6");
    QTest::newRow("ampersand after letters") << "&amp;auml;"
                                             << "&auml;";
    QTest::newRow("ampersand before brackets") << "&amp;lt;b&amp;gt;"
                                               << "<b>";
    QTest::newRow("quote and acute") << "&quot;x&quot; &acute;" << QStringLiteral("\"x\" \u00b4");
    QTest::newRow("case sensitive") << "&AUML; &Amp;"
                                    << "&AUML; &Amp;";
    QTest::newRow("no other references") << "&#228; &nbsp; &euro;"
                                         << "&#228; &nbsp; &euro;";
}

void TestChannelPages::decodeEntities()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(::decodeEntities(text), expected);
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
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    if (toclear >= 0) {
        m_fixture->addItem({5, 1, QStringLiteral("a"), QString(), {}, {}, 0, toclear});
        m_fixture->addItem({5, 2, QStringLiteral("b"), QString(), {}, {}, 0, toclear, 1});
    }
    // Leftovers of an earlier set go; the pages of feed 51 and of user 47 stay.
    const QString dir = PDir::applicationDataPath(true);
    for (const QString &name : {QStringLiteral("4711_channel%1_1.html").arg(id),
             QStringLiteral("4711_channel%1_9.html").arg(id),
             QStringLiteral("4711_channel51_1.html"),
             QStringLiteral("47_channel%1_1.html").arg(id)}) {
        QFile file(dir + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    FeedNode node(&m_fixture->db, id);
    QCOMPARE(node.page(), QStringLiteral("about:blank"));
    QCOMPARE(node.itemCount(), 0);
    QCOMPARE(node.unreadCount(), 0);
    QCOMPARE(node.title(), title);
    QCOMPARE(pageFiles(),
        QStringList({"4711_channel51_1.html", QStringLiteral("47_channel%1_1.html").arg(id)}));
}

void TestChannelPages::onePageAsWritten()
{
    m_fixture->addFeed(5, 1, QStringLiteral("News &amp; more"));
    m_fixture->exec(
        QStringLiteral("update feeds set description = 'About <b>news</b>' where id = 5"));
    m_fixture->addItem({5, 1, QStringLiteral("First"), QStringLiteral("<p>Body</p>")});

    FeedNode node(&m_fixture->db, 5);
    QCOMPARE(node.title(), QStringLiteral("News & more"));
    QCOMPARE(node.link(), QStringLiteral("http://example.org/"));
    QCOMPARE(node.source(), QStringLiteral("http://example.org/feed5.xml"));
    QVERIFY(node.toLoad());
    QCOMPARE(node.itemCount(), 1);
    QCOMPARE(node.unreadCount(), 1);
    QCOMPARE(node.page(),
        QDir::toNativeSeparators(
            PDir::applicationDataPath(true) + QStringLiteral("/4711_channel5_1.html")));

    const QString expected = QStringLiteral(
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
        "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"de\" lang=\"de\">\n"
        "<head>\n"
        "<script src=\"./rss.js\" type=\"text/javascript\"></script>"
        "<title> pellix RSS Feed Viewer</title>\n"
        "<meta http-equiv=\"content-type\" content=\"text/html;charset=utf-8\" />\n"
        "<link rel=\"stylesheet\" type=\"text/css\" media=\"all\" href=\"./style.css\">\n"
        "</head>\n"
        "<body>\n"
        "<div id=\"main\">\n"
        "<div id=\"header\">\n"
        "<div id=\"title\">\n"
        "<div class=\"rssimg\"><img src=\"./feed-icon-24x24.gif\"></div>\n"
        "<div class=\"big\"><a href=\"http://example.org/\">News & more</a></div>\n"
        "<div class=\"bigShadow\">News & more</div>\n"
        "<div class=\"small\">About <b>news</b></div>\n"
        "</div> <!-- ende #title -->\n"
        "<div id=\"pagebar\">Page 1</div> <!-- ende #pagebar --><div id=\"content\">\n"
        "<div class=\"feeditem\" id = \"5:1\">\n"
        "<div class=\"itemtitle\"><a href=\"http://example.org/5/1\">First</a></div>\n"
        "<div class=\"itemdate\">Mon, 01 Jan 2024 10:00:00 GMT&nbsp;&nbsp; "
        "<a href=\"javascript:read('5:1')\"><img src=\"./unread-12.gif\" alt=\"Toggle "
        "Read\"></a> &nbsp; <a href=\"javascript:toDelete('5:1')\"><img "
        "src=\"./delete-12.gif\" alt=\"Delete\"></a> &nbsp; <a "
        "href=\"javascript:mark('5:1')\"><img src=\"./flag-off-12.gif\" "
        "alt=\"Mark\"></a>&nbsp; <a href=\"http://example.org/5/1\"><img "
        "src=\"./arrow-right-12.gif\" alt=\"Open\"></a></div>\n"
        "<div class=\"itemdescription\"><p>Body</p></div>\n"
        "</div>\n"
        "</div><div id=\"pagebar\">Page 1</div> <!-- ende #pagebar --></body></html>");
    QCOMPARE(readPage(5, 1), expected);
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
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    addItems(5, items);
    m_fixture->exec(QStringLiteral("update items set isread = 1 where itemid <= 4"));

    FeedNode node(&m_fixture->db, 5);
    QCOMPARE(node.itemCount(), items);
    QCOMPARE(node.unreadCount(), items - 4);
    QStringList expectedFiles;
    for (int p = 1; p <= itemsPerPage.size(); ++p)
        expectedFiles << QStringLiteral("4711_channel5_%1.html").arg(p);
    QCOMPARE(pageFiles(), expectedFiles);

    int newest = items;
    for (int p = 1; p <= itemsPerPage.size(); ++p) {
        const QString page = readPage(5, p);
        QCOMPARE(page.count(QStringLiteral("class=\"feeditem\"")), itemsPerPage.at(p - 1));
        QCOMPARE(page.count(QStringLiteral("<div class=\"line\">&nbsp;</div>\n")),
            itemsPerPage.at(p - 1) - 1);
        // Newest first, across the pages.
        QVERIFY(page.contains(QStringLiteral("id = \"5:%1\"").arg(newest)));
        newest -= itemsPerPage.at(p - 1);
        const QString bar
            = ChannelPages::pageBar(p, int(itemsPerPage.size()), QStringLiteral("4711_channel5_"));
        QCOMPARE(page.count(bar), 2);
        QVERIFY(page.endsWith(QStringLiteral("</div>") + bar + QStringLiteral("</body></html>")));
    }
    if (items == 30)
        QCOMPARE(readPage(5, 1).count(
                     QStringLiteral("<div id=\"pagebar\">Page 1</div> <!-- ende #pagebar -->")),
            2);
}

void TestChannelPages::pageBar_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1 of 1") << 1 << 1 << "<div id=\"pagebar\">Page 1</div> <!-- ende #pagebar -->";
    QTest::newRow("1 of 3")
        << 1 << 3
        << "<div id=\"pagebar\"> Page 1 <a href=\"X_channel5_2.html\">2</a> "
           "<a href=\"X_channel5_3.html\">3</a> from 3  <a "
           "href=\"X_channel5_2.html\">&raquo;</a></div> <!-- ende #pagebar -->";
    QTest::newRow("7 of 12")
        << 7 << 12
        << "<div id=\"pagebar\"><a href=\"X_channel5_6.html\">&laquo</a> Page ... "
           "<a href=\"X_channel5_3.html\">3</a> <a href=\"X_channel5_4.html\">4</a> "
           "<a href=\"X_channel5_5.html\">5</a> <a href=\"X_channel5_6.html\">6</a> 7 "
           "<a href=\"X_channel5_8.html\">8</a> <a href=\"X_channel5_9.html\">9</a> "
           "<a href=\"X_channel5_10.html\">10</a> <a href=\"X_channel5_11.html\">11</a> "
           "... from 12  <a href=\"X_channel5_8.html\">&raquo;</a></div> <!-- ende #pagebar -->";
    QTest::newRow("12 of 12")
        << 12 << 12
        << "<div id=\"pagebar\"><a href=\"X_channel5_11.html\">&laquo</a> Page ... "
           "<a href=\"X_channel5_8.html\">8</a> <a href=\"X_channel5_9.html\">9</a> "
           "<a href=\"X_channel5_10.html\">10</a> <a href=\"X_channel5_11.html\">11</a> 12 "
           "from 12 </div> <!-- ende #pagebar -->";
}

void TestChannelPages::pageBar()
{
    QFETCH(int, current);
    QFETCH(int, count);
    QFETCH(QString, expected);
    QCOMPARE(ChannelPages::pageBar(current, count, QStringLiteral("X_channel5_")), expected);
}

void TestChannelPages::itemClasses_data()
{
    QTest::addColumn<int>("isread");
    QTest::addColumn<int>("mark");
    QTest::addColumn<QString>("titleClass");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("readToggle");
    QTest::addColumn<QString>("markToggle");
    QTest::newRow("unread") << 0 << 0 << "itemtitle"
                            << ""
                            << "./unread-12.gif\" alt=\"Toggle Read\""
                            << "./flag-off-12.gif\" alt=\"Mark\"";
    QTest::newRow("read") << 1 << 0 << "itemtitle_vstd"
                          << "_vstd"
                          << "./read-12.gif\" alt=\"Toggle Unread\""
                          << "./flag-off-12.gif\" alt=\"Mark\"";
    QTest::newRow("flagged unread") << 0 << 1 << "itemtitle_flagged"
                                    << ""
                                    << "./unread-12.gif\" alt=\"Toggle Read\""
                                    << "./flag-on-12.gif\" alt=\"Unmark\"";
    QTest::newRow("flagged read") << 1 << 1 << "itemtitle_flagged"
                                  << "_vstd"
                                  << "./read-12.gif\" alt=\"Toggle Unread\""
                                  << "./flag-on-12.gif\" alt=\"Unmark\"";
}

void TestChannelPages::itemClasses()
{
    QFETCH(int, isread);
    QFETCH(int, mark);
    QFETCH(QString, titleClass);
    QFETCH(QString, suffix);
    QFETCH(QString, readToggle);
    QFETCH(QString, markToggle);
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    m_fixture->addItem({5, 1, QStringLiteral("A"), QStringLiteral("d"), QStringLiteral("P"),
        QString(), mark, 0, isread});

    FeedNode node(&m_fixture->db, 5);
    const QString page = readPage(5, 1);
    QVERIFY(page.contains(QStringLiteral("<div class=\"%1\"><a ").arg(titleClass)));
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemdate%1\">P&nbsp;").arg(suffix)));
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemdescription%1\">d</div>").arg(suffix)));
    QVERIFY(page.contains(
        QStringLiteral("<a href=\"javascript:read('5:1')\"><img src=\"") + readToggle));
    QVERIFY(page.contains(
        QStringLiteral("<a href=\"javascript:mark('5:1')\"><img src=\"") + markToggle));
    QCOMPARE(node.unreadCount(), isread ? 0 : 1);
}

void TestChannelPages::missingPubdateShowsArrivalDate()
{
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    m_fixture->addItem({5, 1, QStringLiteral("A"), QStringLiteral("d"), QVariant()});
    m_fixture->addItem({5, 2, QStringLiteral("B"), QStringLiteral("d"), QStringLiteral("")});
    FeedNode node(&m_fixture->db, 5);
    const QString page = readPage(5, 1);
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemdate\">2024-01-02 03:04:05&nbsp;")));
    // An empty text is a date of its own, not a missing one.
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemdate\">&nbsp;")));
}

void TestChannelPages::untitledFeedShownBySource()
{
    m_fixture->addFeed(5, 1, QVariant());
    m_fixture->addFeed(6, 1, QStringLiteral(""));
    m_fixture->addItem({5, 1, QStringLiteral("A"), QStringLiteral("d")});
    FeedNode untitled(&m_fixture->db, 5);
    FeedNode empty(&m_fixture->db, 6);
    QCOMPARE(untitled.title(), QStringLiteral("http://example.org/feed5.xml"));
    QCOMPARE(empty.title(), QStringLiteral("http://example.org/feed6.xml"));
    QVERIFY(readPage(5, 1).contains(
        QStringLiteral("<div class=\"bigShadow\">http://example.org/feed5.xml</div>")));
}

void TestChannelPages::favoritesAcrossFeeds()
{
    m_fixture->addFeed(5, 1, QStringLiteral("Five"));
    m_fixture->addFeed(3, 1, QStringLiteral("Three"));
    m_fixture->exec(QStringLiteral("update feeds set charset = 'iso-8859-1' where id = 3"));
    m_fixture->addItem({5, 1, QStringLiteral("F1"), QStringLiteral("d"), {}, {}, 1});
    m_fixture->addItem({3, 1, QStringLiteral("T1"), QStringLiteral("d"), {}, {}, 1, 0, 1});
    m_fixture->addItem({3, 2, QStringLiteral("T2"), QStringLiteral("d"), {}, {}, 1});
    m_fixture->addItem({3, 3, QStringLiteral("not flagged"), QStringLiteral("d")});
    m_fixture->addItem({3, 4, QStringLiteral("cleared"), QStringLiteral("d"), {}, {}, 1, 1});

    FeedNode favorites(&m_fixture->db, 0);
    QCOMPARE(favorites.title(), QStringLiteral("Favorites"));
    QCOMPARE(favorites.itemCount(), 3);
    QCOMPARE(favorites.unreadCount(), 2);
    QVERIFY(!favorites.toLoad());
    QVERIFY(favorites.link().isEmpty());
    QVERIFY(favorites.source().isEmpty());
    QCOMPARE(favorites.page(), m_fixture->page(0));

    const QString page = readPage(0, 1);
    QVERIFY(page.contains(QStringLiteral(
        "<meta http-equiv=\"content-type\" content=\"text/html;charset=utf-8\" />\n")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"big\"><a href=\"%1\">Favorites</a></div>")
                              .arg(m_fixture->page(0))));
    QVERIFY(page.contains(
        QStringLiteral("<div class=\"small\">All selected messages of the individual news</div>")));
    const QRegularExpression key(QStringLiteral("id = \"(\\d+:\\d+)\""));
    QStringList keys;
    for (auto it = key.globalMatch(page); it.hasNext();)
        keys << it.next().captured(1);
    QCOMPARE(keys, QStringList({"3:2", "3:1", "5:1"}));
}

void TestChannelPages::renderingAgainReplacesTheSet()
{
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    addItems(5, 65);
    FeedNode node(&m_fixture->db, 5);
    QCOMPARE(pageFiles().size(), 3);

    m_fixture->exec(QStringLiteral("update items set toclear = 1 where itemid > 25"));
    node.renderPages();
    QCOMPARE(pageFiles(), QStringList({"4711_channel5_1.html"}));
    QCOMPARE(node.itemCount(), 25);
    // The shorter page leaves nothing of the longer one behind.
    const QString page = readPage(5, 1);
    QCOMPARE(page.count(QStringLiteral("class=\"feeditem\"")), 25);
    QVERIFY(page.endsWith(QStringLiteral("</body></html>")));
    QCOMPARE(page.count(QStringLiteral("</html>")), 1);
}

void TestChannelPages::encodingFollowsCharset_data()
{
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("umlaut");
    QTest::newRow("latin-1") << "iso-8859-1" << QByteArray("\xfc");
    QTest::newRow("upper case") << "ISO-8859-15" << QByteArray("\xfc");
    QTest::newRow("utf-8") << "utf-8" << QByteArray("\xc3\xbc");
    QTest::newRow("unknown") << "no-such-charset" << QByteArray("\xc3\xbc");
    QTest::newRow("empty") << "" << QByteArray("\xc3\xbc");
}

void TestChannelPages::encodingFollowsCharset()
{
    QFETCH(QString, charset);
    QFETCH(QByteArray, umlaut);
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    m_fixture->exec(QStringLiteral("update feeds set charset = ? where id = 5"), {charset});
    m_fixture->addItem({5, 1, QStringLiteral("M\u00fcll"), QStringLiteral("d")});
    FeedNode node(&m_fixture->db, 5);

    QFile file(PDir::applicationDataPath(true) + QStringLiteral("/4711_channel5_1.html"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.contains("\">M" + umlaut + "ll</a>"));
    QVERIFY(bytes.contains("content=\"text/html;charset=" + charset.toLatin1() + "\" />\n"));
}

void TestChannelPages::hostileFeedTextIsDefused()
{
    m_fixture->addFeed(5, 1, QStringLiteral("Evil &lt;script&gt;alert(1)&lt;/script&gt;"));
    m_fixture->exec(QStringLiteral("update feeds set link = 'javascript:alert(2)', "
                                   "description = '<iframe src=x></iframe>Feed' where id = 5"));
    m_fixture->addItem({5, 1, QStringLiteral("<b onmouseover=\"x()\">T</b>"),
        QStringLiteral("<p>Hi</p><script>alert(3)</script><img src=\"a.png\" "
                       "onerror=\"alert(4)\"><a href=\"javascript:alert(5)\">x</a>"
                       "<a href=\"http://ok.org/\">y</a>"),
        QStringLiteral("<script>alert(6)</script>Today"),
        QStringLiteral("http://x.org/\"onmouseover=\"alert(7)")});
    m_fixture->addItem({5, 2, QStringLiteral("T2"), QStringLiteral("d"), {},
        QStringLiteral(" JavaScript:alert(8)")});

    FeedNode node(&m_fixture->db, 5);
    // The tree shows the title as text; only the page needs it defused.
    QCOMPARE(node.title(), QStringLiteral("Evil <script>alert(1)</script>"));
    const QString page = readPage(5, 1);
    QVERIFY(page.contains(QStringLiteral("<div class=\"big\"><a href=\"#\">Evil </a></div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"bigShadow\">Evil </div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"small\">Feed</div>")));
    QVERIFY(page.contains(QStringLiteral(
        "<div class=\"itemtitle\"><a href=\"http://x.org/&quot;onmouseover=&quot;alert(7)\">"
        "<b>T</b></a></div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemdate\">Today&nbsp;")));
    QVERIFY(page.contains(
        QStringLiteral("<div class=\"itemdescription\"><p>Hi</p><img src=\"a.png\"><a>x</a>"
                       "<a href=\"http://ok.org/\">y</a></div>")));
    QVERIFY(page.contains(QStringLiteral("<div class=\"itemtitle\"><a href=\"#\">T2</a></div>")));
    QVERIFY(
        page.contains(QStringLiteral("&nbsp; <a href=\"#\"><img src=\"./arrow-right-12.gif\"")));
    // The page's own command links stay the only script addresses; what is left
    // of the hostile texts is the defused address, in the title and the open link.
    QCOMPARE(page.count(QStringLiteral("javascript:")), 6);
    QCOMPARE(page.count(QStringLiteral("alert(")), 2);
    QVERIFY(!page.contains(QStringLiteral("onmouseover=\"")));
}

void TestChannelPages::pageThatCannotBeCreatedStopsRendering()
{
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    addItems(5, 61);
    // A directory where page 2 belongs: it is no page file, so it stays, and
    // nothing can be written there. The old pages 3 and 4 go all the same.
    const QString dir = PDir::applicationDataPath(true);
    QVERIFY(QDir(dir).mkdir(QStringLiteral("4711_channel5_2.html")));
    for (const char *name : {"4711_channel5_3.html", "4711_channel5_4.html"}) {
        QFile file(dir + u'/' + QLatin1String(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    ChannelPages::Display display;
    display.page = QStringLiteral("earlier");
    ChannelPages::render(m_fixture->db, 5, display);
    QCOMPARE(display.page, QStringLiteral("earlier"));
    QCOMPARE(display.itemCount, 61);
    QCOMPARE(pageFiles(), QStringList({"4711_channel5_1.html"}));
}

void TestChannelPages::itemEntries_data()
{
    QTest::addColumn<QVariant>("limit");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("default of ten")
        << QVariant()
        << QStringList({"Item 14", "Item 13", "Item 12", "Item 11", "Item 10", "Item 9", "Item 8",
               "Item 7", "Item 6", "Item 5"});
    QTest::newRow("three") << QVariant(3) << QStringList({"Item 14", "Item 13", "Item 12"});
    QTest::newRow("none") << QVariant(0) << QStringList();
}

void TestChannelPages::itemEntries()
{
    QFETCH(QVariant, limit);
    QFETCH(QStringList, titles);
    if (limit.isValid())
        RssSettings::setValue(RssSettings::MaxItemsInViewer, limit);
    m_fixture->addFeed(5, 1, QStringLiteral("T"));
    addItems(5, 14);
    m_fixture->addItem({5, 20, QStringLiteral("cleared"), QString(), {}, {}, 0, 1});

    FeedNode node(&m_fixture->db, 5);
    QStringList shown;
    for (const FeedNodeItem &item : node.items())
        shown << item.title();
    QCOMPARE(shown, titles);
    if (!titles.isEmpty())
        QCOMPARE(node.items().first().link(), QStringLiteral("http://example.org/5/14"));
}

void TestChannelPages::favoriteEntriesByFeed()
{
    m_fixture->addFeed(5, 1, QStringLiteral("Five"));
    m_fixture->addFeed(3, 1, QStringLiteral("Three"));
    const QString same = QStringLiteral("http://example.org/same");
    m_fixture->addItem({5, 1, QStringLiteral("Five &amp; one"), QString(), {}, {}, 1});
    m_fixture->addItem({3, 1, QStringLiteral("Old title"), QString(), {}, same, 1});
    m_fixture->addItem({3, 2, QStringLiteral("Three two"), QString(), {}, {}, 1});
    m_fixture->addItem({3, 3, QStringLiteral("New title"), QString(), {}, same, 1});

    FeedNode favorites(&m_fixture->db, 0);
    QStringList shown;
    for (const FeedNodeItem &item : favorites.items())
        shown << item.title();
    // One entry per link, under the newer title; titles are shown decoded.
    QCOMPARE(shown, QStringList({"New title", "Three two", "Five & one"}));
}

QTEST_MAIN(TestChannelPages)
#include "tst_channelpages.moc"
