#include "pluginfixture.h"

// Messages of the plug-in and the subscription changes that send them, checked
// field by field against the client's protocol.
class tst_PluginMessages : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void notifications_data();
    void notifications();
    void feedSubscribedReport_data();
    void feedSubscribedReport();
    void feedChangedCarriesState_data();
    void feedChangedCarriesState();
    void foldersChangedListsEveryFolder();

    void newSubscription_data();
    void newSubscription();
    void ownFarmIdsCountDown_data();
    void ownFarmIdsCountDown();
    void ownFarmIdAfterFirstOwnFeedWasDeleted();
    void resubscribingSendsFeedChanged();
    void removalForGood_data();
    void removalForGood();
    void keepingItems_data();
    void keepingItems();
    void declinedQuestionsChangeNothing_data();
    void declinedQuestionsChangeNothing();
    void unknownAddressDeletesNothing();

private:
    std::unique_ptr<PluginFixture> f;
};

void tst_PluginMessages::init()
{
    f = std::make_unique<PluginFixture>();
    QVERIFY(f->signInUntilFeedsRequest() > 0);
}

void tst_PluginMessages::cleanup()
{
    f.reset();
}

enum Notification { ItemState, ItemsChanged, ItemsUnchanged, Favourites, Shown, Hidden, Options };

void tst_PluginMessages::notifications_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("item state") << int(ItemState)
                                << QStringList{"41,61822 0:u8:2 0:u32:7 0:u32:12"};
    QTest::newRow("items changed") << int(ItemsChanged) << QStringList{"41,61818 0:u16:1 0:i32:5"};
    QTest::newRow("nothing new") << int(ItemsUnchanged) << QStringList();
    QTest::newRow("favourites") << int(Favourites) << QStringList();
    QTest::newRow("shown in client") << int(Shown) << QStringList{"41,61819 0:u32:3"};
    QTest::newRow("hidden in client") << int(Hidden) << QStringList{"41,61820 0:u32:3"};
    QTest::newRow("options") << int(Options) << QStringList{"41,61821"};
}

void tst_PluginMessages::notifications()
{
    QFETCH(int, action);
    QFETCH(QStringList, expected);
    const int from = f->router.count();
    switch (Notification(action)) {
    case ItemState:
        f->plugin->itemStateChanged(2, 7, 12);
        break;
    case ItemsChanged:
        f->plugin->newItems(5, true);
        break;
    case ItemsUnchanged:
        f->plugin->newItems(5, false);
        break;
    case Favourites:
        f->plugin->newItems(0, true);
        break;
    case Shown:
        f->plugin->showFeed(3);
        break;
    case Hidden:
        f->plugin->hideFeed(3);
        break;
    case Options:
        f->plugin->newOptions();
        break;
    }
    QCOMPARE(f->sentSince(from), expected);
}

void tst_PluginMessages::feedSubscribedReport_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("catalogue") << 1 << 77 << ""
                               << "41,4 657:u16:1 773:u32:77 787:u32:3";
    QTest::newRow("own") << 2 << 3 << "http://127.0.0.1/own"
                         << "41,4 657:u16:2 781:u32:3 687:s1:Tech News 774:s1:http://127.0.0.1/own "
                            "787:u32:3";
}

void tst_PluginMessages::feedSubscribedReport()
{
    QFETCH(int, type);
    QFETCH(int, id);
    QFETCH(QString, source);
    QFETCH(QString, expected);
    const int from = f->router.count();
    f->plugin->saveFeed(type, id, QStringLiteral("Tech News"), source);
    QCOMPARE(f->sentSince(from), QStringList{expected});

    // The three-argument form reports without an address.
    const int next = f->router.count();
    f->plugin->saveFeed(2, 4, QStringLiteral("T"));
    QCOMPARE(
        f->sentSince(next), QStringList{"41,4 657:u16:2 781:u32:4 687:s1:T 774:s1: 787:u32:3"});
}

void tst_PluginMessages::feedChangedCarriesState_data()
{
    QTest::addColumn<qint64>("farmid");
    QTest::addColumn<int>("inclient");
    QTest::addColumn<int>("toload");
    QTest::addColumn<QString>("expected");
    QTest::newRow("catalogue, both")
        << qint64(55) << 1 << 1 << "41,6 687:s1:News 657:u16:1 773:u32:55 787:u32:3";
    QTest::newRow("catalogue, neither")
        << qint64(55) << 0 << 0 << "41,6 687:s1:News 657:u16:1 773:u32:55 787:u32:0";
    QTest::newRow("own, subscribed only") << qint64(
        -2) << 0 << 1 << "41,6 687:s1:News 657:u16:2 781:u32:2 774:s1:http://127.0.0.1/f 787:u32:1";
    QTest::newRow("own, client only") << qint64(
        -2) << 1 << 0 << "41,6 687:s1:News 657:u16:2 781:u32:2 774:s1:http://127.0.0.1/f 787:u32:2";
}

