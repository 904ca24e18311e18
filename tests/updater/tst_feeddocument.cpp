#include "feedfixture.h"
#include "updater/feeddocument.h"
#include "updater/feedtree.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <QTranslator>

#include <csignal>

namespace {

QByteArray rss(const QByteArray &items, const QByteArray &channel = "<title>Feed</title>")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel>" + channel
        + items + "</channel></rss>";
}

QByteArray item(const QByteArray &title, const QByteArray &link = "http://l/",
    const QByteArray &description = "d")
{
    return "<item><title>" + title + "</title><link>" + link + "</link><description>" + description
        + "</description></item>";
}

qint64 residentKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

// German day names, as a language file of the client would give them.
class GermanDays : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        if (qstrcmp(context, "Updater") != 0)
            return QString();
        static const QHash<QByteArray, QString> names = {{"Monday", "Montag"},
            {"Tuesday", "Dienstag"}, {"Wednesday", "Mittwoch"}, {"Thursday", "Donnerstag"},
            {"Friday", "Freitag"}, {"Saturday", "Samstag"}, {"Sunday", "Sonntag"}};
        return names.value(source);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestFeedDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void itemIdsFollowArrival();
    void knownItemsRefreshTheirLink_data();
    void knownItemsRefreshTheirLink();
    void identityIsTitleAndDescription();
    void removedItemsArePrunedOnceGone();
    void titleOnlyWhileStoredTitleIsEmpty();
    void channelFieldsFirstOccurrenceWins();
    void layouts_data();
    void layouts();
    void dayNames_data();
    void dayNames();
    void dayNamesAreTranslated();
    void declaredCharset_data();
    void declaredCharset();
    void encodings_data();
    void encodings();
    void textMatchesTheDom_data();
    void textMatchesTheDom();
    void hostileDocuments_data();
    void hostileDocuments();
    void deepNestingIsRefusedQuickly();
    void rolledBackDocumentLeavesNothing();
    void failedStatementIsPassedOver();
    void unwritableDatabase_data();
    void unwritableDatabase();
    void killDuringRunKeepsDocumentsWhole();

private:
    FeedDocument::Result process(const QByteArray &body, int feed = 1);

    std::unique_ptr<FeedFixture> f;
};

void TestFeedDocument::init()
{
    f = std::make_unique<FeedFixture>();
    QVERIFY(f->opened);
    f->addFeed(1, QStringLiteral("http://h/1"));
}

void TestFeedDocument::cleanup()
{
    f.reset();
}

FeedDocument::Result TestFeedDocument::process(const QByteArray &body, int feed)
{
    FeedDocument document(&f->db, QString::number(feed));
    return document.process(body);
}

void TestFeedDocument::itemIdsFollowArrival()
{
    const QByteArray xyz = item("X", "lx") + item("Y", "ly") + item("Z", "lz");
    QCOMPARE(process(rss(xyz)), FeedDocument::Changed);
    QCOMPARE(f->items(1), QStringList({"1|Z|lz|d|~", "2|Y|ly|d|~", "3|X|lx|d|~"}));

    QCOMPARE(process(rss(xyz)), FeedDocument::Unchanged);
    QCOMPARE(f->items(1).size(), 3);

    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(rss(item("W", "lw") + xyz)), FeedDocument::Changed);
    QCOMPARE(document.nextItemId(), 5);
    QCOMPARE(f->items(1).last(), QStringLiteral("4|W|lw|d|~"));
}

void TestFeedDocument::knownItemsRefreshTheirLink_data()
{
    QTest::addColumn<int>("toclear");
    QTest::addColumn<QString>("link");
    QTest::newRow("shown item") << 0 << "new";
    QTest::newRow("removed item keeps its link") << 1 << "old";
}

void TestFeedDocument::knownItemsRefreshTheirLink()
{
    QFETCH(int, toclear);
    QFETCH(QString, link);
    process(rss(item("A", "old")));
    f->exec(QStringLiteral("update items set toclear = %1").arg(toclear));
    QCOMPARE(process(rss(item("A", "new"))), FeedDocument::Unchanged);
    QCOMPARE(f->value("select link from items where itemid = 1").toString(), link);
    QCOMPARE(f->value("select count(*) from items").toInt(), 1);
}

