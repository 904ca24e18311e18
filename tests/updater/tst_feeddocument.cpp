#include "feedfixture.h"
#include "testhelpers.h"
#include "updater/feeddocument.h"
#include "updater/feedtree.h"

#include <QDir>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringEncoder>
#include <QTest>
#include <QTranslator>

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

QByteArray nested(int depth)
{
    return "<rss><channel><title>" + QByteArray("<a>").repeated(depth) + "x"
        + QByteArray("</a>").repeated(depth) + "</title></channel></rss>";
}

qint64 statusKiB(const QByteArray &field)
{
    QFile file(QStringLiteral("/proc/self/status"));
    const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const qsizetype at = status.indexOf(field);
    return at < 0 ? 0 : status.mid(at + field.size()).trimmed().split(' ').value(0).toLongLong();
}

} // namespace

class TestFeedDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { f.reset(); }

    void itemIdsLinksAndPruning();
    void channelFields();
    void layouts_data();
    void layouts();
    void dayNames_data();
    void dayNames();
    void declaredCharset_data();
    void declaredCharset();
    void encodings_data();
    void encodings();
    void textMatchesTheDom();
    void declaredEntities_data();
    void declaredEntities();
    void sameTitleItems();
    void hostileDocuments_data();
    void hostileDocuments();
    void storageFailureLeavesNothing_data();
    void storageFailureLeavesNothing();
    void failedStatementIsPassedOver();
    void killDuringRunKeepsDocumentsWhole();

private:
    FeedDocument::Result process(const QByteArray &body)
    {
        return FeedDocument(&f->db, QStringLiteral("1")).process(body);
    }

    std::unique_ptr<FeedFixture> f;
};

void TestFeedDocument::init()
{
    f = std::make_unique<FeedFixture>();
    QVERIFY(f->opened);
    f->addFeed(1, QStringLiteral("http://h/1"));
}

void TestFeedDocument::itemIdsLinksAndPruning()
{
    QCOMPARE(
        process(rss(item("X", "lx") + item("Y", "ly") + item("Z", "lz"))), FeedDocument::Changed);
    QCOMPARE(f->items(1), QStringList({"1|Z|lz|d|~", "2|Y|ly|d|~", "3|X|lx|d|~"}));

    // Known items take the document's link unless the user removed them.
    f->exec("update items set toclear = 1 where itemid = 2");
    const QByteArray wxyz = rss(item("W", "lw") + item("X", "nx") + item("Y", "ny") + item("Z"));
    FeedDocument document(&f->db, QStringLiteral("1"));
    QCOMPARE(document.process(wxyz), FeedDocument::Changed);
    QCOMPARE(document.nextItemId(), 5);
    QCOMPARE(
        f->items(1), QStringList({"1|Z|http://l/|d|~", "2|Y|ly|d|~", "3|X|nx|d|~", "4|W|lw|d|~"}));
    QCOMPARE(process(wxyz), FeedDocument::Unchanged);
    QCOMPARE(f->items(1).size(), 4);

    // A removed item goes once the feed no longer carries it and it is older than all the
    // feed still carries: Z goes, Y is carried, X is newer than Y.
    f->exec("update items set toclear = 1 where itemid in (1, 3)");
    QCOMPARE(process(rss(item("W", "lw") + item("Y"))), FeedDocument::Unchanged);
    QCOMPARE(f->value("select group_concat(itemid) from items"), QStringLiteral("2,3,4"));
    // Nothing known any more: every removed item goes, shown ones stay.
    QCOMPARE(process(rss(item("N"))), FeedDocument::Changed);
    QCOMPARE(f->value("select group_concat(itemid) from items"), QStringLiteral("4,5"));
}

void TestFeedDocument::channelFields()
{
    // A title the feed already has is never replaced.
    f->exec("update feeds set channeltitle = 'Mine' where id = 1");
    QCOMPARE(process(rss("", "<title>Other</title>")), FeedDocument::Unchanged);
    QCOMPARE(f->feedColumn(1, "channeltitle"), QStringLiteral("Mine"));
}

void TestFeedDocument::layouts_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("feed"); // title|link|description
    QTest::addColumn<QStringList>("items");
    const QDir golden(QStringLiteral(UPDATER_GOLDEN_DIR));
    const QStringList documents = golden.entryList({QStringLiteral("*.xml")}, QDir::Files);
    QVERIFY(documents.size() >= 8);
    for (const QString &name : documents) {
        const QString base = golden.filePath(QFileInfo(name).completeBaseName());
        QStringList rows = QString::fromUtf8(TestHelpers::readFile(base + QStringLiteral(".rows")))
                               .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY2(!rows.isEmpty(), qPrintable(base));
        const QString feed = rows.takeFirst();
        QTest::newRow(qPrintable(name))
            << TestHelpers::readFile(base + QStringLiteral(".xml")).trimmed() << feed << rows;
    }
}

