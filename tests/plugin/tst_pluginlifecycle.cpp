#include "pluginfixture.h"
#include "testhelpers.h"

#include "host/pbasicdata.h"
#include "host/psettings.h"
#include "host/pskin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QResource>
#include <QTranslator>

using namespace TestHelpers;

class tst_PluginLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void newUserStartsWithMyFeedsAndSecondUserReplacesIt();
    void oldFileGainsCharsetAndCurrentFileStaysUntouched();
    void defaultFolderFollowsTheLanguage();
    void unusableDatabaseIsReportedAndLeftAlone_data();
    void unusableDatabaseIsReportedAndLeftAlone();
    void exportNeverOverwritesAndShutdownRemovesOnlyOwnFiles();
    void mandatorAnswerSelectsSkinAndRequest_data();
    void mandatorAnswerSelectsSkinAndRequest();
    void commandOutcomes_data();
    void commandOutcomes();
};

void tst_PluginLifecycle::cleanup()
{
    QResource::unregisterResource(PSkin::skinFile("pellix"));
    QResource::unregisterResource(PSkin::skinFile("testbrand"));
}

void tst_PluginLifecycle::newUserStartsWithMyFeedsAndSecondUserReplacesIt()
{
    PluginFixture f;
    QCOMPARE(f.signInUntilFeedsRequest(4711), 1);
    QVERIFY(QFile::exists(f.home.filePath("profiles/4711.rssdb")));
    QStringList tables = PluginFixture::db().tables(QSql::Tables);
    tables.sort();
    QCOMPARE(tables, QStringList({"feedhealth", "feeds", "folder", "items"}));
    QCOMPARE(PluginFixture::rows("select id, title, expand from folder"), "1|My Feeds|0");
    QCOMPARE(PluginFixture::count("feeds") + PluginFixture::count("items"), 0);
    // Settings are the user's own from now on.
    QCOMPARE(PSettings::instance()->user(), "4711");
    // The client knows the plug-in by its news interface only.
    auto *news = qobject_cast<NewsPluginInterface *>(static_cast<QObject *>(f.plugin.get()));
    QVERIFY(news);
    QCOMPARE(news->databaseError(), QString());
    // Not synchronised yet: there is no updater to run.
    news->updateAllFeeds();

    QVERIFY(PluginFixture::exec("insert into folder (id, title) values (2, 'First')").isEmpty());
    QVERIFY(f.signInUntilFeedsRequest(2) > 0);
    QCOMPARE(QSqlDatabase::connectionNames().count(FeedDatabase::connectionName()), 1);
    QCOMPARE(PluginFixture::db().databaseName(), FeedDatabase::fileFor(2));
    QCOMPARE(PluginFixture::rows("select id, title from folder"), "1|My Feeds");
    QCOMPARE(PSettings::instance()->user(), "2");
    QVERIFY(QFile::exists(FeedDatabase::fileFor(4711)));
}

void tst_PluginLifecycle::defaultFolderFollowsTheLanguage()
{
    PluginFixture f;
    QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    QTranslator german;
    QVERIFY(german.load(QStringLiteral("pellix_de"), QStringLiteral(":/i18n")));
    const auto switchTo = [&german](bool toGerman) {
        if (toGerman)
            QCoreApplication::installTranslator(&german);
        else
            QCoreApplication::removeTranslator(&german);
        PBasicData::instance().setCurrentLanguage(
            toGerman ? PLanguage("de", "Deutsch") : PLanguage("en", "English"));
        return PluginFixture::rows("select id, title from folder order by id");
    };
    QCOMPARE(switchTo(true), "1|Meine Feeds");
    QCOMPARE(switchTo(false), "1|My Feeds");
    // A profile made in another language follows when it is opened.
    PluginFixture::exec("update folder set title = 'Meine Feeds' where id = 1");
    QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    QCOMPARE(PluginFixture::rows("select title from folder"), "My Feeds");
    // A title of the user's own stays, and so does a title another folder has.
    PluginFixture::exec("update folder set title = 'Work' where id = 1");
    QCOMPARE(switchTo(true), "1|Work");
    QCOMPARE(switchTo(false), "1|Work");
    PluginFixture::exec("update folder set title = 'My Feeds' where id = 1");
    PluginFixture::exec("insert into folder (id, title) values (2, 'Meine Feeds')");
    QCOMPARE(switchTo(true), "1|My Feeds;2|Meine Feeds");
    QCOMPARE(switchTo(false), "1|My Feeds;2|Meine Feeds");
}

void tst_PluginLifecycle::oldFileGainsCharsetAndCurrentFileStaysUntouched()
{
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    const QString file = FeedDatabase::fileFor(4711);
    // A file from before the charset column.
    QVERIFY(TestHelpers::sqliteExec(file,
        {"CREATE TABLE feeds (id INTEGER PRIMARY KEY, source TEXT)",
            "CREATE TABLE folder (id INTEGER PRIMARY KEY, title TEXT)",
            "insert into folder values (1, 'Mine')",
            "insert into feeds values (1, 'http://127.0.0.1/a'), (2, 'http://127.0.0.1/b')"}));

    {
        PluginFixture f(home.path());
        QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
        QCOMPARE(
            PluginFixture::rows("select id, charset from feeds order by id"), "1|utf-8;2|utf-8");
        // The folder table existed: the old folder stays, no "My Feeds" is added.
        QCOMPARE(PluginFixture::rows("select id, title from folder"), "1|Mine");
    }
    const QByteArray migrated = readFile(file);
    QVERIFY(!migrated.isEmpty());
    {
        PluginFixture f(home.path());
        QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    }
    QCOMPARE(readFile(file), migrated);
}