void TestFeedDocument::identityIsTitleAndDescription()
{
    // Two equal items are one; the first in the document is read last and leaves its link.
    const QByteArray doc = rss(item("Same", "first") + item("Same", "second")
        + "<item><title>NoDesc</title></item>" + "<item><title>NoDesc</title><description/></item>"
        + "<item><description>untitled</description></item>");
    QCOMPARE(process(doc), FeedDocument::Changed);
    QCOMPARE(f->items(1),
        QStringList({"1|~|~|untitled|~", "2|NoDesc|~||~", "3|NoDesc|~|~|~", "4|Same|first|d|~"}));
    QCOMPARE(process(doc), FeedDocument::Unchanged);
    QCOMPARE(f->items(1).size(), 4);
}

void TestFeedDocument::removedItemsArePrunedOnceGone()
{
    process(rss(item("A") + item("B") + item("C"))); // C=1, B=2, A=3
    f->exec("update items set toclear = 1 where itemid in (1, 3)");

    // C is gone and older than everything still carried: deleted. A is still carried.
    QCOMPARE(process(rss(item("A") + item("B"))), FeedDocument::Unchanged);
    QCOMPARE(f->value("select group_concat(itemid) from items").toString(), QStringLiteral("2,3"));
    QCOMPARE(process(rss(item("A") + item("B"))), FeedDocument::Unchanged);
    QCOMPARE(f->items(1).size(), 2);

    // Nothing known any more: every removed item goes, shown ones stay.
    QCOMPARE(process(rss(item("N"))), FeedDocument::Changed);
    QCOMPARE(f->value("select group_concat(itemid) from items").toString(), QStringLiteral("2,4"));
}

void TestFeedDocument::titleOnlyWhileStoredTitleIsEmpty()
{
    {
        FeedDocument document(&f->db, QStringLiteral("1"));
        QCOMPARE(document.process(rss("", "<title>First</title>")), FeedDocument::Changed);
        QVERIFY(document.renamed());
    }
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("First"));

    f->exec("update feeds set channeltitle = 'Mine' where id = 1");
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(rss("", "<title>Other</title>")), FeedDocument::Unchanged);
    QVERIFY(!document.renamed());
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("Mine"));
}

void TestFeedDocument::channelFieldsFirstOccurrenceWins()
{
    QCOMPARE(process(rss("",
                 "<link>l1</link><description>d1</description><link>l2</link>"
                 "<description>d2</description>")),
        FeedDocument::Unchanged);
    QCOMPARE(f->feedColumn(1, "link"), QStringLiteral("l1"));
    QCOMPARE(f->feedColumn(1, "description"), QStringLiteral("d1"));
}

void TestFeedDocument::layouts_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("items");

    QTest::newRow("rdf") << QByteArray(
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<channel><title>R</title><link>rl</link><description>rd</description>"
        "<link>late</link></channel>"
        "<item><title>I1</title><link>a</link></item>"
        "<extra><item><title>I2</title><pubDate>Tue</pubDate></item></extra></rdf:RDF>")
                         << "R"
                         << "late"
                         << "rd" << QStringList({"1|I2|~|~|Tuesday", "2|I1|a|~|~"});
    QTest::newRow("rdf without channel") << QByteArray(
        "<rdf:RDF><item><title>A</title></item><item><title>B</title></item>"
        "</rdf:RDF>") << "~"
                                         << "~"
                                         << "~" << QStringList({"1|B|~|~|~", "2|A|~|~|~"});
    QTest::newRow("Channel root") << QByteArray(
        "<Channel><title>C</title><link>cl</link><description>ignored"
        "</description><items><x><title>A</title></x><item><title>B</title>"
        "</item></items><item><title>outside</title></item></Channel>")
                                  << "C"
                                  << "cl"
                                  << "~" << QStringList({"1|B|~|~|~", "2|A|~|~|~"});
    QTest::newRow("atom") << QByteArray(
        "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>At</title>"
        "<link rel=\"self\" href=\"first\"/><link href=\"second\"/>"
        "<entry><title>E1</title><link href=\"one\"/><link rel=\"alternate\" href=\"two\"/>"
        "<link>no href</link><summary>s1</summary><content>c</content>"
        "<updated>Sat 2024</updated></entry>"
        "<entry><title>E2</title></entry></feed>")
                          << "At"
                          << "first"
                          << "~" << QStringList({"1|E2|~|~|~", "2|E1|two|s1|Saturday 2024"});
    QTest::newRow("atom link without href")
        << QByteArray("<feed><link>text</link><entry><title>E</title></entry></feed>") << "~"
        << ""
        << "~" << QStringList({"1|E|~|~|~"});
    QTest::newRow("unknown root") << QByteArray("<opml><title>O</title><item><title>A</title>"
                                                "</item></opml>")
                                  << "~"
                                  << "~"
                                  << "~" << QStringList();
    QTest::newRow("root names are case-sensitive")
        << QByteArray("<RSS><channel><title>T</title></channel></RSS>") << "~"
        << "~"
        << "~" << QStringList();
}

