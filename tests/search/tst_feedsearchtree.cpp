#include "tree/feedsearchmodel.h"
#include "tree/pfeedsearchtree.h"
#include "tree/searchindex.h"

#include "modelwatch.h"
#include "testhelpers.h"
#include "treefixture.h"

#include <QTest>

#include <functional>

// The search tree over a small database:
//   folder 1 "My Feeds": feed 1 "Tech", feed 2 "Empty" (only a cleared item),
//                        feed 4 never fetched (no title)
//   folder 2 "Other":    feed 3 "World & Co" (stored with the entity)
class tst_FeedSearchTree : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void patterns_data();
    void patterns();
    void scopes_data();
    void scopes();
    void foundRows();
    void indexGivesTheSameResults_data();
    void indexGivesTheSameResults();
    void indexFollowsItemChanges();
    void clicksAndActivation();
    void fetchesInBatches_data();
    void fetchesInBatches();
    void viewFetchesWhatItShows();
    void newSearchWhilePartlyFetched();

private:
    void makeTree();
    // Every found row, fetched batch by batch as a view scrolling to the end would.
    void fetchAll(const QModelIndex &parent = {}) const;
    // "folder", "folder/feed" and "folder/feed/found title" for every row, in order.
    QStringList outline(bool fetch = true) const;
    QStringList foundTitles() const;
    QModelIndex find(const QString &path, bool fetch = true) const;
    QAbstractItemModel *model() const { return m_tree->model(); }
    // Items "batch N" (every third one "other N"), every second one a favourite.
    void addBatchItems(int count);

    std::unique_ptr<TreeFixture> m_db;
    std::unique_ptr<PFeedSearchTree> m_tree;
    // Every search and every fetch keeps the model consistent.
    std::unique_ptr<ModelWatch> m_watch;
};

void tst_FeedSearchTree::init()
{
    m_db = std::make_unique<TreeFixture>();
    QVERIFY(m_db->opened);
    m_db->addFolder(2, QStringLiteral("Other"));
    m_db->addFeed(1, 1, QStringLiteral("Tech"));
    m_db->addFeed(2, 1, QStringLiteral("Empty"));
    m_db->addFeed(3, 2, QStringLiteral("World &amp; Co"));
    m_db->addFeed(4, 1, QVariant(QMetaType::fromType<QString>()));
    m_db->addItem({1, 1, QStringLiteral("RSS news feed"), QStringLiteral("about feeds")});
    m_db->addItem({1, 2, QStringLiteral("abc"), QStringLiteral("nothing")});
    m_db->addItem({1, 3, QStringLiteral("aXc"), QStringLiteral("nothing"), {}, {}, 1});
    m_db->addItem({1, 4, QStringLiteral("ac"), QStringLiteral("feed rss")});
    m_db->addItem({2, 1, QStringLiteral("abc cleared"), QStringLiteral("x"), {}, {}, 1, 1});
    m_db->addItem(
        {3, 1, QStringLiteral("O'Reilly \"quoted\" 50%_off \\path"), QStringLiteral("y")});
    m_db->addItem({3, 2, QStringLiteral("world abc"), QStringLiteral("z"), {}, {}, 1});
    m_db->addItem({4, 1, QStringLiteral("abc untitled feed"), QStringLiteral("z")});
    makeTree();
}

void tst_FeedSearchTree::cleanup()
{
    const QStringList modelFailures = ModelWatch::failures();
    m_watch.reset();
    m_tree.reset();
    m_db.reset();
    QVERIFY2(modelFailures.isEmpty(), qPrintable(modelFailures.join(u'\n')));
}

void tst_FeedSearchTree::makeTree()
{
    m_watch.reset();
    m_tree = std::make_unique<PFeedSearchTree>(&m_db->db);
    m_watch = std::make_unique<ModelWatch>(model(), false);
}

void tst_FeedSearchTree::fetchAll(const QModelIndex &parent) const
{
    while (model()->canFetchMore(parent))
        model()->fetchMore(parent);
    for (int row = 0; row < model()->rowCount(parent); ++row)
        fetchAll(model()->index(row, 0, parent));
}

QStringList tst_FeedSearchTree::outline(bool fetch) const
{
    if (fetch)
        fetchAll();
    QStringList rows;
    const std::function<void(const QModelIndex &, const QString &)> walk
        = [&](const QModelIndex &parent, const QString &path) {
              for (int row = 0; row < model()->rowCount(parent); ++row) {
                  const QModelIndex index = model()->index(row, 0, parent);
                  const QString text = parent.parent().isValid()
                      ? index.data(Qt::UserRole).toStringList().value(0)
                      : index.data().toString();
                  rows.append(path + text);
                  walk(index, path + text + QLatin1Char('/'));
              }
          };
    walk(QModelIndex(), QString());
    return rows;
}

