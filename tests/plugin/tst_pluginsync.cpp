#include "pluginfixture.h"

#include "plugin/rsssettings.h"

#include <QPair>

namespace {

struct ServerFeed
{
    int kind;
    int id;
    QString title;
    QString source;
    int state;
};

struct ServerFolder
{
    int id;
    QString title;
    QList<QPair<int, int>> feeds; // kind, id
};

using Settings = QList<QPair<quint32, int>>;

// The server's answer as the client passes it on: settings, feeds, folders.
QList<ProtocolArg> answerArgs(
    const Settings &settings, const QList<ServerFeed> &feeds, const QList<ServerFolder> &folders)
{
    Protocol p;
    p.add(775, ProtocolArg::UInt16, settings.size());
    for (const auto &setting : settings)
        p.add(setting.first, setting.first == 778 ? ProtocolArg::UInt8 : ProtocolArg::UInt16,
            setting.second);
    p.add(0, ProtocolArg::UInt16, feeds.size());
    for (const ServerFeed &feed : feeds) {
        p.add(657, ProtocolArg::UInt16, feed.kind);
        p.add(feed.kind == 1 ? 773 : 781, ProtocolArg::UInt32, feed.id);
        p.add(687, ProtocolArg::Bytes, feed.title.toUtf8());
        p.add(774, ProtocolArg::String, feed.source, 1);
        p.add(787, ProtocolArg::UInt32, feed.state);
    }
    p.add(782, ProtocolArg::UInt16, folders.size());
    for (const ServerFolder &folder : folders) {
        p.add(783, ProtocolArg::UInt16, folder.id);
        p.add(784, ProtocolArg::Bytes, folder.title.toUtf8());
        p.add(772, ProtocolArg::UInt16, folder.feeds.size());
        for (const auto &ref : folder.feeds) {
            p.add(657, ProtocolArg::UInt16, ref.first);
            p.add(ref.first == 1 ? 773 : 781, ProtocolArg::UInt32, ref.second);
        }
    }
    return p.args();
}

Protocol toProtocol(const QList<ProtocolArg> &args)
{
    Protocol p(41, 1);
    for (const ProtocolArg &arg : args)
        p.addArg(arg);
    return p;
}

const QString feedColumns
    = QStringLiteral("select id, source, channeltitle, toload, inclient, farmid, folderid "
                     "from feeds order by id");

} // namespace

class tst_PluginSync : public QObject
{
    Q_OBJECT
private slots:
    void answerWithoutFeedsEmptiesTables();
    void feedsMergeByKind();
    void catalogueIdTakesOverOwnFeed();
    void serverFoldersReplaceLocalOnes();
    void settingsMerge_data();
    void settingsMerge();
    void untitledServerLayout_data();
    void untitledServerLayout();
    void shortAnswerMergesWhatItHas_data();
    void shortAnswerMergesWhatItHas();
    void failedRequestKeepsLocalState();
    void replyWithoutMessageEndsNothing();

private:
    // Signs in, lets prepare() fill the database, answers the feeds request and
    // returns the plug-in's own messages sent in answer.
    template <typename Prepare>
    QStringList synchronise(PluginFixture &f, const QList<ProtocolArg> &answer, Prepare prepare)
    {
        QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
        const int request = f.signInUntilFeedsRequest();
        if (request < 0)
            return {QStringLiteral("no feeds request")};
        prepare();
        const int from = f.router.count();
        if (!f.router.answer(request, toProtocol(answer)) || !done.wait(5000))
            return {QStringLiteral("not synchronised")};
        QStringList own;
        for (int i = from; i < f.router.count(); ++i) {
            if (f.router.message(i).module() == 41)
                own.append(PluginFixture::describe(f.router.message(i)));
        }
        return own;
    }
};

