#include "viewer/channelpages.h"
#include "viewer/pbrowserframe.h"
#include "viewer/silentwebpage.h"
#include "viewer/webbrowsercontrol.h"

#include "testhttpserver.h"
#include "treefixture.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QStatusTipEvent>
#include <QTest>
#include <QWebEngineView>

// Keeps the status tips that travel up from the frame.
class TipWindow : public QWidget
{
public:
    QStringList tips;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::StatusTip)
            return QWidget::event(e);
        tips << static_cast<QStatusTipEvent *>(e)->tip();
        return true;
    }
};

// The rendered pages of feed 5 (three items) and of feed 6, whose one item has a
// hostile description and link, with the page script, style sheet and images
// beside them; a real browser frame in a shown window.
class BrowserFixture : public TreeFixture
{
public:
    BrowserFixture()
    {
        for (int i = 1; i <= 3; ++i)
            addItem({5, i, QStringLiteral("Item %1").arg(i), QStringLiteral("Text")});
        addItem({6, 1, QStringLiteral("Hostile"), QString::fromLatin1(Hostile), {},
            QStringLiteral("javascript:void(window.pwned = 'open')")});
        const QString dir = PDir::applicationDataPath(true) + QLatin1Char('/');
        for (const char *name : {"read-12", "unread-12", "delete-12", "flag-on-12", "flag-off-12"})
            QFile::copy(QStringLiteral(":/") + QLatin1String(name),
                dir + QLatin1String(name) + QStringLiteral(".gif"));
        QFile::copy(QStringLiteral(":/rss"), dir + QStringLiteral("rss.js"));
        QFile::copy(QStringLiteral(":/style-1"), dir + QStringLiteral("style.css"));
        ChannelPages::Display display;
        ChannelPages::render(db, 5, display);
        page5 = display.page;
        ChannelPages::render(db, 6, display);
        page6 = display.page;

        frame = new PBrowserFrame(&db, &window);
        window.resize(900, 700);
        frame->resize(900, 700);
        window.show();
    }

    static constexpr const char *Hostile
        = "<script>window.pwned = 'script';</script>"
          "<img src=\"missing.png\" onerror=\"window.pwned = 'img'\">"
          "<a id=\"evil\" href=\"javascript:void(window.pwned = 'link')\">Click me</a>";

    WebBrowserControl *control() const
    {
        return static_cast<WebBrowserControl *>(frame->control());
    }
    QWidget *surface() const { return control()->view()->focusProxy(); }

