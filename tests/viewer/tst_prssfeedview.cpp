#include "modelwatch.h"
#include "testhelpers.h"
#include "viewer/pbrowserframe.h"
#include "viewer/prssfeedview.h"

#include "host/psearchfield.h"
#include "host/psettings.h"
#include "host/pstatusbar.h"
#include "tree/feedmodel.h"
#include "tree/pfeedsearchtree.h"
#include "tree/pfeedstree.h"

#include "treefixture.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QTranslator>

using Calls = QList<QVariantList>;

// Takes the addresses the viewer hands to the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// Five subscribed feeds; feed 5 has 90 items (three pages), items 3:1 and 4:1 share a link.
class ViewFixture : public TreeFixture
{
public:
    static constexpr const char *Shared = "http://127.0.0.1:9/shared";

    ViewFixture()
    {
        PSettings::instance()->changeUser("4711");
        for (int id = 1; id <= 5; ++id)
            addFeed(id, 1, QStringLiteral("Feed %1").arg(id));
        addItem({3, 1, "Item one", "d", {}, Shared});
        addItem({4, 1, "Item two", "d", {}, Shared});
        addItem({4, 2, "Item three", "d"});
        exec("begin");
        for (int i = 1; i <= 90; ++i)
            addItem({5, i, QStringLiteral("News %1").arg(i), "d"});
        exec("commit");
    }
    ~ViewFixture()
    {
        watch.reset();
        searchWatch.reset();
        delete view;
    }

    PRSSFeedView *open()
    {
        view = new PRSSFeedView(&db);
        watch = std::make_unique<ModelWatch>(view->feedsTree()->feedModel());
        searchWatch = std::make_unique<ModelWatch>(view->searchTree()->model(), false);
        return view;
    }
    QString status() const { return view->statusBar()->currentMessage(); }

    QPointer<PRSSFeedView> view;
    // Every change made through the viewer keeps the trees' models consistent.
    std::unique_ptr<ModelWatch> watch;
    std::unique_ptr<ModelWatch> searchWatch;
};

using Translator = TestHelpers::WordTranslator;

class tst_PRSSFeedView : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void geometryAndLanguage();
    void welcomeWhileThereAreNoFeeds();
    void navigation();
    void updateProgress();
    void searchSwitchesAtTheThirdCharacter_data();
    void searchSwitchesAtTheThirdCharacter();
    void markAllRead_data();
    void markAllRead();
    void keys();
};

void tst_PRSSFeedView::cleanup()
{
    const QStringList modelFailures = ModelWatch::failures();
    QVERIFY2(modelFailures.isEmpty(), qPrintable(modelFailures.join(u'\n')));
}

void tst_PRSSFeedView::geometryAndLanguage()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QCOMPARE(view->size(), QSize(700, 600));
    QVERIFY((view->frameGeometry().center() - view->screen()->availableGeometry().center())
                .manhattanLength()
        <= 2);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    view->setGeometry(40, 50, 640, 480);
    QVERIFY(view->close());
    QTRY_VERIFY(f.view.isNull());

    view = f.open();
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QCOMPARE(view->geometry(), QRect(40, 50, 640, 480));
    // Escape closes like the Close action, but not when only its release arrives
    // (a menu or dialog took the press).
    view->resize(720, 610);
    QTest::keyRelease(view, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(!f.view.isNull());
    QTest::keyPress(view, Qt::Key_Escape);
    QTRY_VERIFY(f.view.isNull());
    QCOMPARE(f.open()->size(), QSize(720, 610));

    // A language change retranslates the window and rewrites the page script's words.
    Translator german;
    german.words = {{"Toggle Unread", "Ungelesen ä"}, {"Toggle Read", "Gelesen ö"},
        {"pellix News-Viewer", "Nachrichten"}};
    QCoreApplication::installTranslator(&german);
    QCoreApplication::processEvents();
    QCOMPARE(f.view->windowTitle(), QStringLiteral("Nachrichten"));
    QFile script(PDir::applicationDataPath(true) + "/rss.js");
    QVERIFY(script.open(QIODevice::ReadOnly));
    QVERIFY(script.readAll().contains("\"Ungelesen \xc3\xa4\""));
    // The pages are written again at once, with the words the script now compares.
    QDir viewerDir(PDir::applicationDataPath(true));
    const QStringList pages = viewerDir.entryList({"*_channel*.html"}, QDir::Files);
    QVERIFY(!pages.isEmpty());
    QByteArray all;
    for (const QString &name : pages) {
        QFile page(viewerDir.filePath(name));
        QVERIFY(page.open(QIODevice::ReadOnly));
        all += page.readAll();
    }
    QVERIFY(!all.contains("\"Toggle Read\"") && !all.contains("\"Toggle Unread\""));
    QVERIFY(all.contains("\"Gelesen \xc3\xb6\""));
    QCoreApplication::removeTranslator(&german);
}