void TestFeedDocument::layouts()
{
    QFETCH(QByteArray, doc);
    QFETCH(QString, title);
    QFETCH(QString, link);
    QFETCH(QString, description);
    QFETCH(QStringList, items);
    f->exec("insert into items (channelid, itemid, title, toclear) values (1, 0, 'gone', 1)");

    const FeedDocument::Result result = process(doc);
    QCOMPARE(
        result, title != "~" || !items.isEmpty() ? FeedDocument::Changed : FeedDocument::Unchanged);
    QCOMPARE(f->feedColumn(1, "channeltitle"), title);
    QCOMPARE(f->feedColumn(1, "link"), link);
    QCOMPARE(f->feedColumn(1, "description"), description);
    QCOMPARE(f->items(1), items);
    // No stored item was seen again, so the removed one goes in every layout.
    QCOMPARE(f->value("select count(*) from items where itemid = 0").toInt(), 0);
}

void TestFeedDocument::dayNames_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("stored");
    QTest::newRow("rfc 822") << "Mon, 03 Dec 2007 10:00:00 GMT"
                             << "Monday, 03 Dec 2007 10:00:00 GMT";
    QTest::newRow("german left alone") << "Montag, 03. Dez 2007"
                                       << "Montag, 03. Dez 2007";
    QTest::newRow("every occurrence") << "Sun or Sat, Thu"
                                      << "Sunday or Saturday, Thursday";
    QTest::newRow("case-sensitive") << "mon, WED"
                                    << "mon, WED";
    QTest::newRow("iso date untouched") << "2007-12-03T10:00:00Z"
                                        << "2007-12-03T10:00:00Z";
}

void TestFeedDocument::dayNames()
{
    QFETCH(QString, date);
    QFETCH(QString, stored);
    QCOMPARE(FeedDocument::expandDayNames(date), stored);
}

void TestFeedDocument::dayNamesAreTranslated()
{
    GermanDays german;
    QCoreApplication::installTranslator(&german);
    process(rss("<item><title>T</title><pubDate>Fri, 07 Dec 2007</pubDate></item>"));
    QCoreApplication::removeTranslator(&german);
    QCOMPARE(
        f->value("select pubdate from items").toString(), QStringLiteral("Freitag, 07 Dec 2007"));
}

void TestFeedDocument::declaredCharset_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("charset");
    QTest::newRow("double quotes") << QByteArray("<?xml version=\"1.0\" encoding=\"windows-1252\"?>"
                                                 "<rss/>")
                                   << "windows-1252";
    QTest::newRow("as written") << QByteArray("<?xml version=\"1.0\" encoding=\"Iso-8859-1\"?>"
                                              "<rss/>")
                                << "Iso-8859-1";
    QTest::newRow("space before =") << QByteArray("<?xml version=\"1.0\" encoding = \"latin1\"?>"
                                                  "<rss/>")
                                    << "utf-8";
    QTest::newRow("space after =") << QByteArray("<?xml version=\"1.0\" encoding= \"latin1\"?>"
                                                 "<rss/>")
                                   << "latin1";
    QTest::newRow("single quotes") << QByteArray("<?xml version='1.0' encoding='windows-1252'?>"
                                                 "<rss/>")
                                   << "utf-8";
    QTest::newRow("no declaration") << QByteArray("<rss encoding=\"x\"/>") << "x";
    QTest::newRow("after the first tag") << QByteArray("<rss><a encoding=\"x\"/></rss>") << "utf-8";
}

void TestFeedDocument::declaredCharset()
{
    QFETCH(QByteArray, doc);
    QFETCH(QString, charset);
    process(doc);
    QCOMPARE(f->feedColumn(1, "charset"), charset);
}

void TestFeedDocument::encodings_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("title");
    QTest::newRow("utf-8") << "UTF-8" << QStringLiteral("Grüße €");
    QTest::newRow("iso-8859-1") << "ISO-8859-1" << QStringLiteral("Grüße");
    QTest::newRow("iso-8859-5") << "ISO-8859-5" << QStringLiteral("Привет");
    QTest::newRow("windows-1252") << "windows-1252" << QStringLiteral("€ „quoted“");
    QTest::newRow("windows-1251") << "windows-1251" << QStringLiteral("Привет");
    QTest::newRow("koi8-r") << "KOI8-R" << QStringLiteral("Привет");
    QTest::newRow("shift_jis") << "Shift_JIS" << QStringLiteral("ニュース");
    QTest::newRow("gb2312") << "GB2312" << QStringLiteral("新闻");
    QTest::newRow("big5") << "Big5" << QStringLiteral("新聞");
    QTest::newRow("utf-16") << "UTF-16" << QStringLiteral("Grüße");
}

