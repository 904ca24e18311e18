#include "pages/channelpages.h"
#include "viewer/pbrowserframe.h"
#include "viewer/silentwebpage.h"
#include "viewer/webbrowsercontrol.h"

#include "testhttpserver.h"
#include "treefixture.h"

#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWebEngineView>

#include <optional>

// Rendered pages of feed 5 (three items) and feed 6 (one item with a hostile description
// and link) beside the page script; a real browser frame in a shown window.
class BrowserFixture : public TreeFixture
{
public:
    BrowserFixture()
    {
        for (int i = 1; i <= 3; ++i)
            addItem({5, i, QStringLiteral("Item %1").arg(i), "Text"});
        addItem({6, 1, "Hostile", Hostile, {}, "javascript:void(window.pwned = 'open')"});
        QFile::copy(":/rss", PDir::applicationDataPath(true) + "/rss.js");
        ChannelPages::Display display;
        ChannelPages::render(db, 5, display);
        ChannelPages::render(db, 6, display);

        window.setCentralWidget(frame);
        window.statusBar();
        window.resize(900, 700);
        window.show();
    }

    static constexpr const char *Hostile
        = "<script>window.pwned = 'script';</script>"
          "<img src=\"missing.png\" onerror=\"window.pwned = 'img'\">"
          "<a id=\"evil\" href=\"javascript:void(window.pwned = 'link')\">Click me</a>";

