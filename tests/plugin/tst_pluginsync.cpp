#include "pluginfixture.h"

#include "core/rsssettings.h"
#include "testhelpers.h"
#include "testhttpserver.h"

#include <QDir>
#include <QRegularExpression>

#include <tuple>

namespace {

using Settings = QList<QPair<quint32, int>>;
using ServerFeed = std::tuple<int, int, QString, QString, int>; // kind, id, title, source, state
using ServerFolder = std::tuple<int, QString, QList<QPair<int, int>>>; // id, title, (kind, id)

// The server's answer as the client passes it on: settings, feeds, folders.
QList<ProtocolArg> answerArgs(
    const Settings &settings, const QList<ServerFeed> &feeds, const QList<ServerFolder> &folders)
{
    Protocol p;
    p.add(ProtocolField::SettingCount, ProtocolArg::UInt16, settings.size());
    for (const auto &[field, value] : settings)
        p.add(field,
            field == ProtocolField::NewItemsOnly ? ProtocolArg::UInt8 : ProtocolArg::UInt16, value);
    p.add(0, ProtocolArg::UInt16, feeds.size());
    for (const auto &[kind, id, title, source, state] : feeds) {
        p.add(ProtocolField::FeedKind, ProtocolArg::UInt16, kind)
            .add(kind == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId, ProtocolArg::UInt32,
                id);
        p.add(ProtocolField::FeedTitle, ProtocolArg::Bytes, title.toUtf8())
            .add(ProtocolField::FeedSource, ProtocolArg::String, source, 1);
        p.add(ProtocolField::FeedState, ProtocolArg::UInt32, state);
    }
    p.add(ProtocolField::FolderCount, ProtocolArg::UInt16, folders.size());
    for (const auto &[id, title, refs] : folders) {
        p.add(ProtocolField::FolderId, ProtocolArg::UInt16, id)
            .add(ProtocolField::FolderTitle, ProtocolArg::Bytes, title.toUtf8());
        p.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, refs.size());
        for (const auto &[kind, feed] : refs)
            p.add(ProtocolField::FeedKind, ProtocolArg::UInt16, kind)
                .add(kind == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId,
                    ProtocolArg::UInt32, feed);
    }
    return p.args();
}

const QString feedColumns = "select id, source, channeltitle, toload, inclient, farmid, folderid "
                            "from feeds order by id";
const QString folderColumns = "select id, title from folder order by id";

// Signs in, runs prepare(), answers the feeds request; returns the module 41 messages sent.
template <typename Prepare>
QStringList synchronise(PluginFixture &f, const QList<ProtocolArg> &answer, Prepare prepare)
{
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest();
    if (request < 0)
        return {"no feeds request"};
    prepare();
    const int from = f.router.count();
    Protocol reply(ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest);
    for (const ProtocolArg &arg : answer)
        reply.addArg(arg);
    if (!f.router.answer(request, reply) || !done.wait(5000))
        return {"not synchronised"};
    // Whatever the answer, no feed is left in a folder that does not exist.
    if (!PluginFixture::db().isOpen())
        return f.sentSince(from).filter(QRegularExpression("^41,"));
    const QString orphans = PluginFixture::rows(
        "select id, folderid from feeds where folderid not in (select id from folder)");
    QTest::qVerify(orphans.isEmpty(), "orphans.isEmpty()", qPrintable("orphaned: " + orphans),
        __FILE__, __LINE__);
    QTest::qVerify(PluginFixture::count("folder where id = 1") == 1, "default folder",
        "the default folder is gone", __FILE__, __LINE__);
    return f.sentSince(from).filter(QRegularExpression("^41,"));
}

const QByteArray document = "<rss version=\"2.0\"><channel><title>Ok</title><item><title>One"
                            "</title><link>http://127.0.0.1/1</link></item></channel></rss>";

// "id source outcome" of every report, by id.
QStringList reports(const QSignalSpy &spy)
{
    QStringList result;
    for (const QList<QVariant> &args : spy)
        result.append(
            QString("%1 %2 %3 %4")
                .arg(args.at(0).toInt())
                .arg(args.at(1).toString(), args.at(2).toString(), args.value(3).toString())
                .trimmed());
    result.sort();
    return result;
}

} // namespace

class tst_PluginSync : public QObject
{
    Q_OBJECT
private slots:
    void answerWithoutFeedsEmptiesTables();
    void feedsMergeByKind();
    void serverFoldersReplaceLocalOnes();
    void foldersMatchByIdThenTitle_data();
    void foldersMatchByIdThenTitle();
    void unusableProfileChangesNothing_data();
    void unusableProfileChangesNothing();
    void settingsMerge_data();
    void settingsMerge();
    void untitledServerLayout_data();
    void untitledServerLayout();
    void shortAnswerMergesWhatItHas_data();
    void shortAnswerMergesWhatItHas();
    void replyWithoutMessageEndsNothing();
    void updateRunsReportEveryFeed();
};