QStringList tst_FeedSearchTree::foundTitles() const
{
    QStringList titles;
    for (const QString &row : outline())
        if (row.count(QLatin1Char('/')) == 2)
            titles.append(row.section(QLatin1Char('/'), 2));
    return titles;
}

QModelIndex tst_FeedSearchTree::find(const QString &path, bool fetch) const
{
    QModelIndex index;
    const QStringList names = path.split(QLatin1Char('/'));
    for (qsizetype level = 0; level < names.size(); ++level) {
        if (fetch)
            fetchAll(index);
        QModelIndex next;
        for (int row = 0; row < model()->rowCount(index) && !next.isValid(); ++row) {
            const QModelIndex child = model()->index(row, 0, index);
            const QString text = level == 2 ? child.data(Qt::UserRole).toStringList().value(0)
                                            : child.data().toString();
            if (text == names.at(level))
                next = child;
        }
        if (!next.isValid())
            return {};
        index = next;
    }
    return index;
}

void tst_FeedSearchTree::patterns_data()
{
    TestHelpers::addRows(QStringLiteral("cases/patterns.txt"), {"text", "found"});
    // Longer than anyone types, and longer than a pattern may be.
    QTest::newRow("very long") << QString(20000, QLatin1Char('x')) << QString();
    QTest::newRow("longer than a pattern may be") << QString(60000, QLatin1Char('y')) << QString();
}

void tst_FeedSearchTree::patterns()
{
    QFETCH(QString, text);
    QFETCH(QString, found);
    const QStringList titles = found.split(u'\n', Qt::SkipEmptyParts);
    m_tree->setFilter(text);
    QCOMPARE(foundTitles(), titles);
    QCOMPARE(m_db->value(QStringLiteral("select count(*) from items")).toInt(), 8);
    // Every folder and titled feed is listed, expanded, found something or not.
    const QStringList rows = outline();
    for (const QString row : {"My Feeds", "My Feeds/Favorites", "My Feeds/Tech", "My Feeds/Empty",
             "Other", "Other/World & Co"})
        QVERIFY2(rows.contains(row) && m_tree->isExpanded(find(row)), qPrintable(row));
    QCOMPARE(rows.size(), 6 + titles.size());
}

void tst_FeedSearchTree::scopes_data()
{
    TestHelpers::addRows(
        QStringLiteral("cases/scopes.txt"), {"scope", "id", "folderScope", "rows"});
}

void tst_FeedSearchTree::scopes()
{
    QFETCH(QString, scope);
    QFETCH(QString, id);
    QFETCH(QString, folderScope);
    QFETCH(QString, rows);
    m_tree->setFolderScope(5);
    if (scope == QLatin1String("feed"))
        m_tree->setFeedScope(id.toInt());
    else
        m_tree->setFolderScope(id.toInt());
    QCOMPARE(m_tree->folderScope(), folderScope.toInt());
    m_tree->setFilter(QStringLiteral("a?c"));
    QCOMPARE(outline(), rows.split(u'\n', Qt::SkipEmptyParts));

    m_tree->clearScope();
    m_tree->setFilter(QStringLiteral("a?c"));
    QCOMPARE(outline().size(), 11);
}

void tst_FeedSearchTree::foundRows()
{
    const QVariant null(QMetaType::fromType<QString>());
    m_db->addItem({1, 10, QStringLiteral("Gr&uuml;&szlig;e &amp;auml;"),
        QStringLiteral("&lt;b&gt;Hello&lt;/b&gt; world"), null});
    m_db->addItem({1, 11, null, QStringLiteral("plain <i>keep < unclosed"),
        QStringLiteral("Tue, 02 Jan 2024"), QStringLiteral("http://x/11")});
    m_db->addItem({1, 12, QStringLiteral("no description"), null});
    m_db->addItem({1, 13, QString(""), QStringLiteral("empty, not null, title")});
    m_tree->setFeedScope(1);
    m_tree->setFilter(QStringLiteral("e"));

    const QModelIndex tech = find(QStringLiteral("My Feeds/Tech"));
    QCOMPARE(model()->rowCount(tech), 6);
    const QString pubdate = QStringLiteral("Mon, 01 Jan 2024 10:00:00 GMT");
    const QList<std::pair<QStringList, int>> expected{
        {{"", "empty, not null, title", pubdate}, 93},
        {{"no description", "", pubdate}, 53},
        {{"", "plain keep < unclosed", "Tue, 02 Jan 2024"}, 53},
        // Without a publication date the row shows when it was stored.
        {{QString::fromUtf8("Grüße &auml;"), "Hello world", "2024-01-02 03:04:05"}, 93},
    };
    for (int i = 0; i < expected.size(); ++i) {
        const QModelIndex row = model()->index(i, 0, tech);
        QCOMPARE(row.data(Qt::UserRole).toStringList(), expected.at(i).first);
        QCOMPARE(row.data(Qt::SizeHintRole).toSize(), QSize(0, expected.at(i).second));
        QCOMPARE(m_tree->sizeHintForIndex(row).height(), expected.at(i).second);
        QVERIFY(row.data().toString().isEmpty());
    }
    QCOMPARE(model()->index(2, 0, tech).data(Qt::UserRole + 1).toString(),
        QStringLiteral("http://x/11"));
}