void TestFeedDocument::layouts()
{
    QFETCH(QByteArray, doc);
    QFETCH(QString, feed);
    QFETCH(QStringList, items);
    f->exec("insert into items (channelid, itemid, title, toclear) values (1, 0, 'gone', 1)");

    const bool changed = !feed.startsWith("~|") || !items.isEmpty();
    QCOMPARE(process(doc), changed ? FeedDocument::Changed : FeedDocument::Unchanged);
    QCOMPARE(f->value("select ifnull(channeltitle, '~') || '|' || ifnull(link, '~') || '|' || "
                      "ifnull(description, '~') from feeds"),
        feed);
    // No stored item was seen again, so the removed one goes in every layout.
    QCOMPARE(f->items(1), items);
    // Read again, the document changes nothing.
    QCOMPARE(process(doc), FeedDocument::Unchanged);
    QCOMPARE(f->items(1), items);
}

void TestFeedDocument::dayNames_data()
{
    TestHelpers::addRows(QStringLiteral("cases/day-names.txt"), {"date", "stored"});
}

void TestFeedDocument::dayNames()
{
    QFETCH(QString, date);
    QFETCH(QString, stored);
    TestHelpers::WordTranslator german; // a language file of the client that names Friday
    german.words.insert(QStringLiteral("Updater::Friday"), QStringLiteral("Freitag"));
    if (QByteArray(QTest::currentDataTag()) == "translated")
        QCoreApplication::installTranslator(&german);
    QCOMPARE(FeedDocument::expandDayNames(date), stored);
}

void TestFeedDocument::declaredCharset_data()
{
    TestHelpers::addRows(QStringLiteral("cases/declared-charsets.txt"), {"doc", "declared"});
}

void TestFeedDocument::declaredCharset()
{
    QFETCH(QString, doc);
    QFETCH(QString, declared);
    const QString charset = declared == u"none" ? QString() : declared;
    QCOMPARE(FeedDocument::declaredCharset(doc.toLatin1()).isNull(), charset.isNull());
    QCOMPARE(FeedDocument::declaredCharset(doc.toLatin1()), charset);
}

void TestFeedDocument::encodings_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("title");
    const QString german = QStringLiteral("Grüße €"), russian = QStringLiteral("Привет");
    for (const char *encoding : {"UTF-8", "ISO-8859-15", "windows-1252", "UTF-16"})
        row(encoding, encoding, german);
    for (const char *encoding : {"ISO-8859-5", "windows-1251", "KOI8-R"})
        row(encoding, encoding, russian);
    row("Shift_JIS", "Shift_JIS", QStringLiteral("ニュース"));
    row("GB2312", "GB2312", QStringLiteral("新闻"));
    row("Big5", "Big5", QStringLiteral("新聞"));
}

void TestFeedDocument::encodings()
{
    QFETCH(QString, encoding);
    QFETCH(QString, title);
    QStringEncoder encoder(encoding.toLatin1().constData(), QStringEncoder::Flag::WriteBom);
    QVERIFY2(encoder.isValid(), "Qt cannot write this encoding here");
    const QByteArray bytes = encoder.encode(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?><rss><channel><title>%2</title>"
                       "<item><title>%2</title></item></channel></rss>")
            .arg(encoding, title));
    QCOMPARE(process(bytes), FeedDocument::Changed);
    QCOMPARE(f->feedColumn(1, "channeltitle"), title);
    // The byte-level scan cannot see a UTF-16 declaration.
    QCOMPARE(
        f->feedColumn(1, "charset"), encoding == "UTF-16" ? QStringLiteral("utf-8") : encoding);
    QCOMPARE(f->value("select title from items"), title);
}