void tst_PluginSync::answerWithoutFeedsEmptiesTables()
{
    PluginFixture f;
    const QStringList sent = synchronise(f, answerArgs({}, {}, {}), [] {
        PluginFixture::addFeed(1, "http://127.0.0.1/a", -1);
        PluginFixture::addFeed(2, "http://127.0.0.1/b", 55);
        PluginFixture::addFeed(5, "http://127.0.0.1/c", -2, 0);
        PluginFixture::addItems(1, 2);
        PluginFixture::addItems(5, 1);
    });
    QCOMPARE(sent, QStringList{"41,61818 0:u16:3 0:i32:1 0:i32:2 0:i32:5"});
    QCOMPARE(PluginFixture::count("feeds") + PluginFixture::count("items"), 0);
    // No folders in the answer: the local ones stay.
    QCOMPARE(PluginFixture::rows(folderColumns), "1|My Feeds");
}

void tst_PluginSync::feedsMergeByKind()
{
    PluginFixture f;
    const QList<ServerFeed> feeds = {{1, 55, "Renamed", "http://127.0.0.1/moved", 1},
        {1, 60, "Neu – Ümlaut", "http://127.0.0.1/new", 2},
        {2, 7, "Own", "http://127.0.0.1/own", 0}, {2, 8, "Own new", "http://127.0.0.1/ownnew", 3},
        {2, 9, "Odd state", "http://127.0.0.1/odd", 7},
        {1, 65, "Catalogue", "http://127.0.0.1/typed", 3}};
    const QStringList sent = synchronise(f, answerArgs({}, feeds, {}), [] {
        PluginFixture::addFeed(2, "http://127.0.0.1/old", 55, 0, 0);
        PluginFixture::addFeed(4, "http://127.0.0.1/own", -1, 1, 1);
        PluginFixture::addFeed(6, "http://127.0.0.1/unnamed", 70);
        PluginFixture::addItems(6, 2);
        // Typed in by the user, now known to the catalogue: the row and its items stay.
        PluginFixture::addFeed(3, "http://127.0.0.1/typed", -2, 1, 0, 1, "Typed");
        PluginFixture::addItems(3, 2);
    });
    QCOMPARE(PluginFixture::rows(feedColumns),
        "2|http://127.0.0.1/moved|Renamed|1|0|55|1;"
        "3|http://127.0.0.1/typed|Catalogue|1|1|65|1;"
        "4|http://127.0.0.1/own|Own|0|0|-7|1;"
        "7|http://127.0.0.1/new|Neu – Ümlaut|0|1|60|1;"
        "8|http://127.0.0.1/ownnew|Own new|1|1|-8|1;"
        "9|http://127.0.0.1/odd|Odd state|0|0|-9|1");
    QCOMPARE(PluginFixture::rows("select distinct channelid from items"), "3");
    QCOMPARE(sent,
        QStringList({"41,61818 0:u16:1 0:i32:6", "41,61820 0:u32:2", "41,61819 0:u32:3",
            "41,61820 0:u32:4", "41,61819 0:u32:7", "41,61819 0:u32:8", "41,61820 0:u32:9"}));
}

void tst_PluginSync::serverFoldersReplaceLocalOnes()
{
    PluginFixture f;
    const QList<ServerFeed> feeds
        = {{1, 55, "A", "http://127.0.0.1/a", 3}, {2, 3, "B", "http://127.0.0.1/b", 3}};
    const QList<ServerFolder> folders = {{2, "Server", {{1, 55}}}, {7, "Renamed", {{2, 3}}}};
    synchronise(f, answerArgs({}, feeds, folders), [] {
        PluginFixture::exec("insert into folder (id, title) values (4, 'Local only'), (7, 'Old')");
        PluginFixture::addFeed(1, "http://127.0.0.1/a", 55, 1, 1, 4);
        PluginFixture::addFeed(2, "http://127.0.0.1/b", -3, 1, 1, 1);
    });
    // The default folder stays even when the server does not list it.
    QCOMPARE(PluginFixture::rows(folderColumns), "1|My Feeds;2|Server;7|Renamed");
    QCOMPARE(PluginFixture::rows("select id, folderid from feeds order by id"), "1|2;2|7");
}