void tst_PRSSFeedView::welcomeWhileThereAreNoFeeds()
{
    ViewFixture f;
    f.exec("delete from feeds");
    PRSSFeedView *view = f.open();
    QVERIFY(view->isShowingWelcome());
    QSignalSpy wizard(view, &PRSSFeedView::sendAboChannel);
    auto *button = view->welcomePage()->findChild<QPushButton *>("welcomeSubscribeButton");
    QVERIFY(button);
    button->click();
    QCOMPARE(wizard.count(), 1);

    // The first subscription brings the pages; the last one gone, the welcome is back.
    f.addFeed(1, 1, QStringLiteral("Feed 1"));
    view->slotNewItems(1, true);
    QVERIFY(!view->isShowingWelcome());
    f.exec("delete from feeds");
    view->forgetFeed(1);
    view->slotNewItems(0, true);
    QVERIFY(view->isShowingWelcome());
}

void tst_PRSSFeedView::navigation()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QSignalSpy states(view, &PRSSFeedView::sendItemStateChanged);
    QSignalSpy shown(view->browser(), &PBrowserFrame::NavigateComplete);
    const auto loaded = [&](const QString &url) {
        return QTest::qWaitFor(
            [&] { return !shown.isEmpty() && shown.last().at(0) == url; }, 20000);
    };
    auto *address = view->findChild<QComboBox *>("addressBox");
    QAction *favorite = view->findChild<QAction *>("favoriteAction");
    const QString shared = ViewFixture::Shared;

    // Opening item 4:1 selects its feed, loads its link and reads every item stored with it.
    view->openItem(4, 1);
    QCOMPARE(view->feedsTree()->feedIdOf(view->feedsTree()->currentIndex()), 4);
    QVERIFY(loaded(shared));
    QCOMPARE(f.value("select count(*) from items where isread = 1").toInt(), 2);
    QCOMPARE(Calls(states.begin(), states.end()), (Calls{{1, 3, 1}, {1, 4, 1}}));
    QVERIFY(favorite->isEnabled());
    QCOMPARE(address->currentText(), shared);

    // Favorite flags every item with the link and tells the client nothing.
    favorite->trigger();
    QCOMPARE(f.value("select count(*) from items where mark = 1").toInt(), 2);
    QVERIFY(QFile::exists(f.page(0)));

    // A feed page: no favorite, no address; reloaded when its feed (and only its) is rebuilt.
    const auto page
        = [&](int n) { return f.page(5).replace("_1.html", QStringLiteral("_%1.html").arg(n)); };
    view->browser()->Navigate(page(3));
    QVERIFY(loaded(page(3)));
    QVERIFY(!favorite->isEnabled());
    QCOMPARE(address->currentText(), QString());
    shown.clear();
    view->feedsTree()->update(4);
    view->feedsTree()->update(5);
    QVERIFY(loaded(page(3)));
    QCOMPARE(shown.count(), 1);
    // Only two pages left: the last of them. No pages at all: a blank browser.
    f.exec("update items set toclear = 1 where channelid = 5 and itemid <= 30");
    view->feedsTree()->update(5);
    QVERIFY(loaded(page(2)));
    f.exec("update items set toclear = 1 where channelid = 5");
    view->feedsTree()->update(5);
    QVERIFY(loaded("about:blank"));
    // A web page no item links to.
    view->NavigateComplete("http://127.0.0.1:9/other");
    QVERIFY(!favorite->isEnabled());
    QCOMPARE(states.count(), 2);
}

void tst_PRSSFeedView::updateProgress()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QSignalSpy all(view, &PRSSFeedView::sendUpdateAll);
    const QList<int> ids = view->feedsTree()->idsToLoad();
    QCOMPARE(ids.size(), 5);

    view->findChild<QAction *>("updateNewsAction")->trigger();
    QCOMPARE(all.count(), 1);
    QCOMPARE(f.status(), QStringLiteral("Update starts"));
    view->slotNewItems(ids.at(0), false);
    QCOMPARE(f.status(), QStringLiteral("1 from 5 news were updated."));
    view->slotNewItems(99, false);
    view->slotNewItems(ids.at(0), false);
    QCOMPARE(f.status(), QStringLiteral("1 from 5 news were updated."));
    for (int i = 1; i < 4; ++i)
        view->slotNewItems(ids.at(i), i % 2);
    QCOMPARE(f.status(), QStringLiteral("4 from 5 news were updated."));
    view->slotNewItems(ids.at(4), false);
    QCOMPARE(f.status(), QStringLiteral("Update finished"));
    // Hovering a link shows its target; leaving it brings the progress back.
    for (const QString &tip : {QString(), QStringLiteral("http://example.org/"), QString()}) {
        QStatusTipEvent event(tip);
        QCoreApplication::sendEvent(view, &event);
        QCOMPARE(f.status(), tip.isEmpty() ? QStringLiteral("Update finished") : tip);
    }

    // One feed at a time, from the tree.
    emit view->feedsTree()->sendUpdate(3);
    emit view->feedsTree()->sendStartUpdate(2);
    view->slotNewItems(3, false);
    QCOMPARE(f.status(), QStringLiteral("0 from 1 news were updated."));
    view->slotNewItems(2, false);
    QCOMPARE(f.status(), QStringLiteral("Update finished"));
}

