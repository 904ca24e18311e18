#include "client/homelock.h"
#include "client/newsdisplay.h"
#include "client/serverstore.h"
#include "core/feeddatabase.h"
#include "core/rssprotocol.h"
#include "host/pdir.h"
#include "host/psettings.h"
#include "testhelpers.h"

#include "clientprocess.h"
#include "testpostgres.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <vector>

using namespace TestHelpers;

// Adds a folder and a feed in it to the user's database of the home.
static void addFeed(const QString &home, int user, int folder, const QString &source)
{
    PDir::setHomePath(home);
    QSqlDatabase db;
    QVERIFY(FeedDatabase::open(db, FeedDatabase::fileFor(user)));
    QSqlQuery q(db);
    QVERIFY(q.exec(u"insert into folder (id, title) values(%1, 'Tech')"_s.arg(folder)));
    QVERIFY(q.exec(u"insert into feeds (id, source, toload, farmid, folderid, inclient) "
                   "values(1, '%1', 1, -1, %2, 1)"_s.arg(source)
                       .arg(folder)));
    FeedDatabase::close(db);
}

// The messages of a message log.
static QList<QJsonObject> messages(const QString &log)
{
    QList<QJsonObject> result;
    for (const QJsonObject &o : jsonLines(log)) {
        if (o.value("event"_L1).toString() == "message"_L1)
            result.append(o);
    }
    return result;
}

// The messages of a log that change the server's copy.
static QStringList serverChanges(const QString &log)
{
    QStringList result;
    for (const QJsonObject &o : messages(log)) {
        const int command = o.value("command"_L1).toInt();
        if (o.value("module"_L1).toInt() == ClientMessage::NewsModule
            && command >= ClientMessage::SettingChanged && command <= ClientMessage::FoldersChanged)
            result.append(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
    }
    return result;
}

class tst_ClientProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartCreatesTheProfile();
    void roundTripThroughTheServerStore_data();
    void roundTripThroughTheServerStore();
    void manyClientsShareOneDatabase();
    void copyStoreMovesEveryUser();
    void badInputKeepsTheLocalState_data();
    void badInputKeepsTheLocalState();
    void oneOwnerPerHomeAndUser();
    void offlineChangesSurviveTheNextStart();
    void lockedDatabaseFailsTheUpdate();
    void folderTitleClashBetweenHomes();

private:
    QString served(const char *path) const { return ::served(m_server, path); }

    TestHttpServer m_server;
    TestPostgres m_postgres;
    QString m_postgresProblem; // why this machine has no PostgreSQL to start, if it has none
};

void tst_ClientProcess::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() + "/pellix"_L1));
    serveSite(m_server);
}

void tst_ClientProcess::firstStartCreatesTheProfile()
{
    QTemporaryDir home;
    const QString log = home.filePath(u"messages.jsonl"_s);
    const Run run
        = runClient(as(home.path(), 4711) + QStringList{"--quit-after-sync", "--message-log", log});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QString database = home.filePath(u"profiles/4711.rssdb"_s);
    QCOMPARE(sqliteRows(database,
                 u"select name from sqlite_master where type = 'table' "
                 "order by name"_s)
                 .join(u','),
        u"feedhealth,feeds,feedvalidators,folder,items"_s);
    QCOMPARE(sqliteRows(database, u"select id, title from folder"_s), QStringList{"1|My Feeds"});
    QCOMPARE(QDir(home.filePath(u"appdata"_s)).entryList(QDir::Files), QStringList());

    // The trace: mandator first, then feeds and settings with the country.
    QStringList sent;
    for (const QJsonObject &o : messages(log)) {
        const QJsonObject field = o.value("fields"_L1).toArray().at(0).toObject();
        sent.append(u"%1,%2,%3=%4"_s.arg(o.value("module"_L1).toInt())
                        .arg(o.value("command"_L1).toInt())
                        .arg(field.value("field"_L1).toInt())
                        .arg(field.value("value"_L1).toVariant().toString()));
    }
    QVERIFY2(sent.value(0).startsWith("1,41,"_L1), qPrintable(sent.join(' ')));
    QVERIFY2(sent.indexOf(u"41,1,732=DE"_s) > 0, qPrintable(sent.join(' ')));
}

