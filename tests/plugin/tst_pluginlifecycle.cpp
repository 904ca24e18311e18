#include "pluginfixture.h"

#include "host/psettings.h"
#include "host/pskin.h"
#include "host/wrappluginhelper.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QResource>

namespace {

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QStringList exportedNames = {QStringLiteral("arrow-right-12.gif"),
    QStringLiteral("barbg.png"), QStringLiteral("delete-12.gif"),
    QStringLiteral("feed-icon-24x24.gif"), QStringLiteral("flag-off-12.gif"),
    QStringLiteral("flag-on-12.gif"), QStringLiteral("line.png"), QStringLiteral("read-12.gif"),
    QStringLiteral("topbg.png"), QStringLiteral("unread-12.gif"), QStringLiteral("style.css")};
const QStringList exportedResources = {QStringLiteral(":/rss-arrow-right-12"),
    QStringLiteral(":/barbg"), QStringLiteral(":/delete-12"), QStringLiteral(":/feed-icon-24x24"),
    QStringLiteral(":/flag-off-12"), QStringLiteral(":/flag-on-12"), QStringLiteral(":/line"),
    QStringLiteral(":/read-12"), QStringLiteral(":/topbg"), QStringLiteral(":/unread-12"),
    QStringLiteral(":/style-1")};

} // namespace

class tst_PluginLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void newUserStartsWithMyFeeds();
    void oldFileGainsCharsetAndCurrentFileStaysUntouched();
    void secondUserReplacesTheConnection();
    void unusableDatabaseIsReportedAndLeftAlone_data();
    void unusableDatabaseIsReportedAndLeftAlone();
    void exportNeverOverwrites();
    void shutdownRemovesOnlyThisUsersFiles();
    void mandatorAnswerSelectsSkinAndRequest_data();
    void mandatorAnswerSelectsSkinAndRequest();
    void commandWithoutMessageFails_data();
    void commandWithoutMessageFails();
    void commandsWithoutWindowSucceed_data();
    void commandsWithoutWindowSucceed();
};

void tst_PluginLifecycle::cleanup()
{
    QResource::unregisterResource(PSkin::skinFile(QStringLiteral("pellix")));
    QResource::unregisterResource(PSkin::skinFile(QStringLiteral("testbrand")));
}

void tst_PluginLifecycle::newUserStartsWithMyFeeds()
{
    PluginFixture f;
    QCOMPARE(f.signInUntilFeedsRequest(4711), 1);
    QVERIFY(QFile::exists(f.home.filePath(QStringLiteral("profiles/4711.rssdb"))));
    QStringList tables = PluginFixture::db().tables(QSql::Tables);
    tables.sort();
    QCOMPARE(tables, QStringList({"feeds", "folder", "items"}));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title, expand from folder")),
        QStringLiteral("1|My Feeds|0"));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from feeds")).toInt(), 0);
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 0);
    // Settings are the user's own from now on.
    QCOMPARE(PSettings::instance()->user(), QStringLiteral("4711"));
    QVERIFY(f.plugin->databaseError().isEmpty());
    QVERIFY(WrapPluginHelper::Instance().registeredPluginIds().contains(41));
}

void tst_PluginLifecycle::oldFileGainsCharsetAndCurrentFileStaysUntouched()
{
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    const QString file = FeedDatabase::fileFor(4711);
    {
        QSqlDatabase old
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        old.setDatabaseName(file);
        QVERIFY(old.open());
        QSqlQuery q(old);
        QVERIFY(q.exec(QStringLiteral(
            "CREATE TABLE feeds (id INTEGER PRIMARY KEY, source TEXT,channeltitle TEXT, link "
            "TEXT, toload INTEGER, description TEXT, farmid INTEGER,folderid INTEGER, inclient "
            "INTEGER, expand INTEGER DEFAULT 0, UNIQUE(source))")));
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE folder (id INTEGER PRIMARY KEY, title TEXT, "
                                      "expand INTEGER DEFAULT 0, UNIQUE(title))")));
        QVERIFY(q.exec(QStringLiteral("insert into folder (id, title) values (1, 'Mine')")));
        QVERIFY(q.exec(QStringLiteral(
            "insert into feeds (id, source, toload, farmid, folderid, inclient) values "
            "(1, 'http://127.0.0.1/a', 1, -1, 1, 1), (2, 'http://127.0.0.1/b', 0, 7, 1, 0)")));
        old.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    {
        PluginFixture f(home.path());
        QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
        QCOMPARE(PluginFixture::rows(QStringLiteral("select id, charset from feeds order by id")),
            QStringLiteral("1|utf-8;2|utf-8"));
        // The folder table existed: nothing was created, the old folder stays.
        QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title from folder")),
            QStringLiteral("1|Mine"));
    }

    const QByteArray migrated = fileHash(file);
    QVERIFY(!migrated.isEmpty());
    {
        PluginFixture f(home.path());
        QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    }
    QCOMPARE(fileHash(file), migrated);
}