void tst_PluginSync::answerWithoutFeedsEmptiesTables()
{
    PluginFixture f;
    const QStringList sent = synchronise(f, answerArgs({}, {}, {}), [] {
        PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), -1);
        PluginFixture::addFeed(2, QStringLiteral("http://127.0.0.1/b"), 55);
        PluginFixture::addFeed(5, QStringLiteral("http://127.0.0.1/c"), -2, 0);
        PluginFixture::addItems(1, 2);
        PluginFixture::addItems(5, 1);
    });
    QCOMPARE(sent, QStringList{"41,61818 0:u16:3 0:i32:1 0:i32:2 0:i32:5"});
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from feeds")).toInt(), 0);
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 0);
    // No folders in the answer: the local ones stay.
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title from folder")),
        QStringLiteral("1|My Feeds"));
}

void tst_PluginSync::feedsMergeByKind()
{
    PluginFixture f;
    const QList<ServerFeed> feeds
        = {{1, 55, QStringLiteral("Renamed"), QStringLiteral("http://127.0.0.1/moved"), 1},
            {1, 60, QStringLiteral("Neu – Ümlaut"), QStringLiteral("http://127.0.0.1/new"), 2},
            {2, 7, QStringLiteral("Own"), QStringLiteral("http://127.0.0.1/own"), 0},
            {2, 8, QStringLiteral("Own new"), QStringLiteral("http://127.0.0.1/ownnew"), 3},
            {2, 9, QStringLiteral("Odd state"), QStringLiteral("http://127.0.0.1/odd"), 7}};
    const QStringList sent = synchronise(f, answerArgs({}, feeds, {}), [] {
        PluginFixture::addFeed(2, QStringLiteral("http://127.0.0.1/old"), 55, 0, 0);
        PluginFixture::addFeed(4, QStringLiteral("http://127.0.0.1/own"), -1, 1, 1);
        PluginFixture::addFeed(6, QStringLiteral("http://127.0.0.1/unnamed"), 70);
        PluginFixture::addItems(6, 2);
    });
    QCOMPARE(PluginFixture::rows(feedColumns),
        QStringLiteral("2|http://127.0.0.1/moved|Renamed|1|0|55|1;"
                       "4|http://127.0.0.1/own|Own|0|0|-7|1;"
                       "7|http://127.0.0.1/new|Neu – Ümlaut|0|1|60|1;"
                       "8|http://127.0.0.1/ownnew|Own new|1|1|-8|1;"
                       "9|http://127.0.0.1/odd|Odd state|0|0|-9|1"));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 0);
    QCOMPARE(sent,
        QStringList({"41,61818 0:u16:1 0:i32:6", "41,61820 0:u32:2", "41,61820 0:u32:4",
            "41,61819 0:u32:7", "41,61819 0:u32:8", "41,61820 0:u32:9"}));
}

void tst_PluginSync::catalogueIdTakesOverOwnFeed()
{
    PluginFixture f;
    const QStringList sent = synchronise(f,
        answerArgs({},
            {{1, 55, QStringLiteral("Catalogue"), QStringLiteral("http://127.0.0.1/s"), 3}}, {}),
        [] {
            PluginFixture::exec(
                QStringLiteral("insert into folder (id, title) values (3, 'Mine')"));
            PluginFixture::addFeed(
                3, QStringLiteral("http://127.0.0.1/s"), -1, 1, 0, 3, QStringLiteral("Typed"));
            PluginFixture::addItems(3, 2);
        });
    QCOMPARE(PluginFixture::rows(feedColumns),
        QStringLiteral("3|http://127.0.0.1/s|Catalogue|1|1|55|3"));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items where channelid = 3"))
                 .toInt(),
        2);
    QCOMPARE(sent, QStringList{"41,61819 0:u32:3"});
}