void tst_PluginSync::foldersMatchByIdThenTitle_data()
{
    TestHelpers::addRows(QStringLiteral("cases/folder-matches.txt"),
        {"localFolders", "localFeeds", "server", "folders", "placement"});
}

void tst_PluginSync::foldersMatchByIdThenTitle()
{
    QFETCH(QString, localFolders);
    QFETCH(QString, localFeeds);
    QFETCH(QString, server);
    QFETCH(QString, folders);
    QFETCH(QString, placement);
    QList<ServerFolder> serverFolders; // "id|title|kind id,kind id" per line
    for (const QString &line : server.split(u'\n', Qt::SkipEmptyParts)) {
        QList<QPair<int, int>> entries;
        for (const QString &entry : line.section(u'|', 2).split(u',', Qt::SkipEmptyParts))
            entries.append({entry.section(u' ', 0, 0).toInt(), entry.section(u' ', 1).toInt()});
        serverFolders.append({line.section(u'|', 0, 0).toInt(), line.section(u'|', 1, 1), entries});
    }

    QList<ServerFeed> serverFeeds;
    for (const QString &entry : localFeeds.split(',', Qt::SkipEmptyParts)) {
        const int id = entry.section(' ', 0, 0).toInt();
        serverFeeds.append({2, id, "F", QString("http://127.0.0.1/%1").arg(id), 3});
    }
    PluginFixture f;
    synchronise(f, answerArgs({}, serverFeeds, serverFolders), [&] {
        for (const QString &entry : localFolders.split(',', Qt::SkipEmptyParts))
            PluginFixture::exec("insert into folder (id, title) values (?, ?)",
                {entry.section(' ', 0, 0).toInt(), entry.section(' ', 1)});
        for (const QString &entry : localFeeds.split(',', Qt::SkipEmptyParts)) {
            const int id = entry.section(' ', 0, 0).toInt();
            PluginFixture::addFeed(id, QString("http://127.0.0.1/%1").arg(id), -id, 1, 1,
                entry.section(' ', 1, 1).toInt());
        }
    });
    QCOMPARE(PluginFixture::rows(folderColumns), folders);
    QCOMPARE(PluginFixture::rows("select id, folderid from feeds order by id"), placement);
}

void tst_PluginSync::unusableProfileChangesNothing_data()
{
    // The profile is locked by another program, or else junk.
    TestHelpers::addBoolRows("locked", {{"junk", false}, {"locked by another program", true}});
}

void tst_PluginSync::unusableProfileChangesNothing()
{
    QFETCH(bool, locked);
    QTemporaryDir home;
    const QString file = home.filePath("profiles/4711.rssdb");
    QVERIFY(QDir().mkpath(home.filePath("profiles")));
    QSqlDatabase holder;
    if (locked) {
        holder = QSqlDatabase::addDatabase("QSQLITE", "holder");
        holder.setDatabaseName(file);
        QVERIFY(holder.open());
        QSqlQuery(holder).exec("create table t (x)");
        QVERIFY(QSqlQuery(holder).exec("BEGIN EXCLUSIVE"));
    } else {
        QFile junk(file);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        for (int i = 0; i < 256; ++i)
            junk.write(QByteArray::number(quint64(i) * 0x9E3779B97F4A7C15ULL, 36));
    }
    const auto fingerprint = [&] { return TestHelpers::readFile(file); };
    const QByteArray before = fingerprint();

    {
        PluginFixture f(home.path());
        QSignalSpy failed(f.plugin.get(), &PRSSFeedPlugin::databaseFailed);
        const QList<ServerFeed> feeds = {{2, 1, "Server", "http://127.0.0.1/server", 3}};
        const QStringList sent
            = synchronise(f, answerArgs({{780, 12}}, feeds, {{2, "Tech", {{2, 1}}}}), [] {});
        QVERIFY(!failed.isEmpty());
        QVERIFY2(failed.at(0).at(0).toString().contains(QDir::toNativeSeparators(file)),
            qPrintable(failed.at(0).at(0).toString()));

        const int from = f.router.count();
        f.plugin->saveFeed("http://127.0.0.1/new", QString(), -1);
        f.plugin->saveGroups();
        f.plugin->renameFeed(1);
        f.plugin->saveFeed(2, 3, "Own", "http://127.0.0.1/own");
        f.plugin->clearFeed("http://127.0.0.1/server");
        QCOMPARE(f.sentSince(from).filter(QRegularExpression("^41,[2-7] ")), QStringList());
        QCOMPARE(sent.filter(QRegularExpression("^41,[2-7] ")), QStringList());
        QCOMPARE(fingerprint(), before);

        if (locked) {
            QSqlQuery(holder).exec("ROLLBACK");
            holder.close();
        } else {
            // Moved aside, the profile starts afresh from the server's copy.
            QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
            const int request = f.router.count();
            const QString aside = f.plugin->startFresh();
            QVERIFY(!aside.isEmpty());
            QFile kept(aside);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), before);
            QCOMPARE(f.plugin->databaseError(), QString());
            const int feedsRequest = f.router.indexOf(41, 1, request);
            QVERIFY(feedsRequest >= 0);
            Protocol reply(41, 1);
            for (const ProtocolArg &arg : answerArgs({}, feeds, {{2, "Tech", {{2, 1}}}}))
                reply.addArg(arg);
            QVERIFY(f.router.answer(feedsRequest, reply));
            QVERIFY(done.wait(5000));
            QCOMPARE(PluginFixture::rows("select source, folderid from feeds"),
                "http://127.0.0.1/server|2");
        }
    }
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase("holder");
}

