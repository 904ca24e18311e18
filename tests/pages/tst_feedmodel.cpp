#include "host/psettings.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "plugin/rsssettings.h"
#include "tests/common/treefixture.h"
#include "tree/feedmodel.h"

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// The model tester's complaints, as warnings. The model gives the root the flags
// of an ordinary row (selectable, enabled), which the tester does not expect;
// everything else it reports is a fault.
QStringList testerFailures;
QtMessageHandler previousHandler = nullptr;

void collectTesterFailures(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, "qt.modeltest") == 0
        && type == QtWarningMsg) {
        if (!text.contains(QLatin1String("flags == Qt::ItemIsDropEnabled")))
            testerFailures << text;
        return;
    }
    if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

class TestFeedModel : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void folderOnlyDatabase();
    void feedDisplay_data();
    void feedDisplay();
    void identifiersAndAccessors();
    void buildingReplacesEveryFeedsPages();
    void itemRowsFollowTheSetting();
    void updateAnnouncesTheDifference_data();
    void updateAnnouncesTheDifference();
    void updateAddsNewFeedsOnly_data();
    void updateAddsNewFeedsOnly();
    void dragPayload();
    void dropsRefused_data();
    void dropsRefused();
    void dropMovesFeeds();
    void dropOnOwnFolder();
    void renameFeed_data();
    void renameFeed();
    void removingNodes();
    void feedsToLoad();
    void refreshAllReloadsEntriesOnly();

private:
    // A model over the fixture's database, watched by a model tester.
    FeedModel *buildModel();
    void addItems(int channel, int count, int firstItem = 1, int isread = 0);
    QModelIndex feedIndex(int folderRow, int feedRow) const;

    std::unique_ptr<TreeFixture> m_fixture;
    std::unique_ptr<FeedModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestFeedModel::initTestCase()
{
    previousHandler = qInstallMessageHandler(collectTesterFailures);
}

void TestFeedModel::init()
{
    testerFailures.clear();
    m_fixture = std::make_unique<TreeFixture>();
    QVERIFY(m_fixture->opened);
    PSettings::instance()->changeUser(QStringLiteral("model"));
}

void TestFeedModel::cleanup()
{
    QVERIFY2(testerFailures.isEmpty(), qPrintable(testerFailures.join(u'\n')));
    m_tester.reset();
    m_model.reset();
    PSettings::instance()->changeUser(QStringLiteral("default"));
    m_fixture.reset();
}

FeedModel *TestFeedModel::buildModel()
{
    m_tester.reset();
    m_model = std::make_unique<FeedModel>(&m_fixture->db);
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::Warning);
    return m_model.get();
}

void TestFeedModel::addItems(int channel, int count, int firstItem, int isread)
{
    m_fixture->exec(QStringLiteral("BEGIN"));
    for (int i = firstItem; i < firstItem + count; ++i)
        m_fixture->addItem({channel, i, QStringLiteral("Item %1").arg(i), QStringLiteral("d"), {},
            {}, 0, 0, isread});
    m_fixture->exec(QStringLiteral("COMMIT"));
}

QModelIndex TestFeedModel::feedIndex(int folderRow, int feedRow) const
{
    return m_model->index(feedRow, 0, m_model->index(folderRow, 0));
}

static QImage iconImage(const QVariant &decoration)
{
    return decoration.value<QIcon>().pixmap(12, 12).toImage();
}