void TestFeedDocument::encodings()
{
    QFETCH(QString, encoding);
    QFETCH(QString, title);
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?><rss><channel>"
                                        "<title>%2</title><item><title>%2</title></item>"
                                        "</channel></rss>")
                             .arg(encoding, title);
    QStringEncoder encoder(encoding.toLatin1().constData(), QStringEncoder::Flag::WriteBom);
    QVERIFY2(encoder.isValid(), "Qt cannot write this encoding here");
    const QByteArray bytes = encoder.encode(text);
    QCOMPARE(process(bytes), FeedDocument::Changed);
    QCOMPARE(f->feedColumn(1, "channeltitle"), title);
    QCOMPARE(f->value("select title from items").toString(), title);
}

void TestFeedDocument::textMatchesTheDom_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::newRow("blank and empty") << QByteArray("<r><a/><b>   </b><c>\n\t</c></r>");
    QTest::newRow("mixed content")
        << QByteArray("<r><a> x <b>y</b> <i>z</i> </a><c>one<!-- note -->two<?pi x?></c></r>");
    QTest::newRow("cdata") << QByteArray("<r><a> <![CDATA[<p>html</p>]]> </a><b><![CDATA[ ]]>"
                                         "</b><c><![CDATA[]]></c></r>");
    QTest::newRow("references") << QByteArray("<r><a>&lt; &gt;</a><b>&amp;&#65;&#x42; </b>"
                                              "<c> &quot; </c></r>");
    QTest::newRow("external dtd, undeclared entity")
        << QByteArray("<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/r.dtd\"><r><a>a&eacute;b</a>"
                      "</r>");
    QTest::newRow("prefixes kept")
        << QByteArray("<rdf:RDF xmlns:rdf=\"u\"><dc:date>d</dc:date><x:y a:b=\"1\"/>"
                      "</rdf:RDF>");
}

void TestFeedDocument::textMatchesTheDom()
{
    QFETCH(QByteArray, doc);
    QDomDocument dom;
    QVERIFY(dom.setContent(doc));
    FeedTree tree;
    QVERIFY2(tree.parse(doc), qPrintable(tree.errorString()));

    // Both trees walked together, element by element.
    QList<QPair<QDomElement, int>> pending = {{dom.documentElement(), tree.root()}};
    int compared = 0;
    while (!pending.isEmpty()) {
        const auto [element, node] = pending.takeFirst();
        QVERIFY(node >= 0);
        QCOMPARE(tree.tagName(node), element.tagName());
        QCOMPARE(tree.text(node), element.text());
        QCOMPARE(tree.text(node).isNull(), element.text().isNull());
        ++compared;
        QDomElement child = element.firstChildElement();
        int treeChild = tree.firstChildElement(node);
        for (; !child.isNull(); child = child.nextSiblingElement()) {
            pending.append({child, treeChild});
            treeChild = tree.nextSiblingElement(treeChild);
        }
        QCOMPARE(treeChild, -1);
    }
    QVERIFY(compared > 1);
}

void TestFeedDocument::hostileDocuments_data()
{
    QTest::addColumn<QString>("file");
    const QDir corpus(QStringLiteral(UPDATER_CORPUS_DIR));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &name : files)
        QTest::newRow(qPrintable(name)) << corpus.filePath(name);
}

void TestFeedDocument::hostileDocuments()
{
    QFETCH(QString, file);
    QFile in(file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    process(rss(item("kept")));
    f->exec("update feeds set charset = 'before', channeltitle = '' where id = 1");

    const qint64 residentBefore = residentKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(bytes), FeedDocument::NotADocument);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(residentKiB("VmHWM:") - residentBefore < 100 * 1024);

    // Nothing written, not even the character set or a title.
    QCOMPARE(f->feedColumn(1, "charset"), QStringLiteral("before"));
    QCOMPARE(f->feedColumn(1, "channeltitle"), QString());
    QCOMPARE(f->items(1), QStringList({"1|kept|http://l/|d|~"}));
    QVERIFY(!document.renamed());
}