void tst_PluginSync::settingsMerge_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<int>("optionsChanged");
    QTest::addColumn<QList<int>>("stored"); // interval, new only, client, viewer, groups

    QTest::newRow("several at once") << Settings{{ProtocolField::NewItemsOnly, 1},
        {ProtocolField::MaxItemsInClient, 25}, {ProtocolField::MaxItemsInViewer, 15}}
                                     << 1 << QList<int>{15, 1, 25, 15, 0};
    QTest::newRow("interval alone")
        << Settings{{ProtocolField::UpdateInterval, 30}} << 0 << QList<int>{30, 0, 20, 10, 0};
    QTest::newRow("same as before")
        << Settings{{ProtocolField::MaxItemsInClient, 20}, {ProtocolField::MaxItemsInViewer, 10}}
        << 0 << QList<int>{15, 0, 20, 10, 0};
    QTest::newRow("ignored and unknown")
        << Settings{{ProtocolField::InGroups, 1}, {999, 3}} << 0 << QList<int>{15, 0, 20, 10, 0};
}

void tst_PluginSync::settingsMerge()
{
    QFETCH(Settings, settings);
    QFETCH(int, optionsChanged);
    QFETCH(QList<int>, stored);
    PluginFixture f;
    const QStringList sent = synchronise(f, answerArgs(settings, {}, {}), [] {});
    QCOMPARE(sent.count("41,61821"), optionsChanged);
    QList<int> actual;
    for (auto key : {RssSettings::UpdateIntervall, RssSettings::NewItemsOnly,
             RssSettings::MaxItemsInClient, RssSettings::MaxItemsInViewer, RssSettings::InGroups})
        actual.append(RssSettings::intValue(key));
    QCOMPARE(actual, stored);
}

void tst_PluginSync::untitledServerLayout_data()
{
    TestHelpers::addBoolRows(
        "newDatabase", {{"new database", true}, {"database of an earlier start", false}});
}

void tst_PluginSync::untitledServerLayout()
{
    QFETCH(bool, newDatabase);
    QTemporaryDir home;
    if (!newDatabase) {
        PluginFixture earlier(home.path());
        QVERIFY(earlier.signInUntilFeedsRequest() > 0);
    }

    PluginFixture f(home.path());
    const QStringList sent = synchronise(f, answerArgs({}, {}, {{1, QString(), {}}}), [] {
        PluginFixture::addFeed(1, "http://127.0.0.1/a", -1);
        PluginFixture::addItems(1, 1);
    });
    // A new database gives its layout to a server without one; an old one is emptied.
    QCOMPARE(sent,
        newDatabase
            ? QStringList{"41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:2 781:u32:1"}
            : QStringList{"41,61818 0:u16:1 0:i32:1"});
    QCOMPARE(PluginFixture::count("feeds"), newDatabase ? 1 : 0);
}

void tst_PluginSync::shortAnswerMergesWhatItHas_data()
{
    TestHelpers::addRows(QStringLiteral("cases/short-answers.txt"),
        {"keep", "mangle", "viewerItems", "feeds", "folders"});
}

