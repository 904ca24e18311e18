#include "client/catalogue.h"
#include "client/clientrouter.h"
#include "testhelpers.h"

#include "core/feeddatabase.h"
#include "host/pbasicdata.h"
#include "wizard/pabofeedtree.h"

#include <QFile>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

static int feedCount(const Catalogue &catalogue)
{
    int feeds = 0;
    for (const Catalogue::Category &category : catalogue.categories())
        feeds += category.feeds.size();
    return feeds;
}

class tst_Catalogue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_router.install(); }
    void builtInCatalogueReachesTheWizard();
    void nestedCategoriesArriveOnce();
    void badFilesAreRefused_data();
    void badFilesAreRefused();

private:
    QString write(const QByteArray &contents);
    QTemporaryDir m_dir;
    int m_files = 0;
    ClientRouter m_router;
};

QString tst_Catalogue::write(const QByteArray &contents)
{
    const QString file = m_dir.filePath(QStringLiteral("catalogue%1.json").arg(++m_files));
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(contents);
    return file;
}

void tst_Catalogue::builtInCatalogueReachesTheWizard()
{
    Catalogue catalogue;
    QVERIFY2(catalogue.load(Catalogue::builtInFile()), qPrintable(catalogue.errorString()));
    QVERIFY(catalogue.categories().size() >= 6);
    QSet<QString> addresses;
    for (const Catalogue::Category &category : catalogue.categories()) {
        for (const Catalogue::Feed &feed : category.feeds) {
            const QUrl url(feed.address);
            QVERIFY2(url.scheme() == QLatin1String("https") && !url.host().isEmpty()
                    && !feed.title.isEmpty(),
                qPrintable(feed.address));
            addresses.insert(feed.address);
        }
    }
    QCOMPARE(addresses.size(), feedCount(catalogue)); // no address offered twice

    // The wizard's own page reads the answers; one catalogue feed is already subscribed.
    m_router.setCatalogue(&catalogue);
    QSqlDatabase db;
    QVERIFY(FeedDatabase::open(db, m_dir.filePath(QStringLiteral("wizard.rssdb"))));
    const Catalogue::Feed *subscribed = catalogue.feed(1002);
    QVERIFY(QSqlQuery(db).exec(
        QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                       "values(1, '%1', 1, -1, 1, 1)")
            .arg(subscribed->address)));
    PBasicData::instance().setCurrentLanguage(
        PLanguage(QStringLiteral("de"), QStringLiteral("Deutsch")));
    PAboFeedTree tree;
    tree.loadCatalogue(&db);
    // A category the reader cannot place, or one sent twice, shows in these counts.
    QTRY_COMPARE(tree.total(), feedCount(catalogue));
    QCOMPARE(tree.selected(), 1);
    QCOMPARE(
        TestHelpers::treeLines(&tree).size(), feedCount(catalogue) + catalogue.categories().size());
    const QList<QTreeWidgetItem *> germany
        = tree.findItems(QStringLiteral("Deutschland"), Qt::MatchExactly);
    QCOMPARE(germany.size(), 1);
    QVERIFY(germany.at(0)->isExpanded());
    const QList<QTreeWidgetItem *> ticked
        = tree.findItems(subscribed->title, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(ticked.size(), 1);
    QCOMPARE(ticked.at(0)->checkState(0), Qt::Checked);

    PBasicData::instance().setCurrentLanguage(PLanguage());
    FeedDatabase::close(db);
}

void tst_Catalogue::nestedCategoriesArriveOnce()
{
    // Three levels, listed children first: the answers must still put parents first.
    const QString file = write(R"({"categories":[
        {"id":5,"parent":4,"name":"Grandchild","feeds":[{"id":50,"title":"G","address":"https://g/"}]},
        {"id":4,"parent":1,"name":"Child","feeds":[]},
        {"id":1,"parent":0,"name":"Top","feeds":[{"id":10,"title":"Tö","address":"https://t/"}]},
        {"id":2,"parent":0,"name":"Other","feeds":[]}]})");
    Catalogue catalogue;
    QVERIFY2(catalogue.load(file), qPrintable(catalogue.errorString()));
    QCOMPARE(catalogue.feed(50)->address, QStringLiteral("https://g/"));
    QVERIFY(!catalogue.feed(51));
    m_router.setCatalogue(&catalogue);
    PAboFeedTree tree;
    tree.loadCatalogue(nullptr);
    QTRY_COMPARE(tree.total(), 2);
    QTest::qWait(20); // no further answer adds a line
    QCOMPARE(TestHelpers::treeLines(&tree).join(QLatin1Char('|')),
        QStringLiteral("Top| Tö| Child|  Grandchild|   G|Other"));
}

void tst_Catalogue::badFilesAreRefused_data()
{
    TestHelpers::addRows(QStringLiteral("cases/bad-catalogues.txt"), {"contents"});
}

void tst_Catalogue::badFilesAreRefused()
{
    QFETCH(QString, contents); // none: no file at all
    const QString file = contents.isEmpty() ? m_dir.filePath(QStringLiteral("absent.json"))
                                            : write(contents.toUtf8());
    Catalogue catalogue;
    QVERIFY(!catalogue.load(file));
    QVERIFY(!catalogue.isLoaded());
    QVERIFY(catalogue.categories().isEmpty());
    QVERIFY(catalogue.errorString().contains(file));
}

QTEST_MAIN(tst_Catalogue)
#include "tst_clientcatalogue.moc"