void TestFeedModel::folderOnlyDatabase()
{
    FeedModel *model = buildModel();
    QCOMPARE(model->rowCount(), 1);
    const QModelIndex folder = model->index(0, 0);
    QCOMPARE(model->data(folder).toString(), QStringLiteral("My Feeds"));
    QCOMPARE(model->rowCount(folder), 1);
    const QModelIndex favorites = model->index(0, 0, folder);
    QCOMPARE(model->data(favorites).toString(), QStringLiteral("Favorites (0)"));
    QCOMPARE(model->data(favorites, Qt::UserRole).toInt(), 0);
    QVERIFY(!iconImage(model->data(favorites, Qt::DecorationRole)).isNull());
    QCOMPARE(iconImage(model->data(favorites, Qt::DecorationRole)),
        QIcon(QStringLiteral(":/unreadfeed-12")).pixmap(12, 12).toImage());
    QCOMPARE(model->columnCount(favorites), 0);
    QCOMPARE(model->rowCount(favorites), 0);
    QCOMPARE(model->flags(favorites), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QCOMPARE(
        model->flags(folder), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
    QCOMPARE(model->flags(QModelIndex()), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QVERIFY(!model->data(folder, Qt::UserRole).isValid());
}

void TestFeedModel::feedDisplay_data()
{
    QTest::addColumn<int>("unread");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("icon");
    QTest::newRow("some unread") << 3 << "T (3/25)"
                                 << ":/readfeed-12";
    QTest::newRow("all read") << 0 << "T (25)"
                              << ":/unreadfeed-12";
}

void TestFeedModel::feedDisplay()
{
    QFETCH(int, unread);
    QFETCH(QString, display);
    QFETCH(QString, icon);
    m_fixture->addFeed(7, 1, QStringLiteral("T"));
    addItems(7, 25 - unread, 1, 1);
    addItems(7, unread, 26 - unread, 0);
    FeedModel *model = buildModel();
    const QModelIndex feed = feedIndex(0, 1);
    QCOMPARE(model->data(feed).toString(), display);
    QCOMPARE(model->data(feed, Qt::UserRole).toInt(), 7);
    QCOMPARE(
        iconImage(model->data(feed, Qt::DecorationRole)), QIcon(icon).pixmap(12, 12).toImage());
    QCOMPARE(model->flags(feed), Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    const QModelIndex item = model->index(0, 0, feed);
    QCOMPARE(model->data(item).toString(), QStringLiteral("Item 25"));
    QCOMPARE(model->flags(item), Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    QVERIFY(!model->data(item, Qt::DecorationRole).isValid());
}

void TestFeedModel::identifiersAndAccessors()
{
    // Folders come in the order the database lists them, here by title.
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFolder(3, QStringLiteral("Third"));
    m_fixture->addFeed(7, 2, QStringLiteral("Seven"));
    m_fixture->addFeed(8, 2, QStringLiteral("Eight"));
    addItems(8, 3);
    FeedModel *model = buildModel();

    const QModelIndex folder = model->index(1, 0);
    const QModelIndex feed = model->index(1, 0, folder);
    const QModelIndex item = model->index(2, 0, feed);
    QCOMPARE(quint32(folder.internalId()), 0x1FFFFu);
    QCOMPARE(quint32(feed.internalId()), 0x10001u);
    QCOMPARE(quint32(item.internalId()), 0x80010001u);
    QCOMPARE(model->parent(item), feed);
    QCOMPARE(model->parent(feed), folder);
    QVERIFY(!model->parent(folder).isValid());
    QVERIFY(!model->index(0, 0, item).isValid());

    QCOMPARE(model->folderIdAt(1), 2);
    QCOMPARE(model->feedIdAt(feed), 8);
    QCOMPARE(model->feedIdAt(item), 8);
    QCOMPARE(model->titleAt(folder), QStringLiteral("Second"));
    QCOMPARE(model->titleAt(item), QStringLiteral("Eight"));
    QCOMPARE(model->linkAt(item), QStringLiteral("http://example.org/8/1"));
    QCOMPARE(model->linkAt(feed), m_fixture->page(8));
    QCOMPARE(model->pageAt(item), m_fixture->page(8));
    QCOMPARE(model->sourceAt(feed), QStringLiteral("http://example.org/feed8.xml"));
    QVERIFY(model->toLoadAt(feed));
    // A feed without items has no page; an empty folder no children.
    QCOMPARE(model->pageAt(model->index(0, 0, folder)), QStringLiteral("about:blank"));
    QCOMPARE(model->columnCount(model->index(2, 0)), 0);
    QCOMPARE(model->rowCount(model->index(2, 0)), 0);
}

void TestFeedModel::buildingReplacesEveryFeedsPages()
{
    m_fixture->addFeed(7, 1, QStringLiteral("Seven"));
    m_fixture->addFeed(8, 1, QStringLiteral("Eight"));
    addItems(7, 31);
    const QDir dir(PDir::applicationDataPath(true));
    // Left over from an earlier session: a longer set of feed 7, a set of feed 8
    // (which has no items now), and pages of a feed the tree does not show.
    for (const char *name : {"4711_channel7_1.html", "4711_channel7_5.html", "4711_channel8_1.html",
             "4711_Channel8_X.HTML", "4711_channel99_1.html"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(100000, 'x'));
    }
    FeedModel *model = buildModel();
    QStringList files = dir.entryList(QDir::Files);
    files.sort();
    QCOMPARE(files,
        QStringList({"4711_channel7_1.html", "4711_channel7_2.html", "4711_channel99_1.html"}));
    QCOMPARE(model->pageAt(feedIndex(0, 2)), QStringLiteral("about:blank"));
    QFile first(dir.filePath(QStringLiteral("4711_channel7_1.html")));
    QVERIFY(first.open(QIODevice::ReadOnly));
    QVERIFY(first.readAll().endsWith("</body></html>"));
}

void TestFeedModel::itemRowsFollowTheSetting()
{
    RssSettings::setValue(RssSettings::MaxItemsInViewer, 4);
    m_fixture->addFeed(7, 1, QStringLiteral("T"));
    addItems(7, 9);
    FeedModel *model = buildModel();
    QCOMPARE(model->rowCount(feedIndex(0, 1)), 4);
    QCOMPARE(model->data(feedIndex(0, 1)).toString(), QStringLiteral("T (9/9)"));
}

void TestFeedModel::updateAnnouncesTheDifference_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::newRow("5 to 3") << 5 << 3;
    QTest::newRow("3 to 5") << 3 << 5;
    QTest::newRow("4 to 4") << 4 << 4;
}

void TestFeedModel::updateAnnouncesTheDifference()
{
    QFETCH(int, before);
    QFETCH(int, after);
    m_fixture->addFeed(7, 1, QStringLiteral("T"));
    addItems(7, before);
    FeedModel *model = buildModel();
    const QModelIndex feed = feedIndex(0, 1);
    QCOMPARE(model->rowCount(feed), before);

    if (after < before)
        m_fixture->exec(QStringLiteral("update items set toclear = 1 where itemid > ?"), {after});
    else
        addItems(7, after - before, before + 1);

    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy newPage(model, &FeedModel::sendNewPage);
    model->update(7);

    QCOMPARE(model->rowCount(feed), after);
    QCOMPARE(model->data(feed).toString(), QStringLiteral("T (%1/%1)").arg(after));
    // Only the rows between the two counts are announced.
    QSignalSpy &announced = after < before ? removed : inserted;
    QCOMPARE(removed.size() + inserted.size(), after == before ? 0 : 1);
    if (after != before) {
        QCOMPARE(announced.at(0).at(0).value<QModelIndex>(), feed);
        QCOMPARE(announced.at(0).at(1).toInt(), std::min(before, after));
        QCOMPARE(announced.at(0).at(2).toInt(), std::max(before, after) - 1);
    }
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), feed);
    QCOMPARE(changed.at(1).at(0).value<QModelIndex>(), model->index(0, 0, feed));
    QCOMPARE(changed.at(1).at(1).value<QModelIndex>(), model->index(after - 1, 0, feed));
    QCOMPARE(newPage.size(), 1);
    QCOMPARE(newPage.at(0).at(0).toInt(), 7);
}

void TestFeedModel::updateAddsNewFeedsOnly_data()
{
    QTest::addColumn<int>("folder");
    QTest::addColumn<bool>("added");
    QTest::newRow("folder with a node") << 2 << true;
    QTest::newRow("folder without a node") << 9 << false;
}

void TestFeedModel::updateAddsNewFeedsOnly()
{
    QFETCH(int, folder);
    QFETCH(bool, added);
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 2, QStringLiteral("Seven"));
    FeedModel *model = buildModel();
    m_fixture->addFeed(8, folder, QStringLiteral("Eight"));
    addItems(8, 2);

    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy newPage(model, &FeedModel::sendNewPage);
    model->update(8);
    QCOMPARE(newPage.size(), added ? 1 : 0);
    QCOMPARE(inserted.size(), added ? 1 : 0);
    QCOMPARE(model->rowCount(model->index(1, 0)), added ? 2 : 1);
    if (added) {
        QCOMPARE(inserted.at(0).at(0).value<QModelIndex>(), model->index(1, 0));
        QCOMPARE(inserted.at(0).at(1).toInt(), 1);
        QCOMPARE(model->data(feedIndex(1, 1)).toString(), QStringLiteral("Eight (2/2)"));
        QCOMPARE(model->rowCount(feedIndex(1, 1)), 2);
    }
}

void TestFeedModel::dragPayload()
{
    m_fixture->addFeed(7, 1, QStringLiteral("Seven"));
    m_fixture->addFeed(12, 1, QStringLiteral("Twelve"));
    FeedModel *model = buildModel();
    QCOMPARE(model->mimeTypes(), QStringList{QStringLiteral("rss/channelid.int")});
    QCOMPARE(model->supportedDropActions(), Qt::CopyAction);
    std::unique_ptr<QMimeData> mime(model->mimeData({feedIndex(0, 1), feedIndex(0, 2)}));
    QCOMPARE(
        mime->data(QStringLiteral("rss/channelid.int")), QByteArray::fromHex("000000070000000c"));
}

void TestFeedModel::dropsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("on a feed") << "feed";
    QTest::newRow("on an item") << "item";
    QTest::newRow("on empty space") << "none";
    QTest::newRow("column 1") << "column";
    QTest::newRow("other format") << "format";
}

