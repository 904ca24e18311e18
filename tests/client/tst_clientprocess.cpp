#include "client/homelock.h"
#include "client/newsdisplay.h"
#include "client/serverstore.h"
#include "core/feeddatabase.h"
#include "core/opmldocument.h"
#include "core/rssprotocol.h"
#include "host/pdir.h"
#include "host/psettings.h"
#include "testhelpers.h"

#include "testhttpserver.h"
#include "testpostgres.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace TestHelpers;
#include <memory>
#include <vector>

static QByteArray rss(const QByteArray &title, const QList<QByteArray> &items)
{
    QByteArray body
        = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>"
        + title + "</title><link>http://127.0.0.1/</link><description>d</description>";
    for (const QByteArray &item : items)
        body += "<item><title>" + item + "</title><link>http://127.0.0.1/" + item
            + "</link><description>" + item + " text</description></item>";
    return body + "</channel></rss>\n";
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

static void prepareClient(QProcess &process)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
        {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"));
}

// Runs the real client next to this test and lets the event loop serve its requests meanwhile.
static Run runClient(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    prepareClient(process);
    QSignalSpy finished(&process, &QProcess::finished);
    process.setArguments(arguments);
    process.start();
    Run run;
    const bool started = process.waitForStarted(10000);
    if (started) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!started || (finished.isEmpty() && !finished.wait(60000))) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

static QStringList rows(const QString &file, const QString &statement)
{
    QStringList result;
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(statement);
            while (query.next()) {
                QStringList values;
                for (int i = 0; i < query.record().count(); ++i)
                    values.append(query.value(i).toString());
                result.append(values.join(QLatin1Char('|')));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

// The lines of a message log whose module 41 message changes the server's copy.
static QStringList serverChanges(const QString &log)
{
    QFile in(log);
    QStringList result;
    if (!in.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const int command = o.value(QStringLiteral("command")).toInt();
        if (o.value(QStringLiteral("event")).toString() == QLatin1String("message")
            && o.value(QStringLiteral("module")).toInt() == ClientMessage::NewsModule
            && command >= ClientMessage::SettingChanged && command <= ClientMessage::FoldersChanged)
            result.append(QString::fromUtf8(line));
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
    void subscriptionListsWithoutAWindow();
    void rememberedLanguage();
    void discover_data();
    void discover();
    void updateLinesArriveAsFeedsEnd();
    void secondRunTransfersNoUnchangedDocument();
    void storeRefusedDuringTheRunFailsTheUpdate();

private:
    // A new, empty PostgreSQL store of the test's own server; empty when this
    // machine has none to start (the reason is in m_postgresProblem).
    QString newDatabase();

    TestHttpServer m_server;
    TestPostgres m_postgres;
    QString m_postgresProblem;
};

QString tst_ClientProcess::newDatabase()
{
    m_postgresProblem = m_postgres.startOnce();
    if (!m_postgresProblem.isEmpty())
        return QString();
    const QString database = m_postgres.createDatabase(&m_postgresProblem);
    return database.isEmpty() ? QString() : m_postgres.address(database);
}

void tst_ClientProcess::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix")));
    const TestHttpHeaders modified = {{"Last-Modified", "Tue, 02 Jan 2024 10:00:00 GMT"}};
    m_server.setResponse(
        "/world.xml", TestHttpResponse::ok(rss("World", {"w1", "w2", "w3"}), modified));
    m_server.setResponse(
        "/tech.xml", TestHttpResponse::ok(rss("Tech news", {"t1", "t2"}), modified));
    const QByteArray links = "<link rel=alternate type='application/rss+xml; charset=utf-8' "
                             "href=world.xml title='World &raquo; All'>"
                             "<link rel=alternate type=application/atom+xml href=//feeds.test/a>";
    m_server.setResponse("/site/index.html",
        TestHttpResponse::ok("<html><head>" + links + "</head></html>",
            {{"Content-Type", "text/html; charset=utf-8"}}));
    m_server.setResponse("/plain.html", TestHttpResponse::ok("<p>No feeds here</p>"));
    // Through a proxy the request line carries the whole address.
    m_server.setResponse("http://feeds.test/page", TestHttpResponse::ok(links));
}

void tst_ClientProcess::firstStartCreatesTheProfile()
{
    QTemporaryDir home;
    const QString log = home.filePath(QStringLiteral("messages.jsonl"));
    const Run run = runClient(
        {QStringLiteral("--home"), home.path(), QStringLiteral("--user"), QStringLiteral("4711"),
            QStringLiteral("--quit-after-sync"), QStringLiteral("--message-log"), log});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QString database = home.filePath(QStringLiteral("profiles/4711.rssdb"));
    QCOMPARE(
        rows(database,
            QStringLiteral("select name from sqlite_master where type = 'table' order by name"))
            .join(QLatin1Char(',')),
        QStringLiteral("feedhealth,feeds,feedvalidators,folder,items"));
    QCOMPARE(rows(database, QStringLiteral("select id, title from folder")),
        QStringList{QStringLiteral("1|My Feeds")});
    QCOMPARE(QDir(home.filePath(QStringLiteral("appdata"))).entryList(QDir::Files), QStringList());

    // The trace: mandator first, then feeds and settings with the country.
    QFile in(log);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QStringList sent;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QJsonObject field = o.value(QStringLiteral("fields")).toArray().at(0).toObject();
        if (o.value(QStringLiteral("event")).toString() == QLatin1String("message"))
            sent.append(QStringLiteral("%1,%2,%3=%4")
                            .arg(o.value(QStringLiteral("module")).toInt())
                            .arg(o.value(QStringLiteral("command")).toInt())
                            .arg(field.value(QStringLiteral("field")).toInt())
                            .arg(field.value(QStringLiteral("value")).toVariant().toString()));
    }
    QVERIFY2(sent.value(0).startsWith(QLatin1String("1,41,")), qPrintable(sent.join(' ')));
    QVERIFY2(sent.indexOf(QStringLiteral("41,1,732=DE")) > 0, qPrintable(sent.join(' ')));
}

void tst_ClientProcess::roundTripThroughTheServerStore_data()
{
    QTest::addColumn<bool>("postgresql");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

void tst_ClientProcess::roundTripThroughTheServerStore()
{
    QFETCH(bool, postgresql);
    QTemporaryDir root;
    const QString homeA = root.filePath(QStringLiteral("a"));
    const QString store
        = postgresql ? newDatabase() : root.filePath(QStringLiteral("shared/store.sqlite"));
    if (store.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    const QString databaseA = homeA + QStringLiteral("/profiles/21.rssdb");
    const QString settingsA = homeA + QStringLiteral("/settings/21.ini");
    const QString world = QString::fromLatin1(m_server.baseUrl() + "/world.xml");
    const QString tech = QString::fromLatin1(m_server.baseUrl() + "/tech.xml");

    // A user who already reads one feed, in a folder of their own, with a setting.
    PDir::setHomePath(homeA);
    QCOMPARE(FeedDatabase::fileFor(21), databaseA); // creates the profiles folder
    {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, databaseA));
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("insert into folder (id, title) values(2, 'Tech')")));
        QVERIFY(q.exec(QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, "
                                      "inclient) values(1, '%1', 1, -1, 2, 1)")
                           .arg(tech)));
        FeedDatabase::close(db);
    }
    QSettings(settingsA, QSettings::IniFormat).setValue(QStringLiteral("RSS/MaxItemsInViewer"), 13);

    const auto start = [&](const QString &home, const QStringList &more) {
        return runClient(QStringList{QStringLiteral("--home"), home, QStringLiteral("--user"),
                             QStringLiteral("21"), QStringLiteral("--server"), store}
            + more);
    };
    Run run = start(homeA, {QStringLiteral("--subscribe"), world, QStringLiteral("--update")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines,
        (QStringList{QStringLiteral("1\t%1\tchanged").arg(tech),
            QStringLiteral("2\t%1\tchanged").arg(world)}));
    QCOMPARE(rows(databaseA,
                 QStringLiteral("select channelid, title from items order by channelid, title"))
                 .join(QLatin1Char(',')),
        QStringLiteral("1|t1,1|t2,2|w1,2|w2,2|w3"));
    QCOMPARE(QDir(homeA + QStringLiteral("/appdata")).entryList(QDir::Files), QStringList());

    // The client's own display lists the new headlines.
    PSettings::instance()->changeUser(QStringLiteral("21"));
    {
        NewsDisplay display;
        display.setDatabaseFile(databaseA);
        display.refresh();
        for (const char *headline : {"w3", "t1"})
            QVERIFY(!display.tree()
                         ->findItems(QLatin1String(headline), Qt::MatchExactly | Qt::MatchRecursive)
                         .isEmpty());
    }

    const QString layout = QStringLiteral("select feeds.source, feeds.farmid, folder.title from "
                                          "feeds join folder on folder.id = feeds.folderid "
                                          "order by feeds.source");
    const QStringList expected = rows(databaseA, layout);
    QCOMPARE(expected.size(), 2);

    // The local database and settings are lost; the server brings everything back.
    QVERIFY(QFile::remove(databaseA));
    QVERIFY(QFile::remove(settingsA));
    run = start(homeA, {QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(databaseA, layout), expected);
    QCOMPARE(QSettings(settingsA, QSettings::IniFormat)
                 .value(QStringLiteral("RSS/MaxItemsInViewer"))
                 .toInt(),
        13);

    // A second home on the same server sees the same subscriptions, folders and settings.
    const QString homeB = root.filePath(QStringLiteral("b"));
    run = start(homeB, {QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(homeB + QStringLiteral("/profiles/21.rssdb"), layout), expected);
    QCOMPARE(QSettings(homeB + QStringLiteral("/settings/21.ini"), QSettings::IniFormat)
                 .value(QStringLiteral("RSS/MaxItemsInViewer"))
                 .toInt(),
        13);
}

void tst_ClientProcess::manyClientsShareOneDatabase()
{
    const QString store = newDatabase();
    if (store.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    // Users 31 to 34 start with one feed each that the server already knows, in
    // the server already; then two homes per user subscribe at once. The homes
    // of a user number new feeds alike, so both subscribe to the same addresses
    // in the same order: their writes meet on the same rows.
    const int users = 4;
    {
        const auto server = ServerStore::forLocation(store);
        QVERIFY2(server->open(store), qPrintable(server->errorString()));
        for (int u = 0; u < users; ++u) {
            UserRecord record;
            record.feeds.append({2, 1, QStringLiteral("Known"),
                QStringLiteral("http://127.0.0.1:9/known-%1.xml").arg(u), 3});
            record.folders.append({1, QStringLiteral("My Feeds"), {{2, 1}}});
            QVERIFY(server->addUser(31 + u, record));
        }
    }
    QTemporaryDir root;
    std::vector<std::unique_ptr<QProcess>> clients;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const auto address = [](int user, int feed) {
        return QStringLiteral("http://127.0.0.1:9/u%1-f%2.xml").arg(user).arg(feed);
    };
    for (int i = 0; i < 2 * users; ++i) {
        const int u = i % users;
        QStringList arguments = {QStringLiteral("--home"), root.filePath(QString::number(i)),
            QStringLiteral("--user"), QString::number(31 + u), QStringLiteral("--server"), store,
            QStringLiteral("--quit-after-sync")};
        for (int f = 0; f < 3; ++f) {
            arguments << QStringLiteral("--subscribe") << address(u, f);
        }
        auto client = std::make_unique<QProcess>();
        client->setProcessEnvironment(env);
        client->setProcessChannelMode(QProcess::MergedChannels);
        client->start(
            QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"), arguments);
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
        const QSet<QString> expected = {QStringLiteral("http://127.0.0.1:9/known-%1.xml").arg(u),
            address(u, 0), address(u, 1), address(u, 2)};
        QCOMPARE(sources, expected);
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
    const QString database = newDatabase();
    if (database.isEmpty())
        QSKIP(qPrintable(m_postgresProblem));
    QTemporaryDir root;
    const QString file = root.filePath(QStringLiteral("store.sqlite"));
    const QString back = root.filePath(QStringLiteral("back/store.sqlite"));
    {
        const auto server = ServerStore::forLocation(file);
        QVERIFY(server->open(file));
        for (const quint32 user : {3u, 5u}) {
            UserRecord record;
            record.settings.insert(780, int(user));
            record.feeds.append({2, 1, QStringLiteral("Mine"), QStringLiteral("http://own/"), 3});
            record.folders.append({1, QStringLiteral("My Feeds"), {{2, 1}}});
            QVERIFY(server->addUser(user, record));
        }
    }
    Run run = runClient({QStringLiteral("--copy-store"), file, database});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.trimmed(), QByteArray("Users copied: 2"));
    run = runClient({QStringLiteral("--copy-store"), database, back});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(back, QStringLiteral("select user, field, value from settings order by user")),
        (QStringList{QStringLiteral("3|780|3"), QStringLiteral("5|780|5")}));
    QCOMPARE(rows(back, QStringLiteral("select user, source from feeds order by user")),
        (QStringList{QStringLiteral("3|http://own/"), QStringLiteral("5|http://own/")}));

    // A source that is not there copies nothing and creates nothing.
    const QString missing = root.filePath(QStringLiteral("missing.sqlite"));
    run = runClient({QStringLiteral("--copy-store"), missing, back});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(missing.toLocal8Bit()), run.err.constData());
    QVERIFY(!QFile::exists(missing));

    // A database that is not there: a clear message, nothing copied.
    run = runClient({QStringLiteral("--copy-store"), file,
        QStringLiteral("postgresql://pellix@127.0.0.1:%1/nosuchdb").arg(m_postgres.port())});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("nosuchdb"), run.err.constData());
}

void tst_ClientProcess::badInputKeepsTheLocalState_data()
{
    // GARBAGE stands for a file of junk; a broken database is that junk in the profile.
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("brokenDatabase");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("offline") << QStringLiteral("--offline") << false << 0 << QString();
    QTest::newRow("corrupt store")
        << QStringLiteral("--server GARBAGE") << false << 0 << QStringLiteral("GARBAGE");
    QTest::newRow("unreachable database")
        << QStringLiteral("--server postgresql://pellix@127.0.0.1:1/news") << false << 0
        << QStringLiteral("postgresql://pellix@127.0.0.1:1/news cannot be reached");
    QTest::newRow("corrupt catalogue")
        << QStringLiteral("--catalogue GARBAGE") << false << 0 << QStringLiteral("GARBAGE");
    QTest::newRow("corrupt database")
        << QString() << true << 0 << QStringLiteral("news database could not be opened");
    QTest::newRow("corrupt database, subscribing")
        << QStringLiteral("--subscribe http://127.0.0.1:1/new.xml") << true << 0
        << QStringLiteral("8.rssdb");
    QTest::newRow("unknown flag") << QStringLiteral("--colour") << false << 2
                                  << QStringLiteral("colour");
}

void tst_ClientProcess::badInputKeepsTheLocalState()
{
    QFETCH(QString, flags);
    QFETCH(bool, brokenDatabase);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir home;
    const QString database = home.filePath(QStringLiteral("profiles/8.rssdb"));
    const QString garbage = home.filePath(QStringLiteral("garbage"));
    PDir::setHomePath(home.path());
    QCOMPARE(FeedDatabase::fileFor(8), database); // creates the profiles folder
    if (brokenDatabase) {
        writeFile(database, QByteArray(5000, '#'));
    } else {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, database));
        QVERIFY(QSqlQuery(db).exec(
            QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                           "values(1, 'http://kept/', 1, -1, 1, 1)")));
        FeedDatabase::close(db);
    }
    writeFile(garbage, QByteArray("not a store, not a catalogue\n").repeated(64));
    const QByteArray before = digest(garbage) + digest(database);

    const QString log = home.filePath(QStringLiteral("messages.jsonl"));
    QStringList args
        = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"), QStringLiteral("8"),
            QStringLiteral("--quit-after-sync"), QStringLiteral("--message-log"), log};
    for (const QString &flag : flags.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        args.append(flag == QLatin1String("GARBAGE") ? garbage : flag);
    const Run run = runClient(args);
    QVERIFY2(run.exitCode == exitCode, run.err.constData());
    message.replace(QStringLiteral("GARBAGE"), garbage);
    QVERIFY2(run.err.contains(message.toLocal8Bit()), run.err.constData());
    if (brokenDatabase) {
        QCOMPARE(digest(garbage) + digest(database), before);
        // Nothing of an unusable profile reaches the server.
        QCOMPARE(serverChanges(log), QStringList());
        // The server did not record a user it could not read: a later start adopts the
        // repaired file.
        QVERIFY(!rows(home.filePath(QStringLiteral("server/store.sqlite")),
            QStringLiteral("select user from users"))
                     .contains(QStringLiteral("8")));
    } else {
        QCOMPARE(digest(garbage), before.left(32));
        QCOMPARE(rows(database, QStringLiteral("select source from feeds")),
            QStringList{QStringLiteral("http://kept/")});
    }
}

