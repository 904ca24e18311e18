#include "pluginfixture.h"
#include "testhttpserver.h"

#include "core/feedhealth.h"
#include "core/opmldocument.h"
#include "host/pstatusbar.h"
#include "tree/feedmodel.h"
#include "tree/pfeedstree.h"
#include "viewer/prssfeedview.h"

#include <QAction>
#include <QApplication>

// What the plug-in does with subscription lists and with the outcome of each
// feed's update: the server hears of imported feeds, the profile keeps how
// every fetch ended and the viewer shows it.
class tst_PluginLists : public QObject
{
    Q_OBJECT

private slots:
    void importTellsTheServerOnce();
    void refusedListChangesNothing();
    void healthAfterFailingAndSucceedingUpdates();

private:
    static PRSSFeedView *viewer();
};

namespace {

const QByteArray rss = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Good</title>"
                       "<link>http://127.0.0.1/site</link><item><title>One</title>"
                       "<link>http://127.0.0.1/one</link></item></channel></rss>";

// Addresses on a port nobody listens on: the updater may try them, quietly.
QByteArray listOf(const QByteArrayList &outlines)
{
    return "<?xml version=\"1.0\"?><opml version=\"2.0\"><body>" + outlines.join()
        + "</body></opml>";
}

} // namespace

PRSSFeedView *tst_PluginLists::viewer()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *view = qobject_cast<PRSSFeedView *>(widget))
            return view;
    }
    return nullptr;
}

void tst_PluginLists::importTellsTheServerOnce()
{
    PluginFixture f;
    QVERIFY(f.synchroniseWithFailure());
    PluginFixture::addFeed(1, "http://127.0.0.1:9/known.xml", -1);
    const int from = f.router.count();

    const QVariantMap answer = f.plugin->importSubscriptions(listOf({
        "<outline text=\"Known\" type=\"rss\" xmlUrl=\"http://127.0.0.1:9/known.xml\"/>",
        "<outline text=\"Tech\"><outline text=\"Kernel\" type=\"rss\" "
        "xmlUrl=\"http://127.0.0.1:9/kernel.xml\"/></outline>",
        "<outline text=\"Broken\" type=\"rss\" xmlUrl=\"mailto:someone\"/>",
        "<outline text=\"Plain\" type=\"rss\" xmlUrl=\"http://127.0.0.1:9/plain.xml\"/>",
    }));
    QVERIFY(answer.value("ok").toBool());
    QCOMPARE(answer.value("added").toInt(), 2);
    QCOMPARE(answer.value("skipped").toInt(), 1);
    QCOMPARE(answer.value("refused").toInt(), 1);
    QVERIFY(answer.value("summary").toString().contains("2 added"));

    // As the wizard's address page does, per feed; the layout and the changed
    // feeds once for the whole list.
    const QStringList sent = f.sentSince(from);
    QCOMPARE(sent.size(), 6);
    QCOMPARE(sent.at(0), "41,61819 0:u32:2");
    QCOMPARE(sent.at(1),
        "41,4 657:u16:2 781:u32:2 687:s1:Kernel 774:s1:http://127.0.0.1:9/kernel.xml 787:u32:3");
    QCOMPARE(sent.at(2), "41,61819 0:u32:3");
    QCOMPARE(sent.at(3),
        "41,4 657:u16:2 781:u32:3 687:s1:Plain 774:s1:http://127.0.0.1:9/plain.xml 787:u32:3");
    QCOMPARE(sent.at(4), "41,61818 0:u16:2 0:i32:2 0:i32:3");
    QVERIFY(sent.at(5).startsWith("41,7 782:u16:2 783:u16:1"));
    QVERIFY(sent.at(5).contains("784:s1:Tech 772:u16:1 657:u16:2 781:u32:2"));
    QCOMPARE(PluginFixture::rows("select id, folderid, farmid, toload from feeds order by id"),
        "1|1|-1|1;2|2|-2|1;3|1|-3|1");

    // The export lists what the import brought, in tree order.
    const QByteArray exported = f.plugin->exportSubscriptions();
    OpmlDocument document;
    QVERIFY(document.read(exported));
    QCOMPARE(document.feeds().size(), 3);
    QCOMPARE(document.feeds().at(2).folder, "Tech");
    QCOMPARE(document.feeds().at(2).title, "Kernel");
}

void tst_PluginLists::refusedListChangesNothing()
{
    PluginFixture f;
    QVERIFY(f.synchroniseWithFailure());
    const int from = f.router.count();
    const QString before
        = PluginFixture::rows("select * from feeds") + PluginFixture::rows("select * from folder");
    for (const QByteArray &list : {QByteArray("<rss version=\"2.0\"/>"),
             listOf({"<outline text=\"A\" type=\"rss\" xmlUrl=\"http://127.0.0.1:9/a\"/>"})
                 .chopped(8),
             QByteArray("\xff\xfe garbage")}) {
        const QVariantMap answer = f.plugin->importSubscriptions(list);
        QVERIFY(!answer.value("ok").toBool());
        QVERIFY(answer.value("summary").toString().startsWith(
            "The subscription list was not imported"));
    }
    QCOMPARE(f.router.count(), from);
    QCOMPARE(
        PluginFixture::rows("select * from feeds") + PluginFixture::rows("select * from folder"),
        before);
}