// The document tree must give each element the text QDomElement::text() gives.
void TestFeedDocument::textMatchesTheDom()
{
    const QByteArray doc
        = "<!DOCTYPE r SYSTEM \"http://127.0.0.1:9/r.dtd\"><rdf:r xmlns:rdf=\"u\">"
          "<a/><b>   </b><c>\n\t</c><m> x <b>y</b> <i>z</i> </m>"
          "<n>one<!-- note -->two<?pi x?></n><d> <![CDATA[<p>html</p>]]> </d>"
          "<e><![CDATA[ ]]></e><f><![CDATA[]]></f><g>&lt; &gt;&amp;&#65;&#x42;"
          "&quot;</g><h>a&eacute;b</h><dc:date>d</dc:date><x:y a:b=\"1\"/></rdf:r>";
    QDomDocument dom;
    QVERIFY(dom.setContent(doc));
    FeedTree tree;
    QVERIFY2(tree.parse(doc), qPrintable(tree.errorString()));

    // Both trees walked together, element by element.
    QList<QPair<QDomElement, int>> pending = {{dom.documentElement(), tree.root()}};
    int compared = 0;
    for (; !pending.isEmpty(); ++compared) {
        const auto [element, node] = pending.takeFirst();
        QVERIFY(node >= 0);
        QCOMPARE(tree.tagName(node), element.tagName());
        QCOMPARE(tree.text(node), element.text());
        QCOMPARE(tree.text(node).isNull(), element.text().isNull());
        int child = tree.firstChildElement(node);
        for (QDomElement c = element.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) {
            pending.append({c, child});
            child = tree.nextSiblingElement(child);
        }
        QCOMPARE(child, -1);
    }
    QCOMPARE(compared, 15);
}

void TestFeedDocument::declaredEntities_data()
{
    QTest::addColumn<QByteArray>("doc");
    QTest::addColumn<QString>("title"); // null: refused
    const auto doc = [](const QByteArray &declarations, const QByteArray &title) {
        return "<?xml version=\"1.0\"?><!DOCTYPE rss [" + declarations + "]><rss><channel><title>"
            + title + "</title><item><title>i</title></item></channel></rss>";
    };
    // Bombs and what is never fetched.
    QTest::newRow("refers to itself") << doc("<!ENTITY a \"x&a;\">", "&a;") << QString();
    QTest::newRow("refer to each other")
        << doc("<!ENTITY a \"&b;\"><!ENTITY b \"&a;\">", "&a;") << QString();
    const QByteArray wide = "<!ENTITY w \"" + QByteArray(200, 'w') + "\">";
    QTest::newRow("within ten times the document")
        << doc(wide, QByteArray("&w;").repeated(12)) << QString(2400, QLatin1Char('w'));
    QTest::newRow("over ten times the document")
        << doc(wide, QByteArray("&w;").repeated(30)) << QString();
    QTest::newRow("external") << doc("<!ENTITY x SYSTEM \"file:///etc/passwd\">", "&x;")
                              << QString();
    QTest::newRow("external in the budget's disguise")
        << doc("<!ENTITY x PUBLIC \"-//x\" \"http://127.0.0.1:9/x\">", "t") << QString();
}

void TestFeedDocument::declaredEntities()
{
    QFETCH(QByteArray, doc);
    QFETCH(QString, title);
    if (title.isNull()) {
        QCOMPARE(process(doc), FeedDocument::NotADocument);
        QCOMPARE(f->items(1), QStringList());
        return;
    }
    QCOMPARE(process(doc), FeedDocument::Changed);
    QCOMPARE(f->feedColumn(1, "channeltitle"), title);
}

void TestFeedDocument::sameTitleItems()
{
    // The lookup finds an item by feed, title and description through the index
    // alone, however many items share the title.
    QSqlQuery plan(f->db);
    QVERIFY(plan.exec("EXPLAIN QUERY PLAN select itemid, link, toclear from items where "
                      "channelid= '1' and title= 't' and description = 'd' LIMIT 1"));
    QVERIFY(plan.next());
    const QString detail = plan.value(3).toString();
    QVERIFY2(detail.contains("description=?"), qPrintable(detail));

    QByteArray items;
    for (int n = 0; n < 2000; ++n)
        items += item("Same", "http://l/" + QByteArray::number(n), "d" + QByteArray::number(n));
    QCOMPARE(process(rss(items)), FeedDocument::Changed);
    QCOMPARE(f->value("select count(distinct description) || '/' || max(itemid) from items"),
        "2000/2000");
    QCOMPARE(f->value("select description from items where itemid = 2000"), "d0");
    QCOMPARE(process(rss(items)), FeedDocument::Unchanged);
    QCOMPARE(f->value("select count(*) from items"), "2000");
}

void TestFeedDocument::hostileDocuments_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QDir corpus(QStringLiteral(UPDATER_CORPUS_DIR));
    const QStringList files = corpus.entryList(QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 10);
    for (const QString &name : files) {
        QFile in(corpus.filePath(name));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(name)) << in.readAll();
    }
    QTest::newRow("nested 200000 deep") << nested(200000);
    // One entity just inside the reader's own bound, used until it would fill memory.
    QTest::newRow("quadratic blow-up") << "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \""
            + QByteArray(4000, 'a') + "\">]><rss><channel><title>"
            + QByteArray("&a;").repeated(100000) + "</title></channel></rss>";
    QByteArray chain = "<!ENTITY e0 \"" + QByteArray(100, 'x') + "\">";
    for (int n = 1; n < 40; ++n)
        chain += "<!ENTITY e" + QByteArray::number(n) + " \"&e" + QByteArray::number(n - 1) + ";&e"
            + QByteArray::number(n - 1) + ";\">";
    QTest::newRow("doubling chain")
        << "<!DOCTYPE rss [" + chain + "]><rss><channel><title>&e39;</title></channel></rss>";
}