void tst_PluginLifecycle::secondUserReplacesTheConnection()
{
    PluginFixture f;
    QVERIFY(f.signInUntilFeedsRequest(1) > 0);
    QCOMPARE(PluginFixture::exec(
                 QStringLiteral("insert into folder (id, title) values (2, 'First user')")),
        QString());

    QVERIFY(f.signInUntilFeedsRequest(2) > 0);
    QCOMPARE(QSqlDatabase::connectionNames().count(FeedDatabase::connectionName()), 1);
    QCOMPARE(PluginFixture::db().databaseName(), FeedDatabase::fileFor(2));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title from folder")),
        QStringLiteral("1|My Feeds"));
    QCOMPARE(PSettings::instance()->user(), QStringLiteral("2"));
    QVERIFY(QFile::exists(FeedDatabase::fileFor(1)));
}

void tst_PluginLifecycle::unusableDatabaseIsReportedAndLeftAlone_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("not a database") << false;
    QTest::newRow("a directory in its place") << true;
}

void tst_PluginLifecycle::unusableDatabaseIsReportedAndLeftAlone()
{
    QFETCH(bool, directory);
    PluginFixture f;
    const QString file = FeedDatabase::fileFor(4711);
    const QByteArray garbage("This is a letter, not a database.\n");
    if (directory)
        QVERIFY(QDir().mkpath(file));
    else
        writeFile(file, garbage);

    QSignalSpy failed(f.plugin.get(), &PRSSFeedPlugin::databaseFailed);
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest(4711);
    QVERIFY(request > 0);
    QCOMPARE(failed.count(), 1);
    const QString reason = failed.at(0).at(0).toString();
    QVERIFY(!reason.isEmpty());
    QCOMPARE(f.plugin->databaseError(), reason);

    // An answer without feeds would empty a usable database; here nothing happens.
    Protocol answer;
    answer.add(775, ProtocolArg::UInt16, 0)
        .add(0, ProtocolArg::UInt16, 0)
        .add(782, ProtocolArg::UInt16, 0);
    QVERIFY(f.router.answer(request, answer));
    QVERIFY(done.wait(5000));
    QCOMPARE(f.router.indexOf(41, 61818), -1);

    f.plugin->shutdown();
    if (directory)
        QVERIFY(QFileInfo(file).isDir());
    else
        QCOMPARE(readFile(file), garbage);
}

void tst_PluginLifecycle::exportNeverOverwrites()
{
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    const QString dir = PDir::applicationDataPath(true);
    writeFile(dir + QStringLiteral("/style.css"), "body { color: red }");

    PluginFixture f(home.path());
    QCOMPARE(readFile(dir + QStringLiteral("/style.css")), QByteArray("body { color: red }"));
    for (int i = 0; i < exportedNames.size() - 1; ++i) {
        const QString target = dir + QLatin1Char('/') + exportedNames.at(i);
        // A resource that is not compiled in is skipped; the others are copied as they are.
        if (QFile::exists(exportedResources.at(i)))
            QCOMPARE(readFile(target), readFile(exportedResources.at(i)));
        else
            QVERIFY2(!QFile::exists(target), qPrintable(target));
    }

    // Shutdown removes the edited copy too, so the next start exports a fresh one.
    f.plugin->shutdown();
    for (const QString &name : exportedNames)
        QVERIFY2(!QFile::exists(dir + QLatin1Char('/') + name), qPrintable(name));
    f.plugin = std::make_unique<PRSSFeedPlugin>();
    f.plugin->initialize();
    if (QFile::exists(QStringLiteral(":/style-1")))
        QCOMPARE(
            readFile(dir + QStringLiteral("/style.css")), readFile(QStringLiteral(":/style-1")));
}