void tst_PluginLists::healthAfterFailingAndSucceedingUpdates()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.setResponse("/ok", TestHttpResponse::ok(rss));
    server.setResponse("/missing", TestHttpResponse::withStatus(404));
    server.setResponse("/garbage", TestHttpResponse::ok("this is <not a feed"));
    server.setResponse("HEAD", "/dropped", TestHttpResponse::ok(QByteArray()));
    server.setResponse("GET", "/dropped", TestHttpResponse::dropped());
    server.setResponse(
        "/page", TestHttpResponse::ok("<html><body><p>A web page</p></body></html>"));

    PluginFixture f;
    QSignalSpy synchronised(f.plugin.get(), &PRSSFeedPlugin::synchronised);
    QSignalSpy finished(f.plugin.get(), &PRSSFeedPlugin::updateRunFinished);
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, server.url("/ok").toString(), -1);
    PluginFixture::addFeed(2, server.url("/missing").toString(), -2);
    PluginFixture::addFeed(3, server.url("/garbage").toString(), -3);
    PluginFixture::addFeed(4, server.url("/dropped").toString(), -4);
    PluginFixture::addFeed(5, server.url("/page").toString(), -5);
    QVERIFY(f.router.fail(request));
    QVERIFY(synchronised.wait(5000));
    QTRY_VERIFY(f.router.indexOf(1, 99) >= 0);
    QVERIFY(f.router.answer(f.router.indexOf(1, 99), Protocol()));
    QVERIFY(finished.wait(20000));

    QSqlDatabase db = PluginFixture::db();
    FeedHealth health(&db);
    QCOMPARE(health.recordOf(1).result, FeedHealth::Changed);
    QCOMPARE(health.recordOf(2).result, FeedHealth::HttpError);
    QCOMPARE(health.recordOf(2).httpStatus, 404);
    QCOMPARE(health.recordOf(3).result, FeedHealth::NotAFeed);
    QCOMPARE(health.recordOf(4).result, FeedHealth::NetworkError);
    QVERIFY(!health.recordOf(4).error.isEmpty());
    QVERIFY(qAbs(health.recordOf(2).checked.secsTo(QDateTime::currentDateTimeUtc())) < 60);
    QCOMPARE(health.recordOf(5).result, FeedHealth::NotAFeed);
    QCOMPARE(health.failedFeeds(), QSet<int>({2, 3, 4, 5}));

    // The viewer marks the failed feeds and tells why in their tool tips.
    QCOMPARE(PluginFixture::deliver(61812, {-1, -1}), "succeeded");
    PRSSFeedView *view = viewer();
    QVERIFY(view);
    FeedModel *model = view->feedsTree()->feedModel();
    const QModelIndex folder = model->index(0, 0);
    const QModelIndex ok = model->index(1, 0, folder);
    const QModelIndex missing = model->index(2, 0, folder);
    QCOMPARE(model->feedIdAt(missing), 2);
    QVERIFY(model->hasFailed(2));
    QVERIFY(!model->hasFailed(1));
    QVERIFY(model->data(missing, Qt::ForegroundRole).isValid());
    QVERIFY(!model->data(ok, Qt::ForegroundRole).isValid());
    QVERIFY(model->data(missing, Qt::ToolTipRole).toString().contains("HTTP status 404"));
    QVERIFY(model->data(ok, Qt::ToolTipRole).toString().contains("Result: new items"));

    // A run from the viewer counts the failures; a feed that recovers loses its mark.
    server.setResponse("/missing", TestHttpResponse::ok(rss));
    finished.clear();
    view->findChild<QAction *>("updateNewsAction")->trigger();
    QVERIFY(finished.wait(20000));
    QTRY_COMPARE(view->statusBar()->currentMessage(), "Update finished, 3 of 5 feeds failed.");
    QCOMPARE(health.recordOf(2).result, FeedHealth::Changed);
    QVERIFY(!model->hasFailed(2));
    QVERIFY(!model->data(missing, Qt::ToolTipRole).toString().contains("404"));
    QCOMPARE(health.recordOf(1).result, FeedHealth::Unchanged);

    // Unsubscribing for good forgets the record.
    ScriptedMessageBox::scriptAnswers({1, 1});
    f.plugin->clearFeed(server.url("/garbage").toString(), true);
    QCOMPARE(health.recordOf(3).result, FeedHealth::NotChecked);
    view->close();
}

QTEST_MAIN(tst_PluginLists)
#include "tst_pluginlists.moc"
