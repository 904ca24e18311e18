#include "viewer/browsercontrol.h"
#include "viewer/pbrowserframe.h"

#include "testhelpers.h"
#include "treefixture.h"

#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

// A browser control driven by the test.
class FakeBrowserControl : public BrowserControl
{
public:
    void Navigate(const QString &url) override { calls << url; }
    void GoBack() override { calls << "back"; }
    void GoForward() override { calls << "forward"; }
    void Refresh() override { calls << "refresh"; }
    void Stop() override { calls << "stop"; }
    void SetSilent(bool) override { }
    void complete(const QString &url) { emit NavigateComplete(url); }

    QStringList calls;
};

using Calls = QList<QVariantList>;

// Feeds 5 (items 1 to 3) and 7 (item 1); a frame on a fake control in a window.
class FrameFixture : public TreeFixture
{
public:
    FrameFixture()
    {
        for (const auto &[feed, item] : {std::pair(5, 1), {5, 2}, {5, 3}, {7, 1}})
            addItem({feed, item, "t", "d"});
        window.statusBar(); // takes the status tips that reach the window
    }
    // Hovers a link the way the real control reports it, then clicks the target: the
    // page's script reports a left click on a command link.
    void click(const QString &target, Qt::MouseButton button = Qt::LeftButton,
        const QString &hovered = QString())
    {
        const QString over = hovered.isEmpty() ? target : hovered;
        emit control->StatusTextChange(over);
        QStatusTipEvent tip(over);
        QCoreApplication::sendEvent(control, &tip);
        QTest::mousePress(frame, button);
        if (button == Qt::LeftButton && target.startsWith("javascript:"))
            emit control->PageCommand(target);
    }

    QMainWindow window;
    FakeBrowserControl *control = new FakeBrowserControl;
    PBrowserFrame *frame = new PBrowserFrame(&db, control, &window);
};

class tst_BrowserFrame : public QObject
{
    Q_OBJECT
private slots:
    void press_data();
    void press();
    void pendingRebuildsAndRepeatedPresses();
    void openInBrowser();
};

void tst_BrowserFrame::press_data()
{
    TestHelpers::addRows(QStringLiteral("cases/presses.txt"),
        {"userText", "target", "button", "changed", "statesText"});
}