void tst_FeedSearchTree::indexGivesTheSameResults_data()
{
    TestHelpers::addRows(QStringLiteral("cases/indexed-searches.txt"), {"text"});
}

void tst_FeedSearchTree::indexGivesTheSameResults()
{
    QFETCH(QString, text);
    // LIKE folds ASCII letters only: these differ from each other in case alone.
    m_db->addItem({3, 3, QString::fromUtf8("ÄBC upper"), QStringLiteral("d")});
    m_db->addItem({3, 4, QString::fromUtf8("äbc lower"), QString::fromUtf8("Grüße")});
    m_db->addItem({3, 5, QStringLiteral("Gr&uuml;&szlig;e"), QStringLiteral("d")});
    makeTree();

    // A database that predates the index is searched item by item until it is built.
    QVERIFY(m_tree->searchIndex()->isAvailable() && !m_tree->searchIndex()->isReady());
    m_tree->setFilter(text);
    const QStringList scanned = outline();
    QTRY_VERIFY(m_tree->searchIndex()->isReady());
    m_tree->setFilter(text);
    QCOMPARE(outline(), scanned);
}

void tst_FeedSearchTree::indexFollowsItemChanges()
{
    QTRY_VERIFY(m_tree->searchIndex()->isReady());
    const auto found = [this](const char *text) {
        m_tree->setFilter(QString::fromLatin1(text));
        return foundTitles();
    };
    m_db->addItem({1, 20, QStringLiteral("brand new"), QStringLiteral("zebra crossing")});
    QCOMPARE(found("zebra"), QStringList{"brand new"});
    m_db->exec(QStringLiteral("update items set description = 'giraffe' where itemid = 20"));
    QCOMPARE(found("zebra"), QStringList());
    QCOMPARE(found("giraffe"), QStringList{"brand new"});
    // Read and flag changes leave the index alone.
    m_db->exec(QStringLiteral("update items set isread = 1, mark = 1 where itemid = 20"));
    QCOMPARE(found("giraffe"), (QStringList{"brand new", "brand new"}));
    m_db->exec(QStringLiteral("delete from items where channelid = 1"));
    QCOMPARE(found("giraffe"), QStringList());
    m_db->addItem({1, 20, QStringLiteral("again"), QStringLiteral("giraffe")});
    QCOMPARE(found("giraffe"), QStringList{"again"});
}

void tst_FeedSearchTree::clicksAndActivation()
{
    m_tree->resize(400, 600);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree.get()));
    m_tree->setFilter(QStringLiteral("a?c"));
    QStringList log;
    connect(m_tree.get(), &PFeedSearchTree::sendLink, this, [&log](auto s) { log << "link " + s; });
    connect(m_tree.get(), &PFeedSearchTree::sendOverview, this,
        [&log](auto s) { log << "overview " + s; });
    for (const char *path : {"My Feeds/Tech/abc", "My Feeds/Favorites", "My Feeds/Empty", "Other"})
        QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {},
            m_tree->visualRect(find(QString::fromLatin1(path))).center());
    // Feed 2 has only a cleared item: nothing to show.
    QCOMPARE(log,
        (QStringList{"link http://example.org/1/2", "overview " + m_db->page(1),
            "link " + m_db->page(0), "overview " + m_db->page(0), "link about:blank",
            "overview about:blank", "overview "}));

    // Activation toggles a row, once also on a double click.
    const QModelIndex tech = find(QStringLiteral("My Feeds/Tech"));
    emit m_tree->activated(tech);
    QVERIFY(!m_tree->isExpanded(tech));
    emit m_tree->activated(tech);
    QVERIFY(m_tree->isExpanded(tech));
    const QPoint pos = m_tree->visualRect(tech).center();
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(m_tree->viewport(), Qt::LeftButton, {}, pos);
    QVERIFY(!m_tree->isExpanded(tech));
}