void tst_PluginSync::shortAnswerMergesWhatItHas()
{
    QFETCH(QString, keep);
    QFETCH(QString, mangle);
    QFETCH(QString, viewerItems);
    QFETCH(QString, feeds);
    QFETCH(QString, folders);

    QList<ProtocolArg> args = answerArgs({{ProtocolField::MaxItemsInViewer, 15}},
        {{1, 55, "Cat", "http://127.0.0.1/c", 3}, {2, 9, "Own", "http://127.0.0.1/o", 1}},
        {{2, "Server", {{1, 55}, {2, 9}}}});
    QCOMPARE(args.size(), 21);
    args = args.mid(0, keep.toInt());
    if (const int at = mangle.toInt(); at == 5)
        args[at] = ProtocolArg(ProtocolField::FeedTitle, ProtocolArg::UInt32, 12);
    else if (at >= 0)
        args[at] = ProtocolArg(args.at(at).field(), ProtocolArg::String, "2", 1);

    PluginFixture f;
    const QStringList sent = synchronise(f, args, [] {
        PluginFixture::exec("insert into folder (id, title) values (4, 'Local')");
        PluginFixture::addFeed(1, "http://127.0.0.1/local", -1, 1, 1, 4);
        PluginFixture::addItems(1, 3);
    });
    QCOMPARE(RssSettings::intValue(RssSettings::MaxItemsInViewer), viewerItems.toInt());
    QCOMPARE(PluginFixture::rows(feedColumns), feeds);
    QCOMPARE(PluginFixture::rows(folderColumns), folders);
    // Nothing is removed on the strength of a short answer.
    QCOMPARE(PluginFixture::count("items"), 3);
    QCOMPARE(sent.filter("41,61818"), QStringList());
}

void tst_PluginSync::replyWithoutMessageEndsNothing()
{
    PluginFixture f;
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, "http://127.0.0.1/a", -1);
    QVERIFY(f.router.answerWithoutMessage(request));
    // The plug-in frees the request once it has dealt with it.
    QTRY_VERIFY(!f.router.request(request));
    QCOMPARE(done.count(), 0);
    QCOMPARE(PluginFixture::count("feeds"), 1);
}

// Update runs as a client that knows the plug-in by its meta-object only sees them.
void tst_PluginSync::updateRunsReportEveryFeed()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.setValidating(true);
    server.setResponse("/ok",
        TestHttpResponse::ok(document, {{"Last-Modified", "Mon, 01 Jan 2024 00:00:00 GMT"}}));
    server.setResponse("HEAD", "/dropped", TestHttpResponse::ok(QByteArray()));
    server.setResponse("GET", "/dropped", TestHttpResponse::dropped());
    const QString ok = server.url("/ok").toString();
    const QString missing = server.url("/missing").toString();
    const QString dropped = server.url("/dropped").toString();

    PluginFixture f;
    QObject *plugin = f.plugin.get();
    QSignalSpy synchronised(plugin, SIGNAL(synchronised()));
    QSignalSpy updated(plugin, SIGNAL(feedUpdated(int, QString, QString, QString)));
    QSignalSpy finished(plugin, SIGNAL(updateRunFinished()));
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, ok, -1);
    PluginFixture::addFeed(2, missing, -2);
    PluginFixture::addFeed(3, dropped, -3);
    PluginFixture::addFeed(4, server.url("/unsubscribed").toString(), -4, 0);
    QVERIFY(f.router.fail(request));
    QVERIFY(synchronised.wait(5000));
    // A failed request leaves the local feeds as they are.
    QCOMPARE(f.router.indexOf(ClientMessage::NewsModule, ClientMessage::FeedItemsChanged), -1);
    QCOMPARE(PluginFixture::count("feeds where toload = 1"), 3);

    // The first run waits for the proxy answer.
    QTRY_VERIFY(f.router.indexOf(ClientMessage::CoreModule, ClientMessage::ProxyRequest) >= 0);
    QCOMPARE(server.requestCount(), 0);
    QVERIFY(f.router.answer(
        f.router.indexOf(ClientMessage::CoreModule, ClientMessage::ProxyRequest), Protocol()));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.count(), 1);
    // A failed feed says why: its status, or what the network layer reported.
    const QString droppedReason = QStringLiteral("Connection closed");
    QCOMPARE(reports(updated),
        QStringList({"1 " + ok + " changed", "2 " + missing + " failed HTTP 404 Not Found",
            "3 " + dropped + " failed " + droppedReason}));
    QVERIFY(f.sentSince(0).contains("41,61818 0:u16:1 0:i32:1"));

    updated.clear();
    qobject_cast<NewsPluginInterface *>(plugin)->updateAllFeeds();
    QVERIFY(finished.wait(20000));
    QCOMPARE(reports(updated),
        QStringList({"1 " + ok + " unchanged", "2 " + missing + " failed HTTP 404 Not Found",
            "3 " + dropped + " failed " + droppedReason}));
    // The unchanged document was asked for with its validators and not sent again.
    QCOMPARE(server.requestCount("GET", "/ok"), 2);
    QCOMPARE(server.notModifiedCount(), 1);
}

QTEST_MAIN(tst_PluginSync)
#include "tst_pluginsync.moc"
