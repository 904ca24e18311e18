#include "viewer/pbrowserframe.h"
#include "viewer/prssfeedview.h"

#include "dialogs/pcleanpage1.h"
#include "host/psearchfield.h"
#include "host/psettings.h"
#include "host/pstatusbar.h"
#include "plugin/rsssettings.h"
#include "tree/feedmodel.h"
#include "tree/pfeedsearchtree.h"
#include "tree/pfeedstree.h"

#include "testhttpserver.h"
#include "treefixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

// Five subscribed feeds; feed 5 has 90 items (three pages), items 3:1 and 4:1 share a link.
class ViewFixture : public TreeFixture
{
public:
    static constexpr const char *Shared = "http://127.0.0.1:9/shared";

    ViewFixture()
    {
        PSettings::instance()->changeUser(QStringLiteral("4711"));
        for (int id = 1; id <= 5; ++id)
            addFeed(id, 1, QStringLiteral("Feed %1").arg(id));
        addItem({3, 1, QStringLiteral("Item one"), QStringLiteral("d"), {}, QLatin1String(Shared)});
        addItem({4, 1, QStringLiteral("Item two"), QStringLiteral("d"), {}, QLatin1String(Shared)});
        addItem({4, 2, QStringLiteral("Item three"), QStringLiteral("d")});
        exec(QStringLiteral("begin"));
        for (int i = 1; i <= 90; ++i)
            addItem({5, i, QStringLiteral("News %1").arg(i), QStringLiteral("d")});
        exec(QStringLiteral("commit"));
    }
    ~ViewFixture() { delete view; }

    PRSSFeedView *open() { return view = new PRSSFeedView(&db); }
    template <typename T = QAction> T *child(const char *name) const
    {
        return view->findChild<T *>(QLatin1String(name));
    }
    QString status() const { return view->statusBar()->currentMessage(); }
    int count(const char *where)
    {
        return value(QStringLiteral("select count(*) from items where ") + QLatin1String(where))
            .toInt();
    }
    static QString pagePath(int feed, int page)
    {
        return QDir::toNativeSeparators(PDir::applicationDataPath(true)
            + QStringLiteral("/4711_channel%1_%2.html").arg(feed).arg(page));
    }
    static bool waitFor(QSignalSpy &spy, const QString &url)
    {
        return QTest::qWaitFor(
            [&] { return !spy.isEmpty() && spy.last().at(0).toString() == url; }, 20000);
    }

    QPointer<PRSSFeedView> view;
};

class GermanTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *source, const char *, int) const override
    {
        static const QHash<QString, QString> words{
            {QStringLiteral("QObject/Mark"), QStringLiteral("Markieren")},
            {QStringLiteral("QObject/Unmark"), QStringLiteral("Nicht markieren")},
            {QStringLiteral("QObject/Toggle Read"), QStringLiteral("Gelesen")},
            {QStringLiteral("QObject/Toggle Unread"), QStringLiteral("Ungelesen ä")},
            {QStringLiteral("PRSSFeedView/pellix News-Viewer"),
                QStringLiteral("pellix Nachrichten")},
        };
        return words.value(QLatin1String(context) + QLatin1Char('/') + QLatin1String(source));
    }
};

class tst_PRSSFeedView : public QObject
{
    Q_OBJECT
private slots:
    void geometryIsCentredFirstAndRestoredLater();
    void pageScriptCarriesThePagesWords();
    void openingAStoredLinkReadsEveryItemWithIt();
    void followsRenderedPages();
    void updateProgress();
    void searchSwitchesAtTheThirdCharacter_data();
    void searchSwitchesAtTheThirdCharacter();
    void cleanWizardOpensOverTheViewer();
    void openItemSelectsAndShowsTheItem();
};

void tst_PRSSFeedView::geometryIsCentredFirstAndRestoredLater()
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
    // Escape closes like the Close action, other keys do not.
    view->resize(720, 610);
    QTest::keyRelease(view, Qt::Key_A);
    QVERIFY(!f.view.isNull());
    QTest::keyRelease(view, Qt::Key_Escape);
    QTRY_VERIFY(f.view.isNull());
    QCOMPARE(f.open()->size(), QSize(720, 610));
}