    QWidget *surface() const { return control->view()->focusProxy(); }
    bool navigate(const QString &url)
    {
        QSignalSpy done(frame, &PBrowserFrame::NavigateComplete);
        frame->Navigate(url);
        // Waits for this page: a page left just before may still report its end.
        return QTest::qWaitFor(
            [&] { return !done.isEmpty() && done.last().at(0).toString() == url; }, 20000);
    }
    QVariant js(const QString &script)
    {
        std::optional<QVariant> result;
        control->page()->runJavaScript(script, [&](const QVariant &v) { result = v; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 10000) ? *result : QVariant();
    }
    // Moves onto the element, waits for the browser to report the target if given, clicks.
    bool point(const QString &element, const QString &target = {}, bool click = true)
    {
        QSignalSpy status(control, &BrowserControl::StatusTextChange);
        const QVariantMap r = js(element + ".getBoundingClientRect().toJSON()").toMap();
        const QPoint at(
            r["x"].toInt() + r["width"].toInt() / 2, r["y"].toInt() + r["height"].toInt() / 2);
        QTest::mouseMove(surface(), at);
        const auto seen
            = [&] { return !status.isEmpty() && status.last().at(0).toString() == target; };
        if (!target.isEmpty() && !QTest::qWaitFor(seen, 10000))
            return false;
        if (click)
            QTest::mouseClick(surface(), Qt::LeftButton, Qt::NoModifier, at);
        return true;
    }

    QMainWindow window;
    WebBrowserControl *control = new WebBrowserControl;
    PBrowserFrame *frame = new PBrowserFrame(&db, control);
};

// An item's n-th date line link (read, delete, mark, open) and its title's class.
static QString link(const QString &key, int n)
{
    return QStringLiteral("document.getElementById('%1').children[1].getElementsByTagName('a')[%2]")
        .arg(key, QString::number(n));
}
static QString titleClass(const QString &key)
{
    return "document.getElementById('" + key + "').children[0].className";
}

class tst_WebBrowser : public QObject
{
    Q_OBJECT
private slots:
    void feedPages();
    void clicksCarryTheirCommands();
    void pagesFitThePane();
};

void tst_WebBrowser::feedPages()
{
    BrowserFixture f;
    QSignalSpy history(f.frame, &PBrowserFrame::CommandStateChange);
    QSignalSpy begin(f.frame, &PBrowserFrame::DownloadBegin);
    QSignalSpy end(f.frame, &PBrowserFrame::DownloadComplete);
    QVERIFY(f.navigate(f.page(5)));
    QCOMPARE(f.frame->shownFeedId(), 5);
    QCOMPARE(begin.count(), 1);
    QTRY_COMPARE(end.count(), 1);

    QSignalSpy states(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updates(f.frame, &PBrowserFrame::update);
    QVERIFY(f.point(link("5:2", 0), "javascript:read('5:2')"));
    // The page's script reports the click a moment later.
    QTRY_COMPARE(f.value("select isread from items where channelid = 5 and itemid = 2").toInt(), 1);
    QCOMPARE(QList<QVariantList>(states), (QList<QVariantList>{{1, 5, 2}}));
    QTRY_COMPARE(f.js(titleClass("5:2")), QVariant("itemtitle_vstd"));

    QVERIFY(f.point(link("5:1", 2), "javascript:mark('5:1')"));
    QTRY_COMPARE(f.value("select mark from items where channelid = 5 and itemid = 1").toInt(), 1);
    QTRY_COMPARE(f.js(titleClass("5:1")), QVariant("itemtitle_flagged"));

    // An ordinary link's target reaches the window's status bar, a command link's never.
    QVERIFY(!f.window.statusBar()->currentMessage().startsWith("javascript:"));
    QVERIFY(f.point(link("5:3", 3), "http://example.org/5/3", false));
    QCOMPARE(f.window.statusBar()->currentMessage(), QStringLiteral("http://example.org/5/3"));

    // The deferred rebuild comes on leaving the page, which makes going back possible.
    QVERIFY(f.navigate("about:blank"));
    QCOMPARE(QList<QVariantList>(updates), (QList<QVariantList>{{0}, {0}, {5}}));
    QCOMPARE(history.last(), (QVariantList{2, true}));
    f.frame->GoBack();
    QTRY_VERIFY(history.contains(QVariantList{1, true}));
    QTRY_COMPARE(f.frame->shownFeedId(), 5);

    TestHttpServer server;
    server.setResponse("/pic.svg",
        TestHttpResponse::ok("<svg xmlns='http://www.w3.org/2000/svg' width='3' height='2'/>",
            {{"Content-Type", "image/svg+xml"}}));
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &m) { messages << m; });
    // Unfiltered, each trap goes off. The page stays silent (a dialog would block the load
    // until the test times out) and shows remote images.
    const QString path = PDir::applicationDataPath(true) + "/test.html";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(BrowserFixture::Hostile).replace("'img'", "'trap'")
        + "<img id=\"pic\" src=\"" + server.baseUrl()
        + "/pic.svg\"><script>console.log('noise'); window.answers = "
          "[confirm('sure?'), prompt('name?', 'x')]; alert('hello');</script>");
    file.close();
    const bool loaded = f.navigate(QDir::toNativeSeparators(path));
    qInstallMessageHandler(previous);
    QVERIFY(loaded);
    QCOMPARE(f.js("window.pwned"), QVariant("trap"));
    QCOMPARE(f.js("JSON.stringify(window.answers)"), QVariant("[false,null]"));
    QVERIFY2(!messages.join('\n').contains("noise"), qPrintable(messages.join('\n')));
    QCOMPARE(server.requestCount("GET", "/pic.svg"), 1);
    QCOMPARE(f.js("document.getElementById('pic').naturalWidth"), QVariant(3));
    QVERIFY(f.point("document.getElementById('evil')", "javascript:void(window.pwned = 'link')"));
    QTRY_COMPARE(f.js("window.pwned"), QVariant("link"));

    // On the feed's page none is left, and clicking what remains runs nothing.
    QVERIFY(f.navigate(f.page(6)));
    QCOMPARE(f.js("document.getElementsByTagName('script').length"), QVariant(1));
    QVERIFY(!f.js(link("6:1", 3) + ".href").toString().startsWith("javascript:"));
    f.point("document.getElementById('evil')"); // if anything is left of it
    // Nor does the item's link run when the viewer navigates to it.
    f.frame->Navigate("javascript:void(window.pwned = 'navigate')");
    // A page command after all that: once it has run, anything before it would have.
    QVERIFY(f.point(link("6:1", 0), "javascript:read('6:1')"));
    QTRY_COMPARE(f.js(titleClass("6:1")), QVariant("itemtitle_vstd"));
    QCOMPARE(f.js("typeof window.pwned"), QVariant("undefined"));
}

