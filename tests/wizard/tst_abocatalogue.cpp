#include "host/pbasicdata.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "wizard/pabofeedtree.h"
#include "wizard/pabopage3.h"

#include "treefixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

struct CatalogueFeed
{
    int id;
    QByteArray title;
    QByteArray address;
};

struct Category
{
    int id;
    int parent;
    QByteArray name;
    QList<CatalogueFeed> feeds;
};

// The server's answer: the number of categories, then per category id, parent,
// name and feed count, each followed by its feeds (id, title, address).
Protocol answer(const QList<Category> &categories, int claimed = -1)
{
    Protocol p;
    p.add(0, ProtocolArg::UInt16, claimed < 0 ? int(categories.size()) : claimed);
    for (const Category &c : categories) {
        p.add(0, ProtocolArg::UInt32, c.id);
        p.add(0, ProtocolArg::UInt32, c.parent);
        p.add(0, ProtocolArg::Bytes, c.name);
        p.add(0, ProtocolArg::UInt16, int(c.feeds.size()));
        for (const CatalogueFeed &f : c.feeds) {
            p.add(0, ProtocolArg::UInt32, f.id);
            p.add(0, ProtocolArg::Bytes, f.title);
            p.add(0, ProtocolArg::Bytes, f.address);
        }
    }
    return p;
}

// (node, flag) of every catalogue request so far; fields 771 (uint32) and 770 (uint8).
QList<QPair<uint, uint>> catalogueRequests(const RecordingRouter &router)
{
    QList<QPair<uint, uint>> result;
    for (const Protocol &p : router.messagesOf(41, 3)) {
        const bool wellFormed = p.args().size() == 2 && p.args().at(0).field() == 771
            && p.args().at(0).type() == ProtocolArg::UInt32 && p.args().at(1).field() == 770
            && p.args().at(1).type() == ProtocolArg::UInt8;
        result.append(wellFormed
                ? qMakePair(p.args().at(0).variant().toUInt(), p.args().at(1).variant().toUInt())
                : qMakePair(~0u, ~0u));
    }
    return result;
}

// Answers the catalogue request of a node and waits until the tree has taken it.
void answerNode(RecordingRouter &router, PAboFeedTree &tree, uint node, const Protocol &reply)
{
    const QList<int> indexes = router.indexesOf(41, 3);
    for (int i = indexes.size() - 1; i >= 0; --i) {
        if (router.message(indexes.at(i)).args().at(0).variant().toUInt() == node) {
            QSignalSpy counted(&tree, &PAboFeedTree::selectedFeeds);
            QVERIFY(router.answer(indexes.at(i), reply));
            QVERIFY(counted.wait());
            return;
        }
    }
    QFAIL("no request for that node");
}

QTreeWidgetItem *find(const PAboFeedTree &tree, const QString &text)
{
    const QList<QTreeWidgetItem *> items
        = tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return items.value(0);
}

// Visible feed titles, in tree order.
QStringList visibleFeeds(const PAboFeedTree &tree)
{
    QStringList titles;
    for (QTreeWidgetItemIterator it(const_cast<PAboFeedTree *>(&tree)); *it; ++it) {
        QTreeWidgetItem *item = *it;
        bool shown = !item->isHidden();
        for (QTreeWidgetItem *p = item->parent(); p && shown; p = p->parent())
            shown = !p->isHidden();
        if (shown && item->data(0, PAboFeedTree::AddressRole).isValid())
            titles.append(item->text(0));
    }
    return titles;
}