void tst_PluginSync::serverFoldersReplaceLocalOnes()
{
    PluginFixture f;
    const QList<ServerFeed> feeds
        = {{1, 55, QStringLiteral("A"), QStringLiteral("http://127.0.0.1/a"), 3},
            {2, 3, QStringLiteral("B"), QStringLiteral("http://127.0.0.1/b"), 3}};
    const QList<ServerFolder> folders
        = {{2, QStringLiteral("Server"), {{1, 55}}}, {7, QStringLiteral("Renamed"), {{2, 3}}}};
    synchronise(f, answerArgs({}, feeds, folders), [] {
        PluginFixture::exec(
            QStringLiteral("insert into folder (id, title) values (4, 'Local only'), (7, 'Old')"));
        PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), 55, 1, 1, 4);
        PluginFixture::addFeed(2, QStringLiteral("http://127.0.0.1/b"), -3, 1, 1, 1);
    });
    // Folder 1 goes too when the server does not list it.
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title from folder order by id")),
        QStringLiteral("2|Server;7|Renamed"));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, folderid from feeds order by id")),
        QStringLiteral("1|2;2|7"));
}

void tst_PluginSync::settingsMerge_data()
{
    QTest::addColumn<QList<quint32>>("fields");
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<int>("optionsChanged");
    QTest::addColumn<QList<int>>("stored"); // interval, new only, client, viewer, groups

    QTest::newRow("viewer items") << QList<quint32>{780} << QList<int>{15} << 1
                                  << QList<int>{15, 0, 20, 15, 0};
    QTest::newRow("several at once") << QList<quint32>{778, 779, 780} << QList<int>{1, 25, 15} << 1
                                     << QList<int>{15, 1, 25, 15, 0};
    QTest::newRow("interval alone")
        << QList<quint32>{776} << QList<int>{30} << 0 << QList<int>{30, 0, 20, 10, 0};
    QTest::newRow("same as before")
        << QList<quint32>{779, 780} << QList<int>{20, 10} << 0 << QList<int>{15, 0, 20, 10, 0};
    QTest::newRow("ignored and unknown")
        << QList<quint32>{777, 999} << QList<int>{1, 3} << 0 << QList<int>{15, 0, 20, 10, 0};
}

void tst_PluginSync::settingsMerge()
{
    QFETCH(QList<quint32>, fields);
    QFETCH(QList<int>, values);
    QFETCH(int, optionsChanged);
    QFETCH(QList<int>, stored);
    Settings settings;
    for (int i = 0; i < fields.size(); ++i)
        settings.append({fields.at(i), values.at(i)});

    PluginFixture f;
    const QStringList sent = synchronise(f, answerArgs(settings, {}, {}), [] {});
    QCOMPARE(sent.count(QStringLiteral("41,61821")), optionsChanged);
    const QList<int> actual = {RssSettings::intValue(RssSettings::UpdateIntervall),
        RssSettings::intValue(RssSettings::NewItemsOnly),
        RssSettings::intValue(RssSettings::MaxItemsInClient),
        RssSettings::intValue(RssSettings::MaxItemsInViewer),
        RssSettings::intValue(RssSettings::InGroups)};
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
    const QList<ServerFolder> layout = {{1, QString(), {}}};
    const QStringList sent = synchronise(f, answerArgs({}, {}, layout), [] {
        PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), -1);
        PluginFixture::addItems(1, 1);
    });
    if (newDatabase) {
        // A server without a layout takes the local one.
        QCOMPARE(sent,
            QStringList{"41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 "
                        "657:u16:2 781:u32:1"});
        QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from feeds")).toInt(), 1);
        QCOMPARE(PluginFixture::rows(QStringLiteral("select id, title from folder")),
            QStringLiteral("1|My Feeds"));
    } else {
        QCOMPARE(sent, QStringList{"41,61818 0:u16:1 0:i32:1"});
        QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from feeds")).toInt(), 0);
    }
}