void tst_PluginMessages::feedChangedCarriesState()
{
    QFETCH(qint64, farmid);
    QFETCH(int, inclient);
    QFETCH(int, toload);
    QFETCH(QString, expected);
    PluginFixture::addFeed(9, QStringLiteral("http://127.0.0.1/f"), farmid, toload, inclient, 1,
        QStringLiteral("News"));
    const int from = f->router.count();
    f->plugin->renameFeed(9);
    f->plugin->renameFeed(10); // no such feed: nothing to report
    QCOMPARE(f->sentSince(from), QStringList{expected});
}

void tst_PluginMessages::foldersChangedListsEveryFolder()
{
    // Titles sort like the ids, so the order does not depend on the index SQLite reads.
    PluginFixture::exec(
        QStringLiteral("insert into folder (id, title) values (2, 'Tech'), (5, 'Zero')"));
    PluginFixture::addFeed(1, QStringLiteral("http://127.0.0.1/a"), 55, 1, 1, 1);
    PluginFixture::addFeed(2, QStringLiteral("http://127.0.0.1/b"), -1, 0, 0, 1); // unsubscribed
    PluginFixture::addFeed(3, QStringLiteral("http://127.0.0.1/c"), -2, 1, 0, 2);
    const int from = f->router.count();
    f->plugin->saveGroups();
    QCOMPARE(f->sentSince(from),
        QStringList{"41,7 782:u16:3 "
                    "783:u16:1 784:s1:My Feeds 772:u16:2 657:u16:1 773:u32:55 657:u16:2 "
                    "781:u32:1 "
                    "783:u16:2 784:s1:Tech 772:u16:1 657:u16:2 781:u32:2 "
                    "783:u16:5 784:s1:Zero 772:u16:0"});
}

void tst_PluginMessages::newSubscription_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("farmid");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("row");
    QTest::newRow("catalogue") << "Catalogue" << 55
                               << QStringList{"41,61818 0:u16:1 0:i32:1", "41,61819 0:u32:1",
                                      "41,4 657:u16:1 773:u32:55 787:u32:3",
                                      "41,7 782:u16:1 783:u16:1 784:s1:My Feeds "
                                      "772:u16:1 657:u16:1 773:u32:55"}
                               << "1|http://127.0.0.1/new|Catalogue|1|1|1|55";
    // Without a title the views show the address until the first fetch.
    QTest::newRow("own, untitled")
        << "" << -1
        << QStringList{"41,61818 0:u16:1 0:i32:1", "41,61819 0:u32:1",
               "41,4 657:u16:2 781:u32:1 687:s1: 774:s1:http://127.0.0.1/new 787:u32:3",
               "41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:2 "
               "781:u32:1"}
        << "1|http://127.0.0.1/new|NULL|1|1|1|-1";
}

void tst_PluginMessages::newSubscription()
{
    QFETCH(QString, title);
    QFETCH(int, farmid);
    QFETCH(QStringList, expected);
    QFETCH(QString, row);
    const int from = f->router.count();
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/new"), title, farmid);
    QCOMPARE(f->sentSince(from), expected);
    QCOMPARE(PluginFixture::rows(QStringLiteral(
                 "select id, source, channeltitle, toload, folderid, inclient, farmid from feeds")),
        row);
}

void tst_PluginMessages::ownFarmIdsCountDown_data()
{
    QTest::addColumn<QList<qint64>>("existing");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("empty table") << QList<qint64>() << qint64(-1);
    QTest::newRow("catalogue feeds only") << QList<qint64>{55, 60} << qint64(-1);
    QTest::newRow("own -1 and -2") << QList<qint64>{-1, -2} << qint64(-3);
    QTest::newRow("below the lowest") << QList<qint64>{70, -4, -1} << qint64(-5);
}