// Fast clicks on different items, each without waiting for the pointer's report, on a page
// into which an inline script and an event handler were slipped after it was written.
void tst_WebBrowser::clicksCarryTheirCommands()
{
    BrowserFixture f;
    const QString page = f.page(5);
    QFile file(page);
    QVERIFY(file.open(QIODevice::Append));
    file.write("<script>window.pwned = 'inline';</script>"
               "<img src=\"missing.png\" onerror=\"window.pwned = 'handler'\">"
               "<a id=\"evil\" href=\"#\" onclick=\"window.pwned = 'click'\">x</a>");
    file.close();
    QVERIFY(f.navigate(page));

    QSignalSpy states(f.frame, &PBrowserFrame::sendItemStateChanged);
    const auto clickAt = [&](const QString &element) {
        const QVariantMap r = f.js(element + ".getBoundingClientRect().toJSON()").toMap();
        QTest::mouseClick(f.surface(), Qt::LeftButton, Qt::NoModifier,
            QPoint(
                r["x"].toInt() + r["width"].toInt() / 2, r["y"].toInt() + r["height"].toInt() / 2));
    };
    // From the bottom up, so that no restyled item moves the next target.
    clickAt(link("5:1", 0));
    clickAt(link("5:2", 2));
    clickAt(link("5:3", 1));
    QTRY_COMPARE(states.count(), 2);
    QCOMPARE(QList<QVariantList>(states), (QList<QVariantList>{{1, 5, 1}, {0, 5, 3}}));
    QTRY_COMPARE(f.value("select group_concat(itemid || ':' || isread || toclear || mark) from "
                         "items where channelid = 5 order by itemid")
                     .toString(),
        QStringLiteral("1:100,2:001,3:010"));
    QTRY_COMPARE(f.js(titleClass("5:2")), QVariant("itemtitle_flagged"));
    QCOMPARE(f.js("document.getElementById('5:3')"), QVariant());

    clickAt("document.getElementById('evil')");
    QCOMPARE(f.js("typeof window.pwned"), QVariant("undefined"));
}

// A description with a long word, a wide picture and preformatted text.
void tst_WebBrowser::pagesFitThePane()
{
    BrowserFixture f;
    QFile::copy(":/style-1", PDir::applicationDataPath(true) + "/style.css");
    const QString page = f.page(5);
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray html = file.readAll();
    file.close();
    const QByteArray wide = QByteArray(400, 'w')
        + "<img id=\"wide\" src=\"./line.png\" width=\"3000\" "
          "height=\"30\"><pre>"
        + QByteArray(300, 'p') + " p</pre>";
    QVERIFY(html.contains(">Text</div>"));
    html.replace(">Text</div>", ">" + wide + "</div>");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(html);
    file.close();
    QVERIFY(f.navigate(page));
    QTRY_VERIFY(f.js("document.styleSheets.length").toInt() == 1);
    const int pane = f.js("document.documentElement.clientWidth").toInt();
    QVERIFY(pane > 0);
    QVERIFY2(f.js("document.documentElement.scrollWidth").toInt() <= pane,
        qPrintable(f.js("document.documentElement.scrollWidth").toString()));
    QVERIFY(f.js("document.getElementById('wide').width").toInt() <= pane);
}

// The web engine needs this before the application exists.
static const bool sharedContexts
    = (QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts), true);
QTEST_MAIN(tst_WebBrowser)
#include "tst_webbrowser.moc"
