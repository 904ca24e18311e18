#include "core/rssprotocol.h"
#include "host/pbasicdata.h"
#include "host/request.h"
#include "recordingrouter.h"
#include "wizard/pabofeedtree.h"
#include "wizard/pabopage3.h"

#include "treefixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

using Feed = std::tuple<int, QByteArray, QByteArray>; // id, title, address
using Category = std::tuple<int, int, QByteArray, QList<Feed>>; // id, parent, name, feeds

// The number of categories, then per category id, parent, name and feed count,
// each followed by its feeds.
Protocol answer(const QList<Category> &categories, int claimed = -1)
{
    Protocol p;
    p.add(0, ProtocolArg::UInt16, claimed < 0 ? int(categories.size()) : claimed);
    for (const auto &[id, parent, name, feeds] : categories) {
        p.add(0, ProtocolArg::UInt32, id);
        p.add(0, ProtocolArg::UInt32, parent);
        p.add(0, ProtocolArg::Bytes, name);
        p.add(0, ProtocolArg::UInt16, int(feeds.size()));
        for (const auto &[feedId, title, address] : feeds) {
            p.add(0, ProtocolArg::UInt32, feedId);
            p.add(0, ProtocolArg::Bytes, title);
            p.add(0, ProtocolArg::Bytes, address);
        }
    }
    return p;
}

// Every catalogue request so far as "field:type=value ...".
QStringList catalogueRequests(const RecordingRouter &router)
{
    QStringList result;
    for (const Protocol &p :
        router.messagesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)) {
        QStringList fields;
        for (const ProtocolArg &arg : p.args())
            fields << QStringLiteral("%1:%2=%3")
                          .arg(QString::number(arg.field()), ProtocolArg::typeName(arg.type()),
                              arg.variant().toString());
        result << fields.join(' ');
    }
    return result;
}

QTreeWidgetItem *find(const PAboFeedTree &tree, const QString &text)
{
    return tree.findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
}

// Visible categories and feeds in tree order, comma separated.
QString visibleItems(const PAboFeedTree &tree)
{
    QStringList titles;
    for (QTreeWidgetItemIterator it(const_cast<PAboFeedTree *>(&tree)); *it; ++it) {
        bool shown = true;
        for (QTreeWidgetItem *p = *it; p && shown; p = p->parent())
            shown = !p->isHidden();
        if (shown)
            titles.append((*it)->text(0));
    }
    return titles.join(',');
}

// The wizard's catalogue page. Two categories at the top; "Deutschland" holds a
// sub-category. Feed 12 is subscribed by address, feed 21 under another address
// with the same catalogue id.
class Catalogue
{
public:
    explicit Catalogue(TreeFixture &fixture) : page(&fixture.db)
    {
        fixture.exec("insert into feeds (id, source, toload, farmid, folderid, inclient) values "
                     "(1, 'http://b.example/rss', 1, -1, 1, 1), "
                     "(2, 'http://moved.example/', 1, 21, 1, 1)");
        page.Activate();
    }
    void top() { answerRequest(0, answer({{5, 0, "Deutschland", {}}, {6, 0, "World", {}}})); }
    void children()
    {
        answerRequest(1,
            answer({{7, 5, "Regional",
                {{11, "Tagesnews", "http://a.example/rss"},
                    {12, "Bayern aktuell", "http://b.example/rss"}}}}));
        answerRequest(2,
            answer({{8, 6, "Tech",
                        {{21, "Tech NEWS", "http://c.example/rss"},
                            {22, "Gadgets", "http://d.example/rss"},
                            {23, "Päpstliche Nachrichten", "http://e.example/rss"}}},
                {9, 6, "Empty", {}}}));
    }
    // Answers catalogue request n and waits until the tree has taken it.
    void answerRequest(int n, const Protocol &reply)
    {
        QSignalSpy counted(&tree, &PAboFeedTree::selectedFeeds);
        QVERIFY(router.answer(
            router.indexesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
                .at(n),
            reply));
        QVERIFY(counted.wait());
    }
    QString counter() const { return page.findChild<QLabel *>("selectedFeeds")->text(); }

    RecordingRouter router;
    PAboPage3 page;
    PAboFeedTree &tree = *page.treeWidget();
    QCheckBox *selectAll = page.findChild<QCheckBox *>("checkBox");
};

} // namespace

class tst_AboCatalogue : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { PBasicData::instance().setCurrentLanguage(PLanguage()); }
    void loadAndTick_data();
    void loadAndTick();
    void filterAndSelectAll_data();
    void filterAndSelectAll();
    void staleShortAndBadAnswers();
};

void tst_AboCatalogue::loadAndTick_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("expanded"); // "Deutschland"
    QTest::newRow("Deutsch") << "Deutsch" << true;
    QTest::newRow("English") << "English" << false;
}

