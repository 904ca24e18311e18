#include "client/localprofile.h"
#include "client/serverstore.h"
#include "client/storemessages.h"
#include "core/feeddatabase.h"
#include "storefixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTest>

using namespace TestHelpers;

// Every case runs against each back end where it can: a SQLite file, and a database of a
// PostgreSQL server the test starts on 127.0.0.1.
class tst_ServerStore : public QObject, public StoreFixture
{
    Q_OBJECT
private slots:
    void newUserAndMessagesChangeTheRecord_data();
    void newUserAndMessagesChangeTheRecord();
    void truncatedMessagesChangeNothing_data();
    void truncatedMessagesChangeNothing();
    void foreignStoresAreRefusedUntouched_data();
    void foreignStoresAreRefusedUntouched();
    void localProfileIsAdopted_data();
    void localProfileIsAdopted();
    void restartedServerIsReconnected();
    void brokenRecordsAreNotAnswered_data();
    void brokenRecordsAreNotAnswered();
    void unreachableServersFailInTime_data();
    void unreachableServersFailInTime();
};

void tst_ServerStore::newUserAndMessagesChangeTheRecord_data()
{
    addBackendColumn();
}

void tst_ServerStore::newUserAndMessagesChangeTheRecord()
{
    QFETCH(QString, backend);
    NEW_LOCATION(location, backend);
    auto store = openStore(location);
    QVERIFY(store->isOpen());
    // Recording a change for an unknown user would later answer with that one feed
    // and make the reader delete every other local feed.
    const Protocol subscribeA
        = feedMessage(ClientMessage::FeedSubscribed, 2, 1, QString(), u"http://a/feed"_s);
    QVERIFY(!store->apply(1, subscribeA));
    QVERIFY(!store->hasUser(1));
    // A new user gets one untitled folder and nothing else.
    QVERIFY(store->addUser(1));
    QVERIFY(store->hasUser(1));
    const ReadAnswer fresh = answerFor(*store, 1);
    QVERIFY(fresh.settings.isEmpty() && fresh.feeds.isEmpty());
    QCOMPARE(fresh.folders, QStringList{u"1::"_s});
    const auto catalogue = [](int id, QString *title, QString *source) {
        if (id != 1005)
            return false;
        *title = u"Catalogue title"_s;
        *source = u"https://example.org/catalogue.xml"_s;
        return true;
    };
    const QString a = u"http://a/feed"_s;
    const QString b = u"http://b/feed"_s;

    using namespace ClientMessage;
    QVERIFY(store->apply(1, subscribeA));
    QVERIFY(store->apply(1, feedMessage(FeedSubscribed, 1, 1005, QString()), catalogue));
    QVERIFY(store->apply(1, feedMessage(FeedSubscribed, 2, 2, u"B"_s, b)));
    // The fetched title of the own feed, and "keep the items" of feed b (state 0).
    QVERIFY(store->apply(1, feedMessage(FeedChanged, 2, 1, u"Ä title"_s, a)));
    QVERIFY(store->apply(1, feedMessage(FeedChanged, 2, 2, u"B"_s, b, 0)));
    QVERIFY(
        store->apply(1, feedMessage(FeedChanged, 1, 1005, u"Renamed"_s, QString(), 1), catalogue));
    QVERIFY(store->apply(1, feedMessage(FeedUnsubscribed, 2, 2, QString(), b)));
    QVERIFY(
        store->apply(1, settingMessage(ProtocolField::MaxItemsInViewer, ProtocolArg::UInt16, 17)));
    QVERIFY(store->apply(1, settingMessage(ProtocolField::NewItemsOnly, ProtocolArg::UInt8, 1)));

    QVERIFY(store->apply(
        1, foldersMessage({{1, u"My Feeds"_s, {{2, 1}}}, {4, u"Tech"_s, {{1, 1005}}}})));

    // The record survives reopening the store.
    store = openStore(location);
    QVERIFY(store->isOpen());
    const Protocol answer = StoreMessages::answer(store->record(1));
    const ReadAnswer read = readAnswer(answer);
    QCOMPARE(read.settings,
        (QMap<int, int>{{ProtocolField::NewItemsOnly, 1}, {ProtocolField::MaxItemsInViewer, 17}}));
    QCOMPARE(read.feeds,
        (QStringList{u"2:1:Ä title:http://a/feed:3"_s,
            u"1:1005:Renamed:https://example.org/catalogue.xml:1"_s}));
    QCOMPARE(read.folders, (QStringList{u"1:My Feeds:2/1"_s, u"4:Tech:1/1005"_s}));
    // The reader takes the settings by field number and the counts as integers.
    QCOMPARE(answer.args().at(0).field(), ProtocolField::SettingCount);
    QCOMPARE(answer.args().at(1).type(), ProtocolArg::UInt8);
}

