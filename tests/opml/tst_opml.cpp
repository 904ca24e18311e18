#include "core/opmldocument.h"
#include "core/subscriptionlist.h"
#include "treefixture.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

// Subscription lists in and out: a folder of lists as other readers write them,
// each with the subscriptions an empty profile ends up with.
class tst_Opml : public QObject
{
    Q_OBJECT

private slots:
    void importLists_data();
    void importLists();
    void refusedListChangesNothing();
    void existingSubscriptionsAreKept();
    void exportThenImportGivesTheSameTree();
    void tenThousandOutlines();

private:
    // "added A skipped S refused R", then one line per subscribed feed:
    // folder, title, address and site, separated by tabs.
    static QStringList dump(
        QSqlDatabase *db, const SubscriptionList::Outcome &outcome, int refused);
};

QStringList tst_Opml::dump(QSqlDatabase *db, const SubscriptionList::Outcome &outcome, int refused)
{
    QStringList lines{QStringLiteral("added %1 skipped %2 refused %3")
                          .arg(outcome.added.size() + outcome.resubscribed.size())
                          .arg(outcome.skipped)
                          .arg(refused)};
    for (const OpmlFolder &folder : SubscriptionList(db).folders()) {
        for (const OpmlFeed &feed : folder.feeds)
            lines.append(QStringList{folder.title, feed.title, feed.xmlUrl, feed.htmlUrl}.join(
                QLatin1Char('\t')));
    }
    return lines;
}

void tst_Opml::importLists_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("expected");
    const QDir dir(QStringLiteral(OPML_LISTS));
    const QStringList lists = dir.entryList({QStringLiteral("*.opml"), QStringLiteral("*.xml")});
    QVERIFY(lists.size() >= 10);
    for (const QString &name : lists) {
        QFile expected(
            dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".expected")));
        QVERIFY2(expected.open(QIODevice::ReadOnly), qPrintable(name));
        const QStringList lines
            = QString::fromUtf8(expected.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QTest::newRow(qPrintable(name)) << dir.filePath(name) << lines;
    }
}

void tst_Opml::importLists()
{
    QFETCH(QString, list);
    QFETCH(QStringList, expected);
    TreeFixture fixture;
    QVERIFY(fixture.opened);

    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    OpmlDocument document;
    const bool read = document.read(&file);
    if (expected == QStringList{QStringLiteral("error")}) {
        QVERIFY(!read);
        QVERIFY(!document.errorString().isEmpty());
        QVERIFY(document.feeds().isEmpty());
        return;
    }
    QVERIFY2(read, qPrintable(document.errorString()));
    const SubscriptionList::Outcome outcome = SubscriptionList(&fixture.db).add(document.feeds());
    QVERIFY(outcome.stored);
    QCOMPARE(dump(&fixture.db, outcome, document.refused()), expected);
    // Every new feed is the user's own, below the one before.
    for (int i = 0; i < outcome.added.size(); ++i) {
        QCOMPARE(fixture
                     .value(QStringLiteral("select farmid from feeds where id = ?"),
                         {outcome.added.at(i)})
                     .toInt(),
            -1 - i);
    }
}

void tst_Opml::refusedListChangesNothing()
{
    TreeFixture fixture;
    fixture.addFeed(1, 1, QStringLiteral("Kept"));
    OpmlDocument document;
    QVERIFY(!document.read(QByteArray("<?xml version=\"1.0\"?><html><body/></html>")));
    QVERIFY(document.errorString().contains(QLatin1String("<html>")));
    QVERIFY(!document.read(QByteArray()));
    QVERIFY(!document.read(QByteArray("<opml><body><outline text=\"a\" xmlUrl=\"http://a/\">")));
    QVERIFY(document.errorString().contains(QLatin1String("incomplete")));
    // A failed read leaves nothing of an earlier one behind.
    QVERIFY(document.read(
        QByteArray("<opml><body><outline xmlUrl=\"http://a.example/\"/></body></opml>")));
    QCOMPARE(document.feeds().size(), 1);
    QVERIFY(
        !document.read(QByteArray("<opml><body><outline xmlUrl=\"http://a.example/\"/></body>")));
    QVERIFY(document.feeds().isEmpty());
    QCOMPARE(fixture.value(QStringLiteral("select count(*) from feeds")).toInt(), 1);
}

void tst_Opml::existingSubscriptionsAreKept()
{
    TreeFixture fixture;
    fixture.addFolder(2, QStringLiteral("Tech"));
    fixture.addFeed(1, 1, QStringLiteral("Subscribed")); // farmid -1
    fixture.addFeed(2, 2, QStringLiteral("Kept unsubscribed"), 0); // farmid -2
    fixture.exec(QStringLiteral("update feeds set farmid = 40 where id = 1"));

    QList<OpmlFeed> feeds{
        {QStringLiteral("Again"), QStringLiteral("http://example.org/feed1.xml"), {},
            QStringLiteral("Tech")},
        {QStringLiteral("Back"), QStringLiteral("http://example.org/feed2.xml"), {},
            QStringLiteral("Other")},
        {QStringLiteral("New"), QStringLiteral("http://example.org/new.xml"), {},
            QStringLiteral("Tech")},
    };
    const SubscriptionList::Outcome outcome = SubscriptionList(&fixture.db).add(feeds);
    QCOMPARE(outcome.skipped, 1);
    QCOMPARE(outcome.resubscribed, QList<int>{2});
    QCOMPARE(outcome.added, QList<int>{3});
    QVERIFY(outcome.newFolders.isEmpty());
    // The subscribed feed keeps its title and folder, the kept one comes back where it was.
    QCOMPARE(
        fixture.value(QStringLiteral("select channeltitle || folderid from feeds where id = 1"))
            .toString(),
        QStringLiteral("Subscribed1"));
    QCOMPARE(fixture
                 .value(QStringLiteral("select toload || folderid || channeltitle from feeds "
                                       "where id = 2"))
                 .toString(),
        QStringLiteral("12Kept unsubscribed"));
    QCOMPARE(fixture.value(QStringLiteral("select folderid from feeds where id = 3")).toInt(), 2);
    QCOMPARE(fixture.value(QStringLiteral("select farmid from feeds where id = 3")).toInt(), -3);
}