// Two categories at the top; "Deutschland" holds a sub-category. Feed 12 is
// subscribed by address, feed 21 under another address with the same catalogue id.
class Catalogue
{
public:
    explicit Catalogue(TreeFixture &fixture)
    {
        fixture.exec(QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, "
                                    "inclient) values (1, 'http://b.example/rss', 1, -1, 1, 1)"));
        fixture.exec(QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, "
                                    "inclient) values (2, 'http://moved.example/', 1, 21, 1, 1)"));
        tree.loadCatalogue(&fixture.db);
    }

    void load()
    {
        top();
        children();
    }
    void top()
    {
        answerNode(router, tree, 0, answer({{5, 0, "Deutschland", {}}, {6, 0, "World", {}}}));
    }
    void children()
    {
        answerNode(router, tree, 5,
            answer({{7, 5, "Regional",
                {{11, "Tagesnews", "http://a.example/rss"},
                    {12, "Bayern aktuell", "http://b.example/rss"}}}}));
        answerNode(router, tree, 6,
            answer({{8, 6, "Tech",
                        {{21, "Tech NEWS", "http://c.example/rss"},
                            {22, "Gadgets", "http://d.example/rss"},
                            {23, "Päpstliche Nachrichten", "http://e.example/rss"}}},
                {9, 6, "Empty", {}}}));
    }

    RecordingRouter router;
    PAboFeedTree tree;
};

} // namespace

class tst_AboCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { PBasicData::instance().setCurrentLanguage(PLanguage()); }
    void firstAnswerAsksForEveryCategory();
    void germanExpandsDeutschland_data();
    void germanExpandsDeutschland();
    void filterHidesFeedsAndEmptyCategories_data();
    void filterHidesFeedsAndEmptyCategories();
    void selectAllIncludesHiddenFeeds();
    void changedTicksOnly();
    void badAnswers();
    void reloadDropsOldAnswers();
};

void tst_AboCatalogue::firstAnswerAsksForEveryCategory()
{
    TreeFixture fixture;
    Catalogue c(fixture);
    QCOMPARE(catalogueRequests(c.router), (QList<QPair<uint, uint>>{{0, 0}}));

    c.top();
    QCOMPARE(catalogueRequests(c.router), (QList<QPair<uint, uint>>{{0, 0}, {5, 1}, {6, 1}}));
    QCOMPARE(c.tree.topLevelItemCount(), 2);

    // Answers to those requests ask for nothing more.
    c.children();
    QCOMPARE(c.router.indexesOf(41, 3).size(), 3);
    QTreeWidgetItem *regional = find(c.tree, QStringLiteral("Regional"));
    QVERIFY(regional);
    QCOMPARE(regional->parent(), c.tree.topLevelItem(0));
    QCOMPARE(regional->data(0, PAboFeedTree::IdRole).toInt(), 7);
    QTreeWidgetItem *umlaut = find(c.tree, QStringLiteral("Päpstliche Nachrichten"));
    QVERIFY(umlaut);
    QCOMPARE(umlaut->data(0, PAboFeedTree::AddressRole).toString(),
        QStringLiteral("http://e.example/rss"));
    QCOMPARE(c.tree.total(), 5);
}

void tst_AboCatalogue::germanExpandsDeutschland_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("expanded");
    QTest::newRow("Deutsch") << QStringLiteral("Deutsch") << true;
    QTest::newRow("English") << QStringLiteral("English") << false;
}

void tst_AboCatalogue::germanExpandsDeutschland()
{
    QFETCH(QString, language);
    QFETCH(bool, expanded);
    PBasicData::instance().setCurrentLanguage(PLanguage(QStringLiteral("xx"), language));

    TreeFixture fixture;
    Catalogue c(fixture);
    c.top();
    QTreeWidgetItem *germany = c.tree.topLevelItem(0);
    // Only once its own answer has arrived.
    QVERIFY(!germany->isExpanded());
    c.children();
    QCOMPARE(germany->isExpanded(), expanded);
    QVERIFY(!c.tree.topLevelItem(1)->isExpanded());
}

