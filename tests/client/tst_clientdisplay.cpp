#include "client/newsdisplay.h"
#include "client/protocolfields.h"

#include "host/pdir.h"
#include "host/protocol.h"
#include "host/psettings.h"
#include "plugin/feeddatabase.h"
#include "plugin/rsssettings.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

// Every line of the display, indented by depth: "Folder", " Feed (2)", "  Headline".
static QStringList lines(QTreeWidget *tree)
{
    QStringList result;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        int depth = 0;
        for (QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        result.append(QString(depth, QLatin1Char(' ')) + (*it)->text(0));
    }
    return result;
}

static QTreeWidgetItem *find(QTreeWidget *tree, const QString &text)
{
    const QList<QTreeWidgetItem *> found
        = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.value(0);
}

class tst_NewsDisplay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void showsNewestItemsOfShownFeeds_data();
    void showsNewestItemsOfShownFeeds();
    void openingAndMarkingRead();
    void newItemsBringForwardOnlyForShownFeeds();
    void missingDatabaseIsNotCreated();

private:
    void exec(const QString &statement);
    QTemporaryDir m_home;
    QString m_file;
    QSqlDatabase m_db;
};

void tst_NewsDisplay::initTestCase()
{
    PDir::setHomePath(m_home.path());
    PSettings::instance()->changeUser(QStringLiteral("3"));
    m_file = FeedDatabase::fileFor(3);
}

void tst_NewsDisplay::exec(const QString &statement)
{
    QSqlQuery query(m_db);
    QVERIFY2(query.exec(statement), qPrintable(statement));
}

void tst_NewsDisplay::init()
{
    QFile::remove(m_file);
    QVERIFY(FeedDatabase::open(m_db, m_file));
    m_db.transaction(); // one write to disk instead of one per row
    exec(QStringLiteral("insert into folder (id, title) values(2, 'Tech')"));
    exec(QStringLiteral("insert into folder (id, title) values(3, 'Empty')"));
    exec(QStringLiteral(
        "insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) "
        "values(1, 'http://a/', 'Alpha &amp; Co', 1, -1, 2, 1)"));
    exec(QStringLiteral(
        "insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) "
        "values(2, 'http://b/', NULL, 0, -2, 1, 1)"));
    exec(QStringLiteral(
        "insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) "
        "values(3, 'http://hidden/', 'Hidden', 1, -3, 1, 0)"));
    for (int i = 1; i <= 4; ++i) {
        exec(QStringLiteral("insert into items (channelid, itemid, title, isread, toclear, mark) "
                            "values(1, %1, 'a%1', %2, %3, 0)")
                 .arg(i)
                 .arg(i == 3 ? 1 : 0)
                 .arg(i == 4 ? 1 : 0));
    }
    exec(QStringLiteral("insert into items (channelid, itemid, title, isread, toclear, mark) "
                        "values(2, 1, 'b1', 1, 0, 0)"));
    exec(QStringLiteral("insert into items (channelid, itemid, title, isread, toclear, mark) "
                        "values(3, 1, 'h1', 0, 0, 0)"));
    QVERIFY(m_db.commit());
    for (auto key :
        {RssSettings::MaxItemsInClient, RssSettings::NewItemsOnly, RssSettings::InGroups})
        PSettings::instance()->remove(RssSettings::name(key), RssSettings::group());
}

void tst_NewsDisplay::cleanup()
{
    FeedDatabase::close(m_db);
}

void tst_NewsDisplay::showsNewestItemsOfShownFeeds_data()
{
    QTest::addColumn<int>("maxItems");
    QTest::addColumn<int>("newOnly");
    QTest::addColumn<int>("inGroups");
    QTest::addColumn<QStringList>("expected");
    // Item 4 of Alpha is deleted, 3 is read; feed b has no title; Hidden is not shown in the
    // client.
    QTest::newRow("defaults") << -1 << -1 << -1
                              << QStringList{QStringLiteral("Alpha & Co (2)"),
                                     QStringLiteral(" a3"), QStringLiteral(" a2"),
                                     QStringLiteral(" a1"), QStringLiteral("http://b/"),
                                     QStringLiteral(" b1")};
    QTest::newRow("two newest") << 2 << 0 << 0
                                << QStringList{QStringLiteral("Alpha & Co (1)"),
                                       QStringLiteral(" a3"), QStringLiteral(" a2"),
                                       QStringLiteral("http://b/"), QStringLiteral(" b1")};
    QTest::newRow("unread only") << 20 << 1 << 0
                                 << QStringList{QStringLiteral("Alpha & Co (2)"),
                                        QStringLiteral(" a2"), QStringLiteral(" a1"),
                                        QStringLiteral("http://b/")};
    QTest::newRow("in groups") << 1 << 0 << 1
                               << QStringList{QStringLiteral("My Feeds"),
                                      QStringLiteral(" http://b/"), QStringLiteral("  b1"),
                                      QStringLiteral("Tech"), QStringLiteral(" Alpha & Co"),
                                      QStringLiteral("  a3")};
}

