#include "pluginfixture.h"

// The plug-in's messages and the subscription changes that send them, field by field.
class tst_PluginMessages : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void notifications();
    void foldersChangedListsEveryFolder();
    void newSubscriptionsAndOwnFarmIds();
    void resubscribingSendsFeedChanged();
    void clearFeed_data();
    void clearFeed();

private:
    std::unique_ptr<PluginFixture> f;
};

void tst_PluginMessages::init()
{
    f.reset(); // the previous one first: they share the client's singletons
    f = std::make_unique<PluginFixture>();
    QVERIFY(f->signInUntilFeedsRequest() > 0);
}

void tst_PluginMessages::notifications()
{
    // FeedChanged states by toload, inclient: 1 1, 0 0 (catalogue); 1 0, 0 1 (own).
    PluginFixture::addFeed(1, "http://127.0.0.1/a", 55, 1, 1, 1, "News");
    PluginFixture::addFeed(2, "http://127.0.0.1/b", 56, 0, 0, 1, "News");
    PluginFixture::addFeed(3, "http://127.0.0.1/c", -2, 1, 0, 1, "News");
    PluginFixture::addFeed(4, "http://127.0.0.1/d", -3, 0, 1, 1, "News");
    const int from = f->router.count();
    for (int id = 1; id <= 5; ++id) // no feed 5: nothing to report
        f->plugin->renameFeed(id);
    f->plugin->itemStateChanged(2, 7, 12);
    f->plugin->newItems(5, true);
    f->plugin->newItems(5, false); // nothing new
    f->plugin->newItems(0, true); // the favourites are no feed of the client's
    f->plugin->showFeed(3);
    f->plugin->hideFeed(3);
    f->plugin->newOptions();
    QCOMPARE(f->sentSince(from),
        QStringList({"41,6 687:s1:News 657:u16:1 773:u32:55 787:u32:3",
            "41,6 687:s1:News 657:u16:1 773:u32:56 787:u32:0",
            "41,6 687:s1:News 657:u16:2 781:u32:2 774:s1:http://127.0.0.1/c 787:u32:1",
            "41,6 687:s1:News 657:u16:2 781:u32:3 774:s1:http://127.0.0.1/d 787:u32:2",
            "41,61822 0:u8:2 0:u32:7 0:u32:12", "41,61818 0:u16:1 0:i32:5", "41,61819 0:u32:3",
            "41,61820 0:u32:3", "41,61821"}));
}

void tst_PluginMessages::foldersChangedListsEveryFolder()
{
    // Titles sort like the ids, so the order does not depend on the index SQLite reads.
    PluginFixture::exec("insert into folder (id, title) values (2, 'Tech'), (5, 'Zero')");
    PluginFixture::addFeed(1, "http://127.0.0.1/a", 55, 1, 1, 1);
    PluginFixture::addFeed(2, "http://127.0.0.1/b", -1, 0, 0, 1); // unsubscribed
    PluginFixture::addFeed(3, "http://127.0.0.1/c", -2, 1, 0, 2);
    const int from = f->router.count();
    f->plugin->saveGroups();
    QCOMPARE(f->sentSince(from),
        QStringList{"41,7 782:u16:3 783:u16:1 784:s1:My Feeds 772:u16:2 657:u16:1 773:u32:55 "
                    "657:u16:2 781:u32:1 783:u16:2 784:s1:Tech 772:u16:1 657:u16:2 781:u32:2 "
                    "783:u16:5 784:s1:Zero 772:u16:0"});
}

void tst_PluginMessages::newSubscriptionsAndOwnFarmIds()
{
    int from = f->router.count();
    // As the catalogue page subscribes: with the feed's farm id.
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/new"), QStringLiteral("Catalogue"), 55);
    QCOMPARE(f->sentSince(from),
        QStringList(
            {"41,61818 0:u16:1 0:i32:1", "41,61819 0:u32:1", "41,4 657:u16:1 773:u32:55 787:u32:3",
                "41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:1 773:u32:55"}));
    QCOMPARE(PluginFixture::rows(
                 "select id, source, channeltitle, toload, folderid, inclient, farmid from feeds"),
        "1|http://127.0.0.1/new|Catalogue|1|1|1|55");

    // Own feeds count down from -1 below the lowest farmid, also once -1 is gone.
    f->plugin->saveFeed("http://127.0.0.1/a", "", -1);
    f->plugin->saveFeed("http://127.0.0.1/b", "", -1);
    ScriptedMessageBox::scriptAnswers({1, 1});
    f->plugin->clearFeed("http://127.0.0.1/a");
    from = f->router.count();
    f->plugin->saveFeed("http://127.0.0.1/c", "", -1);
    QVERIFY(f->sentSince(from).contains(
        "41,4 657:u16:2 781:u32:3 687:s1: 774:s1:http://127.0.0.1/c 787:u32:3"));
    // Without a title the views show the address until the first fetch.
    QCOMPARE(PluginFixture::rows("select id, channeltitle, farmid from feeds order by id"),
        "1|Catalogue|55;3|NULL|-2;4|NULL|-3");
}