void tst_PRSSFeedView::searchSwitchesAtTheThirdCharacter_data()
{
    QTest::addColumn<int>("feed"); // selected in the tree; 0 selects folder 1, -1 nothing
    QTest::addColumn<int>("folderScope");
    QTest::addColumn<int>("feedScope");
    QTest::newRow("feed") << 3 << 1 << 3;
    QTest::newRow("folder") << 0 << 1 << -1;
    QTest::newRow("nothing") << -1 << -1 << -1;
}

void tst_PRSSFeedView::searchSwitchesAtTheThirdCharacter()
{
    QFETCH(int, feed);
    QFETCH(int, folderScope);
    QFETCH(int, feedScope);
    ViewFixture f;
    PRSSFeedView *view = f.open();
    if (feed > 0)
        view->feedsTree()->selectFeed(feed);
    else if (feed == 0)
        view->feedsTree()->setCurrentIndex(view->feedsTree()->model()->index(0, 0));
    QAction *deleteNews = view->findChild<QAction *>("deleteNewsAction");
    QCOMPARE(deleteNews->isEnabled(), feed > 0);

    auto *field = view->findChild<PSearchField *>("searchField");
    QTest::keyClicks(field, "It");
    QVERIFY(!view->isSearching());
    QSignalSpy searches(view->searchTree()->model(), &QAbstractItemModel::modelReset);
    QTest::keyClicks(field, "e");
    QVERIFY(view->isSearching());
    QVERIFY(!deleteNews->isEnabled());
    QCOMPARE(view->searchTree()->folderScope(), folderScope);
    QCOMPARE(view->searchTree()->feedScope(), feedScope);
    // The search itself waits for a pause in typing.
    QCOMPARE(view->searchTree()->model()->rowCount(), 0);
    QTest::keyClicks(field, "m");
    QTRY_VERIFY(view->searchTree()->model()->rowCount() > 0);
    // Typed without a pause, "Ite" and "Item" are one search.
    QCOMPARE(searches.count(), 1);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClick(field, Qt::Key_Backspace);
    QVERIFY(!view->isSearching());
    QCOMPARE(view->searchTree()->model()->rowCount(), 0);
    QCOMPARE(deleteNews->isEnabled(), feed > 0);
}

// The web engine needs this before the application exists.
static const bool sharedContexts
    = (QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts), true);
void tst_PRSSFeedView::markAllRead_data()
{
    TestHelpers::addRows(
        QStringLiteral("cases/mark-all-read.txt"), {"node", "how", "read", "folders"});
}

void tst_PRSSFeedView::markAllRead()
{
    QFETCH(QString, node);
    QFETCH(QString, how);
    QFETCH(QString, read);
    QFETCH(QString, folders);
    ViewFixture f;
    f.addFolder(2, "Elsewhere");
    f.addFeed(6, 2, "Feed 6");
    f.addItem({6, 1, "Far one", "d"});
    f.addItem({6, 2, "Far two", "d"});
    f.exec("update items set mark = 1 where channelid = 3");
    PRSSFeedView *view = f.open();
    PFeedsTree *tree = view->feedsTree();
    FeedModel *model = tree->feedModel();
    // Folder rows follow the database's order, not the ids'.
    const auto folderIndex = [&](int folderId) {
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->folderIdAt(r) == folderId)
                return model->index(r, 0);
        }
        return QModelIndex();
    };
    const auto captions = [&] {
        return model->data(folderIndex(1)).toString() + '|'
            + model->data(folderIndex(2)).toString();
    };
    QCOMPARE(captions(), "My Feeds (93)|Elsewhere (2)");
    QSignalSpy states(view, &PRSSFeedView::sendItemStateChanged);
    QSignalSpy pages(tree, &PFeedsTree::sendNewPage);

    const int id = node.section(' ', 1).toInt();
    if (node == "all") {
        view->findChild<QAction *>("markAllReadAction")->trigger();
    } else if (how == "tree") {
        if (node.startsWith("folder"))
            emit tree->sendMarkFolderRead(id);
        else
            emit tree->sendMarkFeedRead(id);
    } else {
        const QModelIndex index = node.startsWith("folder")
            ? folderIndex(id)
            : model
                  ->match(model->index(0, 0), Qt::UserRole, id, 1,
                      Qt::MatchRecursive | Qt::MatchExactly)
                  .value(0);
        QVERIFY(index.isValid());
        tree->setCurrentIndex(index);
        view->findChild<QAction *>("markReadAction")->trigger();
    }

    QStringList told;
    for (const QVariantList &call : states) {
        QCOMPARE(call.at(0).toInt(), 1);
        told.append(call.at(1).toString() + ':' + call.at(2).toString());
    }
    if (read == "*") {
        QCOMPARE(told.size(), 95);
        QCOMPARE(f.value("select count(*) from items where isread = 0").toInt(), 0);
    } else {
        QCOMPARE(told.join(' '), read);
        QCOMPARE(f.value("select group_concat(channelid || ':' || itemid, ' ') from (select * "
                         "from items where isread = 1 order by channelid, itemid)")
                     .toString(),
            read);
    }
    QCOMPARE(captions(), folders);
    // The pages of every feed that changed were written anew, and the favourites' too.
    QStringList rebuilt;
    for (const QVariantList &call : pages)
        rebuilt.append(call.at(0).toString());
    if (!told.isEmpty())
        QVERIFY(rebuilt.contains("0"));
    for (const QString &key : std::as_const(told))
        QVERIFY(rebuilt.contains(key.section(':', 0, 0)));
}