void tst_ClientProcess::oneOwnerPerHomeAndUser()
{
    QTemporaryDir root;
    const QString home = root.filePath(QStringLiteral("home"));
    const QString appdata = home + QStringLiteral("/appdata");
    const QString database = home + QStringLiteral("/profiles/31.rssdb");
    const QString world = QString::fromLatin1(m_server.baseUrl() + "/world.xml");
    const QString tech = QString::fromLatin1(m_server.baseUrl() + "/tech.xml");
    const QStringList base = {QStringLiteral("--home"), home, QStringLiteral("--user"),
        QStringLiteral("31"), QStringLiteral("--server"), root.filePath(QStringLiteral("store"))};

    // A client that died left its pages, an old style sheet and its lock behind.
    QVERIFY(QDir().mkpath(appdata));
    QVERIFY(QDir().mkpath(home + QStringLiteral("/run")));
    writeFile(appdata + QStringLiteral("/style.css"), "/* an older build */");
    writeFile(appdata + QStringLiteral("/31_channel1_1.html"), "<html>old</html>");
    writeFile(home + QStringLiteral("/run/31.lock"),
        "999999\npellix\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    Run run = runClient(base
        + QStringList{QStringLiteral("--subscribe"), world, QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    QProcess owner;
    prepareClient(owner);
    owner.setArguments(base);
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
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(appdata + QStringLiteral("/style.css")), 20000);
    const QByteArray style = digest(appdata + QStringLiteral("/style.css"));
    QVERIFY(style != QCryptographicHash::hash("/* an older build */", QCryptographicHash::Sha256));
    QVERIFY(!QFileInfo::exists(appdata + QStringLiteral("/31_channel1_1.html")));

    // A second --update has the running client update and prints its lines.
    run = runClient(base + QStringList{QStringLiteral("--update")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // The owner's own first run may have fetched the feed already.
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^1\t%1\t(un)?changed\n$").arg(QRegularExpression::escape(world)))
                 .match(QString::fromUtf8(run.out))
                 .hasMatch(),
        run.out.constData());
    QCOMPARE(owner.state(), QProcess::Running);
    QCOMPARE(digest(appdata + QStringLiteral("/style.css")), style);

    // A second window start hands its subscription over and ends.
    run = runClient(base + QStringList{QStringLiteral("--subscribe"), tech});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QTRY_COMPARE_WITH_TIMEOUT(
        rows(database, QStringLiteral("select source from feeds order by id")),
        (QStringList{world, tech}), 20000);

    // A subscription list is not read or written behind the owner's back.
    run = runClient(base + QStringList{QStringLiteral("--export-opml"), QStringLiteral("-")});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("another pellix process"), run.err.constData());
    QVERIFY(run.out.isEmpty());

    // Another user of the same home runs beside it and keeps the shared files.
    run = runClient({QStringLiteral("--home"), home, QStringLiteral("--user"), QStringLiteral("32"),
        QStringLiteral("--offline"), QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(digest(appdata + QStringLiteral("/style.css")), style);

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
    const QString database = home.filePath(QStringLiteral("profiles/41.rssdb"));
    const QString world = QString::fromLatin1(m_server.baseUrl() + "/world.xml");
    const QStringList base = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("41"), QStringLiteral("--quit-after-sync")};
    Run run = runClient(base);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    run = runClient(
        base + QStringList{QStringLiteral("--offline"), QStringLiteral("--subscribe"), world});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(database, QStringLiteral("select source from feeds")), QStringList{world});

    run = runClient(base);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(database, QStringLiteral("select source from feeds")), QStringList{world});
    QCOMPARE(rows(home.filePath(QStringLiteral("server/store.sqlite")),
                 QStringLiteral("select source from feeds")),
        QStringList{world});
    QVERIFY(QDir(home.filePath(QStringLiteral("outbox"))).entryList(QDir::Files).isEmpty());
}