void tst_PluginSync::shortAnswerMergesWhatItHas_data()
{
    QTest::addColumn<int>("keep"); // arguments left of the answer
    QTest::addColumn<int>("mangle"); // argument replaced by one of the wrong kind, or -1
    QTest::addColumn<int>("viewerItems");
    QTest::addColumn<QString>("feeds");
    QTest::addColumn<QString>("folders");

    const QString local = QStringLiteral("1|http://127.0.0.1/local|NULL|1|1|-1|4");
    const QString first = QStringLiteral(";2|http://127.0.0.1/c|Cat|1|1|55|1");
    const QString second = QStringLiteral(";3|http://127.0.0.1/o|Own|1|0|-9|1");
    const QString localFolders = QStringLiteral("1|My Feeds;4|Local");
    // 2 settings arguments, 11 of feeds, 8 of folders.
    QTest::newRow("empty") << 0 << -1 << 10 << local << localFolders;
    QTest::newRow("settings only") << 2 << -1 << 15 << local << localFolders;
    QTest::newRow("first feed") << 8 << -1 << 15 << local + first << localFolders;
    QTest::newRow("inside second feed") << 11 << -1 << 15 << local + first << localFolders;
    QTest::newRow("without folders") << 13 << -1 << 15 << local + first + second << localFolders;
    QTest::newRow("inside folder references")
        << 19 << -1 << 15
        << QStringLiteral(
               "1|http://127.0.0.1/local|NULL|1|1|-1|4;2|http://127.0.0.1/c|Cat|1|1|55|2")
            + second
        << QStringLiteral("1|My Feeds;2|Server;4|Local");
    QTest::newRow("feed count is text") << 21 << 2 << 15 << local << localFolders;
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
        {{1, 55, QStringLiteral("Cat"), QStringLiteral("http://127.0.0.1/c"), 3},
            {2, 9, QStringLiteral("Own"), QStringLiteral("http://127.0.0.1/o"), 1}},
        {{2, QStringLiteral("Server"), {{1, 55}, {2, 9}}}});
    QCOMPARE(args.size(), 21);
    args = args.mid(0, keep);
    if (mangle == 5)
        args[mangle] = ProtocolArg(687, ProtocolArg::UInt32, 12);
    else if (mangle >= 0)
        args[mangle]
            = ProtocolArg(args.at(mangle).field(), ProtocolArg::String, QStringLiteral("2"), 1);

    PluginFixture f;
    const QStringList sent = synchronise(f, args, [] {
        PluginFixture::exec(QStringLiteral("insert into folder (id, title) values (4, 'Local')"));
        PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/local"), -1, 1, 1, 4);
        PluginFixture::addItems(1, 3);
    });
    QCOMPARE(RssSettings::intValue(RssSettings::MaxItemsInViewer), viewerItems);
    QCOMPARE(PluginFixture::rows(feedColumns), feeds);
    QCOMPARE(
        PluginFixture::rows(QStringLiteral("select id, title from folder order by id")), folders);
    // Nothing is removed on the strength of a short answer.
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 3);
    for (const QString &message : sent)
        QVERIFY2(!message.startsWith(QLatin1String("41,61818")), qPrintable(message));
}

void tst_PluginSync::failedRequestKeepsLocalState()
{
    PluginFixture f;
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), -1, 1, 0);
    const int from = f.router.count();
    QVERIFY(f.router.fail(request, 5));
    QVERIFY(done.wait(5000));
    QCOMPARE(
        PluginFixture::rows(feedColumns), QStringLiteral("1|http://127.0.0.1/a|NULL|1|0|-1|1"));
    for (int i = from; i < f.router.count(); ++i)
        QVERIFY(f.router.message(i).module() != 41);
}

void tst_PluginSync::replyWithoutMessageEndsNothing()
{
    PluginFixture f;
    QSignalSpy done(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), -1);
    const int from = f.router.count();
    QVERIFY(f.router.answerWithoutMessage(request));
    // The plug-in frees the request once it has dealt with it.
    QTRY_VERIFY(!f.router.request(request));
    QCOMPARE(done.count(), 0);
    QCOMPARE(f.router.count(), from);
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from feeds")).toInt(), 1);
}

QTEST_MAIN(tst_PluginSync)
#include "tst_pluginsync.moc"