void tst_AboCatalogue::loadAndTick()
{
    QFETCH(QString, language);
    QFETCH(bool, expanded);
    PBasicData::instance().setCurrentLanguage(PLanguage("xx", language));
    TreeFixture fixture;
    Catalogue c(fixture);
    QCOMPARE(catalogueRequests(c.router), QStringList{"771:uint32=0 770:uint8=0"});
    c.top();
    QCOMPARE(catalogueRequests(c.router),
        (QStringList{
            "771:uint32=0 770:uint8=0", "771:uint32=5 770:uint8=1", "771:uint32=6 770:uint8=1"}));
    QTreeWidgetItem *germany = c.tree.topLevelItem(0);
    QVERIFY(!germany->isExpanded()); // only once its own answer has arrived

    // Answers to those requests ask for nothing more.
    c.children();
    QCOMPARE(c.router.indexesOf(ClientMessage::NewsModule, ClientMessage::CatalogueChildrenRequest)
                 .size(),
        3);
    QCOMPARE(germany->isExpanded(), expanded);
    QVERIFY(!c.tree.topLevelItem(1)->isExpanded());
    QCOMPARE(find(c.tree, "Regional")->parent(), germany);
    QCOMPARE(find(c.tree, "Päpstliche Nachrichten")->data(0, PAboFeedTree::AddressRole),
        QVariant("http://e.example/rss"));
    QCOMPARE(c.tree.total(), 5);

    // Subscribed by address, and by catalogue id under another address.
    QStringList ticked;
    for (QTreeWidgetItemIterator it(&c.tree, QTreeWidgetItemIterator::Checked); *it; ++it)
        ticked.append((*it)->text(0));
    QCOMPARE(ticked, (QStringList{"Bayern aktuell", "Tech NEWS"}));
    QCOMPARE(c.counter(), QStringLiteral("2 news selected"));

    // Off and on again is no change.
    QSignalSpy saved(&c.tree, &PAboFeedTree::saveFeed);
    QSignalSpy cleared(&c.tree, &PAboFeedTree::clearFeed);
    find(c.tree, "Bayern aktuell")->setCheckState(0, Qt::Unchecked);
    find(c.tree, "Bayern aktuell")->setCheckState(0, Qt::Checked);
    find(c.tree, "Tech NEWS")->setCheckState(0, Qt::Unchecked);
    find(c.tree, "Gadgets")->setCheckState(0, Qt::Checked);
    find(c.tree, "Tagesnews")->setCheckState(0, Qt::Checked);
    QCOMPARE(c.counter(), QStringLiteral("3 news selected"));
    c.tree.applySelection();
    QCOMPARE(saved.count(), 2);
    QCOMPARE(saved.at(0), (QVariantList{"http://a.example/rss", "Tagesnews", 11}));
    QCOMPARE(saved.at(1), (QVariantList{"http://d.example/rss", "Gadgets", 22}));
    QCOMPARE(cleared.count(), 1);
    QCOMPARE(cleared.at(0).at(0), QVariant("http://c.example/rss"));
}

void tst_AboCatalogue::filterAndSelectAll_data()
{
    TestHelpers::addRows(QStringLiteral("cases/catalogue-filters.txt"), {"text", "visible"});
}

void tst_AboCatalogue::filterAndSelectAll()
{
    QFETCH(QString, text);
    QFETCH(QString, visible);
    TreeFixture fixture;
    Catalogue c(fixture);
    c.top();
    c.children();
    auto *search = c.page.findChild<QLineEdit *>("lineEdit");
    search->setText(text);
    QCOMPARE(visibleItems(c.tree), visible);

    // "Select all" takes hidden feeds too and follows the ticks.
    c.selectAll->click();
    QCOMPARE(c.tree.selected(), 5);
    QCOMPARE(c.counter(), QStringLiteral("5 news selected"));
    QTreeWidgetItem *gadgets = find(c.tree, "Gadgets");
    gadgets->setCheckState(0, Qt::Unchecked);
    QVERIFY(!c.selectAll->isChecked());
    gadgets->setCheckState(0, Qt::Checked);
    QVERIFY(c.selectAll->isChecked());
    c.selectAll->click();
    QCOMPARE(c.tree.selected(), 0);

    // An empty search shows everything again, empty categories included.
    search->clear();
    QCOMPARE(visibleItems(c.tree).count(','), 10 - 1);
}

void tst_AboCatalogue::staleShortAndBadAnswers()
{
    TreeFixture fixture;
    Catalogue c(fixture);
    QSignalSpy counted(&c.tree, &PAboFeedTree::selectedFeeds);
    // A reload drops the answers to the earlier load; an answer without a
    // message builds nothing and lets the request go.
    c.tree.loadCatalogue(&fixture.db);
    QVERIFY(c.router.answer(0, answer({{5, 0, "Stale", {}}})));
    QVERIFY(c.router.answerWithoutMessage(1));
    QTRY_VERIFY(!c.router.request(1));
    QCOMPARE(c.tree.topLevelItemCount(), 0);
    QCOMPARE(counted.count(), 0);

    // Counts promising more than the answer holds: what is there is built.
    c.tree.loadCatalogue(&fixture.db);
    Protocol shortAnswer = answer({{1, 0, "Only", {{41, "Half", "http://h.example/"}}}}, 3);
    shortAnswer.add(0, ProtocolArg::UInt32, 2); // a second category cut off after its id
    c.answerRequest(2, shortAnswer);
    QCOMPARE(c.tree.topLevelItemCount(), 1);
    QCOMPARE(c.tree.total(), 1);
    find(c.tree, "Half")->setCheckState(0, Qt::Checked);
    QCOMPARE(c.tree.selected(), 1);
}

QTEST_MAIN(tst_AboCatalogue)
#include "tst_abocatalogue.moc"