void TestFeedDocument::deepNestingIsRefusedQuickly()
{
    const int depth = 200000;
    const QByteArray doc = "<rss><channel><title>" + QByteArray("<a>").repeated(depth) + "x"
        + QByteArray("</a>").repeated(depth) + "</title></channel></rss>";
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(process(doc), FeedDocument::NotADocument);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("~"));

    // Nesting a feed may really carry (XHTML content) is fine.
    const QByteArray modest = "<rss><channel><title>" + QByteArray("<a>").repeated(100) + "x"
        + QByteArray("</a>").repeated(100) + "</title></channel></rss>";
    QCOMPARE(process(modest), FeedDocument::Changed);
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("x"));
}

void TestFeedDocument::rolledBackDocumentLeavesNothing()
{
    // SQLite itself ends the transaction in the middle of the document.
    QVERIFY(f->exec("CREATE TRIGGER poison BEFORE INSERT ON items WHEN NEW.title = 'poison' "
                    "BEGIN SELECT RAISE(ROLLBACK, 'refused'); END"));
    const QByteArray doc = rss(item("after") + item("poison") + item("before"),
        "<title>T</title><description>D</description>");
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(doc), FeedDocument::StorageFailed);
    QVERIFY(!document.renamed());
    QCOMPARE(f->items(1), QStringList());
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("~"));
    QCOMPARE(f->feedColumn(1, "description"), QStringLiteral("~"));
    QCOMPARE(f->feedColumn(1, "charset"), QStringLiteral("utf-8"));

    // The connection is usable and the next document is stored whole.
    QVERIFY(f->exec("DROP TRIGGER poison"));
    QCOMPARE(process(doc), FeedDocument::Changed);
    QCOMPARE(f->items(1).size(), 3);
}

void TestFeedDocument::failedStatementIsPassedOver()
{
    // A failing statement that leaves the transaction open does not stop the walk,
    // and a failed insert still uses up its item id.
    QVERIFY(f->exec("CREATE TRIGGER refuse BEFORE INSERT ON items WHEN NEW.title = 'bad' "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(
        document.process(rss(item("after") + item("bad") + item("before"))), FeedDocument::Changed);
    QCOMPARE(document.nextItemId(), 4);
    QCOMPARE(f->value("select group_concat(title || itemid) from items").toString(),
        QStringLiteral("before1,after3"));
}

void TestFeedDocument::unwritableDatabase_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("read-only") << false;
    QTest::newRow("closed") << true;
}

void TestFeedDocument::unwritableDatabase()
{
    QFETCH(bool, closed);
    const QByteArray doc = rss(item("A") + item("B"), "<title>T</title>");
    if (closed)
        f->db.close();
    else
        QVERIFY(f->exec("PRAGMA query_only = 1"));
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(doc), FeedDocument::StorageFailed);
    QVERIFY(!document.renamed());

    if (closed)
        QVERIFY(f->db.open());
    else
        QVERIFY(f->exec("PRAGMA query_only = 0"));
    QCOMPARE(f->items(1), QStringList());
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("~"));
    QCOMPARE(process(doc), FeedDocument::Changed);
    QCOMPARE(f->items(1).size(), 2);
}

// A child process stores documents until it is killed; every document it stored
// must be there whole, and the file must stay sound.
void TestFeedDocument::killDuringRunKeepsDocumentsWhole()
{
#ifndef Q_OS_UNIX
    QSKIP("needs kill -9");
#else
    f.reset();
    QTemporaryDir home;
    const QString file = home.filePath("kill.rssdb");
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--store-until-killed", file});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForReadyRead(20000)); // it has stored its first document
    QTest::qWait(300); // let it get well into later documents
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());

    QSqlDatabase db;
    QVERIFY(FeedDatabase::open(db, file));
    QSqlQuery q(db);
    QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
    QVERIFY(q.exec("select channelid, count(*) from items group by channelid"));
    int documents = 0;
    while (q.next()) {
        QCOMPARE(q.value(1).toInt(), 200);
        ++documents;
    }
    QVERIFY(documents >= 1);
    q.finish();
    FeedDatabase::close(db);
#endif
}

// The child side of killDuringRunKeepsDocumentsWhole.
static int storeUntilKilled(const QString &file)
{
    QSqlDatabase db;
    if (!FeedDatabase::open(db, file))
        return 1;
    QByteArray items;
    for (int i = 0; i < 200; ++i)
        items += item("item " + QByteArray::number(i), "l", QByteArray(500, 'd'));
    for (int feed = 1;; ++feed) {
        FeedDocument document(&db, QString::number(feed));
        document.process(rss(items));
        if (feed == 1) {
            fputs("stored\n", stdout);
            fflush(stdout);
        }
    }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--store-until-killed") == 0)
        return storeUntilKilled(QString::fromLocal8Bit(argv[2]));
    TestFeedDocument test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_feeddocument.moc"