void tst_PluginLifecycle::unusableDatabaseIsReportedAndLeftAlone_data()
{
    TestHelpers::addBoolRows(
        "directory", {{"not a database", false}, {"a directory in its place", true}});
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

    QSignalSpy failed(f.plugin.get(), SIGNAL(databaseFailed(QString)));
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest(4711);
    QVERIFY(request > 0);
    QCOMPARE(failed.count(), 1);
    QVERIFY(!failed.at(0).at(0).toString().isEmpty());
    QCOMPARE(f.plugin->databaseError(), failed.at(0).at(0).toString());

    // An answer without feeds, which would empty a usable database, changes nothing.
    Protocol answer;
    answer.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 0).add(0, ProtocolArg::UInt16, 0);
    QVERIFY(
        f.router.answer(request, answer.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 0)));
    QVERIFY(done.wait(5000));
    QCOMPARE(f.router.indexOf(ClientMessage::NewsModule, ClientMessage::FeedItemsChanged), -1);
    f.plugin->shutdown();
    if (directory)
        QVERIFY(QFileInfo(file).isDir());
    else
        QCOMPARE(readFile(file), garbage);
}

void tst_PluginLifecycle::exportNeverOverwritesAndShutdownRemovesOnlyOwnFiles()
{
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    const QString dir = PDir::applicationDataPath(true) + '/';
    writeFile(dir + "style.css", "body { color: red }");

    PluginFixture f(home.path());
    QCOMPARE(QDir(dir).entryList(QDir::Files).size(), 11);
    QCOMPARE(readFile(dir + "style.css"), QByteArray("body { color: red }"));
    QVERIFY(!readFile(":/barbg").isEmpty());
    QCOMPARE(readFile(dir + "barbg.png"), readFile(":/barbg"));

    QVERIFY(f.signInUntilFeedsRequest(4711) > 0);
    const QStringList own = {"4711_channel1_1.html", "4711_channel0_12.html", "rss.js"};
    QStringList others = {"14711_channel1_1.html", "4711_channel1_1.htm", "4711_notes.html",
        "4712_channel1_1.html", "47_channel1_1.html"};
    for (const QString &name : own + others)
        writeFile(dir + name, "x");

    // The exported files go too, the edited one included: the next start exports afresh.
    f.plugin->shutdown();
    QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), others);
    QVERIFY(!QSqlDatabase::contains(FeedDatabase::connectionName()));
}

void tst_PluginLifecycle::mandatorAnswerSelectsSkinAndRequest_data()
{
    QTest::addColumn<QString>("mandator"); // null: the request fails
    QTest::addColumn<QString>("expected");
    QTest::newRow("mandator") << "testbrand"
                              << "41,1 732:s1:DE 662:s1:testbrand";
    QTest::newRow("empty mandator") << ""
                                    << "41,1 732:s1:DE 662:s1:";
    QTest::newRow("failed") << QString() << "41,1 732:s1:DE";
}

void tst_PluginLifecycle::mandatorAnswerSelectsSkinAndRequest()
{
    QFETCH(QString, mandator);
    QFETCH(QString, expected);
    const bool brandSkin = !mandator.isEmpty();

    PluginFixture f;
    CPxBuddy_Administrator::Instance().signIn(4711);
    QCOMPARE(f.sentSince(0), QStringList{"1,41"});
    // The default skin is in place once the account is ready.
    QVERIFY(QFile::exists(":/skin-marker/pellix"));

    if (!mandator.isNull()) {
        Protocol reply;
        reply.add(0, ProtocolArg::String, mandator, 1);
        QVERIFY(f.router.answer(0, reply));
    } else {
        QVERIFY(f.router.fail(0, 7));
    }
    QTRY_COMPARE(f.router.count(), 2);
    QCOMPARE(PluginFixture::describe(f.router.message(1)), expected);
    QCOMPARE(QFile::exists(":/skin-marker/testbrand"), brandSkin);
    QCOMPARE(QFile::exists(":/skin-marker/pellix"), !brandSkin);
}

void tst_PluginLifecycle::commandOutcomes_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("message");
    QTest::addColumn<QString>("outcome");
    for (int command : {ClientMessage::OpenSubscriptionWizard, ClientMessage::OpenChooseDialog,
             ClientMessage::OpenSettings, ClientMessage::OpenViewer,
             ClientMessage::ItemStateChanged})
        QTest::addRow("%d without message", command)
            << command << false << QString("failed %1").arg(ClientMessage::NoMessage);
    QTest::newRow("choose dialog") << int(ClientMessage::OpenChooseDialog) << true << "succeeded";
    QTest::newRow("item state without viewer")
        << int(ClientMessage::ItemStateChanged) << true << "succeeded";
}

void tst_PluginLifecycle::commandOutcomes()
{
    QFETCH(int, command);
    QFETCH(bool, message);
    QFETCH(QString, outcome);
    PluginFixture f;
    QVERIFY(f.synchroniseWithFailure());
    const int sent = f.router.count();
    QCOMPARE(PluginFixture::deliver(quint16(command), {1, 1}, message), outcome);
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
    QCOMPARE(f.sentSince(sent), QStringList());
}

QTEST_MAIN(tst_PluginLifecycle)
#include "tst_pluginlifecycle.moc"