void TestFeedDocument::hostileDocuments()
{
    QFETCH(QByteArray, bytes);
    process(rss(item("kept")));
    f->exec("update feeds set charset = 'before', channeltitle = '' where id = 1");

    const qint64 residentBefore = statusKiB("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(process(bytes), FeedDocument::NotADocument);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(statusKiB("VmHWM:") - residentBefore < 100 * 1024);

    // Nothing written, not even the character set or a title.
    QCOMPARE(f->value("select charset || '|' || channeltitle from feeds"), "before|");
    QCOMPARE(f->items(1), QStringList({"1|kept|http://l/|d|~"}));
}

void TestFeedDocument::storageFailureLeavesNothing_data()
{
    QTest::addColumn<QString>("failure");
    for (const char *failure :
        {"rolled back mid-document", "validators refused", "read-only", "closed"})
        QTest::newRow(failure) << failure;
}

void TestFeedDocument::storageFailureLeavesNothing()
{
    QFETCH(QString, failure);
    QByteArray doc = rss(item("after") + item("poison") + item("before"),
        "<title>T</title><description>D</description>");
    doc.replace("utf-8", "latin1"); // a character set to store with the rest, or not at all
    if (failure == "rolled back mid-document") // by SQLite itself
        QVERIFY(f->exec("CREATE TRIGGER poison BEFORE INSERT ON items WHEN NEW.title = 'poison' "
                        "BEGIN SELECT RAISE(ROLLBACK, 'refused'); END"));
    else if (failure == "validators refused") // they go with the items, or neither does
        QVERIFY(f->exec("CREATE TRIGGER poison BEFORE INSERT ON feedvalidators "
                        "BEGIN SELECT RAISE(ROLLBACK, 'refused'); END"));
    else if (failure == "read-only")
        QVERIFY(f->exec("PRAGMA query_only = 1"));
    else
        f->db.close();
    {
        FeedDocument document(&f->db, QStringLiteral("1"));
        FeedValidators validators;
        validators.etag = QStringLiteral("\"e\"");
        document.setValidators(validators);
        QCOMPARE(document.process(doc), FeedDocument::StorageFailed);
        QVERIFY(!document.renamed());
    }
    QVERIFY(f->db.isOpen() || f->db.open());
    QVERIFY(f->exec("PRAGMA query_only = 0") && f->exec("DROP TRIGGER IF EXISTS poison"));
    QCOMPARE(f->items(1), QStringList());
    QVERIFY(FeedValidators::load(f->db, 1).isEmpty());
    QCOMPARE(f->value("select ifnull(channeltitle, '~') || ifnull(description, '~') || charset "
                      "from feeds"),
        "~~utf-8");

    // The connection is usable and the next document is stored whole.
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
    QCOMPARE(f->value("select group_concat(title || itemid) from items"), "before1,after3");
}

// A child process stores documents of 200 items until it is killed; every document it
// stored must be there whole, and the file must stay sound.
void TestFeedDocument::killDuringRunKeepsDocumentsWhole()
{
    const QString file = f->db.databaseName();
    FeedDatabase::close(f->db);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--store-until-killed", file});
    QVERIFY(child.waitForReadyRead(20000)); // it has stored its first document
    QTest::qWait(300); // let it get well into later documents
    child.kill(); // SIGKILL
    QVERIFY(child.waitForFinished());

    QVERIFY(FeedDatabase::open(f->db, file));
    QCOMPARE(f->value("PRAGMA integrity_check"), "ok");
    QCOMPARE(f->value("select group_concat(distinct n) from "
                      "(select count(*) as n from items group by channelid)"),
        "200");
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--store-until-killed") == 0) {
        QSqlDatabase db;
        if (!FeedDatabase::open(db, QString::fromLocal8Bit(argv[2])))
            return 1;
        QByteArray items;
        for (int i = 0; i < 200; ++i)
            items += item("item " + QByteArray::number(i), "l", QByteArray(500, 'd'));
        for (int feed = 1;; ++feed) {
            FeedDocument(&db, QString::number(feed)).process(rss(items));
            if (feed == 1) {
                fputs("stored\n", stdout);
                fflush(stdout);
            }
        }
    }
    TestFeedDocument test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_feeddocument.moc"