void tst_ServerStore::truncatedMessagesChangeNothing_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<Protocol>("message");
    QList<QPair<const char *, Protocol>> rows;
    Protocol folders(ClientMessage::NewsModule, ClientMessage::FoldersChanged);
    folders.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 2);
    folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, 9);
    folders.add(ProtocolField::FolderTitle, ProtocolArg::String, u"Only one"_s, 1);
    folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 0);
    rows.append({"folders fewer than counted", folders});

    const Protocol feed = feedMessage(ClientMessage::FeedSubscribed, 2, 8, u"T"_s, u"http://t/"_s);
    Protocol cut(ClientMessage::NewsModule, ClientMessage::FeedSubscribed);
    for (int i = 0; i < feed.args().size() - 1; ++i)
        cut.addArg(feed.args().at(i));
    rows.append({"feed without state", cut});

    Protocol settings(ClientMessage::NewsModule, ClientMessage::SettingChanged);
    settings.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    rows.append({"setting without value", settings});
    rows.append({"empty unsubscription",
        Protocol(ClientMessage::NewsModule, ClientMessage::FeedUnsubscribed)});
    rows.append({"not a store message",
        Protocol(ClientMessage::NewsModule, ClientMessage::FeedItemsChanged)});
    for (const char *backend : Backends) {
        for (const auto &[name, message] : std::as_const(rows))
            QTest::addRow("%s: %s", backend, name) << QString::fromLatin1(backend) << message;
    }
}

void tst_ServerStore::truncatedMessagesChangeNothing()
{
    QFETCH(QString, backend);
    QFETCH(Protocol, message);
    NEW_LOCATION(location, backend);
    const auto opened = openStore(location);
    ServerStore &store = *opened;
    QVERIFY(store.addUser(2));
    QVERIFY(store.apply(
        2, feedMessage(ClientMessage::FeedSubscribed, 2, 8, u"Kept"_s, u"http://t/"_s)));
    const QStringList before = answerFor(store, 2).feeds;
    QVERIFY(!store.apply(2, message));
    QVERIFY(!store.errorString().isEmpty());
    QCOMPARE(answerFor(store, 2).feeds, before);
    QVERIFY(answerFor(store, 2).settings.isEmpty());
}

void tst_ServerStore::foreignStoresAreRefusedUntouched_data()
{
    TestHelpers::addRows(QStringLiteral("cases/foreign-stores.txt"), {"backend", "setup"});
}

void tst_ServerStore::foreignStoresAreRefusedUntouched()
{
    QFETCH(QString, backend);
    QFETCH(QString, setup);
    NEW_LOCATION(location, backend);
    QString target = location;
    QString problem;
    if (setup == "folder"_L1)
        target = m_dir.path();
    else if (setup == "text"_L1)
        writeFile(target, QByteArray("this is not a database\n").repeated(100));
    else if (backend == "sqlite"_L1)
        problem = execute(target,
            {setup == "newer"_L1 ? u"pragma user_version = 2"_s
                                 : u"create table mine (x integer)"_s});
    else
        problem = execute(target, setup.split(u"; "_s));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    // Before and after: the file's bytes, or the database's list of tables.
    const QString database = QUrl(location).path().mid(1);
    const auto contents = [&] {
        if (backend == "sqlite"_L1)
            return digest(target);
        return m_postgres
            .rows(u"select table_name from information_schema.tables where "
                  "table_schema = 'public' order by table_name"_s,
                database)
            .join(u',')
            .toUtf8();
    };
    const QByteArray before = contents();
    const auto store = ServerStore::forLocation(target);
    QVERIFY(!store->open(target));
    QVERIFY(!store->isOpen());
    QVERIFY2(store->errorString().contains(target), qPrintable(store->errorString()));
    QCOMPARE(contents(), before);
}

void tst_ServerStore::localProfileIsAdopted_data()
{
    addBackendColumn();
}

