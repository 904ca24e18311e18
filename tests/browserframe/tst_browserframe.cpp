#include "fakebrowsercontrol.h"
#include "viewer/pbrowserframe.h"

#include "treefixture.h"

#include <QSignalSpy>
#include <QTest>

// Feeds 5 (items 1 to 3) and 7 (item 1); a frame on a fake control in a window.
class FrameFixture : public TreeFixture
{
public:
    FrameFixture()
        : control(new FakeBrowserControl), frame(new PBrowserFrame(&db, control, &window))
    {
        for (const auto &[feed, item] : {std::pair(5, 1), {5, 2}, {5, 3}, {7, 1}})
            addItem({feed, item, QStringLiteral("t"), QStringLiteral("d")});
    }
    static QString pagePath(int feed, int page)
    {
        return QDir::toNativeSeparators(PDir::applicationDataPath(true)
            + QStringLiteral("/4711_channel%1_%2.html").arg(feed).arg(page));
    }
    int column(const char *name, int feed, int item)
    {
        return value(QStringLiteral("select %1 from items where channelid = %2 and itemid = %3")
                         .arg(QLatin1String(name))
                         .arg(feed)
                         .arg(item))
            .toInt();
    }
    int changedItems()
    {
        return value(QStringLiteral("select count(*) from items where isread + toclear + mark > 0"))
            .toInt();
    }
    void press(Qt::MouseButton button = Qt::LeftButton) { QTest::mousePress(frame, button); }
    void click(const QString &target)
    {
        control->hover(target);
        press();
    }

    QWidget window;
    FakeBrowserControl *control;
    PBrowserFrame *frame;
};

using Calls = QList<QVariantList>;

class tst_BrowserFrame : public QObject
{
    Q_OBJECT
private slots:
    void commands_data();
    void commands();
    void secondPressNeedsANewStatusText();
    void rebuildsWaitForTheNextNavigation();
    void nothingRuns_data();
    void nothingRuns();
};

void tst_BrowserFrame::commands_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QByteArray>("column");
    QTest::addColumn<Calls>("states");
    QTest::newRow("read") << "javascript:read('5:2')" << QByteArray("isread") << Calls{{1, 5, 2}};
    QTest::newRow("delete") << "javascript:toDelete('5:2')" << QByteArray("toclear")
                            << Calls{{0, 5, 2}};
    QTest::newRow("mark") << "javascript:mark('5:2')" << QByteArray("mark") << Calls{};
}

void tst_BrowserFrame::commands()
{
    QFETCH(QString, target);
    QFETCH(QByteArray, column);
    QFETCH(Calls, states);
    FrameFixture f;
    QVERIFY(f.control->silent);
    f.control->complete(f.pagePath(5, 1));
    QSignalSpy stateSpy(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updateSpy(f.frame, &PBrowserFrame::update);
    f.click(target);

    QCOMPARE(f.column(column.constData(), 5, 2), 1);
    QCOMPARE(f.changedItems(), 1);
    QCOMPARE(Calls(stateSpy.begin(), stateSpy.end()), states);
    // Only the favourites are rebuilt at once; the page on screen is left alone.
    QCOMPARE(Calls(updateSpy.begin(), updateSpy.end()), Calls{{0}});
    QVERIFY(f.control->calls.isEmpty());
}

void tst_BrowserFrame::secondPressNeedsANewStatusText()
{
    FrameFixture f;
    f.control->complete(f.pagePath(5, 1));
    QSignalSpy stateSpy(f.frame, &PBrowserFrame::sendItemStateChanged);
    f.click(QStringLiteral("javascript:read('5:3')"));
    f.press();
    QCOMPARE(f.column("isread", 5, 3), 1);
    f.click(QStringLiteral("javascript:read('5:3')"));
    QCOMPARE(f.column("isread", 5, 3), 0);
    QCOMPARE(Calls(stateSpy.begin(), stateSpy.end()), (Calls{{1, 5, 3}, {2, 5, 3}}));
}

void tst_BrowserFrame::rebuildsWaitForTheNextNavigation()
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

    // Three commands on one feed queue it once; on the favourites page an item
    // queues its own feed.
    f.control->complete(f.pagePath(0, 1));
    QCOMPARE(f.frame->shownFeedId(), 0);
    f.click(QStringLiteral("javascript:read('7:1')"));
    f.click(QStringLiteral("javascript:mark('5:2')"));
    f.click(QStringLiteral("javascript:toDelete('7:1')"));
    QCOMPARE(f.frame->pendingIds(), (QList<int>{7, 5}));
    QVERIFY(updates().isEmpty());

    // Leaving for a web page rebuilds once; the ids stay until the next feed page.
    f.control->complete(QStringLiteral("http://example.org/"));
    QCOMPARE(updates(), (QList<int>{7, 5}));
    f.control->complete(QStringLiteral("http://example.org/2"));
    QCOMPARE(f.frame->pendingIds(), (QList<int>{7, 5}));
    f.control->complete(f.pagePath(5, 2));
    QCOMPARE(updates(), (QList<int>{7, 5}));
    QVERIFY(f.frame->pendingIds().isEmpty());
    QCOMPARE(f.frame->shownFeedId(), 5);

    // The viewer rebuilt the shown feed itself: nothing is left to do, but only for it.
    f.click(QStringLiteral("javascript:read('5:1')"));
    f.frame->clearPendingFor(7);
    QVERIFY(f.frame->isPending());
    f.frame->clearPendingFor(5);
    f.control->complete(f.pagePath(5, 1));
    QCOMPARE(updates(), (QList<int>{7, 5}));
}

void tst_BrowserFrame::nothingRuns_data()
{
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("button");
    const QString page = FrameFixture::pagePath(5, 1);
    const int left = Qt::LeftButton;
    QTest::newRow("web page") << "http://example.org/"
                              << "javascript:read('5:1')" << left;
    QTest::newRow("other user's page")
        << QString(page).replace(QStringLiteral("4711_"), QStringLiteral("42_"))
        << "javascript:read('5:1')" << left;
    QTest::newRow("right button") << page << "javascript:read('5:1')" << int(Qt::RightButton);
    QTest::newRow("no item id") << page << "javascript:read('5')" << left;
    QTest::newRow("text in the channel") << page << "javascript:read('5 or 1=1:1')" << left;
    QTest::newRow("text in the item")
        << page << "javascript:toDelete('5:1; drop table items')" << left;
    QTest::newRow("other script") << page << "javascript:alert('5:1')" << left;
}

void tst_BrowserFrame::nothingRuns()
{
    QFETCH(QString, shown);
    QFETCH(QString, target);
    QFETCH(int, button);
    FrameFixture f;
    if (!shown.isEmpty())
        f.control->complete(shown);
    QSignalSpy stateSpy(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updateSpy(f.frame, &PBrowserFrame::update);
    f.control->hover(target);
    f.press(Qt::MouseButton(button));
    QCOMPARE(f.changedItems(), 0);
    QCOMPARE(f.value(QStringLiteral("select count(*) from items")).toInt(), 4);
    QCOMPARE(stateSpy.count() + updateSpy.count(), 0);
    QVERIFY(f.frame->pendingIds().isEmpty());
}

QTEST_MAIN(tst_BrowserFrame)
#include "tst_browserframe.moc"