void tst_PRSSFeedView::pageScriptCarriesThePagesWords()
{
    ViewFixture f;
    const auto script = [] {
        QFile file(PDir::applicationDataPath(true) + QStringLiteral("/rss.js"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QFile resource(QStringLiteral(":/rss"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QByteArray original = resource.readAll();
    PRSSFeedView *view = f.open();
    QCOMPARE(script(), original);

    GermanTranslator german;
    QCoreApplication::installTranslator(&german);
    QCoreApplication::processEvents();
    const QByteArray translated = script();
    QCOMPARE(view->windowTitle(), QStringLiteral("pellix Nachrichten"));
    QCoreApplication::removeTranslator(&german);

    QCOMPARE(translated,
        QByteArray(original)
            .replace("\"Mark\"", "\"Markieren\"")
            .replace("\"Unmark\"", "\"Nicht markieren\"")
            .replace("\"Toggle Read\"", "\"Gelesen\"")
            .replace("\"Toggle Unread\"", "\"Ungelesen \xc3\xa4\""));
    QCoreApplication::processEvents();
    QCOMPARE(script(), original);
}

void tst_PRSSFeedView::openingAStoredLinkReadsEveryItemWithIt()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QSignalSpy states(view, &PRSSFeedView::sendItemStateChanged);
    auto *address = f.child<QComboBox>("addressBox");
    QAction *favorite = f.child("favoriteAction");
    const QString shared = QLatin1String(ViewFixture::Shared);

    view->NavigateComplete(shared);
    QCOMPARE(f.count("isread = 1"), 2);
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(0), (QVariantList{1, 3, 1}));
    QCOMPARE(states.at(1), (QVariantList{1, 4, 1}));
    QVERIFY(favorite->isEnabled());
    QCOMPARE(address->currentText(), shared);

    // Favorite flags every item with the link and tells the client nothing.
    favorite->trigger();
    QCOMPARE(f.count("mark = 1"), 2);
    QCOMPARE(states.count(), 2);
    QVERIFY(QFile::exists(f.pagePath(0, 1)));

    view->NavigateComplete(QStringLiteral("http://127.0.0.1:9/other"));
    QVERIFY(!favorite->isEnabled());
    QCOMPARE(states.count(), 2);
    for (const QString &local : {f.pagePath(5, 1), QStringLiteral("about:blank")}) {
        view->NavigateComplete(shared);
        view->NavigateComplete(local);
        QVERIFY(!favorite->isEnabled());
        QCOMPARE(address->currentText(), QString());
    }
}

void tst_PRSSFeedView::followsRenderedPages()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QSignalSpy shown(view->browser(), &PBrowserFrame::NavigateComplete);
    view->browser()->Navigate(f.pagePath(5, 3));
    QVERIFY(ViewFixture::waitFor(shown, f.pagePath(5, 3)));

    // Still there: reloaded. Another feed's pages do not concern it.
    shown.clear();
    view->feedsTree()->update(4);
    view->feedsTree()->update(5);
    QVERIFY(ViewFixture::waitFor(shown, f.pagePath(5, 3)));
    QCOMPARE(shown.count(), 1);
    // Only two pages left: the last of them.
    f.exec(QStringLiteral("update items set toclear = 1 where channelid = 5 and itemid <= 30"));
    view->feedsTree()->update(5);
    QVERIFY(ViewFixture::waitFor(shown, f.pagePath(5, 2)));
    // No pages at all: a blank browser.
    f.exec(QStringLiteral("update items set toclear = 1 where channelid = 5"));
    view->feedsTree()->update(5);
    QVERIFY(ViewFixture::waitFor(shown, QStringLiteral("about:blank")));
}

void tst_PRSSFeedView::updateProgress()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    QSignalSpy all(view, &PRSSFeedView::sendUpdateAll);
    const QList<int> ids = view->feedsTree()->idsToLoad();
    QCOMPARE(ids.size(), 5);

    f.child("updateNewsAction")->trigger();
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

    // One feed at a time, from the tree.
    QSignalSpy one(view, &PRSSFeedView::sendUpdate);
    QSignalSpy added(view, &PRSSFeedView::sendStartUpdate);
    emit view->feedsTree()->sendUpdate(3);
    emit view->feedsTree()->sendStartUpdate(2);
    QCOMPARE(one.count(), 1);
    QCOMPARE(added.count(), 1);
    view->slotNewItems(3, false);
    QCOMPARE(f.status(), QStringLiteral("0 from 1 news were updated."));
    view->slotNewItems(2, false);
    QCOMPARE(f.status(), QStringLiteral("Update finished"));
    view->statusBar()->showMessage(QStringLiteral("idle"));
    view->slotNewItems(2, false);
    QCOMPARE(f.status(), QStringLiteral("idle"));
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
    QAction *deleteNews = f.child("deleteNewsAction");
    QCOMPARE(deleteNews->isEnabled(), feed > 0);

    auto *field = f.child<PSearchField>("searchField");
    QTest::keyClicks(field, QStringLiteral("It"));
    QVERIFY(!view->isSearching());
    QTest::keyClicks(field, QStringLiteral("e"));
    QVERIFY(view->isSearching());
    QVERIFY(!deleteNews->isEnabled());
    QCOMPARE(view->searchTree()->folderScope(), folderScope);
    QCOMPARE(view->searchTree()->feedScope(), feedScope);
    QVERIFY(view->searchTree()->topLevelItemCount() > 0);
    QTest::keyClick(field, Qt::Key_Backspace);
    QVERIFY(!view->isSearching());
    QCOMPARE(view->searchTree()->topLevelItemCount(), 0);
    QCOMPARE(deleteNews->isEnabled(), feed > 0);

    // Subscribing clears the search.
    QSignalSpy abo(view, &PRSSFeedView::sendAboChannel);
    QTest::keyClicks(field, QStringLiteral("em"));
    QVERIFY(view->isSearching());
    QTest::mouseClick(f.child<QToolButton>("subscribeButton"), Qt::LeftButton);
    QCOMPARE(abo.count(), 1);
    QVERIFY(field->text().isEmpty());
    QVERIFY(!view->isSearching());
}

void tst_PRSSFeedView::cleanWizardOpensOverTheViewer()
{
    ViewFixture f;
    PRSSFeedView *view = f.open();
    view->setGeometry(100, 80, 700, 600);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view));
    QSignalSpy changes(view, &PRSSFeedView::sendChangeFeeds);
    QPoint offset;
    QTimer::singleShot(0, view, [&] {
        auto *page = qobject_cast<PCleanPage1 *>(QApplication::activeModalWidget());
        QVERIFY(page);
        // Placed by move(), which positions the frame.
        offset = page->pos() + QPoint(page->width() / 2, page->height() / 2)
            - QRectF(view->geometry()).center().toPoint();
        for (const char *button : {"deleteButton", "cancelButton"})
            QTest::mouseClick(
                page->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    });
    emit view->feedsTree()->sendStartCleanWizard(4);
    QCOMPARE(offset, QPoint(0, 0));
    QCOMPARE(changes.count(), 2);
    QCOMPARE(changes.at(0), (QVariantList{4, true}));
    QCOMPARE(changes.at(1), (QVariantList{0, true}));
    QCOMPARE(f.count("toclear = 1"), 2);
}

void tst_PRSSFeedView::openItemSelectsAndShowsTheItem()
{
    TestHttpServer server;
    server.setResponse(
        "/item", TestHttpResponse::ok("<p>item</p>", {{"Content-Type", "text/html"}}));
    ViewFixture f;
    const QString link = QString::fromLatin1(server.baseUrl() + "/item");
    f.exec(QStringLiteral("update items set link = ? where channelid = 4 and itemid = 2"), {link});
    PRSSFeedView *view = f.open();
    QSignalSpy shown(view->browser(), &PBrowserFrame::NavigateComplete);
    PFeedsTree *tree = view->feedsTree();

    view->openItem(4, 2);
    QVERIFY(FeedModel::isFeedIndex(tree->currentIndex()));
    QCOMPARE(tree->feedIdOf(tree->currentIndex()), 4);
    QVERIFY(ViewFixture::waitFor(shown, link));
    QCOMPARE(server.requestCount("GET", "/item"), 1);
    QCOMPARE(f.count("channelid = 4 and itemid = 2 and isread = 1"), 1);
    view->openItem(3, -1);
    QCOMPARE(tree->feedIdOf(tree->currentIndex()), 3);
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    tst_PRSSFeedView test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_prssfeedview.moc"