void tst_ClientProcess::lockedDatabaseFailsTheUpdate()
{
    QTemporaryDir home;
    const QStringList base = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("51"), QStringLiteral("--offline")};
    Run run = runClient(base + QStringList{QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    {
        QSqlDatabase holder
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(home.filePath(QStringLiteral("profiles/51.rssdb")));
        QVERIFY(holder.open());
        QVERIFY(QSqlQuery(holder).exec(QStringLiteral("BEGIN EXCLUSIVE")));
        run = runClient(base + QStringList{QStringLiteral("--update")});
        QSqlQuery(holder).exec(QStringLiteral("ROLLBACK"));
        holder.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("51.rssdb"), run.err.constData());
}

// Two homes of one user number the same folder differently.
void tst_ClientProcess::folderTitleClashBetweenHomes()
{
    QTemporaryDir root;
    const QString store = root.filePath(QStringLiteral("store.sqlite"));
    const QString tech = QString::fromLatin1(m_server.baseUrl() + "/tech.xml");
    const QString world = QString::fromLatin1(m_server.baseUrl() + "/world.xml");
    const auto prepare = [&](const QString &home, int folder, const QString &source, int farmid) {
        PDir::setHomePath(home);
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, FeedDatabase::fileFor(61)));
        QSqlQuery q(db);
        QVERIFY(q.exec(
            QStringLiteral("insert into folder (id, title) values(%1, 'Tech')").arg(folder)));
        QVERIFY(q.exec(QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, "
                                      "inclient) values(1, '%1', 1, %2, %3, 1)")
                           .arg(source)
                           .arg(farmid)
                           .arg(folder)));
        FeedDatabase::close(db);
    };
    const QString homeA = root.filePath(QStringLiteral("a"));
    const QString homeB = root.filePath(QStringLiteral("b"));
    prepare(homeA, 2, tech, -1);
    prepare(homeB, 3, world, -1);
    const auto start = [&](const QString &home) {
        return runClient(
            {QStringLiteral("--home"), home, QStringLiteral("--user"), QStringLiteral("61"),
                QStringLiteral("--server"), store, QStringLiteral("--quit-after-sync")});
    };
    const QString placement = QStringLiteral(
        "select feeds.source, folder.id, folder.title from feeds left join folder on "
        "folder.id = feeds.folderid order by feeds.source");
    for (const QString &home : {homeA, homeB, homeA}) {
        const Run run = start(home);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        // No feed ever lands in a folder that does not exist.
        QCOMPARE(rows(home + QStringLiteral("/profiles/61.rssdb"), placement),
            QStringList{QStringLiteral("%1|2|Tech").arg(tech)});
    }
    QCOMPARE(rows(homeB + QStringLiteral("/profiles/61.rssdb"),
                 QStringLiteral("select id, title from folder order by id")),
        (QStringList{QStringLiteral("1|My Feeds"), QStringLiteral("2|Tech")}));
}

