#include "core/rsssettings.h"
#include "host/psettings.h"
#include "host/request.h"
#include "modelwatch.h"
#include "recordingrouter.h"
#include "tests/common/treefixture.h"
#include "tree/feedmodel.h"

#include <QIcon>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const Qt::ItemFlags plain = Qt::ItemIsSelectable | Qt::ItemIsEnabled;

} // namespace

class TestFeedModel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void display();
    void identifiers();
    void buildingReplacesEveryFeedsPages();
    void updateAnnouncesTheDifference_data();
    void updateAnnouncesTheDifference();
    void dropsRefused_data();
    void dropsRefused();
    void dragAndDrop();
    void renameFeed_data();
    void renameFeed();
    void itemRowsFollowTheSetting();

private:
    // A model over the fixture's database, watched by a model tester.
    FeedModel *buildModel();
    void addItems(int channel, int count, int firstItem = 1, int isread = 0);
    QModelIndex feedIndex(int folderRow, int feedRow) const
    {
        return m_model->index(feedRow, 0, m_model->index(folderRow, 0));
    }
    int folderOf(int feed)
    {
        return m_db->value(QStringLiteral("select folderid from feeds where id = ?"), {feed})
            .toInt();
    }

    std::unique_ptr<TreeFixture> m_db;
    std::unique_ptr<FeedModel> m_model;
    std::unique_ptr<ModelWatch> m_watch;
};

void TestFeedModel::init()
{
    m_db = std::make_unique<TreeFixture>();
    QVERIFY(m_db->opened);
    PSettings::instance()->changeUser(QStringLiteral("model"));
}

void TestFeedModel::cleanup()
{
    const QStringList modelFailures = ModelWatch::failures();
    m_watch.reset();
    m_model.reset();
    PSettings::instance()->changeUser(QStringLiteral("default"));
    m_db.reset();
    QVERIFY2(modelFailures.isEmpty(), qPrintable(modelFailures.join(u'\n')));
}

FeedModel *TestFeedModel::buildModel()
{
    m_watch.reset();
    m_model = std::make_unique<FeedModel>(&m_db->db);
    m_watch = std::make_unique<ModelWatch>(m_model.get());
    return m_model.get();
}

void TestFeedModel::addItems(int channel, int count, int firstItem, int isread)
{
    m_db->exec(QStringLiteral("BEGIN"));
    for (int i = firstItem; i < firstItem + count; ++i)
        m_db->addItem({channel, i, QStringLiteral("Item %1").arg(i), QStringLiteral("d"), {}, {}, 0,
            0, isread});
    m_db->exec(QStringLiteral("COMMIT"));
}