void tst_PluginMessages::ownFarmIdsCountDown()
{
    QFETCH(QList<qint64>, existing);
    QFETCH(qint64, expected);
    int id = 10;
    for (qint64 farmid : existing) {
        PluginFixture::addFeed(id, QStringLiteral("http://127.0.0.1/%1").arg(id), farmid);
        ++id;
    }
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/own"), QStringLiteral("Own"), -1);
    QCOMPARE(PluginFixture::value(
                 QStringLiteral("select farmid from feeds where source = 'http://127.0.0.1/own'"))
                 .toLongLong(),
        expected);
    // The new row takes the next id after the highest.
    QCOMPARE(PluginFixture::value(
                 QStringLiteral("select id from feeds where source = 'http://127.0.0.1/own'"))
                 .toInt(),
        existing.isEmpty() ? 1 : id);
}

void tst_PluginMessages::ownFarmIdAfterFirstOwnFeedWasDeleted()
{
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/a"), QString(), -1);
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/b"), QString(), -1);
    PMessageBox::scriptAnswers({1, 1});
    f->plugin->clearFeed(QStringLiteral("http://127.0.0.1/a"));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select source, farmid from feeds")),
        QStringLiteral("http://127.0.0.1/b|-2"));
    const int from = f->router.count();
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/c"), QString(), -1);
    QCOMPARE(PluginFixture::value(
                 QStringLiteral("select farmid from feeds where source = 'http://127.0.0.1/c'"))
                 .toInt(),
        -3);
    QVERIFY(f->sentSince(from).contains(
        "41,4 657:u16:2 781:u32:3 687:s1: 774:s1:http://127.0.0.1/c 787:u32:3"));
}

void tst_PluginMessages::resubscribingSendsFeedChanged()
{
    PluginFixture::exec(QStringLiteral("insert into folder (id, title) values (2, 'Tech')"));
    PluginFixture::addFeed(
        4, QStringLiteral("http://127.0.0.1/kept"), -3, 0, 0, 2, QStringLiteral("Old title"));
    PluginFixture::addItems(4, 2);
    const int from = f->router.count();
    f->plugin->saveFeed(QStringLiteral("http://127.0.0.1/kept"), QStringLiteral("New title"), 99);
    QCOMPARE(f->sentSince(from),
        QStringList({"41,61818 0:u16:1 0:i32:4",
            "41,6 687:s1:Old title 657:u16:2 781:u32:3 774:s1:http://127.0.0.1/kept "
            "787:u32:1"}));
    QCOMPARE(PluginFixture::rows(QStringLiteral(
                 "select id, channeltitle, toload, folderid, inclient, farmid from feeds")),
        QStringLiteral("4|Old title|1|2|0|-3"));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 2);
}

void tst_PluginMessages::removalForGood_data()
{
    QTest::addColumn<int>("toload");
    QTest::addColumn<qint64>("farmid");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QString>("unsubscribed");

    const QString stop = QStringLiteral(
        "I do not want to receive any further messages from http://127.0.0.1/gone.");
    const QString drop = QStringLiteral("Should all saved messages be deleted?");
    QTest::newRow("subscribed own feed")
        << 1 << qint64(-1) << QList<int>{1, 1} << QStringList{stop, drop}
        << "41,5 657:u16:2 781:u32:1 774:s1:http://127.0.0.1/gone";
    QTest::newRow("subscribed catalogue feed")
        << 1 << qint64(55) << QList<int>{1, 1} << QStringList{stop, drop}
        << "41,5 657:u16:1 773:u32:55";
    QTest::newRow("unsubscribed feed") << 0 << qint64(-1) << QList<int>{1} << QStringList{drop}
                                       << "41,5 657:u16:2 781:u32:1 774:s1:http://127.0.0.1/gone";
}

void tst_PluginMessages::removalForGood()
{
    QFETCH(int, toload);
    QFETCH(qint64, farmid);
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, questions);
    QFETCH(QString, unsubscribed);

    PluginFixture::addFeed(3, QStringLiteral("http://127.0.0.1/gone"), farmid, toload, 1);
    PluginFixture::addItems(3, 3);
    PluginFixture::addFeed(4, QStringLiteral("http://127.0.0.1/stays"), 60);
    PluginFixture::addItems(4, 2);

    // The server hears of the removal while the row is still there.
    QString rowWhenReported;
    connect(&f->router, &RecordingRouter::routed, this, [&](int index) {
        if (f->router.message(index).command() == 5)
            rowWhenReported = PluginFixture::rows(QStringLiteral(
                "select count(*) from items where channelid = 3 union all select count(*) "
                "from feeds where id = 3"));
    });

    PMessageBox::scriptAnswers(answers);
    const int from = f->router.count();
    f->plugin->clearFeed(QStringLiteral("http://127.0.0.1/gone"));

    QCOMPARE(f->sentSince(from),
        QStringList({"41,61820 0:u32:3", unsubscribed,
            "41,7 782:u16:1 783:u16:1 784:s1:My Feeds 772:u16:1 657:u16:1 "
            "773:u32:60"}));
    QCOMPARE(rowWhenReported, QStringLiteral("3;1"));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id from feeds")), QStringLiteral("4"));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select distinct channelid from items")),
        QStringLiteral("4"));

    QStringList asked;
    for (const PMessageBox::Asked &question : PMessageBox::asked()) {
        QCOMPARE(question.title, QStringLiteral("Delete News"));
        QVERIFY(!question.hadParent);
        asked.append(question.text);
    }
    QCOMPARE(asked, questions);
}

