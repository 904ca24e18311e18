#include "client/newsdisplay.h"
#include "host/pdir.h"
#include "host/psettings.h"
#include "plugin/feeddatabase.h"

#include "testhttpserver.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

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

// Runs the real client next to this test and lets the event loop serve its requests meanwhile.
static Run runClient(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
        {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        env.remove(QLatin1String(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"), arguments);
    Run run;
    if (!process.waitForStarted(10000) || !finished.wait(60000)) {
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

static QByteArray digest(const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
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

class tst_ClientProcess : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void firstStartCreatesTheProfile();
    void roundTripThroughTheServerStore();
    void unusableFilesKeepTheLocalState_data();
    void unusableFilesKeepTheLocalState();
    void unusableDatabaseIsReported();

private:
    TestHttpServer m_server;
};

void tst_ClientProcess::initTestCase()
{
    QVERIFY(m_server.isListening());
    QVERIFY(QFileInfo::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix")));
    const TestHttpHeaders modified = {{"Last-Modified", "Tue, 02 Jan 2024 10:00:00 GMT"}};
    m_server.setResponse(
        "/world.xml", TestHttpResponse::ok(rss("World", {"w1", "w2", "w3"}), modified));
    m_server.setResponse(
        "/tech.xml", TestHttpResponse::ok(rss("Tech news", {"t1", "t2"}), modified));
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
            QStringLiteral("select name from sqlite_master where type = 'table' order by name")),
        (QStringList{QStringLiteral("feeds"), QStringLiteral("folder"), QStringLiteral("items")}));
    QCOMPARE(rows(database, QStringLiteral("select id, title from folder")),
        QStringList{QStringLiteral("1|My Feeds")});
    QCOMPARE(QDir(home.filePath(QStringLiteral("appdata"))).entryList(QDir::Files), QStringList());

    // The trace: mandator first, then feeds and settings with the country.
    QFile in(log);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QStringList sent;
    QString country;
    for (const QByteArray &line : in.readAll().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(QStringLiteral("event")).toString() != QLatin1String("message"))
            continue;
        sent.append(QStringLiteral("%1,%2")
                        .arg(o.value(QStringLiteral("module")).toInt())
                        .arg(o.value(QStringLiteral("command")).toInt()));
        if (sent.constLast() == QLatin1String("41,1")) {
            const QJsonObject field = o.value(QStringLiteral("fields")).toArray().at(0).toObject();
            if (field.value(QStringLiteral("field")).toInt() == 732)
                country = field.value(QStringLiteral("value")).toString();
        }
    }
    QVERIFY(sent.indexOf(QStringLiteral("1,41")) == 0);
    QVERIFY(sent.indexOf(QStringLiteral("41,1")) > 0);
    QCOMPARE(country, QStringLiteral("DE"));
}

void tst_ClientProcess::roundTripThroughTheServerStore()
{
    QTemporaryDir root;
    const QString homeA = root.filePath(QStringLiteral("a"));
    const QString homeB = root.filePath(QStringLiteral("b"));
    const QString store = root.filePath(QStringLiteral("shared/store.sqlite"));
    const QString databaseA = homeA + QStringLiteral("/profiles/21.rssdb");
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
        q.prepare(
            QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                           "values(1, :source, 1, -1, 2, 1)"));
        q.bindValue(QStringLiteral(":source"), tech);
        QVERIFY(q.exec());
        FeedDatabase::close(db);
    }
    const QString settingsA = homeA + QStringLiteral("/settings/21.ini");
    QSettings(settingsA, QSettings::IniFormat).setValue(QStringLiteral("RSS/MaxItemsInViewer"), 13);

    const QStringList common
        = {QStringLiteral("--user"), QStringLiteral("21"), QStringLiteral("--server"), store};
    Run run = runClient(QStringList{QStringLiteral("--home"), homeA, QStringLiteral("--subscribe"),
                            world, QStringLiteral("--update")}
        + common);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QStringList lines = QString::fromUtf8(run.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines,
        (QStringList{QStringLiteral("1\t%1\tchanged").arg(tech),
            QStringLiteral("2\t%1\tchanged").arg(world)}));
    QCOMPARE(rows(databaseA,
                 QStringLiteral("select channelid, title from items order by channelid, title")),
        (QStringList{QStringLiteral("1|t1"), QStringLiteral("1|t2"), QStringLiteral("2|w1"),
            QStringLiteral("2|w2"), QStringLiteral("2|w3")}));
    QCOMPARE(QDir(homeA + QStringLiteral("/appdata")).entryList(QDir::Files), QStringList());

    // The client's own display lists the new headlines.
    PSettings::instance()->changeUser(QStringLiteral("21"));
    {
        NewsDisplay display;
        display.setDatabaseFile(databaseA);
        display.refresh();
        QVERIFY(!display.tree()
                     ->findItems(QStringLiteral("w3"), Qt::MatchExactly | Qt::MatchRecursive)
                     .isEmpty());
        QVERIFY(!display.tree()
                     ->findItems(QStringLiteral("t1"), Qt::MatchExactly | Qt::MatchRecursive)
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
    run = runClient(
        QStringList{QStringLiteral("--home"), homeA, QStringLiteral("--quit-after-sync")} + common);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(databaseA, layout), expected);
    QCOMPARE(QSettings(settingsA, QSettings::IniFormat)
                 .value(QStringLiteral("RSS/MaxItemsInViewer"))
                 .toInt(),
        13);

    // A second home on the same server sees the same subscriptions and folders.
    run = runClient(
        QStringList{QStringLiteral("--home"), homeB, QStringLiteral("--quit-after-sync")} + common);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(rows(homeB + QStringLiteral("/profiles/21.rssdb"), layout), expected);
}

void tst_ClientProcess::unusableFilesKeepTheLocalState_data()
{
    QTest::addColumn<QString>("flag");
    QTest::newRow("offline") << QStringLiteral("--offline");
    QTest::newRow("corrupt store") << QStringLiteral("--server");
    QTest::newRow("corrupt catalogue") << QStringLiteral("--catalogue");
}

void tst_ClientProcess::unusableFilesKeepTheLocalState()
{
    QFETCH(QString, flag);
    QTemporaryDir home;
    const QString database = home.filePath(QStringLiteral("profiles/8.rssdb"));
    PDir::setHomePath(home.path());
    QCOMPARE(FeedDatabase::fileFor(8), database);
    {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, database));
        QVERIFY(QSqlQuery(db).exec(
            QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, inclient) "
                           "values(1, 'http://kept/', 1, -1, 1, 1)")));
        FeedDatabase::close(db);
    }
    const QString garbage = home.filePath(QStringLiteral("garbage"));
    QFile f(garbage);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("not a store, not a catalogue\n").repeated(64));
    f.close();
    const QByteArray before = digest(garbage);

    QStringList args = {QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("8"), QStringLiteral("--quit-after-sync"), flag};
    if (flag != QLatin1String("--offline"))
        args.append(garbage);
    const Run run = runClient(args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    if (flag != QLatin1String("--offline")) {
        QVERIFY2(run.err.contains(garbage.toLocal8Bit()), run.err.constData());
        QCOMPARE(digest(garbage), before);
    }
    QCOMPARE(rows(database, QStringLiteral("select source from feeds")),
        QStringList{QStringLiteral("http://kept/")});
}

void tst_ClientProcess::unusableDatabaseIsReported()
{
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("profiles")));
    const QString database = home.filePath(QStringLiteral("profiles/9.rssdb"));
    QFile f(database);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(5000, '#'));
    f.close();
    const QByteArray before = digest(database);
    const Run run = runClient({QStringLiteral("--home"), home.path(), QStringLiteral("--user"),
        QStringLiteral("9"), QStringLiteral("--quit-after-sync")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY2(run.err.contains("news database could not be opened"), run.err.constData());
    QCOMPARE(digest(database), before);
    // The server did not record a user it could not read: a later start adopts the repaired file.
    QVERIFY(!rows(home.filePath(QStringLiteral("server/store.sqlite")),
        QStringLiteral("select user from users"))
                 .contains(QStringLiteral("9")));
}

QTEST_MAIN(tst_ClientProcess)
#include "tst_clientprocess.moc"