void tst_ClientProcess::subscriptionListsWithoutAWindow()
{
    QTemporaryDir root;
    const QString store = root.filePath(QStringLiteral("shared/store.sqlite"));
    const auto start = [&](const QString &home, const QStringList &more,
                           const QString &server = QString(), const QByteArray &input = {}) {
        return runClient(
            QStringList{QStringLiteral("--home"), root.filePath(home), QStringLiteral("--user"),
                QStringLiteral("5"), QStringLiteral("--server"), server.isEmpty() ? store : server}
                + more,
            input);
    };
    const QString database = QStringLiteral("/profiles/5.rssdb");
    const QString layout = QStringLiteral("select folder.title, feeds.channeltitle, feeds.source, "
                                          "feeds.toload from feeds join folder on folder.id = "
                                          "feeds.folderid order by feeds.source");
    const QByteArray base = m_server.baseUrl();
    const QString list = root.filePath(QStringLiteral("in.opml"));
    writeFile(list,
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<opml version=\"1.0\"><head><title>"
        "Mine</title></head><body>\n<outline text=\"World\" type=\"rss\" xmlUrl=\""
            + base
            + "/world.xml\"/>\n<outline text=\"Work\"><outline text=\"Deep\">"
              "<outline text=\"Tech \xe4\" type=\"rss\" xmlUrl=\""
            + base
            + "/tech.xml\" htmlUrl=\"http://127.0.0.1/\"/></outline></outline>\n"
              "<outline text=\"No address\" type=\"rss\"/>\n</body></opml>\n");

    // Imported without waiting for the feeds: nothing is fetched yet.
    Run run = start(QStringLiteral("a"), {QStringLiteral("--import-opml"), list});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.out.contains("2 added, 0 skipped"), run.out.constData());
    QVERIFY(run.out.contains("1 refused"));
    const QStringList imported = rows(root.filePath(QStringLiteral("a")) + database, layout);
    QCOMPARE(imported,
        (QStringList{QStringLiteral("Work / Deep|Tech \u00e4|%1/tech.xml|1").arg(base.constData()),
            QStringLiteral("My Feeds|World|%1/world.xml|1").arg(base.constData())}));

    // The same list again, from standard input, adds nothing.
    QFile in(list);
    QVERIFY(in.open(QIODevice::ReadOnly));
    run = start(QStringLiteral("a"), {QStringLiteral("--import-opml"), QStringLiteral("-")},
        QString(), in.readAll());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.out.contains("0 added, 2 skipped"), run.out.constData());

    // The server heard of both: a fresh home on it gets them back.
    run = start(QStringLiteral("b"), {QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(root.filePath(QStringLiteral("b")) + database, layout).size(), 2);

    // Out to standard output, then into an empty home with a server of its own.
    run = start(QStringLiteral("a"), {QStringLiteral("--export-opml"), QStringLiteral("-")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    OpmlDocument exported;
    QVERIFY2(exported.read(run.out), qPrintable(exported.errorString()));
    QCOMPARE(exported.feeds().size(), 2);
    const QString copy = root.filePath(QStringLiteral("copy.opml"));
    writeFile(copy, run.out);
    const QString otherStore = root.filePath(QStringLiteral("other/store.sqlite"));
    run = start(QStringLiteral("c"), {QStringLiteral("--import-opml"), copy}, otherStore);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(root.filePath(QStringLiteral("c")) + database, layout), imported);
    const QString again = root.filePath(QStringLiteral("again.opml"));
    run = start(QStringLiteral("c"), {QStringLiteral("--export-opml"), again}, otherStore);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QFile written(again);
    QVERIFY(written.open(QIODevice::ReadOnly));
    OpmlDocument second;
    QVERIFY(second.read(&written));
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(second.feeds().at(i).xmlUrl, exported.feeds().at(i).xmlUrl);
        QCOMPARE(second.feeds().at(i).folder, exported.feeds().at(i).folder);
        QCOMPARE(second.feeds().at(i).htmlUrl, exported.feeds().at(i).htmlUrl);
    }

    // Refused lists change nothing and say why.
    const QString feed = root.filePath(QStringLiteral("feed.xml"));
    writeFile(feed, rss("Not a list", {"x"}));
    const QByteArray before = digest(root.filePath(QStringLiteral("a")) + database);
    for (const QString &bad : {feed, root.filePath(QStringLiteral("missing.opml"))}) {
        run = start(QStringLiteral("a"), {QStringLiteral("--import-opml"), bad});
        QCOMPARE(run.exitCode, 1);
        // The reason: what is wrong with the list, or the file that cannot be read.
        const QByteArray reason = bad == feed
            ? QByteArray("pellix: The subscription list was not "
                         "imported: The file is not an OPML")
            : "pellix: The subscription list " + bad.toLocal8Bit() + " cannot be read";
        QVERIFY2(run.err.contains(reason), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
    QCOMPARE(digest(root.filePath(QStringLiteral("a")) + database), before);
    run = start(QStringLiteral("a"),
        {QStringLiteral("--export-opml"), root.filePath(QStringLiteral("no/such/dir/x.opml"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("cannot be written"), run.err.constData());
}

void tst_ClientProcess::rememberedLanguage()
{
    // The language chosen in the menu last time names the new default folder;
    // --lang still decides for its own run.
    for (const auto &[arguments, folder] :
        {std::pair{QStringList{}, QStringLiteral("1|Meine Feeds")},
            std::pair{QStringList{"--lang", "en"}, QStringLiteral("1|My Feeds")}}) {
        QTemporaryDir home;
        {
            QSettings client(home.filePath("client.ini"), QSettings::IniFormat);
            client.setValue("language", "de");
        }
        const Run run = runClient(
            QStringList{"--home", home.path(), "--offline", "--quit-after-sync"} + arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(rows(home.filePath("profiles/1.rssdb"), "select id, title from folder"),
            QStringList{folder});
    }
}

void tst_ClientProcess::discover_data()
{
    QTest::addColumn<QStringList>("arguments"); // "%1" is the test server
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err"); // a part of the error output

    const QByteArray site = m_server.baseUrl();
    const QByteArray world = site + "/site/world.xml\tapplication/rss+xml\tWorld \xc2\xbb All\n";
    const QByteArray atom = "http://feeds.test/a\tapplication/atom+xml\thttp://feeds.test/a\n";
    QTest::newRow("page") << QStringList{"--discover", "%1/site/index.html"} << 0 << world + atom
                          << QByteArray();
    QTest::newRow("feed itself, typed without a scheme, offline")
        << QStringList{"--offline", "--discover", site.mid(7) + "/tech.xml"} << 0
        << site + "/tech.xml\tapplication/rss+xml\tTech news\n"
        << QByteArray();
    QTest::newRow("no feeds") << QStringList{"--discover", "%1/plain.html"} << 1 << QByteArray()
                              << QByteArray("no feeds found");
    QTest::newRow("http error") << QStringList{"--discover", "%1/nothing-here"} << 1 << QByteArray()
                                << QByteArray("The server answered 404 Not Found");
    QTest::newRow("nobody listening") << QStringList{"--discover", "http://127.0.0.1:1/"} << 1
                                      << QByteArray() << QByteArray("127.0.0.1:1");
    QTest::newRow("through a proxy")
        << QStringList{"--proxy", "%1", "--discover", "http://feeds.test/page"} << 0
        << "http://feeds.test/world.xml\tapplication/rss+xml\tWorld \xc2\xbb All\n" + atom
        << QByteArray();
    QTest::newRow("bad address") << QStringList{"--discover", "ftp://example.test/feed"} << 2
                                 << QByteArray() << QByteArray("--discover");
}

void tst_ClientProcess::discover()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    for (QString &argument : arguments)
        argument.replace(QLatin1String("%1"), QString::fromLatin1(m_server.baseUrl()));
    QTemporaryDir home;
    const Run run = runClient(QStringList{QStringLiteral("--home"), home.path()} + arguments);
    QCOMPARE(run.out, out);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(err), run.err.constData());
    QCOMPARE(run.err.isEmpty(), err.isEmpty());
}

void tst_ClientProcess::updateLinesArriveAsFeedsEnd()
{
    // Through a pipe, a line is there when its feed ends, not when the run ends: the
    // held feed keeps the client running while the others are already reported.
    m_server.setResponse("/quick.xml", TestHttpResponse::ok(rss("Quick", {"q1"})));
    m_server.setResponse("/gone.xml", TestHttpResponse::withStatus(404, {}, rss("Gone", {"g1"})));
    m_server.setResponse("/held.xml", TestHttpResponse::silence());
    QTemporaryDir home;
    QStringList args = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("5"), QStringLiteral("--server"), home.filePath(QStringLiteral("s.sqlite"))};
    for (const char *path : {"/quick.xml", "/gone.xml", "/held.xml", "/refused"}) {
        const QByteArray base
            = qstrcmp(path, "/refused") == 0 ? "http://127.0.0.1:1" : m_server.baseUrl();
        args << QStringLiteral("--subscribe") << QString::fromLatin1(base + path);
    }
    args << QStringLiteral("--update");

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"), args);
    QVERIFY(process.waitForStarted(10000));
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += process.readAllStandardOutput()).count('\n') >= 3, 20000);
    const bool running = process.state() == QProcess::Running;
    process.kill();
    process.waitForFinished();
    QVERIFY(running);

    QStringList lines = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &line : lines)
        line = line.section(QLatin1Char('\t'), 1); // the id depends on the order of subscribing
    lines.sort();
    QStringList expected = {m_server.baseUrl() + "/gone.xml\tfailed\tHTTP 404 Not Found",
        m_server.baseUrl() + "/quick.xml\tchanged",
        "http://127.0.0.1:1/refused\tfailed\tConnection refused"};
    expected.sort();
    QCOMPARE(lines, expected);
}

