#include "pluginfixture.h"

#include "testhttpserver.h"

#include <QMetaObject>

// What a client sees of update runs when it knows the plug-in only by its meta-object.
class tst_PluginUpdates : public QObject
{
    Q_OBJECT
private slots:
    void updateRunsReportEveryFeed();
    void clientCallsByName();
};

namespace {

const QByteArray document
    = "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel>"
      "<title>Ok</title><link>http://127.0.0.1/</link><description>d</description>"
      "<item><title>One</title><link>http://127.0.0.1/1</link><description>first</description>"
      "</item></channel></rss>";

// "id source outcome" of every report, by id.
QStringList reports(const QSignalSpy &spy)
{
    QStringList result;
    for (const QList<QVariant> &args : spy)
        result.append(QStringLiteral("%1 %2 %3")
                          .arg(args.at(0).toInt())
                          .arg(args.at(1).toString(), args.at(2).toString()));
    result.sort();
    return result;
}

} // namespace

void tst_PluginUpdates::updateRunsReportEveryFeed()
{
    TestHttpServer server;
    QVERIFY(server.isListening());
    server.setResponse("/ok",
        TestHttpResponse::ok(document,
            {{"Last-Modified",
                "Mon, 01 Jan 2024 "
                "00:00:00 GMT"}}));
    server.setResponse("HEAD", "/dropped", TestHttpResponse::ok(QByteArray()));
    server.setResponse("GET", "/dropped", TestHttpResponse::dropped());
    const QString ok = server.url("/ok").toString();
    const QString missing = server.url("/missing").toString();
    const QString dropped = server.url("/dropped").toString();

    PluginFixture f;
    QObject *plugin = f.plugin.get();
    QSignalSpy synchronised(plugin, SIGNAL(synchronised()));
    QSignalSpy updated(plugin, SIGNAL(feedUpdated(int, QString, QString)));
    QSignalSpy finished(plugin, SIGNAL(updateRunFinished()));
    const int request = f.signInUntilFeedsRequest();
    PluginFixture::addFeed(1, ok, -1);
    PluginFixture::addFeed(2, missing, -2);
    PluginFixture::addFeed(3, dropped, -3);
    PluginFixture::addFeed(4, server.url("/unsubscribed").toString(), -4, 0);
    QVERIFY(f.router.fail(request));
    QVERIFY(synchronised.wait(5000));

    // The first run waits for the proxy answer.
    QTRY_VERIFY(f.router.indexOf(1, 99) >= 0);
    QCOMPARE(server.requestCount(), 0);
    QVERIFY(f.router.answer(f.router.indexOf(1, 99), Protocol()));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(reports(updated),
        QStringList(
            {"1 " + ok + " changed", "2 " + missing + " failed", "3 " + dropped + " failed"}));
    QVERIFY(f.sentSince(0).contains(QStringLiteral("41,61818 0:u16:1 0:i32:1")));

    updated.clear();
    QVERIFY(QMetaObject::invokeMethod(plugin, "updateAllFeeds"));
    QVERIFY(finished.wait(20000));
    QCOMPARE(reports(updated),
        QStringList(
            {"1 " + ok + " unchanged", "2 " + missing + " failed", "3 " + dropped + " failed"}));
    QCOMPARE(server.requestCount("GET", "/ok"), 1);
}

void tst_PluginUpdates::clientCallsByName()
{
    PluginFixture f;
    QObject *plugin = f.plugin.get();
    QVERIFY(f.signInUntilFeedsRequest() > 0);

    QString error = QStringLiteral("unset");
    QVERIFY(QMetaObject::invokeMethod(plugin, "databaseError", Q_RETURN_ARG(QString, error)));
    QCOMPARE(error, QString());
    // Without an updater there is nothing to run.
    QVERIFY(QMetaObject::invokeMethod(plugin, "updateAllFeeds"));

    QVERIFY(QMetaObject::invokeMethod(plugin, "saveFeed",
        Q_ARG(QString, QStringLiteral("http://127.0.0.1/cat")),
        Q_ARG(QString, QStringLiteral("Cat")), Q_ARG(int, 55)));
    QCOMPARE(PluginFixture::rows(QStringLiteral("select id, farmid, channeltitle from feeds")),
        QStringLiteral("1|55|Cat"));
    QVERIFY(plugin->metaObject()->indexOfSignal("databaseFailed(QString)") >= 0);
}

QTEST_MAIN(tst_PluginUpdates)
#include "tst_pluginupdates.moc"