void tst_ClientProcess::roundTripThroughTheServerStore_data()
{
    TestHelpers::addBoolRows("postgresql", {{"sqlite", false}, {"postgresql", true}});
}

void tst_ClientProcess::roundTripThroughTheServerStore()
{
    QFETCH(bool, postgresql);
    QTemporaryDir root;
    const QString homeA = root.filePath(u"a"_s);
    const QString store = postgresql ? m_postgres.newDatabaseAddress(&m_postgresProblem)
                                     : root.filePath(u"shared/store.sqlite"_s);
    if (store.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    const QString databaseA = homeA + "/profiles/21.rssdb"_L1;
    const QString settingsA = homeA + "/settings/21.ini"_L1;
    const QString world = served("/world.xml"), tech = served("/tech.xml");

    // A user who already reads one feed, in a folder of their own, with a setting.
    PDir::setHomePath(homeA);
    QCOMPARE(FeedDatabase::fileFor(21), databaseA); // creates the profiles folder
    addFeed(homeA, 21, 2, tech);
    QSettings(settingsA, QSettings::IniFormat).setValue(u"RSS/MaxItemsInViewer"_s, 13);

    Run run = runClient(as(homeA, 21, store) + QStringList{"--subscribe", world, "--update"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QStringList lines = QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines, (QStringList{u"1\t%1\tchanged"_s.arg(tech), u"2\t%1\tchanged"_s.arg(world)}));
    QCOMPARE(
        sqliteRows(databaseA, u"select channelid, title from items order by channelid, title"_s)
            .join(u','),
        u"1|t1,1|t2,2|w1,2|w2,2|w3"_s);
    QCOMPARE(QDir(homeA + "/appdata"_L1).entryList(QDir::Files), QStringList());

    // The client's own display lists the new headlines.
    PSettings::instance()->changeUser(u"21"_s);
    {
        NewsDisplay display;
        display.setDatabaseFile(databaseA);
        display.refresh();
        for (const char *headline : {"w3", "t1"})
            QVERIFY(!display.tree()
                         ->findItems(QLatin1String(headline), Qt::MatchExactly | Qt::MatchRecursive)
                         .isEmpty());
    }

    const QString layout = u"select feeds.source, feeds.farmid, folder.title from feeds join "
                           "folder on folder.id = feeds.folderid order by feeds.source"_s;
    const QStringList expected = sqliteRows(databaseA, layout);
    QCOMPARE(expected.size(), 2);

    // The local database and settings are lost; the server brings everything back. A
    // second home on the same server sees the same subscriptions, folders and settings.
    QVERIFY(QFile::remove(databaseA));
    QVERIFY(QFile::remove(settingsA));
    for (const QString &home : {homeA, root.filePath(u"b"_s)}) {
        run = runClient(as(home, 21, store) + QStringList{"--quit-after-sync"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(sqliteRows(home + "/profiles/21.rssdb"_L1, layout), expected);
        QCOMPARE(QSettings(home + "/settings/21.ini"_L1, QSettings::IniFormat)
                     .value(u"RSS/MaxItemsInViewer"_s)
                     .toInt(),
            13);
    }
}

void tst_ClientProcess::manyClientsShareOneDatabase()
{
    const QString store = m_postgres.newDatabaseAddress(&m_postgresProblem);
    if (store.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    // Users 31 to 34 start with one feed each that the server already knows, in
    // the server already; then two homes per user subscribe at once. The homes
    // of a user number new feeds alike, so both subscribe to the same addresses
    // in the same order: their writes meet on the same rows.
    const int users = 4;
    const auto known = [](int user) { return u"http://127.0.0.1:9/known-%1.xml"_s.arg(user); };
    {
        const auto server = ServerStore::forLocation(store);
        QVERIFY2(server->open(store), qPrintable(server->errorString()));
        for (int u = 0; u < users; ++u) {
            UserRecord record;
            record.feeds.append({2, 1, u"Known"_s, known(u), 3});
            record.folders.append({1, u"My Feeds"_s, {{2, 1}}});
            QVERIFY(server->addUser(31 + u, record));
        }
    }
    QTemporaryDir root;
    std::vector<std::unique_ptr<QProcess>> clients;
    const auto address = [](int user, int feed) {
        return u"http://127.0.0.1:9/u%1-f%2.xml"_s.arg(user).arg(feed);
    };
    for (int i = 0; i < 2 * users; ++i) {
        const int u = i % users;
        QStringList arguments = as(root.filePath(QString::number(i)), 31 + u, store);
        arguments << "--quit-after-sync";
        for (int f = 0; f < 3; ++f)
            arguments << "--subscribe" << address(u, f);
        auto client = std::make_unique<QProcess>();
        prepareClient(*client, arguments);
        client->setProcessChannelMode(QProcess::MergedChannels);
        client->start();
        clients.push_back(std::move(client));
    }
    for (const auto &client : clients) {
        QVERIFY(client->waitForFinished(120000));
        QVERIFY2(client->exitStatus() == QProcess::NormalExit && client->exitCode() == 0,
            client->readAll().constData());
    }

    const auto server = ServerStore::forLocation(store);
    QVERIFY(server->open(store));
    for (int u = 0; u < users; ++u) {
        const UserRecord record = server->record(31 + u);
        QSet<QString> sources;
        QSet<int> ids;
        for (const UserRecord::Feed &feed : record.feeds) {
            sources.insert(feed.source);
            ids.insert(feed.id);
        }
        // Every subscription arrived, each feed once, and nothing of another user.
        QCOMPARE(sources, (QSet<QString>{known(u), address(u, 0), address(u, 1), address(u, 2)}));
        QCOMPARE(record.feeds.size(), 4);
        QCOMPARE(ids.size(), 4);
        // The layout is one client's whole message: every feed it names is known.
        QVERIFY(!record.folders.isEmpty());
        for (const UserRecord::Folder &folder : record.folders) {
            for (const auto &ref : folder.feeds)
                QVERIFY(ids.contains(ref.second));
        }
    }
}

void tst_ClientProcess::copyStoreMovesEveryUser()
{
    const QString database = m_postgres.newDatabaseAddress(&m_postgresProblem);
    if (database.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    QTemporaryDir root;
    const QString file = root.filePath(u"store.sqlite"_s);
    const QString back = root.filePath(u"back/store.sqlite"_s);
    {
        const auto server = ServerStore::forLocation(file);
        QVERIFY(server->open(file));
        for (const quint32 user : {3u, 5u}) {
            UserRecord record;
            record.settings.insert(780, int(user));
            record.feeds.append({2, 1, u"Mine"_s, u"http://own/"_s, 3});
            record.folders.append({1, u"My Feeds"_s, {{2, 1}}});
            QVERIFY(server->addUser(user, record));
        }
    }
    Run run = runClient({"--copy-store", file, database});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.trimmed(), QByteArray("Users copied: 2"));
    run = runClient({"--copy-store", database, back});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sqliteRows(back, u"select user, field, value from settings order by user"_s),
        (QStringList{"3|780|3", "5|780|5"}));
    QCOMPARE(sqliteRows(back, u"select user, source from feeds order by user"_s),
        (QStringList{"3|http://own/", "5|http://own/"}));

    // A source that is not there copies nothing and creates nothing.
    const QString missing = root.filePath(u"missing.sqlite"_s);
    run = runClient({"--copy-store", missing, back});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(missing.toLocal8Bit()), run.err.constData());
    QVERIFY(!QFile::exists(missing));

    // A database that is not there: a clear message, nothing copied.
    run = runClient({"--copy-store", file,
        u"postgresql://pellix@127.0.0.1:%1/nosuchdb"_s.arg(m_postgres.port())});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("nosuchdb"), run.err.constData());
}

void tst_ClientProcess::badInputKeepsTheLocalState_data()
{
    TestHelpers::addRows(
        QStringLiteral("cases/bad-input.txt"), {"flags", "profile", "exitCode", "message"});
}

void tst_ClientProcess::badInputKeepsTheLocalState()
{
    QFETCH(QString, flags);
    QFETCH(QString, profile);
    QFETCH(QString, exitCode);
    QFETCH(QString, message);
    const bool brokenDatabase = profile == u"broken"_s;
    QTemporaryDir home;
    const QString database = home.filePath(u"profiles/8.rssdb"_s);
    const QString garbage = home.filePath(u"garbage"_s);
    PDir::setHomePath(home.path());
    QCOMPARE(FeedDatabase::fileFor(8), database); // creates the profiles folder
    if (brokenDatabase) {
        writeFile(database, QByteArray(5000, '#'));
    } else {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, database));
        QVERIFY(QSqlQuery(db).exec(u"insert into feeds (id, source, toload, farmid, folderid, "
                                   "inclient) values(1, 'http://kept/', 1, -1, 1, 1)"_s));
        FeedDatabase::close(db);
    }
    writeFile(garbage, QByteArray("not a store, not a catalogue\n").repeated(64));
    const QByteArray before = digest(garbage) + digest(database);

    const QString log = home.filePath(u"messages.jsonl"_s);
    QStringList args = as(home.path(), 8) + QStringList{"--quit-after-sync", "--message-log", log};
    for (const QString &flag : flags.split(u' ', Qt::SkipEmptyParts))
        args.append(flag == "GARBAGE"_L1 ? garbage : flag);
    const Run run = runClient(args);
    QVERIFY2(run.exitCode == exitCode.toInt(), run.err.constData());
    message.replace(u"GARBAGE"_s, garbage);
    QVERIFY2(run.err.contains(message.toLocal8Bit()), run.err.constData());
    if (brokenDatabase) {
        QCOMPARE(digest(garbage) + digest(database), before);
        // Nothing of an unusable profile reaches the server.
        QCOMPARE(serverChanges(log), QStringList());
        // The server did not record a user it could not read: a later start adopts the
        // repaired file.
        QVERIFY(!sqliteRows(home.filePath(u"server/store.sqlite"_s), u"select user from users"_s)
                     .contains(u"8"_s));
    } else {
        QCOMPARE(digest(garbage), before.left(32));
        QCOMPARE(sqliteRows(database, u"select source from feeds"_s), QStringList{"http://kept/"});
    }
}