void tst_PluginMessages::resubscribingSendsFeedChanged()
{
    PluginFixture::exec("insert into folder (id, title) values (2, 'Tech')");
    PluginFixture::addFeed(4, "http://127.0.0.1/kept", -3, 0, 0, 2, "Old title");
    PluginFixture::addItems(4, 2);
    const int from = f->router.count();
    f->plugin->saveFeed("http://127.0.0.1/kept", "New title", 99);
    QCOMPARE(f->sentSince(from),
        QStringList({"41,61818 0:u16:1 0:i32:4",
            "41,6 687:s1:Old title 657:u16:2 781:u32:3 774:s1:http://127.0.0.1/kept "
            "787:u32:1"}));
    QCOMPARE(PluginFixture::rows(
                 "select id, channeltitle, toload, folderid, inclient, farmid from feeds"),
        "4|Old title|1|2|0|-3");
    QCOMPARE(PluginFixture::count("items"), 2);
}

void tst_PluginMessages::clearFeed_data()
{
    using Answers = QList<int>;
    QTest::addColumn<int>("toload");
    QTest::addColumn<int>("inclient");
    QTest::addColumn<int>("farmid");
    QTest::addColumn<QString>("source");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QString>("feeds"); // id, toload, inclient, items afterwards

    const QString gone = "http://127.0.0.1/gone";
    const QString stop = "I do not want to receive any further messages from " + gone + ".";
    const QString drop = "Should all saved messages be deleted?";
    // Removal for good: hidden, unsubscribed while the row is still there, folders sent.
    const QString hidden = "41,61820 0:u32:3";
    const QString own = "41,5 657:u16:2 781:u32:1 774:s1:" + gone;
    const QString folders
        = "41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:1 773:u32:60";
    // Kept items: the feed stays, unsubscribed, with state 0 or 2.
    const QString changed = "41,61818 0:u16:1 0:i32:3";
    const QString state = "41,6 687:s1:Gone 657:u16:2 781:u32:1 774:s1:" + gone + " 787:u32:";
    const QStringList none;
    const QString untouched = "3|1|1|3;4|1|1|2";
    QTest::newRow("subscribed own feed")
        << 1 << 1 << -1 << gone << Answers{1, 1} << QStringList{stop, drop}
        << QStringList{hidden, own, folders} << "4|1|1|2";
    QTest::newRow("subscribed catalogue feed")
        << 1 << 1 << 55 << gone << Answers{1, 1} << QStringList{stop, drop}
        << QStringList{hidden, "41,5 657:u16:1 773:u32:55", folders} << "4|1|1|2";
    QTest::newRow("unsubscribed feed") << 0 << 1 << -1 << gone << Answers{1} << QStringList{drop}
                                       << QStringList{hidden, own, folders} << "4|1|1|2";
    QTest::newRow("keeps items, not in client")
        << 1 << 0 << -1 << gone << Answers{1, 0} << QStringList{stop, drop}
        << QStringList{changed, state + "0"} << "3|0|0|3;4|1|1|2";
    QTest::newRow("keeps items, in client")
        << 1 << 1 << -1 << gone << Answers{1, 0} << QStringList{stop, drop}
        << QStringList{changed, state + "2"} << "3|0|1|3;4|1|1|2";
    QTest::newRow("wants further messages")
        << 1 << 1 << -1 << gone << Answers{0} << QStringList{stop} << none << untouched;
    QTest::newRow("cancelled second question")
        << 1 << 1 << -1 << gone << Answers{1, 2} << QStringList{stop, drop} << none << untouched;
    QTest::newRow("unsubscribed, keeps items")
        << 0 << 1 << -1 << gone << Answers{0} << QStringList{drop} << none << "3|0|1|3;4|1|1|2";
    // Asked about as an unsubscribed feed with id 0, even when answered yes.
    QTest::newRow("unknown address") << 1 << 1 << -1 << "http://127.0.0.1/unknown" << Answers{1}
                                     << QStringList{drop} << none << untouched;
}

void tst_PluginMessages::clearFeed()
{
    QFETCH(int, toload);
    QFETCH(int, inclient);
    QFETCH(int, farmid);
    QFETCH(QString, source);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, questions);
    QFETCH(QStringList, sent);
    QFETCH(QString, feeds);

    PluginFixture::addFeed(3, "http://127.0.0.1/gone", farmid, toload, inclient, 1, "Gone");
    PluginFixture::addItems(3, 3);
    PluginFixture::addFeed(4, "http://127.0.0.1/stays", 60);
    PluginFixture::addItems(4, 2);
    // The server hears of a removal while the row is still there.
    const QString rowAndItems = "select id, toload, inclient, (select count(*) from items where "
                                "channelid = feeds.id) from feeds order by id";
    QString whenReported;
    connect(&f->router, &RecordingRouter::routed, this, [&](int index) {
        if (f->router.message(index).command() == 5)
            whenReported = PluginFixture::rows(rowAndItems);
    });

    ScriptedMessageBox::scriptAnswers(answers);
    const int from = f->router.count();
    f->plugin->clearFeed(source, false);
    QStringList asked;
    for (const ScriptedMessageBox::Asked &question : ScriptedMessageBox::asked()) {
        QVERIFY(question.title == "Delete News" && !question.hadParent);
        asked.append(question.text);
    }
    QCOMPARE(asked, questions);
    if (source == "http://127.0.0.1/gone") {
        QCOMPARE(f->sentSince(from), sent);
        if (!whenReported.isEmpty())
            QCOMPARE(whenReported, QString("3|%1|%2|3;4|1|1|2").arg(toload).arg(inclient));
    }
    QCOMPARE(PluginFixture::rows(rowAndItems), feeds);
}

QTEST_MAIN(tst_PluginMessages)
#include "tst_pluginmessages.moc"