void TestFeedModel::display()
{
    const auto icon = [](const QVariant &decoration, const char *name) {
        return decoration.value<QIcon>().pixmap(12, 12).toImage()
            == QIcon(QLatin1String(name)).pixmap(12, 12).toImage();
    };
    FeedModel *model = buildModel(); // on a database with folder 1 only
    QCOMPARE(model->rowCount(), 1);
    QModelIndex folder = model->index(0, 0);
    QCOMPARE(model->data(folder).toString(), QStringLiteral("My Feeds"));
    QVERIFY(!model->data(folder, Qt::UserRole).isValid());
    QCOMPARE(model->flags(folder), plain | Qt::ItemIsDropEnabled);
    QCOMPARE(model->flags(QModelIndex()), plain);
    QCOMPARE(model->rowCount(folder), 1);
    const QModelIndex favorites = model->index(0, 0, folder);
    QCOMPARE(model->data(favorites).toString(), QStringLiteral("Favorites (0)"));
    QCOMPARE(model->data(favorites, Qt::UserRole).toInt(), 0);
    QVERIFY(icon(model->data(favorites, Qt::DecorationRole), ":/unreadfeed-12"));
    QCOMPARE(model->flags(favorites), plain);

    m_db->addFeed(7, 1, QStringLiteral("T"));
    m_db->addFeed(8, 1, QStringLiteral("T"));
    addItems(7, 22, 1, 1);
    addItems(7, 3, 23, 0);
    addItems(8, 25, 1, 1);
    model = buildModel();
    QCOMPARE(model->data(feedIndex(0, 1)).toString(), QStringLiteral("T (3/25)"));
    QCOMPARE(model->data(feedIndex(0, 2)).toString(), QStringLiteral("T (25)"));
    // The folder adds up its feeds' unread items; the favourites repeat them and do not count.
    m_db->exec(QStringLiteral("update items set mark = 1 where channelid = 7 and itemid = 23"));
    model->update(0);
    QCOMPARE(model->data(feedIndex(0, 0)).toString(), QStringLiteral("Favorites (1/1)"));
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("My Feeds (3)"));
    m_db->exec(QStringLiteral("update items set isread = 1 where channelid = 7"));
    model->update(7);
    QCOMPARE(model->data(model->index(0, 0)).toString(), QStringLiteral("My Feeds"));
    m_db->exec(QStringLiteral("update items set isread = 0 where channelid = 7 and itemid > 22"));
    m_db->exec(QStringLiteral("update items set mark = 0"));
    model->update(7);
    model->update(0);
    QCOMPARE(model->data(feedIndex(0, 1), Qt::UserRole).toInt(), 7);
    QVERIFY(icon(model->data(feedIndex(0, 1), Qt::DecorationRole), ":/readfeed-12"));
    QVERIFY(icon(model->data(feedIndex(0, 2), Qt::DecorationRole), ":/unreadfeed-12"));
    QCOMPARE(model->flags(feedIndex(0, 1)), plain | Qt::ItemIsDragEnabled);
    const QModelIndex item = model->index(0, 0, feedIndex(0, 1));
    QCOMPARE(model->data(item).toString(), QStringLiteral("Item 25"));
    QCOMPARE(model->flags(item), plain);
    QVERIFY(!model->data(item, Qt::DecorationRole).isValid());
}

void TestFeedModel::identifiers()
{
    // Folders come in the order the database lists them, here by title.
    m_db->addFolder(2, QStringLiteral("Second"));
    m_db->addFolder(3, QStringLiteral("Third"));
    m_db->addFeed(7, 2, QStringLiteral("Seven"));
    m_db->addFeed(8, 2, QStringLiteral("Eight"));
    m_db->addFeed(9, 1, QStringLiteral("Nine"), 0);
    m_db->addFeed(10, 1, QStringLiteral("Ten"));
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

    QCOMPARE(model->folderIdAt(1), 2);
    QCOMPARE(model->feedIdAt(item), 8);
    QCOMPARE(model->linkAt(item), QStringLiteral("http://example.org/8/1"));
    QCOMPARE(model->pageAt(item), m_db->page(8));
    QCOMPARE(model->pageAt(model->index(0, 0, folder)), QStringLiteral("about:blank"));
    // Folders in row order, their feeds backwards.
    QCOMPARE(model->countToLoad(), 3);
    QCOMPARE(model->idsToLoad(), QList<int>({10, 8, 7}));
    QVERIFY(!model->toLoadAt(feedIndex(0, 1)));
}