void tst_ServerStore::localProfileIsAdopted()
{
    QFETCH(QString, backend);
    // Each back end's run starts from its own local profile.
    const QString database = m_dir.filePath(backend + u"-5.rssdb"_s);
    {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, database));
        QSqlQuery q(db);
        QVERIFY(q.exec(u"insert into folder (id, title) values(3, 'Tech')"_s));
        const QString feed = u"insert into feeds (id, source, channeltitle, toload, "
                             "farmid, folderid, inclient) values(%1)"_s;
        QVERIFY(q.exec(feed.arg(u"1, 'http://own/', NULL, 1, -1, 3, 0"_s)));
        QVERIFY(q.exec(feed.arg(u"2, 'https://cat/', 'Cat', 0, 1005, 1, 1"_s)));
        FeedDatabase::close(db);
    }
    const QString settingsFile = m_dir.filePath(backend + u"-5.ini"_s);
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue(u"RSS/updateIntervall"_s, 45);
        settings.setValue(u"RSS/MaxItemsInClient"_s, 7);
    }
    const QByteArray before = digest(database);
    UserRecord record;
    QString reason;
    QVERIFY2(LocalProfile(database, settingsFile).read(&record, &reason), qPrintable(reason));
    QCOMPARE(digest(database), before);

    NEW_LOCATION(location, backend);
    const auto opened = openStore(location);
    ServerStore &store = *opened;
    QVERIFY(store.addUser(5, record));
    // A second home that meets the server later keeps what the first one brought.
    QVERIFY(store.addUser(5, UserRecord()));
    const ReadAnswer answer = answerFor(store, 5);
    QCOMPARE(answer.settings,
        (QMap<int, int>{
            {ProtocolField::UpdateInterval, 45}, {ProtocolField::MaxItemsInClient, 7}}));
    QCOMPARE(answer.feeds, (QStringList{u"2:1::http://own/:1"_s, u"1:1005:Cat:https://cat/:2"_s}));
    QCOMPARE(answer.folders, (QStringList{u"1:My Feeds:1/1005"_s, u"3:Tech:2/1"_s}));

    QString title;
    QString source;
    QVERIFY(LocalProfile(database, settingsFile).catalogueFeed(1005, &title, &source));
    QCOMPARE(source, u"https://cat/"_s);
}

void tst_ServerStore::restartedServerIsReconnected()
{
    NEW_LOCATION(location, u"postgresql"_s);
    const auto store = openStore(location);
    QVERIFY(store->addUser(6));
    QString reason;
    QVERIFY2(m_postgres.restart(&reason), qPrintable(reason));
    // The first write after the restart meets a dropped connection and opens a new one.
    QVERIFY2(store->apply(6,
                 feedMessage(ClientMessage::FeedSubscribed, 2, 1, u"After"_s,
                     u"http://127.0.0.1/after.xml"_s)),
        qPrintable(store->errorString()));
    QCOMPARE(answerFor(*store, 6).feeds, QStringList{u"2:1:After:http://127.0.0.1/after.xml:3"_s});
}

void tst_ServerStore::brokenRecordsAreNotAnswered_data()
{
    addBackendColumn();
}

void tst_ServerStore::brokenRecordsAreNotAnswered()
{
    // The folder references vanish under an open store: what is left would
    // answer with feeds but no layout, and the reader would act on it.
    QFETCH(QString, backend);
    NEW_LOCATION(location, backend);
    const auto store = openStore(location);
    QVERIFY(store->addUser(3, sampleRecord(3)));
    bool ok = false;
    QCOMPARE(store->record(3, &ok).feeds.size(), 3);
    QVERIFY(ok);
    const QString problem = execute(location, {u"drop table folderfeeds"_s});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const UserRecord broken = store->record(3, &ok);
    QVERIFY(!ok);
    QVERIFY(broken.feeds.isEmpty() && broken.settings.isEmpty());
    QVERIFY2(store->errorString().contains(u"folderfeeds"_s), qPrintable(store->errorString()));

    // Nor is such a store copied: the new file the copy began is removed again.
    const QString target = m_dir.filePath(u"copy-of-broken-%1.sqlite"_s.arg(backend));
    int copied = -1;
    QString error;
    QVERIFY(!ServerStore::copy(location, target, &copied, &error));
    QCOMPARE(copied, 0);
    QVERIFY2(error.contains(u"folderfeeds"_s), qPrintable(error));
    QVERIFY(!QFileInfo::exists(target));
}

void tst_ServerStore::unreachableServersFailInTime_data()
{
    TestHelpers::addRows(QStringLiteral("cases/unreachable-servers.txt"), {"address", "mentions"});
}

void tst_ServerStore::unreachableServersFailInTime()
{
    QFETCH(QString, address);
    QFETCH(QString, mentions);
    if (!QSqlDatabase::isDriverAvailable(u"QPSQL"_s))
        QSKIP("Qt's PostgreSQL driver is not installed");
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    int closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    if (address.contains("{server}"_L1)) {
        NEW_LOCATION(started, u"postgresql"_s);
        address.replace(u"{server}"_s, QString::number(m_postgres.port()));
    }
    address.replace(u"{port}"_s, QString::number(closedPort));
    address.replace(u"{silent}"_s, QString::number(silent.serverPort()));

    const auto store = ServerStore::forLocation(address);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!store->open(address));
    // Connecting gives up after ten seconds; a hang would end only with the test's timeout.
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!store->isOpen());
    QVERIFY2(store->errorString().contains(mentions, Qt::CaseInsensitive),
        qPrintable(store->errorString()));
    QVERIFY2(store->errorString().contains(u"127.0.0.1"_s), qPrintable(store->errorString()));
    QVERIFY2(!store->errorString().contains(u"secret"_s), qPrintable(store->errorString()));
    QVERIFY(!store->addUser(1));
    QVERIFY(store->record(1).feeds.isEmpty());
}

QTEST_MAIN(tst_ServerStore)
#include "tst_clientstore.moc"