void TestFeedModel::dropsRefused()
{
    QFETCH(QString, target);
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 1, QStringLiteral("Seven"));
    m_fixture->addFeed(8, 2, QStringLiteral("Eight"));
    addItems(8, 1);
    FeedModel *model = buildModel();

    QMimeData mime;
    mime.setData(target == QLatin1String("format") ? QStringLiteral("text/plain")
                                                   : QStringLiteral("rss/channelid.int"),
        QByteArray::fromHex("00000007"));
    QModelIndex parent;
    int column = -1;
    if (target == QLatin1String("feed"))
        parent = feedIndex(1, 0);
    else if (target == QLatin1String("item"))
        parent = model->index(0, 0, feedIndex(1, 0));
    else if (target == QLatin1String("column") || target == QLatin1String("format"))
        parent = model->index(1, 0), column = target == QLatin1String("column") ? 1 : 0;

    QSignalSpy saved(model, &FeedModel::sendSaveGroups);
    QVERIFY(!model->dropMimeData(&mime, Qt::CopyAction, -1, column, parent));
    QCOMPARE(saved.size(), 0);
    QCOMPARE(
        m_fixture->value(QStringLiteral("select folderid from feeds where id = 7")).toInt(), 1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);
    if (target != QLatin1String("format"))
        QVERIFY(model->dropMimeData(&mime, Qt::IgnoreAction, -1, column, parent));
}