void tst_PluginLifecycle::shutdownRemovesOnlyThisUsersFiles()
{
    PluginFixture f;
    QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    const QString dir = PDir::applicationDataPath(true) + QLatin1Char('/');
    const QStringList own = {QStringLiteral("4711_channel1_1.html"),
        QStringLiteral("4711_channel0_12.html"), QStringLiteral("rss.js")};
    const QStringList others = {QStringLiteral("47_channel1_1.html"),
        QStringLiteral("14711_channel1_1.html"), QStringLiteral("4712_channel1_1.html"),
        QStringLiteral("4711_notes.html"), QStringLiteral("4711_channel1_1.htm")};
    for (const QString &name : own + others)
        writeFile(dir + name, "x");

    f.plugin->shutdown();
    for (const QString &name : own)
        QVERIFY2(!QFile::exists(dir + name), qPrintable(name));
    for (const QString &name : others)
        QVERIFY2(QFile::exists(dir + name), qPrintable(name));
    QVERIFY(!QSqlDatabase::contains(FeedDatabase::connectionName()));
}

void tst_PluginLifecycle::mandatorAnswerSelectsSkinAndRequest_data()
{
    QTest::addColumn<bool>("answered");
    QTest::addColumn<QString>("mandator");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("brandSkin");

    QTest::newRow("mandator") << true << "testbrand"
                              << "41,1 732:s1:DE 662:s1:testbrand" << true;
    QTest::newRow("empty mandator") << true << ""
                                    << "41,1 732:s1:DE 662:s1:" << false;
    QTest::newRow("failed") << false << ""
                            << "41,1 732:s1:DE" << false;
}

void tst_PluginLifecycle::mandatorAnswerSelectsSkinAndRequest()
{
    QFETCH(bool, answered);
    QFETCH(QString, mandator);
    QFETCH(QString, expected);
    QFETCH(bool, brandSkin);

    PluginFixture f;
    CPxBuddy_Administrator::Instance().signIn(4711);
    QCOMPARE(f.router.commandList(), QStringList{"1,41"});
    QVERIFY(f.router.message(0).args().isEmpty());
    // The default skin is in place once the account is ready.
    QVERIFY(QFile::exists(QStringLiteral(":/skin-marker/pellix")));

    if (answered) {
        Protocol reply;
        reply.add(0, ProtocolArg::String, mandator, 1);
        QVERIFY(f.router.answer(0, reply));
    } else {
        QVERIFY(f.router.fail(0, 7));
    }
    QTRY_COMPARE(f.router.count(), 2);
    QCOMPARE(PluginFixture::describe(f.router.message(1)), expected);
    QCOMPARE(QFile::exists(QStringLiteral(":/skin-marker/testbrand")), brandSkin);
    QCOMPARE(QFile::exists(QStringLiteral(":/skin-marker/pellix")), !brandSkin);
}

void tst_PluginLifecycle::commandWithoutMessageFails_data()
{
    QTest::addColumn<int>("command");
    for (int command : {61809, 61810, 61811, 61812, 61823})
        QTest::newRow(qPrintable(QString::number(command))) << command;
}

void tst_PluginLifecycle::commandWithoutMessageFails()
{
    QFETCH(int, command);
    PluginFixture f;
    QVERIFY(f.synchroniseWithFailure());
    const int sent = f.router.count();
    Request *request = WrapPluginHelper::Instance().deliverCommand(41, quint16(command), nullptr);
    QCOMPARE(request->outcome(), Request::Outcome::Failed);
    QCOMPARE(request->failureCode(), 82);
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    QCOMPARE(f.commandsSince(sent), QStringList());
}

void tst_PluginLifecycle::commandsWithoutWindowSucceed_data()
{
    QTest::addColumn<int>("command");
    QTest::newRow("choose dialog") << 61810;
    QTest::newRow("item state without viewer") << 61823;
}

void tst_PluginLifecycle::commandsWithoutWindowSucceed()
{
    QFETCH(int, command);
    PluginFixture f;
    QVERIFY(f.synchroniseWithFailure());
    Protocol message(41, quint16(command));
    message.add(0, ProtocolArg::UInt32, 1).add(0, ProtocolArg::UInt32, 1);
    Request *request = WrapPluginHelper::Instance().deliverCommand(41, quint16(command), &message);
    QCOMPARE(request->outcome(), Request::Outcome::Succeeded);
}

QTEST_MAIN(tst_PluginLifecycle)
#include "tst_pluginlifecycle.moc"