void tst_ClientProcess::oneOwnerPerHomeAndUser()
{
    QTemporaryDir root;
    const QString home = root.filePath(u"home"_s);
    const QString appdata = home + "/appdata"_L1;
    const QString style = appdata + "/style.css"_L1;
    const QString world = served("/world.xml"), tech = served("/tech.xml");
    const QStringList base = as(home, 31, root.filePath(u"store"_s));

    // A client that died left its pages, an old style sheet and its lock behind.
    QVERIFY(QDir().mkpath(appdata));
    QVERIFY(QDir().mkpath(home + "/run"_L1));
    writeFile(style, "/* an older build */");
    writeFile(appdata + "/31_channel1_1.html"_L1, "<html>old</html>");
    writeFile(
        home + "/run/31.lock"_L1, "999999\npellix\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    Run run = runClient(base + QStringList{"--subscribe", world, "--quit-after-sync"});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    QProcess owner;
    prepareClient(owner, base);
    owner.start();
    QVERIFY(owner.waitForStarted(10000));
    const QString serverName = HomeLock(home, 31).serverName();
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QLocalSocket probe;
            probe.connectToServer(serverName);
            return probe.waitForConnected(200);
        }(),
        20000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(style), 20000);
    const QByteArray styleDigest = digest(style);
    QVERIFY(styleDigest
        != QCryptographicHash::hash("/* an older build */", QCryptographicHash::Sha256));
    QVERIFY(!QFileInfo::exists(appdata + "/31_channel1_1.html"_L1));

    // A second --update has the running client update and prints its lines.
    run = runClient(base + QStringList{"--update"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // The owner's own first run may have fetched the feed already.
    QVERIFY2(QRegularExpression(u"^1\t%1\t(un)?changed\n$"_s.arg(QRegularExpression::escape(world)))
                 .match(QString::fromUtf8(run.out))
                 .hasMatch(),
        run.out.constData());
    QCOMPARE(owner.state(), QProcess::Running);
    QCOMPARE(digest(style), styleDigest);

    // A second window start hands its subscription over and ends.
    run = runClient(base + QStringList{"--subscribe", tech});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QTRY_COMPARE_WITH_TIMEOUT(
        sqliteRows(home + "/profiles/31.rssdb"_L1, u"select source from feeds order by id"_s),
        (QStringList{world, tech}), 20000);

    // A subscription list is not read or written behind the owner's back.
    run = runClient(base + QStringList{"--export-opml", "-"});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("another pellix process"), run.err.constData());
    QVERIFY(run.out.isEmpty());

    // Another user of the same home runs beside it and keeps the shared files.
    run = runClient(as(home, 32) + QStringList{"--offline", "--quit-after-sync"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(digest(style), styleDigest);

    // SIGTERM ends the owner as Quit does: its files go, the lock is free.
    owner.terminate();
    QVERIFY(owner.waitForFinished(20000));
    QCOMPARE(owner.exitStatus(), QProcess::NormalExit);
    QCOMPARE(owner.exitCode(), 0);
    QCOMPARE(QDir(appdata).entryList(QDir::Files), QStringList());
    HomeLock lock(home, 31);
    QVERIFY(lock.tryLock());
}

void tst_ClientProcess::offlineChangesSurviveTheNextStart()
{
    QTemporaryDir home;
    const QString database = home.filePath(u"profiles/41.rssdb"_s);
    const QString world = served("/world.xml");
    const QStringList base = as(home.path(), 41) + QStringList{"--quit-after-sync"};
    Run run = runClient(base);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    run = runClient(base + QStringList{"--offline", "--subscribe", world});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sqliteRows(database, u"select source from feeds"_s), QStringList{world});

    run = runClient(base);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(sqliteRows(database, u"select source from feeds"_s), QStringList{world});
    QCOMPARE(sqliteRows(home.filePath(u"server/store.sqlite"_s), u"select source from feeds"_s),
        QStringList{world});
    QVERIFY(QDir(home.filePath(u"outbox"_s)).entryList(QDir::Files).isEmpty());
}

void tst_ClientProcess::lockedDatabaseFailsTheUpdate()
{
    QTemporaryDir home;
    const QStringList base = as(home.path(), 51) + QStringList{"--offline"};
    Run run = runClient(base + QStringList{"--quit-after-sync"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
        holder.setDatabaseName(home.filePath(u"profiles/51.rssdb"_s));
        QVERIFY(holder.open());
        QVERIFY(QSqlQuery(holder).exec(u"BEGIN EXCLUSIVE"_s));
        run = runClient(base + QStringList{"--update"});
        QSqlQuery(holder).exec(u"ROLLBACK"_s);
        holder.close();
    }
    QSqlDatabase::removeDatabase(u"holder"_s);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("51.rssdb"), run.err.constData());
}

// Two homes of one user number the same folder differently.
void tst_ClientProcess::folderTitleClashBetweenHomes()
{
    QTemporaryDir root;
    const QString store = root.filePath(u"store.sqlite"_s);
    const QString tech = served("/tech.xml");
    const QString homeA = root.filePath(u"a"_s), homeB = root.filePath(u"b"_s);
    addFeed(homeA, 61, 2, tech);
    addFeed(homeB, 61, 3, served("/world.xml"));
    const QString placement = u"select feeds.source, folder.id, folder.title from feeds left "
                              "join folder on folder.id = feeds.folderid order by feeds.source"_s;
    for (const QString &home : {homeA, homeB, homeA}) {
        const Run run = runClient(as(home, 61, store) + QStringList{"--quit-after-sync"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        // No feed ever lands in a folder that does not exist.
        QCOMPARE(sqliteRows(home + "/profiles/61.rssdb"_L1, placement),
            QStringList{u"%1|2|Tech"_s.arg(tech)});
    }
    QCOMPARE(
        sqliteRows(homeB + "/profiles/61.rssdb"_L1, u"select id, title from folder order by id"_s),
        (QStringList{"1|My Feeds", "2|Tech"}));
}

QTEST_MAIN(tst_ClientProcess)
#include "tst_clientprocess.moc"
