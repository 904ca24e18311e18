#include "client/newsdisplay.h"
#include "core/rssprotocol.h"
#include "testhelpers.h"

#include "core/feeddatabase.h"
#include "core/rsssettings.h"
#include "host/pdir.h"
#include "host/protocol.h"
#include "host/psettings.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

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
    void openMarkAndNotices();
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
    // Folders 2 "Tech" and 3 "Empty"; feed 1 with four items, 2 untitled, 3 hidden.
    const QStringList statements = TestHelpers::sqlScript(QStringLiteral("cases/display.sql"));
    QVERIFY(!statements.isEmpty());
    for (const QString &statement : statements)
        exec(statement);
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
    QTest::addColumn<int>("maxItems"); // -1: not set
    QTest::addColumn<int>("newOnly");
    QTest::addColumn<int>("inGroups");
    QTest::addColumn<QString>("expected");
    // Item 4 of Alpha is deleted, 3 is read; feed b has no title; Hidden is not shown.
    QTest::newRow("defaults") << -1 << -1 << -1
                              << QStringLiteral("Alpha & Co (2)| a3| a2| a1|http://b/| b1");
    QTest::newRow("two newest") << 2 << 0 << 0
                                << QStringLiteral("Alpha & Co (1)| a3| a2|http://b/| b1");
    QTest::newRow("unread only") << 20 << 1 << 0
                                 << QStringLiteral("Alpha & Co (2)| a2| a1|http://b/");
    QTest::newRow("in groups") << 1 << 0 << 1
                               << QStringLiteral("My Feeds| http://b/|  b1|Tech| Alpha & Co|  a3");
}

void tst_NewsDisplay::showsNewestItemsOfShownFeeds()
{
    QFETCH(int, maxItems);
    QFETCH(int, newOnly);
    QFETCH(int, inGroups);
    QFETCH(QString, expected);
    for (const auto &[key, value] : {std::pair{RssSettings::MaxItemsInClient, maxItems},
             std::pair{RssSettings::NewItemsOnly, newOnly},
             std::pair{RssSettings::InGroups, inGroups}}) {
        if (value >= 0)
            RssSettings::setValue(key, value);
    }
    NewsDisplay display;
    display.setDatabaseFile(m_file);
    display.refresh();
    QCOMPARE(TestHelpers::treeLines(display.tree()).join(QLatin1Char('|')), expected);
}

void tst_NewsDisplay::openMarkAndNotices()
{
    NewsDisplay display;
    display.setDatabaseFile(m_file);
    display.refresh();
    QSignalSpy opened(&display, &NewsDisplay::openItemRequested);
    QSignalSpy marked(&display, &NewsDisplay::itemMarkedRead);
    QSignalSpy forward(&display, &NewsDisplay::newItemsArrived);

    // A headline opens its item; a feed line opens the feed (item -1).
    emit display.tree()->itemActivated(find(display.tree(), QStringLiteral("a2")), 0);
    emit display.tree()->itemActivated(find(display.tree(), QStringLiteral("http://b/")), 0);
    QCOMPARE(opened, (QList<QList<QVariant>>{{2, 1}, {-1, 2}}));

    display.markRead(1, 2);
    display.markRead(1, 99); // nothing to mark: no report
    QCOMPARE(marked, (QList<QList<QVariant>>{{1, 2}}));
    QSqlQuery query(
        QStringLiteral("select isread from items where channelid = 1 and itemid = 2"), m_db);
    QVERIFY(query.next() && query.value(0).toInt() == 1); // the plug-in's side sees it
    QTRY_COMPARE(display.tree()->topLevelItem(0)->text(0), QStringLiteral("Alpha & Co (1)"));

    // New items bring the display forward only for feeds shown in it.
    auto notice = [&](quint16 command, QList<int> ids) {
        Protocol p(ClientMessage::NewsModule, command);
        if (command == ClientMessage::FeedItemsChanged)
            p.add(0, ProtocolArg::UInt16, uint(ids.size()));
        for (int id : ids)
            p.add(0, ProtocolArg::Int32, id);
        display.noticeReceived(command, p);
    };
    notice(ClientMessage::FeedItemsChanged, {3});
    notice(ClientMessage::FeedItemsChanged, {77, 78});
    QCOMPARE(forward.size(), 0);
    exec(QStringLiteral("insert into items (channelid, itemid, title, isread, toclear, mark) "
                        "values(1, 5, 'a5', 0, 0, 0)"));
    notice(ClientMessage::FeedItemsChanged, {1});
    QCOMPARE(forward.size(), 1);
    QTRY_VERIFY(find(display.tree(), QStringLiteral("a5")));

    // A feed hidden from the client disappears on its notice.
    exec(QStringLiteral("update feeds set inclient = 0 where id = 2"));
    notice(ClientMessage::FeedHiddenInClient, {2});
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