void TestFeedModel::dropMovesFeeds()
{
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 1, QStringLiteral("Seven"));
    m_fixture->addFeed(12, 1, QStringLiteral("Twelve"));
    addItems(7, 2);
    FeedModel *model = buildModel();

    std::unique_ptr<QMimeData> mime(model->mimeData({feedIndex(0, 2), feedIndex(0, 1)}));
    QSignalSpy saved(model, &FeedModel::sendSaveGroups);
    QSignalSpy newPage(model, &FeedModel::sendNewPage);
    QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, -1, 0, model->index(1, 0)));

    QCOMPARE(saved.size(), 1);
    QCOMPARE(newPage.size(), 2);
    QCOMPARE(
        m_fixture->value(QStringLiteral("select count(*) from feeds where folderid = 2")).toInt(),
        2);
    QCOMPARE(model->rowCount(model->index(0, 0)), 1); // the favourites stay
    QCOMPARE(model->feedIdAt(feedIndex(1, 0)), 12);
    QCOMPARE(model->feedIdAt(feedIndex(1, 1)), 7);
    QCOMPARE(model->rowCount(feedIndex(1, 1)), 2);
}

void TestFeedModel::dropOnOwnFolder()
{
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 2, QStringLiteral("Seven"));
    FeedModel *model = buildModel();
    std::unique_ptr<QMimeData> mime(model->mimeData({feedIndex(1, 0)}));

    QSignalSpy saved(model, &FeedModel::sendSaveGroups);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy newPage(model, &FeedModel::sendNewPage);
    QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, -1, 0, model->index(1, 0)));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(removed.size(), 0);
    QCOMPARE(newPage.size(), 0);
    QCOMPARE(model->feedIdAt(feedIndex(1, 0)), 7);
}

