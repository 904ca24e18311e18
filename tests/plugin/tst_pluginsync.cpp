#include "pluginfixture.h"

#include "plugin/rsssettings.h"
#include "testhttpserver.h"

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
    p.add(775, ProtocolArg::UInt16, settings.size());
    for (const auto &[field, value] : settings)
        p.add(field, field == 778 ? ProtocolArg::UInt8 : ProtocolArg::UInt16, value);
    p.add(0, ProtocolArg::UInt16, feeds.size());
    for (const auto &[kind, id, title, source, state] : feeds) {
        p.add(657, ProtocolArg::UInt16, kind).add(kind == 1 ? 773 : 781, ProtocolArg::UInt32, id);
        p.add(687, ProtocolArg::Bytes, title.toUtf8()).add(774, ProtocolArg::String, source, 1);
        p.add(787, ProtocolArg::UInt32, state);
    }
    p.add(782, ProtocolArg::UInt16, folders.size());
    for (const auto &[id, title, refs] : folders) {
        p.add(783, ProtocolArg::UInt16, id).add(784, ProtocolArg::Bytes, title.toUtf8());
        p.add(772, ProtocolArg::UInt16, refs.size());
        for (const auto &[kind, feed] : refs)
            p.add(657, ProtocolArg::UInt16, kind)
                .add(kind == 1 ? 773 : 781, ProtocolArg::UInt32, feed);
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
    Protocol reply(41, 1);
    for (const ProtocolArg &arg : answer)
        reply.addArg(arg);
    if (!f.router.answer(request, reply) || !done.wait(5000))
        return {"not synchronised"};
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
    // Folder 1 goes too when the server does not list it.
    QCOMPARE(PluginFixture::rows(folderColumns), "2|Server;7|Renamed");
    QCOMPARE(PluginFixture::rows("select id, folderid from feeds order by id"), "1|2;2|7");
}

void tst_PluginSync::settingsMerge_data()
{
    QTest::addColumn<Settings>("settings");
    QTest::addColumn<int>("optionsChanged");
    QTest::addColumn<QList<int>>("stored"); // interval, new only, client, viewer, groups

    QTest::newRow("several at once")
        << Settings{{778, 1}, {779, 25}, {780, 15}} << 1 << QList<int>{15, 1, 25, 15, 0};
    QTest::newRow("interval alone") << Settings{{776, 30}} << 0 << QList<int>{30, 0, 20, 10, 0};
    QTest::newRow("same as before")
        << Settings{{779, 20}, {780, 10}} << 0 << QList<int>{15, 0, 20, 10, 0};
    QTest::newRow("ignored and unknown")
        << Settings{{777, 1}, {999, 3}} << 0 << QList<int>{15, 0, 20, 10, 0};
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
    QTest::addColumn<bool>("newDatabase");
    QTest::newRow("new database") << true;
    QTest::newRow("database of an earlier start") << false;
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
    QTest::addColumn<int>("keep"); // arguments left of the answer
    QTest::addColumn<int>("mangle"); // argument replaced by one of the wrong kind, or -1
    QTest::addColumn<int>("viewerItems");
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QString>("folders");

    const QString local = "1|http://127.0.0.1/local|NULL|1|1|-1|4";
    const QString first = ";2|http://127.0.0.1/c|Cat|1|1|55|1";
    const QString second = ";3|http://127.0.0.1/o|Own|1|0|-9|1";
    const QString localFolders = "1|My Feeds;4|Local";
    // 2 settings arguments, 11 of feeds, 8 of folders.
    QTest::newRow("empty") << 0 << -1 << 10 << local << localFolders;
    QTest::newRow("inside second feed") << 11 << -1 << 15 << local + first << localFolders;
    QTest::newRow("without folders") << 13 << -1 << 15 << local + first + second << localFolders;
    QTest::newRow("inside folder references")
        << 19 << -1 << 15 << local + ";2|http://127.0.0.1/c|Cat|1|1|55|2" + second
        << "1|My Feeds;2|Server;4|Local";
    QTest::newRow("title is a number") << 21 << 5 << 15 << local << localFolders;
    QTest::newRow("setting is text") << 21 << 1 << 10 << local << localFolders;
}

void tst_PluginSync::shortAnswerMergesWhatItHas()
{
    QFETCH(int, keep);
    QFETCH(int, mangle);
    QFETCH(int, viewerItems);
    QFETCH(QString, feeds);
    QFETCH(QString, folders);

    QList<ProtocolArg> args = answerArgs({{780, 15}},
        {{1, 55, "Cat", "http://127.0.0.1/c", 3}, {2, 9, "Own", "http://127.0.0.1/o", 1}},
        {{2, "Server", {{1, 55}, {2, 9}}}});
    QCOMPARE(args.size(), 21);
    args = args.mid(0, keep);
    if (mangle == 5)
        args[mangle] = ProtocolArg(687, ProtocolArg::UInt32, 12);
    else if (mangle >= 0)
        args[mangle] = ProtocolArg(args.at(mangle).field(), ProtocolArg::String, "2", 1);

    PluginFixture f;
    const QStringList sent = synchronise(f, args, [] {
        PluginFixture::exec("insert into folder (id, title) values (4, 'Local')");
        PluginFixture::addFeed(1, "http://127.0.0.1/local", -1, 1, 1, 4);
        PluginFixture::addItems(1, 3);
    });
    QCOMPARE(RssSettings::intValue(RssSettings::MaxItemsInViewer), viewerItems);
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
    QCOMPARE(f.router.indexOf(41, 61818), -1);
    QCOMPARE(PluginFixture::count("feeds where toload = 1"), 3);

    // The first run waits for the proxy answer.
    QTRY_VERIFY(f.router.indexOf(1, 99) >= 0);
    QCOMPARE(server.requestCount(), 0);
    QVERIFY(f.router.answer(f.router.indexOf(1, 99), Protocol()));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.count(), 1);
    // A failed feed says why: its status, or what the network layer reported.
    const QString droppedReason = QStringLiteral("Connection closed");
    QCOMPARE(reports(updated),
        QStringList({"1 " + ok + " changed", "2 " + missing + " failed HTTP 404 Not Found",
            "3 " + dropped + " failed " + droppedReason}));
    QVERIFY(f.sentSince(0).contains("41,61818 0:u16:1 0:i32:1"));

    updated.clear();
    QVERIFY(QMetaObject::invokeMethod(plugin, "updateAllFeeds"));
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