void tst_Opml::exportThenImportGivesTheSameTree()
{
    QByteArray exported;
    QList<OpmlFolder> before;
    {
        TreeFixture fixture;
        fixture.addFolder(2, QStringLiteral("R&D <lab> \"quoted\""));
        fixture.addFolder(3, QStringLiteral("Empty"));
        fixture.addFolder(4, QStringLiteral("Sport"));
        fixture.addFeed(1, 4, QStringLiteral("Scores & more"));
        fixture.addFeed(2, 2, QVariant()); // never fetched: no title yet
        fixture.addFeed(3, 1, QStringLiteral("Gone"), 0); // unsubscribed: not exported
        fixture.addFeed(4, 2, QStringLiteral("Umlaute \u00e4\u00f6\u00fc \u20ac"));
        fixture.addFeed(5, 1, QStringLiteral("Plain"));
        before = SubscriptionList(&fixture.db).folders();
        exported = OpmlDocument::write(QStringLiteral("Test"), before);
    }
    QCOMPARE(before.size(), 3);
    QCOMPARE(before.at(0).title, QStringLiteral("My Feeds"));
    QCOMPARE(before.at(0).feeds.size(), 1);
    QCOMPARE(before.at(1).feeds.at(0).title, QStringLiteral("http://example.org/feed2.xml"));
    QVERIFY(exported.contains("type=\"rss\""));
    QVERIFY(exported.contains("htmlUrl=\"http://example.org/\""));

    TreeFixture empty;
    OpmlDocument document;
    QVERIFY2(document.read(exported), qPrintable(document.errorString()));
    QCOMPARE(document.title(), QStringLiteral("Test"));
    SubscriptionList list(&empty.db);
    const SubscriptionList::Outcome outcome = list.add(document.feeds());
    QCOMPARE(outcome.added.size(), 4);
    const QList<OpmlFolder> after = list.folders();
    QCOMPARE(after.size(), before.size());
    for (int f = 0; f < before.size(); ++f) {
        QCOMPARE(after.at(f).title, before.at(f).title);
        QCOMPARE(after.at(f).feeds.size(), before.at(f).feeds.size());
        for (int i = 0; i < before.at(f).feeds.size(); ++i) {
            const OpmlFeed &a = after.at(f).feeds.at(i);
            const OpmlFeed &b = before.at(f).feeds.at(i);
            QCOMPARE(a.title, b.title);
            QCOMPARE(a.xmlUrl, b.xmlUrl);
            QCOMPARE(a.htmlUrl, b.htmlUrl);
        }
    }
    // Importing the same list again adds nothing.
    const SubscriptionList::Outcome again = list.add(document.feeds());
    QVERIFY(again.added.isEmpty());
    QCOMPARE(again.skipped, 4);
}

void tst_Opml::tenThousandOutlines()
{
    QByteArray list("<?xml version=\"1.0\"?>\n<opml version=\"2.0\"><body>\n");
    for (int folder = 0; folder < 100; ++folder) {
        list += "<outline text=\"Folder " + QByteArray::number(folder) + "\">\n";
        for (int feed = 0; feed < 100; ++feed) {
            const QByteArray n = QByteArray::number(folder * 100 + feed);
            list += "  <outline type=\"rss\" text=\"Feed " + n
                + "\" xmlUrl=\"http://feeds.example.org/" + n + ".xml\"/>\n";
        }
        list += "</outline>\n";
    }
    list += "</body></opml>\n";

    TreeFixture fixture;
    OpmlDocument document;
    QVERIFY(document.read(list));
    QCOMPARE(document.feeds().size(), 10000);
    const SubscriptionList::Outcome outcome = SubscriptionList(&fixture.db).add(document.feeds());
    QCOMPARE(outcome.added.size(), 10000);
    QCOMPARE(outcome.newFolders.size(), 100);
    QCOMPARE(
        fixture.value(QStringLiteral("select count(distinct farmid) from feeds")).toInt(), 10000);
    QCOMPARE(fixture.value(QStringLiteral("select min(farmid) from feeds")).toInt(), -10000);
    QCOMPARE(fixture
                 .value(QStringLiteral("select count(*) from feeds where folderid = "
                                       "(select id from folder where title = 'Folder 42')"))
                 .toInt(),
        100);
}

QTEST_GUILESS_MAIN(tst_Opml)
#include "tst_opml.moc"