void tst_BrowserFrame::press()
{
    QFETCH(QString, userText);
    QFETCH(QString, target);
    QFETCH(QString, button);
    QFETCH(QString, changed);
    QFETCH(QString, statesText);
    const int user = userText.toInt();
    Calls states;
    for (const QString &call : statesText.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList values = call.split(u' ');
        states.append({values.at(0).toInt(), values.at(1).toInt(), values.at(2).toInt()});
    }
    FrameFixture f;
    f.control->complete(user ? f.page(5).replace("4711_", QStringLiteral("%1_").arg(user))
                             : QStringLiteral("http://example.org/"));
    QSignalSpy stateSpy(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updateSpy(f.frame, &PBrowserFrame::update);
    f.click(target, button == u"right" ? Qt::RightButton : Qt::LeftButton);

    const bool runs = !changed.isEmpty();
    QCOMPARE(f.value("select count(*) from items").toInt(), 4);
    QCOMPARE(f.value("select group_concat(channelid || ':' || itemid || ':' || isread || toclear "
                     "|| mark) from items where isread + toclear + mark > 0")
                 .toString(),
        changed);
    QCOMPARE(Calls(stateSpy.begin(), stateSpy.end()), states);
    // Only the favourites are rebuilt at once; the page on screen is left alone.
    QCOMPARE(Calls(updateSpy.begin(), updateSpy.end()), runs ? Calls{{0}} : Calls{});
    QCOMPARE(f.frame->pendingIds(), runs ? QList<int>{5} : QList<int>{});
    QVERIFY(f.control->calls.isEmpty());
    // Command links are no business of the window's status bar, other links are.
    QCOMPARE(f.window.statusBar()->currentMessage(),
        target.startsWith("javascript:") ? QString() : target);
}

void tst_BrowserFrame::pendingRebuildsAndRepeatedPresses()
{
    FrameFixture f;
    QSignalSpy updateSpy(f.frame, &PBrowserFrame::update);
    const auto updates = [&] {
        QList<int> ids;
        for (const QVariantList &args : std::as_const(updateSpy))
            if (args.at(0).toInt() != 0)
                ids << args.at(0).toInt();
        return ids;
    };

    // Three commands on one feed queue it once; on the favourites an item queues its feed.
    f.control->complete(f.page(0));
    QCOMPARE(f.frame->shownFeedId(), 0);
    f.click("javascript:read('7:1')");
    f.click("javascript:mark('5:2')");
    f.click("javascript:toDelete('7:1')");
    QCOMPARE(f.frame->pendingIds(), (QList<int>{7, 5}));
    QVERIFY(updates().isEmpty());

    // Leaving for a web page rebuilds once; the ids stay until the next feed page.
    f.control->complete("http://example.org/");
    QCOMPARE(updates(), (QList<int>{7, 5}));
    f.control->complete("http://example.org/2");
    QCOMPARE(f.frame->pendingIds(), (QList<int>{7, 5}));
    f.control->complete(f.page(5).replace("_1.html", "_2.html"));
    QCOMPARE(updates(), (QList<int>{7, 5}));
    QVERIFY(f.frame->pendingIds().isEmpty());
    QCOMPARE(f.frame->shownFeedId(), 5);

    // Each click counts once, a bare press not at all, and the item is the one clicked
    // even when the pointer was last reported over another.
    QSignalSpy stateSpy(f.frame, &PBrowserFrame::sendItemStateChanged);
    f.click("javascript:read('5:1')");
    QTest::mousePress(f.frame, Qt::LeftButton);
    f.click("javascript:read('5:1')");
    f.click("javascript:read('5:3')", Qt::LeftButton, "javascript:read('5:2')");
    QCOMPARE(Calls(stateSpy.begin(), stateSpy.end()), (Calls{{1, 5, 1}, {2, 5, 1}, {1, 5, 3}}));
    // The viewer rebuilt the shown feed itself: nothing is left to do, but only for it.
    f.frame->clearPendingFor(7);
    QVERIFY(f.frame->isPending());
    f.frame->clearPendingFor(5);
    f.control->complete(f.page(5));
    QCOMPARE(updates(), (QList<int>{7, 5}));
}

// The item's own link goes to the desktop's browser; the item is read from then on.
void tst_BrowserFrame::openInBrowser()
{
    FrameFixture f;
    f.exec(
        "update items set link = 'https://example.org/story' where channelid = 5 and itemid = 3");
    f.control->complete(f.page(5));
    QSignalSpy opened(f.frame, &PBrowserFrame::sendOpenExternally);
    QSignalSpy states(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updates(f.frame, &PBrowserFrame::update);

    f.click("javascript:external('5:3')");
    QCOMPARE(Calls(opened.begin(), opened.end()), Calls{{"https://example.org/story"}});
    QCOMPARE(Calls(states.begin(), states.end()), (Calls{{1, 5, 3}}));
    QCOMPARE(Calls(updates.begin(), updates.end()), (Calls{{5}, {0}}));
    QCOMPARE(f.value("select group_concat(itemid) from items where isread = 1").toString(), "3");

    // Already read: opened again, nothing else to tell.
    f.click("javascript:external('5:3')");
    QCOMPARE(opened.count(), 2);
    QCOMPARE(states.count(), 1);
    // An unknown item opens nothing; the viewer never navigates itself.
    f.click("javascript:external('5:9')");
    QCOMPARE(opened.count(), 2);
    QVERIFY(f.control->calls.isEmpty());
}

QTEST_MAIN(tst_BrowserFrame)
#include "tst_browserframe.moc"