void TestFeedModel::buildingReplacesEveryFeedsPages()
{
    m_db->addFeed(7, 1, QStringLiteral("Seven"));
    m_db->addFeed(8, 1, QStringLiteral("Eight"));
    addItems(7, 31);
    const QDir dir(PDir::applicationDataPath(true));
    // Left over from an earlier session: a longer set of feed 7, a set of feed 8
    // (which has no items now), and pages of a feed the tree does not show.
    for (const char *name : {"4711_channel7_1.html", "4711_channel7_5.html", "4711_channel8_1.html",
             "4711_Channel8_X.HTML", "4711_channel99_1.html"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(100000, 'x')));
    }
    FeedModel *model = buildModel();
    QStringList files = dir.entryList(QDir::Files);
    files.sort();
    QCOMPARE(files,
        QStringList({"4711_channel7_1.html", "4711_channel7_2.html", "4711_channel99_1.html"}));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("4711_channel7_1.html"))).size() < 100000);
    QCOMPARE(model->pageAt(feedIndex(0, 2)), QStringLiteral("about:blank"));
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
    m_db->addFeed(7, 1, QStringLiteral("T"));
    addItems(7, before);
    FeedModel *model = buildModel();
    const QModelIndex feed = feedIndex(0, 1);
    QCOMPARE(model->rowCount(feed), before);

    if (after < before)
        m_db->exec(QStringLiteral("update items set toclear = 1 where itemid > ?"), {after});
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
    QCOMPARE(removed.size() + inserted.size(), after == before ? 0 : 1);
    if (after != before) {
        const QList<QVariant> rows = (after < before ? removed : inserted).at(0);
        QCOMPARE(rows.at(0).value<QModelIndex>(), feed);
        QCOMPARE(rows.at(1).toInt(), std::min(before, after));
        QCOMPARE(rows.at(2).toInt(), std::max(before, after) - 1);
    }
    // The feed, its item rows, then its folder, whose unread total follows the feed.
    QCOMPARE(changed.size(), 3);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), feed);
    QCOMPARE(changed.at(1).at(0).value<QModelIndex>(), model->index(0, 0, feed));
    QCOMPARE(changed.at(1).at(1).value<QModelIndex>(), model->index(after - 1, 0, feed));
    QCOMPARE(changed.at(2).at(0).value<QModelIndex>(), model->index(0, 0));
    QCOMPARE(newPage, QList<QList<QVariant>>{{7}});
}

void TestFeedModel::dropsRefused_data()
{
    QTest::addColumn<QString>("target");
    for (const char *target : {"feed", "item", "empty space", "column 1", "other format"})
        QTest::newRow(target) << QString::fromLatin1(target);
}

void TestFeedModel::dropsRefused()
{
    QFETCH(QString, target);
    m_db->addFolder(2, QStringLiteral("Second"));
    m_db->addFeed(7, 1, QStringLiteral("Seven"));
    m_db->addFeed(8, 2, QStringLiteral("Eight"));
    addItems(8, 1);
    FeedModel *model = buildModel();

    const bool format = target == QLatin1String("other format");
    QMimeData mime;
    mime.setData(format ? QStringLiteral("text/plain") : QStringLiteral("rss/channelid.int"),
        QByteArray::fromHex("00000007"));
    QModelIndex parent = model->index(1, 0);
    if (target == QLatin1String("feed"))
        parent = feedIndex(1, 0);
    else if (target == QLatin1String("item"))
        parent = model->index(0, 0, feedIndex(1, 0));
    else if (target == QLatin1String("empty space"))
        parent = QModelIndex();
    const int column = target == QLatin1String("column 1") ? 1 : 0;

    QSignalSpy saved(model, &FeedModel::sendSaveGroups);
    QVERIFY(!model->dropMimeData(&mime, Qt::CopyAction, -1, column, parent));
    QCOMPARE(saved.size(), 0);
    QCOMPARE(folderOf(7), 1);
    QCOMPARE(model->rowCount(model->index(0, 0)), 2);
    // Asked whether a drop would be taken, the model only looks at the format.
    QCOMPARE(model->dropMimeData(&mime, Qt::IgnoreAction, -1, column, parent), !format);
}