void tst_PluginMessages::keepingItems_data()
{
    QTest::addColumn<int>("inclient");
    QTest::addColumn<QString>("changed");
    QTest::newRow("not in client") << 0
                                   << "41,6 687:s1:Kept 657:u16:2 781:u32:2 "
                                      "774:s1:http://127.0.0.1/kept 787:u32:0";
    QTest::newRow("shown in client") << 1
                                     << "41,6 687:s1:Kept 657:u16:2 781:u32:2 "
                                        "774:s1:http://127.0.0.1/kept 787:u32:2";
}

void tst_PluginMessages::keepingItems()
{
    QFETCH(int, inclient);
    QFETCH(QString, changed);
    PluginFixture::addFeed(
        6, QStringLiteral("http://127.0.0.1/kept"), -2, 1, inclient, 1, QStringLiteral("Kept"));
    PluginFixture::addItems(6, 4);
    PMessageBox::scriptAnswers({1, 0});
    const int from = f->router.count();
    f->plugin->clearFeed(QStringLiteral("http://127.0.0.1/kept"), true);
    QCOMPARE(f->sentSince(from), QStringList({"41,61818 0:u16:1 0:i32:6", changed}));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, toload, inclient from feeds")),
        QStringLiteral("6|0|%1").arg(inclient));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 4);
}

void tst_PluginMessages::declinedQuestionsChangeNothing_data()
{
    QTest::addColumn<int>("toload");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("questions");
    QTest::newRow("does want further messages") << 1 << QList<int>{0} << 1;
    QTest::newRow("cancelled first question") << 1 << QList<int>{2} << 1;
    QTest::newRow("cancelled second question") << 1 << QList<int>{1, 2} << 2;
    QTest::newRow("unsubscribed, keeps items") << 0 << QList<int>{0} << 1;
    QTest::newRow("unsubscribed, cancelled") << 0 << QList<int>{-1} << 1;
}

void tst_PluginMessages::declinedQuestionsChangeNothing()
{
    QFETCH(int, toload);
    QFETCH(QList<int>, answers);
    QFETCH(int, questions);
    PluginFixture::addFeed(6, QStringLiteral("http://127.0.0.1/f"), -2, toload, 1);
    PluginFixture::addItems(6, 2);
    PMessageBox::scriptAnswers(answers);
    const int from = f->router.count();
    f->plugin->clearFeed(QStringLiteral("http://127.0.0.1/f"), false);
    QCOMPARE(PMessageBox::asked().size(), questions);
    QCOMPARE(f->sentSince(from), QStringList());
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, toload from feeds")),
        QStringLiteral("6|%1").arg(toload));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 2);
}

void tst_PluginMessages::unknownAddressDeletesNothing()
{
    PluginFixture::addFeed(6, QStringLiteral("http://127.0.0.1/f"), -2);
    PluginFixture::addItems(6, 2);
    PMessageBox::scriptAnswers({1});
    f->plugin->clearFeed(QStringLiteral("http://127.0.0.1/unknown"));
    // Asked as for a feed that is no longer subscribed.
    QCOMPARE(PMessageBox::asked().size(), 1);
    QCOMPARE(
        PMessageBox::asked().at(0).text, QStringLiteral("Should all saved messages be deleted?"));
    QCOMPARE(
        PluginFixture::rows(QStringLiteral("select id, toload from feeds")), QStringLiteral("6|1"));
    QCOMPARE(PluginFixture::value(QStringLiteral("select count(*) from items")).toInt(), 2);
}

QTEST_MAIN(tst_PluginMessages)
#include "tst_pluginmessages.moc"