void tst_AboCatalogue::filterHidesFeedsAndEmptyCategories_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("hiddenCategories");

    QTest::newRow("news, any case")
        << QStringLiteral("news")
        << QStringList{QStringLiteral("Tagesnews"), QStringLiteral("Tech NEWS")}
        << QStringList{QStringLiteral("Empty")};
    QTest::newRow("only one branch")
        << QStringLiteral("gad") << QStringList{QStringLiteral("Gadgets")}
        << QStringList{
               QStringLiteral("Deutschland"), QStringLiteral("Regional"), QStringLiteral("Empty")};
    QTest::newRow("wildcard") << QStringLiteral("t*s")
                              << QStringList{QStringLiteral("Tagesnews"),
                                     QStringLiteral("Tech NEWS"), QStringLiteral("Gadgets")}
                              << QStringList{QStringLiteral("Empty")};
    QTest::newRow("no hit") << QStringLiteral("zzz") << QStringList{}
                            << QStringList{QStringLiteral("Deutschland"), QStringLiteral("World"),
                                   QStringLiteral("Regional"), QStringLiteral("Tech"),
                                   QStringLiteral("Empty")};
}

void tst_AboCatalogue::filterHidesFeedsAndEmptyCategories()
{
    QFETCH(QString, text);
    QFETCH(QStringList, visible);
    QFETCH(QStringList, hiddenCategories);

    TreeFixture fixture;
    Catalogue c(fixture);
    c.load();

    QCOMPARE(c.tree.setFilter(text), !visible.isEmpty());
    QCOMPARE(visibleFeeds(c.tree), visible);
    const QStringList categories{QStringLiteral("Deutschland"), QStringLiteral("World"),
        QStringLiteral("Regional"), QStringLiteral("Tech"), QStringLiteral("Empty")};
    for (const QString &name : categories)
        QCOMPARE(find(c.tree, name)->isHidden(), hiddenCategories.contains(name));

    // An empty search shows everything again, empty categories included.
    QVERIFY(c.tree.setFilter(QString()));
    QCOMPARE(visibleFeeds(c.tree).size(), 5);
    for (const QString &name : categories)
        QVERIFY(!find(c.tree, name)->isHidden());
}

void tst_AboCatalogue::selectAllIncludesHiddenFeeds()
{
    TreeFixture fixture;
    RecordingRouter router;
    PAboPage3 page(&fixture.db);
    page.Activate();
    PAboFeedTree &tree = *page.treeWidget();
    answerNode(router, tree, 0, answer({{1, 0, "Top", {}}}));
    answerNode(router, tree, 1,
        answer({{2, 1, "Sub",
            {{31, "One news", "http://1.example/"}, {32, "Two", "http://2.example/"},
                {33, "Three news", "http://3.example/"}}}}));
    auto *selectAll = page.findChild<QCheckBox *>(QStringLiteral("checkBox"));
    auto *counter = page.findChild<QLabel *>(QStringLiteral("selectedFeeds"));
    auto *search = page.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    QVERIFY(selectAll && counter && search);
    QCOMPARE(counter->text(), QStringLiteral("0 news selected"));

    search->setText(QStringLiteral("news"));
    QCOMPARE(visibleFeeds(tree).size(), 2);
    selectAll->click();
    QCOMPARE(tree.selected(), tree.total());
    QCOMPARE(tree.selected(), 3);
    QVERIFY(selectAll->isChecked());
    QCOMPARE(counter->text(), QStringLiteral("3 news selected"));

    // Unticking one unchecks "Select all"; ticking it again checks it.
    QTreeWidgetItem *two = find(tree, QStringLiteral("Two"));
    two->setCheckState(0, Qt::Unchecked);
    QVERIFY(!selectAll->isChecked());
    QCOMPARE(counter->text(), QStringLiteral("2 news selected"));
    two->setCheckState(0, Qt::Checked);
    QVERIFY(selectAll->isChecked());

    selectAll->click();
    QCOMPARE(tree.selected(), 0);
    QVERIFY(!selectAll->isChecked());
}