void tst_FeedSearchTree::addBatchItems(int count)
{
    m_db->exec(QStringLiteral("begin"));
    for (int i = 0; i < count; ++i)
        m_db->addItem({3, 100 + i, QStringLiteral("%1 %2").arg(i % 3 ? "batch" : "other").arg(i),
            QStringLiteral("d"), {}, {}, i % 2});
    m_db->exec(QStringLiteral("commit"));
}

void tst_FeedSearchTree::fetchesInBatches_data()
{
    TestHelpers::addBoolRows("indexed", {{"index narrows", true}, {"every item read", false}});
}

void tst_FeedSearchTree::fetchesInBatches()
{
    QFETCH(bool, indexed);
    const int count = 4 * FeedSearchModel::BatchSize + 10;
    addBatchItems(count);
    makeTree();
    if (indexed)
        m_tree->searchIndex()->buildAll();
    QCOMPARE(m_tree->searchIndex()->isReady(), indexed);
    QStringList feedTitles;
    QStringList favouriteTitles;
    // Newest first; every second item is a favourite.
    for (int i = count - 1; i >= 0; --i) {
        if (i % 3 == 0)
            continue;
        feedTitles << QStringLiteral("batch %1").arg(i);
        if (i % 2)
            favouriteTitles << feedTitles.constLast();
    }

    // Rows come at the end, a batch at most at a time.
    QList<std::pair<int, int>> inserted;
    connect(model(), &QAbstractItemModel::rowsInserted, this,
        [&](const QModelIndex &parent, int first, int last) {
            QVERIFY(parent.parent().isValid());
            QCOMPARE(first, model()->rowCount(parent) - (last - first + 1));
            QVERIFY(last - first < FeedSearchModel::BatchSize);
            inserted.append({first, last});
        });
    m_tree->setFilter(QStringLiteral("batch"));
    for (const auto &[path, titles] : {std::pair(QStringLiteral("Other/World & Co"), feedTitles),
             std::pair(QStringLiteral("My Feeds/Favorites"), favouriteTitles)}) {
        const QModelIndex entry = find(path, false);
        QVERIFY(model()->rowCount(entry) < titles.size());
        QVERIFY(model()->hasChildren(entry));
        fetchAll(entry);
        QStringList found;
        for (int row = 0; row < model()->rowCount(entry); ++row)
            found << model()->index(row, 0, entry).data(Qt::UserRole).toStringList().value(0);
        QCOMPARE(found, titles);
    }
    QVERIFY(inserted.size() >= 4);
}

void tst_FeedSearchTree::viewFetchesWhatItShows()
{
    addBatchItems(10 * FeedSearchModel::BatchSize);
    m_tree->resize(300, 400);
    m_tree->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_tree.get()));
    m_tree->setFilter(QStringLiteral("batch"));
    const QModelIndex favourites = find(QStringLiteral("My Feeds/Favorites"), false);
    const QModelIndex feed = find(QStringLiteral("Other/World & Co"), false);
    // The favourites fill the view; the feed below them is still to be read.
    QCOMPARE(model()->rowCount(favourites), FeedSearchModel::BatchSize);
    QCOMPARE(model()->rowCount(feed), 0);
    QVERIFY(m_tree->isExpanded(feed));

    m_tree->scrollTo(model()->index(FeedSearchModel::BatchSize - 1, 0, favourites));
    QTRY_COMPARE(model()->rowCount(favourites), 2 * FeedSearchModel::BatchSize);
    m_tree->scrollToBottom();
    QTRY_VERIFY(model()->rowCount(feed) > 0);
    QVERIFY(model()->rowCount(feed) <= 2 * FeedSearchModel::BatchSize);
}

void tst_FeedSearchTree::newSearchWhilePartlyFetched()
{
    addBatchItems(3 * FeedSearchModel::BatchSize);
    m_tree->setFilter(QStringLiteral("batch"));
    const QModelIndex feed = find(QStringLiteral("Other/World & Co"), false);
    model()->fetchMore(feed);
    QVERIFY(model()->canFetchMore(feed));
    const QPersistentModelIndex found = model()->index(0, 0, feed);
    QVERIFY(found.isValid());

    m_tree->setFilter(QStringLiteral("news"));
    QVERIFY(!found.isValid());
    QCOMPARE(outline(),
        (QStringList{"My Feeds", "My Feeds/Favorites", "My Feeds/Tech",
            "My Feeds/Tech/RSS news feed", "My Feeds/Empty", "Other", "Other/World & Co"}));
    m_tree->clear();
    QCOMPARE(model()->rowCount(), 0);
}

QTEST_MAIN(tst_FeedSearchTree)
#include "tst_feedsearchtree.moc"