void tst_ClientProcess::secondRunTransfersNoUnchangedDocument()
{
    TestHttpServer server;
    server.setValidating(true);
    server.setResponse("/a.xml", TestHttpResponse::ok(rss("A", {"a1"}), {{"ETag", "\"a\""}}));
    server.setResponse("/b.xml",
        TestHttpResponse::ok(
            rss("B", {"b1", "b2"}), {{"Last-Modified", "Tue, 02 Jan 2024 10:00:00 GMT"}}));
    QTemporaryDir home;
    // The same command line twice, subscriptions included, as a cron job would run it.
    const QStringList args = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("6"), QStringLiteral("--server"), home.filePath(QStringLiteral("s.sqlite")),
        QStringLiteral("--subscribe"), QString::fromLatin1(server.baseUrl() + "/a.xml"),
        QStringLiteral("--subscribe"), QString::fromLatin1(server.baseUrl() + "/b.xml"),
        QStringLiteral("--update")};
    Run run = runClient(args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.count("\tchanged\n"), 2);
    QCOMPARE(server.requestCount(), 2);

    run = runClient(args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out.count("\tunchanged\n"), 2);
    QCOMPARE(server.requestCount(), 4);
    QCOMPARE(server.conditionalCount(), 2);
    QCOMPARE(server.notModifiedCount(), 2);
    QCOMPARE(rows(home.filePath(QStringLiteral("profiles/6.rssdb")),
                 QStringLiteral("select count(*) from items")),
        QStringList{QStringLiteral("3")});
}