void tst_PRSSFeedView::keys()
{
    ViewFixture f;
    f.exec(
        "update items set link = 'https://example.org/three' where channelid = 4 and itemid = 2");
    UrlCatcher browser;
    PRSSFeedView *view = f.open();
    PFeedsTree *tree = view->feedsTree();
    FeedModel *model = tree->feedModel();
    QSignalSpy states(view, &PRSSFeedView::sendItemStateChanged);
    const auto trigger = [&](const char *name) { view->findChild<QAction *>(name)->trigger(); };
    const auto current = [&] { return model->data(tree->currentIndex()).toString(); };

    // Next unread feed from the top: feed 3, then 4, 5 and round again to 3.
    tree->setCurrentIndex(QModelIndex());
    QStringList visited;
    for (int i = 0; i < 4; ++i) {
        trigger("nextUnreadAction");
        visited.append(current());
    }
    QCOMPARE(
        visited, (QStringList{"Feed 3 (1/1)", "Feed 4 (2/2)", "Feed 5 (90/90)", "Feed 3 (1/1)"}));

    // Items in tree order across feeds, folded ones included.
    view->openItem(4, -1);
    trigger("nextItemAction");
    QCOMPARE(current(), "Item three");
    trigger("nextItemAction");
    QCOMPARE(current(), "Item two");
    trigger("nextItemAction");
    QCOMPARE(current(), "News 90");
    QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
    trigger("previousItemAction");
    trigger("previousItemAction");
    QCOMPARE(current(), "Item three");

    // Read and flag toggles on the selected item; the client hears of read changes only.
    trigger("toggleReadAction");
    trigger("toggleReadAction");
    QCOMPARE(Calls(states.begin(), states.end()), (Calls{{1, 4, 2}, {2, 4, 2}}));
    trigger("toggleFlagAction");
    QCOMPARE(f.value("select group_concat(channelid || ':' || itemid) from items where mark = 1")
                 .toString(),
        "4:2");
    QCOMPARE(model->data(model->index(0, 0, model->index(0, 0))).toString(), "Favorites (1/1)");
    trigger("toggleFlagAction");
    QCOMPARE(f.value("select count(*) from items where mark = 1").toInt(), 0);
    QCOMPARE(states.count(), 2);

    // The item's link goes to the desktop's browser, and only web addresses do.
    trigger("openBrowserAction");
    QCOMPARE(browser.urls, QList<QUrl>{QUrl("https://example.org/three")});
    emit tree->sendOpenExternally("file:///etc/passwd");
    emit tree->sendOpenExternally("https://example.org/");
    QCOMPARE(browser.urls.size(), 2);

    // Ctrl+F goes to the search field; the shortcuts are listed in the Help menu.
    view->show();
    QVERIFY(QTest::qWaitForWindowActive(view));
    trigger("searchAction");
    QTRY_VERIFY(view->findChild<QLineEdit *>("searchField")->hasFocus());
    QString listed;
    QTimer::singleShot(0, view, [&] {
        auto *box = view->findChild<QMessageBox *>("shortcutsBox");
        if (box) {
            listed = box->text();
            box->close();
        }
    });
    trigger("shortcutsAction");
    for (const QString &entry :
        {QString("F5"), QString("Ctrl+F"), QString("Next Item"), QString("Toggle Flag")})
        QVERIFY2(listed.contains(entry), qPrintable(listed));
}

QTEST_MAIN(tst_PRSSFeedView)
#include "tst_prssfeedview.moc"