    bool navigate(const QString &url)
    {
        QSignalSpy done(frame, &PBrowserFrame::NavigateComplete);
        frame->Navigate(url);
        return done.wait(20000) && done.last().at(0).toString() == url;
    }
    bool showFile(const QByteArray &html)
    {
        const QString path = PDir::applicationDataPath(true) + QStringLiteral("/test.html");
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(html) == html.size()
            && (file.close(), navigate(QDir::toNativeSeparators(path)));
    }
    QVariant js(const QString &script)
    {
        QVariant result;
        bool done = false;
        control()->page()->runJavaScript(script, [&](const QVariant &v) {
            result = v;
            done = true;
        });
        return QTest::qWaitFor([&] { return done; }, 10000) ? result : QVariant();
    }
    QPoint centreOf(const QString &element)
    {
        const QVariantList r
            = js(QStringLiteral("(function(){ var r = %1.getBoundingClientRect();"
                                " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                     .arg(element))
                  .toList();
        return r.size() == 2 ? QPoint(r[0].toInt(), r[1].toInt()) : QPoint(-1, -1);
    }
    // Moves onto the element and waits until the browser reports its target.
    bool hover(const QString &element, const QString &target)
    {
        QSignalSpy status(frame->control(), &BrowserControl::StatusTextChange);
        QTest::mouseMove(
            surface(), element.isEmpty() ? QPoint(5, surface()->height() - 5) : centreOf(element));
        return QTest::qWaitFor(
            [&] { return !status.isEmpty() && status.last().at(0).toString() == target; }, 10000);
    }
    bool click(const QString &element, const QString &target)
    {
        if (!hover(element, target))
            return false;
        QTest::mouseClick(surface(), Qt::LeftButton, Qt::NoModifier, centreOf(element));
        return true;
    }
    int column(const char *name, int feed, int item)
    {
        return value(QStringLiteral("select %1 from items where channelid = %2 and itemid = %3")
                         .arg(QLatin1String(name))
                         .arg(feed)
                         .arg(item))
            .toInt();
    }

    TipWindow window;
    PBrowserFrame *frame;
    QString page5;
    QString page6;
};

// The n-th link of an item's date line: read toggle, delete, mark toggle, open.
static QString link(const char *key, int n)
{
    return QStringLiteral("document.getElementById('%1').children[1].getElementsByTagName('a')[%2]")
        .arg(QLatin1String(key))
        .arg(n);
}

static QString titleClass(const char *key)
{
    return QStringLiteral("document.getElementById('%1').children[0].className")
        .arg(QLatin1String(key));
}

class tst_WebBrowser : public QObject
{
    Q_OBJECT
private slots:
    void pageCommands();
    void feedScriptNeverRuns();
    void pagesAreSilentAndShowRemoteImages();
};

void tst_WebBrowser::pageCommands()
{
    BrowserFixture f;
    QSignalSpy history(f.frame, &PBrowserFrame::CommandStateChange);
    QSignalSpy begin(f.frame, &PBrowserFrame::DownloadBegin);
    QSignalSpy end(f.frame, &PBrowserFrame::DownloadComplete);
    QVERIFY(f.navigate(f.page5));
    QCOMPARE(f.frame->shownFeedId(), 5);
    QCOMPARE(begin.count(), 1);
    QTRY_COMPARE(end.count(), 1);

    QSignalSpy states(f.frame, &PBrowserFrame::sendItemStateChanged);
    QSignalSpy updates(f.frame, &PBrowserFrame::update);
    QVERIFY(f.click(link("5:2", 0), QStringLiteral("javascript:read('5:2')")));
    QCOMPARE(f.column("isread", 5, 2), 1);
    QCOMPARE(states.count(), 1);
    QCOMPARE(states.at(0), (QVariantList{1, 5, 2}));
    QCOMPARE(updates.count(), 1);
    QTRY_COMPARE(f.js(titleClass("5:2")), QVariant(QStringLiteral("itemtitle_vstd")));

    QVERIFY(f.click(link("5:1", 2), QStringLiteral("javascript:mark('5:1')")));
    QCOMPARE(f.column("mark", 5, 1), 1);
    QCOMPARE(states.count(), 1);
    QTRY_COMPARE(f.js(titleClass("5:1")), QVariant(QStringLiteral("itemtitle_flagged")));

    // An ordinary link's target reaches the window's status bar, a command link's never.
    QVERIFY(f.hover(link("5:3", 3), QStringLiteral("http://example.org/5/3")));
    QVERIFY(f.window.tips.contains(QStringLiteral("http://example.org/5/3")));
    for (const QString &tip : std::as_const(f.window.tips))
        QVERIFY2(!tip.startsWith(QStringLiteral("javascript:")), qPrintable(tip));

    // The deferred rebuild comes on leaving the page, which makes going back possible.
    QVERIFY(f.navigate(QStringLiteral("about:blank")));
    QCOMPARE(updates.count(), 3);
    QCOMPARE(updates.last().at(0).toInt(), 5);
    QCOMPARE(history.last(), (QVariantList{2, true}));
    f.frame->GoBack();
    QTRY_VERIFY(history.contains(QVariantList{1, true}));
    QTRY_COMPARE(f.frame->shownFeedId(), 5);
}

void tst_WebBrowser::feedScriptNeverRuns()
{
    BrowserFixture f;
    // Unfiltered, each trap goes off.
    QVERIFY(f.showFile(QByteArray(BrowserFixture::Hostile).replace("'img'", "'trap'")));
    QCOMPARE(f.js(QStringLiteral("window.pwned")), QVariant(QStringLiteral("trap")));
    QVERIFY(f.click(QStringLiteral("document.getElementById('evil')"),
        QStringLiteral("javascript:void(window.pwned = 'link')")));
    QTRY_COMPARE(f.js(QStringLiteral("window.pwned")), QVariant(QStringLiteral("link")));

    // On the feed's page none is left, and clicking what remains runs nothing.
    QVERIFY(f.navigate(f.page6));
    QCOMPARE(f.js(QStringLiteral("document.getElementsByTagName('script').length")), QVariant(1));
    QVERIFY(!f.js(link("6:1", 3) + QStringLiteral(".href"))
                 .toString()
                 .startsWith(QStringLiteral("javascript:")));
    const QString evil = QStringLiteral("document.getElementById('evil')");
    if (f.js(evil + QStringLiteral(" !== null")).toBool())
        QTest::mouseClick(f.surface(), Qt::LeftButton, Qt::NoModifier, f.centreOf(evil));
    // Nor does the item's link run when the viewer navigates to it.
    f.frame->Navigate(QStringLiteral("javascript:void(window.pwned = 'navigate')"));
    // A page command after all that: once it has run, anything before it would have.
    QVERIFY(f.click(link("6:1", 0), QStringLiteral("javascript:read('6:1')")));
    QTRY_COMPARE(f.js(titleClass("6:1")), QVariant(QStringLiteral("itemtitle_vstd")));
    QCOMPARE(f.js(QStringLiteral("typeof window.pwned")), QVariant(QStringLiteral("undefined")));
}

void tst_WebBrowser::pagesAreSilentAndShowRemoteImages()
{
    BrowserFixture f;
    TestHttpServer server;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(3, 2, QImage::Format_RGB32).save(&buffer, "PNG");
    server.setResponse("/pixel.png", TestHttpResponse::ok(png, {{"Content-Type", "image/png"}}));

    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &m) { messages << m; });
    // A dialog would block the load until the test times out.
    const bool loaded = f.showFile("<html><body><img id=\"pic\" src=\"" + server.baseUrl()
        + "/pixel.png\">"
          "<script>console.log('noise'); window.answers = [confirm('sure?'), "
          "prompt('name?', 'x')]; alert('hello');</script></body></html>");
    qInstallMessageHandler(previous);
    QVERIFY(loaded);
    QCOMPARE(f.js(QStringLiteral("JSON.stringify(window.answers)")),
        QVariant(QStringLiteral("[false,null]")));
    QVERIFY2(!messages.join(QLatin1Char('\n')).contains(QStringLiteral("noise")),
        qPrintable(messages.join(QLatin1Char('\n'))));
    QCOMPARE(server.requestCount("GET", "/pixel.png"), 1);
    QCOMPARE(f.js(QStringLiteral("document.getElementById('pic').naturalWidth")), QVariant(3));
}

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    tst_WebBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_webbrowser.moc"