void tst_ClientProcess::storeRefusedDuringTheRunFailsTheUpdate()
{
    // The profile opens and the feed is subscribed; then another program locks the
    // profile while the feed's document is on its way.
    TestHttpServer server;
    TestHttpResponse slow = TestHttpResponse::ok(rss("Slow", {"s1"}));
    slow.delayMs = 1500;
    server.setResponse("/slow.xml", slow);
    QTemporaryDir home;
    const QString feed = QString::fromLatin1(server.baseUrl() + "/slow.xml");
    QProcess process;
    prepareClient(process);
    process.setArguments({QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("52"), QStringLiteral("--server"), home.filePath(QStringLiteral("s.sqlite")),
        QStringLiteral("--subscribe"), feed, QStringLiteral("--update")});
    process.start();
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(server.requestCount() >= 1, 20000);
    {
        QSqlDatabase holder
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(home.filePath(QStringLiteral("profiles/52.rssdb")));
        QVERIFY(holder.open());
        QSqlQuery lock(holder);
        // A BEGIN that met the client's own write is undone before the next try.
        const auto locked = [&lock] {
            if (lock.exec(QStringLiteral("BEGIN EXCLUSIVE")))
                return true;
            lock.exec(QStringLiteral("ROLLBACK"));
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(locked(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 40000);
        lock.exec(QStringLiteral("ROLLBACK"));
        holder.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
    const QByteArray err = process.readAllStandardError();
    QCOMPARE(process.readAllStandardOutput(),
        "1\t" + feed.toUtf8() + "\tfailed\tthe news database could not be written\n");
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(err.contains("could not be stored"), err.constData());
    // Nothing half-stored: the item arrives with the next run.
    QCOMPARE(rows(home.filePath(QStringLiteral("profiles/52.rssdb")),
                 QStringLiteral("select count(*) from items")),
        QStringList{QStringLiteral("0")});
}

QTEST_MAIN(tst_ClientProcess)
#include "tst_clientprocess.moc"