void TestFeedModel::renameFeed_data()
{
    QTest::addColumn<int>("farmId");
    QTest::addColumn<QString>("fields");
    // field:type:value, in order
    QTest::newRow("own feed") << -1
                              << "687:string:New;657:uint16:2;781:uint32:7;"
                                 "774:string:http://example.org/feed7.xml;787:uint32:3";
    QTest::newRow("catalogue feed")
        << 42 << "687:string:New;657:uint16:1;773:uint32:42;787:uint32:3";
    QTest::newRow("other negative") << -5
                                    << "687:string:New;657:uint16:1;773:uint32:4294967291;"
                                       "787:uint32:3";
}

void TestFeedModel::renameFeed()
{
    QFETCH(int, farmId);
    QFETCH(QString, fields);
    m_fixture->addFeed(7, 1, QStringLiteral("Old"));
    m_fixture->exec(
        QStringLiteral("update feeds set farmid = ?, inclient = 1 where id = 7"), {farmId});
    FeedModel *model = buildModel();
    RecordingRouter router;

    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    model->setTitle(feedIndex(0, 1), QStringLiteral("New"));
    QCOMPARE(
        m_fixture->value(QStringLiteral("select channeltitle from feeds where id = 7")).toString(),
        QStringLiteral("New"));
    QCOMPARE(model->data(feedIndex(0, 1)).toString(), QStringLiteral("New (0)"));
    QCOMPARE(changed.size(), 1);

    QCOMPARE(router.commandList(), QStringList{QStringLiteral("41,6")});
    QStringList sent;
    for (const ProtocolArg &arg : router.message(0).args())
        sent << QStringLiteral("%1:%2:%3")
                    .arg(arg.field())
                    .arg(ProtocolArg::typeName(arg.type()), arg.variant().toString());
    QCOMPARE(sent.join(u';'), fields);
}

void TestFeedModel::removingNodes()
{
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 1, QStringLiteral("Seven"));
    m_fixture->addFeed(8, 2, QStringLiteral("Eight"));
    FeedModel *model = buildModel();

    model->clearFeed(99);
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);
    model->clearFeed(8);
    QCOMPARE(model->rowCount(model->index(1, 0)), 0);
    // Only the tree forgets; the database keeps the feed.
    QCOMPARE(m_fixture->value(QStringLiteral("select count(*) from feeds")).toInt(), 2);

    model->removeNode(1, QModelIndex());
    QCOMPARE(model->rowCount(), 1);
    model->removeNode(1, model->index(0, 0));
    QCOMPARE(model->rowCount(model->index(0, 0)), 1);

    // A folder comes back only when asked for; its title is read from the database.
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    model->addFolder(2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model->data(model->index(1, 0)).toString(), QStringLiteral("Second"));
}

void TestFeedModel::feedsToLoad()
{
    m_fixture->addFolder(2, QStringLiteral("Second"));
    m_fixture->addFeed(7, 1, QStringLiteral("a"), 1);
    m_fixture->addFeed(8, 1, QStringLiteral("b"), 0);
    m_fixture->addFeed(9, 1, QStringLiteral("c"), 1);
    m_fixture->addFeed(10, 2, QStringLiteral("d"), 1);
    m_fixture->addFeed(11, 2, QStringLiteral("e"), 1);
    FeedModel *model = buildModel();
    QCOMPARE(model->countToLoad(), 4);
    QCOMPARE(model->idsToLoad(), QList<int>({9, 7, 11, 10}));
    QVERIFY(!model->toLoadAt(feedIndex(0, 2)));
}

void TestFeedModel::refreshAllReloadsEntriesOnly()
{
    m_fixture->addFeed(7, 1, QStringLiteral("T"));
    m_fixture->addFeed(8, 1, QStringLiteral("U"));
    addItems(7, 5);
    addItems(8, 1);
    FeedModel *model = buildModel();

    RssSettings::setValue(RssSettings::MaxItemsInViewer, 2);
    addItems(8, 2, 2);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    model->refreshAll();
    QCOMPARE(model->rowCount(feedIndex(0, 1)), 2);
    QCOMPARE(model->rowCount(feedIndex(0, 2)), 2);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(inserted.size(), 1);
    // No page rendering: the counts are those of the last build.
    QCOMPARE(model->data(feedIndex(0, 2)).toString(), QStringLiteral("U (1/1)"));
    QCOMPARE(model->data(model->index(0, 0, feedIndex(0, 2))).toString(), QStringLiteral("Item 3"));
}

QTEST_MAIN(TestFeedModel)
#include "tst_feedmodel.moc"