void tst_NewsDisplay::showsNewestItemsOfShownFeeds()
{
    QFETCH(int, maxItems);
    QFETCH(int, newOnly);
    QFETCH(int, inGroups);
    QFETCH(QStringList, expected);
    if (maxItems >= 0)
        RssSettings::setValue(RssSettings::MaxItemsInClient, maxItems);
    if (newOnly >= 0)
        RssSettings::setValue(RssSettings::NewItemsOnly, newOnly);
    if (inGroups >= 0)
        RssSettings::setValue(RssSettings::InGroups, inGroups);
    NewsDisplay display;
    display.setDatabaseFile(m_file);
    display.refresh();
    QCOMPARE(lines(display.tree()), expected);
}

void tst_NewsDisplay::openingAndMarkingRead()
{
    NewsDisplay display;
    display.setDatabaseFile(m_file);
    display.refresh();
    QSignalSpy opened(&display, &NewsDisplay::openItemRequested);
    QSignalSpy marked(&display, &NewsDisplay::itemMarkedRead);

    emit display.tree()->itemActivated(find(display.tree(), QStringLiteral("a2")), 0);
    emit display.tree()->itemActivated(find(display.tree(), QStringLiteral("http://b/")), 0);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.at(0), (QList<QVariant>{2, 1}));
    QCOMPARE(opened.at(1), (QList<QVariant>{-1, 2}));

    display.markRead(1, 2);
    QCOMPARE(marked.size(), 1);
    QCOMPARE(marked.at(0), (QList<QVariant>{1, 2}));
    QSqlQuery query(m_db); // the plug-in's side sees the change
    QVERIFY(
        query.exec(QStringLiteral("select isread from items where channelid = 1 and itemid = 2")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toInt(), 1);
    QTRY_COMPARE(display.tree()->topLevelItem(0)->text(0), QStringLiteral("Alpha & Co (1)"));

    // Nothing to mark: no report.
    display.markRead(1, 99);
    QCOMPARE(marked.size(), 1);
}

void tst_NewsDisplay::newItemsBringForwardOnlyForShownFeeds()
{
    NewsDisplay display;
    display.setDatabaseFile(m_file);
    display.refresh();
    QSignalSpy forward(&display, &NewsDisplay::newItemsArrived);
    auto itemsChanged = [](QList<int> ids) {
        Protocol p(41, ClientMessage::FeedItemsChanged);
        p.add(0, ProtocolArg::UInt16, uint(ids.size()));
        for (int id : ids)
            p.add(0, ProtocolArg::Int32, id);
        return p;
    };
    display.noticeReceived(ClientMessage::FeedItemsChanged, itemsChanged({3}));
    display.noticeReceived(ClientMessage::FeedItemsChanged, itemsChanged({77, 78}));
    QCOMPARE(forward.size(), 0);

    exec(QStringLiteral("insert into items (channelid, itemid, title, isread, toclear, mark) "
                        "values(1, 5, 'a5', 0, 0, 0)"));
    display.noticeReceived(ClientMessage::FeedItemsChanged, itemsChanged({1}));
    QCOMPARE(forward.size(), 1);
    QTRY_VERIFY(find(display.tree(), QStringLiteral("a5")));

    // A feed hidden from the client disappears on its notice.
    exec(QStringLiteral("update feeds set inclient = 0 where id = 2"));
    Protocol hidden(41, ClientMessage::FeedHiddenInClient);
    hidden.add(0, ProtocolArg::UInt32, 2);
    display.noticeReceived(ClientMessage::FeedHiddenInClient, hidden);
    QTRY_VERIFY(!find(display.tree(), QStringLiteral("http://b/")));
}

void tst_NewsDisplay::missingDatabaseIsNotCreated()
{
    const QString absent = m_home.filePath(QStringLiteral("profiles/404.rssdb"));
    NewsDisplay display;
    display.setDatabaseFile(absent);
    display.refresh();
    display.markRead(1, 1);
    QCOMPARE(display.tree()->topLevelItemCount(), 0);
    QVERIFY(!QFileInfo::exists(absent));
}

QTEST_MAIN(tst_NewsDisplay)
#include "tst_clientdisplay.moc"