void TestFeedModel::dragAndDrop()
{
    m_db->addFolder(2, QStringLiteral("Second"));
    m_db->addFeed(7, 1, QStringLiteral("Seven"));
    m_db->addFeed(12, 1, QStringLiteral("Twelve"));
    addItems(7, 2);
    FeedModel *model = buildModel();

    QCOMPARE(model->mimeTypes(), QStringList{QStringLiteral("rss/channelid.int")});
    QCOMPARE(model->supportedDropActions(), Qt::CopyAction);
    std::unique_ptr<QMimeData> mime(model->mimeData({feedIndex(0, 2), feedIndex(0, 1)}));
    QCOMPARE(
        mime->data(QStringLiteral("rss/channelid.int")), QByteArray::fromHex("0000000c00000007"));
    QSignalSpy saved(model, &FeedModel::sendSaveGroups);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy newPage(model, &FeedModel::sendNewPage);
    QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, -1, 0, model->index(1, 0)));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(newPage.size(), 2);
    QCOMPARE(QList<int>({folderOf(7), folderOf(12)}), QList<int>({2, 2}));
    QCOMPARE(model->rowCount(model->index(0, 0)), 1); // the favourites stay
    QCOMPARE(model->feedIdAt(feedIndex(1, 0)), 12);
    QCOMPARE(model->feedIdAt(feedIndex(1, 1)), 7);
    QCOMPARE(model->rowCount(feedIndex(1, 1)), 2);
    // A feed of a folder the tree does not show gets no node.
    m_db->addFeed(9, 9, QStringLiteral("Nine"));
    model->update(9);
    QCOMPARE(newPage.size(), 2);

    // Dropped on their own folder again, they stay, and the groups are still saved.
    saved.clear();
    removed.clear();
    newPage.clear();
    QVERIFY(model->dropMimeData(mime.get(), Qt::CopyAction, -1, 0, model->index(1, 0)));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(removed.size() + newPage.size(), 0);
    QCOMPARE(model->feedIdAt(feedIndex(1, 0)), 12);
}

void TestFeedModel::renameFeed_data()
{
    QTest::addColumn<int>("farmId");
    QTest::addColumn<QString>("fields"); // field:type:value, in order
    QTest::newRow("own feed") << -1
                              << "687:string:New;657:uint16:2;781:uint32:7;"
                                 "774:string:http://example.org/feed7.xml;787:uint32:3";
    QTest::newRow("catalogue feed")
        << 42 << "687:string:New;657:uint16:1;773:uint32:42;787:uint32:3";
    QTest::newRow("other negative")
        << -5 << "687:string:New;657:uint16:1;773:uint32:4294967291;787:uint32:3";
}

void TestFeedModel::renameFeed()
{
    QFETCH(int, farmId);
    QFETCH(QString, fields);
    m_db->addFeed(7, 1, QStringLiteral("Old"));
    m_db->exec(QStringLiteral("update feeds set farmid = ?, inclient = 1 where id = 7"), {farmId});
    FeedModel *model = buildModel();
    RecordingRouter router;

    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    model->setTitle(feedIndex(0, 1), QStringLiteral("New"));
    QCOMPARE(m_db->value(QStringLiteral("select channeltitle from feeds where id = 7")).toString(),
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

void TestFeedModel::itemRowsFollowTheSetting()
{
    // The newest visible items of a feed, ten unless the setting says otherwise.
    m_db->addFeed(7, 1, QStringLiteral("T"));
    m_db->addFeed(8, 1, QStringLiteral("U"));
    addItems(7, 14);
    m_db->addItem({7, 20, QStringLiteral("cleared"), QString(), {}, {}, 0, 1});
    addItems(8, 1);
    FeedModel *model = buildModel();
    QCOMPARE(model->rowCount(feedIndex(0, 1)), 10);
    QCOMPARE(
        model->data(model->index(0, 0, feedIndex(0, 1))).toString(), QStringLiteral("Item 14"));
    QCOMPARE(model->data(model->index(9, 0, feedIndex(0, 1))).toString(), QStringLiteral("Item 5"));
    QCOMPARE(model->data(feedIndex(0, 1)).toString(), QStringLiteral("T (14/14)"));

    // refreshAll() reloads the entries of every feed, but renders no pages: the
    // counts stay those of the last build.
    RssSettings::setValue(RssSettings::MaxItemsInViewer, 2);
    addItems(8, 2, 2);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    model->refreshAll();
    QCOMPARE(model->rowCount(feedIndex(0, 1)), 2);
    QCOMPARE(model->rowCount(feedIndex(0, 2)), 2);
    QCOMPARE(removed.size(), 1);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(model->data(feedIndex(0, 2)).toString(), QStringLiteral("U (1/1)"));
    QCOMPARE(model->data(model->index(0, 0, feedIndex(0, 2))).toString(), QStringLiteral("Item 3"));
}

QTEST_MAIN(TestFeedModel)
#include "tst_feedmodel.moc"