void tst_AboCatalogue::changedTicksOnly()
{
    TreeFixture fixture;
    Catalogue c(fixture);
    QSignalSpy counter(&c.tree, &PAboFeedTree::selectedFeeds);
    c.load();
    // Subscribed by address, and by catalogue id under another address.
    QStringList ticked;
    for (QTreeWidgetItemIterator it(&c.tree, QTreeWidgetItemIterator::Checked); *it; ++it)
        ticked.append((*it)->text(0));
    QCOMPARE(ticked, (QStringList{QStringLiteral("Bayern aktuell"), QStringLiteral("Tech NEWS")}));
    QCOMPARE(counter.last().at(0).toInt(), 2);

    QSignalSpy saved(&c.tree, &PAboFeedTree::saveFeed);
    QSignalSpy cleared(&c.tree, &PAboFeedTree::clearFeed);

    c.tree.applySelection();
    QCOMPARE(saved.count() + cleared.count(), 0);

    QTreeWidgetItem *bayern = find(c.tree, QStringLiteral("Bayern aktuell"));
    bayern->setCheckState(0, Qt::Unchecked);
    bayern->setCheckState(0, Qt::Checked);
    c.tree.applySelection();
    QCOMPARE(saved.count() + cleared.count(), 0);

    find(c.tree, QStringLiteral("Tech NEWS"))->setCheckState(0, Qt::Unchecked);
    find(c.tree, QStringLiteral("Gadgets"))->setCheckState(0, Qt::Checked);
    find(c.tree, QStringLiteral("Tagesnews"))->setCheckState(0, Qt::Checked);
    QCOMPARE(c.tree.selected(), 3);
    c.tree.applySelection();
    QCOMPARE(saved.count(), 2);
    QCOMPARE(saved.at(0),
        (QVariantList{QStringLiteral("http://a.example/rss"), QStringLiteral("Tagesnews"), 11}));
    QCOMPARE(saved.at(1),
        (QVariantList{QStringLiteral("http://d.example/rss"), QStringLiteral("Gadgets"), 22}));
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0).toString(), QStringLiteral("http://c.example/rss"));
}

void tst_AboCatalogue::badAnswers()
{
    TreeFixture fixture;
    Catalogue c(fixture);

    // No message: nothing is built and the request is let go.
    QSignalSpy counted(&c.tree, &PAboFeedTree::selectedFeeds);
    QVERIFY(c.router.answerWithoutMessage(0));
    QTRY_VERIFY(!c.router.request(0));
    QCOMPARE(c.tree.topLevelItemCount(), 0);
    QCOMPARE(counted.count(), 0);

    // Counts promising more than the answer holds: what is there is built.
    c.tree.loadCatalogue(&fixture.db);
    Protocol shortAnswer = answer({{1, 0, "Only", {{41, "Half", "http://h.example/"}}}}, 3);
    shortAnswer.add(0, ProtocolArg::UInt32, 2); // a second category cut off after its id
    answerNode(c.router, c.tree, 0, shortAnswer);
    QCOMPARE(c.tree.topLevelItemCount(), 1);
    QCOMPARE(c.tree.total(), 1);
    find(c.tree, QStringLiteral("Half"))->setCheckState(0, Qt::Checked);
    QCOMPARE(c.tree.selected(), 1);

    // A category under an unknown parent is passed over, and so are its feeds.
    answerNode(c.router, c.tree, 1,
        answer({{9, 99, "Lost", {{42, "Lost feed", "http://l.example/"}}},
            {10, 1, "Found", {{43, "Kept feed", "http://k.example/"}}}}));
    QVERIFY(!find(c.tree, QStringLiteral("Lost")));
    QVERIFY(find(c.tree, QStringLiteral("Kept feed")));
    QCOMPARE(c.tree.total(), 2);
}

void tst_AboCatalogue::reloadDropsOldAnswers()
{
    TreeFixture fixture;
    Catalogue c(fixture);
    c.tree.loadCatalogue(&fixture.db);
    QCOMPARE(c.router.indexesOf(41, 3).size(), 2);

    QVERIFY(c.router.answer(0, answer({{5, 0, "Stale", {}}})));
    answerNode(c.router, c.tree, 0, answer({{6, 0, "Fresh", {}}}));
    QCOMPARE(c.tree.topLevelItemCount(), 1);
    QCOMPARE(c.tree.topLevelItem(0)->text(0), QStringLiteral("Fresh"));
}

QTEST_MAIN(tst_AboCatalogue)
#include "tst_abocatalogue.moc"
