#include "client/catalogue.h"
#include "client/clientrouter.h"

#include "host/pbasicdata.h"
#include "plugin/feeddatabase.h"
#include "wizard/pabofeedtree.h"

#include <QFile>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// Builds the tree the way the wizard's catalogue page reads the answers: the
// top-level answer, then one request per category it named.
struct Tree
{
    QMap<int, QString> categories; // id -> "parent/name"
    QStringList feeds; // "category:id:title:address"
    QList<int> asked;
    QStringList problems;

    void read(const Protocol &answer, bool fanOut)
    {
        const QList<ProtocolArg> &a = answer.args();
        int position = 1;
        const int count = a.value(0).variant().toInt();
        for (int c = 0; c < count; ++c) {
            if (position + 4 > a.size()) {
                problems.append(QStringLiteral("short answer"));
                return;
            }
            const int id = a.at(position).variant().toInt();
            const int parent = a.at(position + 1).variant().toInt();
            const QString name = QString::fromUtf8(a.at(position + 2).variant().toByteArray());
            const int feedCount = a.at(position + 3).variant().toInt();
            position += 4;
            if (categories.contains(id))
                problems.append(QStringLiteral("category %1 twice").arg(id));
            if (parent != 0 && !categories.contains(parent))
                problems.append(QStringLiteral("category %1 before its parent").arg(id));
            categories.insert(id, QStringLiteral("%1/%2").arg(parent).arg(name));
            if (fanOut)
                asked.append(id);
            for (int f = 0; f < feedCount; ++f) {
                feeds.append(
                    QStringLiteral("%1:%2:%3:%4")
                        .arg(id)
                        .arg(a.at(position).variant().toInt())
                        .arg(QString::fromUtf8(a.at(position + 1).variant().toByteArray()),
                            QString::fromUtf8(a.at(position + 2).variant().toByteArray())));
                position += 3;
            }
        }
        if (position != a.size())
            problems.append(QStringLiteral("trailing fields"));
    }

    static Tree of(const Catalogue &catalogue)
    {
        Tree tree;
        tree.read(catalogue.childrenAnswer(0), true);
        const QList<int> asked = tree.asked;
        for (int id : asked)
            tree.read(catalogue.childrenAnswer(id), false);
        return tree;
    }
};

class tst_Catalogue : public QObject
{
    Q_OBJECT
private slots:
    void builtInCatalogueIsComplete();
    void nestedCategoriesArriveOnce();
    void badFilesAreRefused_data();
    void badFilesAreRefused();
    void wizardReadsTheAnswers();

private:
    QString write(const QByteArray &contents);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString tst_Catalogue::write(const QByteArray &contents)
{
    const QString file = m_dir.filePath(QStringLiteral("catalogue%1.json").arg(++m_files));
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(contents);
    return file;
}

void tst_Catalogue::builtInCatalogueIsComplete()
{
    Catalogue catalogue;
    QVERIFY2(catalogue.load(Catalogue::builtInFile()), qPrintable(catalogue.errorString()));
    const Tree tree = Tree::of(catalogue);
    QVERIFY2(tree.problems.isEmpty(), qPrintable(tree.problems.join(QLatin1Char(','))));
    QVERIFY(tree.categories.size() >= 6);
    QVERIFY(tree.categories.values().contains(QStringLiteral("0/Deutschland")));

    int total = 0;
    QSet<QString> addresses;
    for (const Catalogue::Category &category : catalogue.categories()) {
        total += category.feeds.size();
        for (const Catalogue::Feed &feed : category.feeds) {
            const QUrl url(feed.address);
            QVERIFY2(
                url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty(),
                qPrintable(feed.address));
            QVERIFY2(!feed.title.isEmpty(), qPrintable(feed.address));
            addresses.insert(feed.address);
        }
    }
    QCOMPARE(addresses.size(), total); // no address offered twice
    QCOMPARE(tree.feeds.size(), total); // every feed reaches the reader once
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
    const Tree tree = Tree::of(catalogue);
    QVERIFY2(tree.problems.isEmpty(), qPrintable(tree.problems.join(QLatin1Char(','))));
    QCOMPARE(tree.asked, (QList<int>{1, 2}));
    QCOMPARE(tree.categories.keys(), (QList<int>{1, 2, 4, 5}));
    QCOMPARE(tree.feeds,
        (QStringList{QStringLiteral("1:10:Tö:https://t/"), QStringLiteral("5:50:G:https://g/")}));
    QCOMPARE(catalogue.feed(50)->address, QStringLiteral("https://g/"));
    QVERIFY(!catalogue.feed(51));
}

void tst_Catalogue::badFilesAreRefused_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("missing") << m_dir.filePath(QStringLiteral("absent.json"));
    QTest::newRow("not JSON") << write("<rss/>");
    QTest::newRow("no categories") << write(R"({"feeds":[]})");
    QTest::newRow("repeated category")
        << write(R"({"categories":[{"id":1,"name":"A"},{"id":1,"name":"B"}]})");
    QTest::newRow("repeated feed") << write(R"({"categories":[{"id":1,"name":"A","feeds":[
        {"id":7,"title":"a","address":"https://a/"},{"id":7,"title":"b","address":"https://b/"}]}]})");
    QTest::newRow("feed without address")
        << write(R"({"categories":[{"id":1,"name":"A","feeds":[{"id":7,"title":"a"}]}]})");
    QTest::newRow("missing parent") << write(R"({"categories":[{"id":1,"parent":9,"name":"A"}]})");
    QTest::newRow("cycle") << write(
        R"({"categories":[{"id":1,"parent":2,"name":"A"},{"id":2,"parent":1,"name":"B"}]})");
}

void tst_Catalogue::badFilesAreRefused()
{
    QFETCH(QString, file);
    Catalogue catalogue;
    QVERIFY(!catalogue.load(file));
    QVERIFY(!catalogue.isLoaded());
    QVERIFY(catalogue.categories().isEmpty());
    QVERIFY(catalogue.errorString().contains(file));
}

void tst_Catalogue::wizardReadsTheAnswers()
{
    // The wizard's own catalogue page, served by the client's router.
    Catalogue catalogue;
    QVERIFY(catalogue.load(Catalogue::builtInFile()));
    ClientRouter router;
    router.setCatalogue(&catalogue);
    router.install();
    QSqlDatabase db;
    QVERIFY(FeedDatabase::open(db, m_dir.filePath(QStringLiteral("wizard.rssdb"))));
    const Catalogue::Feed *subscribed = catalogue.feed(1002);
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                       "values(1, :source, 1, -1, 1, 1)"));
    insert.bindValue(QStringLiteral(":source"), subscribed->address);
    QVERIFY(insert.exec());
    PBasicData::instance().setCurrentLanguage(
        PLanguage(QStringLiteral("de"), QStringLiteral("Deutsch")));

    int feeds = 0;
    for (const Catalogue::Category &category : catalogue.categories())
        feeds += category.feeds.size();
    PAboFeedTree tree;
    tree.loadCatalogue(&db);
    QTRY_COMPARE(tree.total(), feeds);
    QCOMPARE(tree.selected(), 1);
    QStringList names;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        if (!(*it)->data(0, PAboFeedTree::AddressRole).isValid())
            names.append((*it)->text(0));
    }
    QCOMPARE(names.size(), catalogue.categories().size()); // every category once
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

QTEST_MAIN(tst_Catalogue)
#include "tst_clientcatalogue.moc"
