#include "host/protocol.h"
#include "tests/common/testhttpserver.h"
#include "updater/httpconnection.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestHttpConnection : public QObject
{
    Q_OBJECT

private slots:
    void headThenGetOnOneConnection();
    void redirectIsReportedNotFollowed();
    void errorStatusIsAnAnswer();
    void transportFailures_data();
    void transportFailures();
    void oversizedBody_data();
    void oversizedBody();
    void abortEndsRunningAndDropsQueued();
    void tlsToAPlainServerFails();
    void untrustedCertificateIsNeverAccepted();
    void proxyFromReply_data();
    void proxyFromReply();
};

void TestHttpConnection::headThenGetOnOneConnection()
{
    TestHttpServer server;
    server.setResponse("/feed?a=1", TestHttpResponse::ok("<rss/>", {{"Last-Modified", "Tue, 1"}}));

    HttpConnection connection;
    QList<HttpResponseHeader> headers;
    connect(&connection, &HttpConnection::responseHeaderReceived, this,
        [&](const HttpResponseHeader &h) { headers.append(h); });
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);

    connection.setHost(server.url("/"));
    const int headId = connection.head(QStringLiteral("/feed?a=1"));
    const int getId = connection.get(QStringLiteral("/feed?a=1"));
    QVERIFY(getId > headId);
    QTRY_COMPARE(finished.size(), 2);

    QCOMPARE(finished.at(0), QVariantList({headId, false}));
    QCOMPARE(finished.at(1), QVariantList({getId, false}));
    QCOMPARE(headers.size(), 2);
    QCOMPARE(headers.at(0).statusCode(), 200);
    QCOMPARE(headers.at(0).value(QStringLiteral("last-modified")), QStringLiteral("Tue, 1"));
    QCOMPARE(connection.readAll(), QByteArray("<rss/>"));
    QCOMPARE(connection.error(), HttpConnection::NoError);
    QCOMPARE(server.requestLines(), QList<QByteArray>({"HEAD /feed?a=1", "GET /feed?a=1"}));
    for (const TestHttpRequest &r : server.requests())
        QVERIFY(r.header("User-Agent").startsWith("pellix-News/"));
}

void TestHttpConnection::redirectIsReportedNotFollowed()
{
    TestHttpServer server;
    TestHttpServer other;
    server.setResponse("/old", TestHttpResponse::redirect(302, other.baseUrl() + "/new"));

    HttpConnection connection;
    HttpResponseHeader header;
    connect(&connection, &HttpConnection::responseHeaderReceived, this,
        [&](const HttpResponseHeader &h) { header = h; });
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/"));
    connection.get(QStringLiteral("/old"));
    QVERIFY(finished.wait());

    QCOMPARE(finished.at(0).at(1).toBool(), false);
    QCOMPARE(header.statusCode(), 302);
    QCOMPARE(header.value(QStringLiteral("Location")).toLatin1(), other.baseUrl() + "/new");
    QCOMPARE(other.requestCount(), 0);
}

void TestHttpConnection::errorStatusIsAnAnswer()
{
    TestHttpServer server; // unknown paths answer 404 with a body
    HttpConnection connection;
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(QStringLiteral("127.0.0.1"), server.port());
    connection.get(QStringLiteral("/missing"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(1).toBool(), false);
    QCOMPARE(connection.lastResponse().statusCode(), 404);
    QCOMPARE(connection.readAll(), QByteArray("not found"));
}

void TestHttpConnection::transportFailures_data()
{
    QTest::addColumn<TestHttpResponse>("response");
    QTest::newRow("dropped before answering") << TestHttpResponse::dropped();
    TestHttpResponse cut = TestHttpResponse::ok(QByteArray(5000, 'x'));
    cut.dropAfterBytes = 100;
    QTest::newRow("body cut short") << cut;
}

void TestHttpConnection::transportFailures()
{
    QFETCH(TestHttpResponse, response);
    TestHttpServer server;
    server.setResponse("/f", response);
    HttpConnection connection;
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/"));
    connection.get(QStringLiteral("/f"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    QVERIFY(connection.error() != HttpConnection::NoError);
}

void TestHttpConnection::oversizedBody_data()
{
    QTest::addColumn<bool>("announced");
    QTest::newRow("length announced") << true;
    QTest::newRow("length unknown") << false;
}

void TestHttpConnection::oversizedBody()
{
    QFETCH(bool, announced);
    TestHttpServer server;
    TestHttpResponse big = TestHttpResponse::ok(QByteArray(64 * 1024, 'x'));
    big.omitContentLength = !announced;
    server.setResponse("/big", big);

    HttpConnection connection;
    connection.setMaxBodySize(16 * 1024);
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/"));
    connection.get(QStringLiteral("/big"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    QCOMPARE(connection.error(), HttpConnection::BodyTooLarge);
    QVERIFY(connection.readAll().isEmpty());
}

void TestHttpConnection::abortEndsRunningAndDropsQueued()
{
    TestHttpServer server;
    server.setResponse("/slow", TestHttpResponse::silence());
    HttpConnection connection;
    QSignalSpy started(&connection, &HttpConnection::requestStarted);
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/"));
    const int first = connection.head(QStringLiteral("/slow"));
    connection.get(QStringLiteral("/slow"));
    QVERIFY(started.wait());
    QTRY_COMPARE(server.requestCount(), 1);
    QCOMPARE(connection.currentId(), first);

    connection.abort();
    QCOMPARE(finished.size(), 1); // reported at once, as the request it was
    QCOMPARE(finished.at(0), QVariantList({first, true}));
    QCOMPARE(connection.error(), HttpConnection::Aborted);
    QCOMPARE(connection.currentId(), 0);
    QVERIFY(!connection.hasPendingRequests());

    // The connection stays usable.
    server.setResponse("/ok", TestHttpResponse::ok("fine"));
    const int next = connection.get(QStringLiteral("/ok"));
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(finished.at(1), QVariantList({next, false}));
    QCOMPARE(connection.readAll(), QByteArray("fine"));
}

void TestHttpConnection::tlsToAPlainServerFails()
{
    TestHttpServer server;
    server.setResponse("/f", TestHttpResponse::ok("<rss/>"));
    HttpConnection connection;
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(QUrl(QStringLiteral("https://127.0.0.1:%1/f").arg(server.port())));
    QVERIFY(connection.isTls());
    QCOMPARE(connection.port(), server.port());
    connection.get(QStringLiteral("/f"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    QVERIFY(connection.readAll().isEmpty());
}

void TestHttpConnection::untrustedCertificateIsNeverAccepted()
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty() || !QSslSocket::supportsSsl())
        QSKIP("needs openssl to make a self-signed certificate");
    QTemporaryDir dir;
    QProcess make;
    make.setWorkingDirectory(dir.path());
    make.start(openssl,
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem",
            "-days", "2", "-subj", "/CN=127.0.0.1"});
    QVERIFY(make.waitForFinished(30000));
    QFile certFile(dir.filePath("cert.pem"));
    QFile keyFile(dir.filePath("key.pem"));
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(certFile.readAll()));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));

    TestHttpServer server(tls);
    server.setResponse("/f", TestHttpResponse::ok("<rss/>"));
    HttpConnection connection;
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/f"));
    connection.get(QStringLiteral("/f"));
    QVERIFY(finished.wait());
    QCOMPARE(finished.at(0).at(1).toBool(), true);
    QCOMPARE(connection.error(), HttpConnection::TlsError);
    QCOMPARE(server.requestCount(), 0);
}

void TestHttpConnection::proxyFromReply_data()
{
    QTest::addColumn<QList<QVariant>>("args");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");

    const int none = QNetworkProxy::NoProxy;
    const int http = QNetworkProxy::HttpProxy;
    const int socks = QNetworkProxy::Socks5Proxy;
    QTest::newRow("empty answer") << QList<QVariant>() << none << "" << 0 << ""
                                  << "";
    QTest::newRow("kind 0") << QList<QVariant>({0, "p", 8080, "u", "pw"}) << none << "" << 0 << ""
                            << "";
    QTest::newRow("kind 1") << QList<QVariant>({1, "p", 8080, "u", "pw"}) << http << "p" << 8080
                            << "u"
                            << "pw";
    QTest::newRow("kind 2") << QList<QVariant>({2, "p", 3128, "u", "pw"}) << http << "p" << 3128
                            << "u"
                            << "pw";
    QTest::newRow("kind 7 is socks")
        << QList<QVariant>({7, "s", 1080, "u", "pw"}) << socks << "s" << 1080 << "u"
        << "pw";
    QTest::newRow("no credentials") << QList<QVariant>({1, "p", 80}) << http << "p" << 80 << ""
                                    << "";
    QTest::newRow("user only") << QList<QVariant>({1, "p", 80, "u"}) << http << "p" << 80 << "u"
                               << "";
}

void TestHttpConnection::proxyFromReply()
{
    QFETCH(QList<QVariant>, args);
    QFETCH(int, type);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, password);

    Protocol reply;
    for (int i = 0; i < args.size(); ++i) {
        const bool text = args.at(i).typeId() == QMetaType::QString;
        reply.add(0,
            text ? ProtocolArg::String : (i == 0 ? ProtocolArg::UInt8 : ProtocolArg::UInt16),
            args.at(i));
    }
    const QNetworkProxy proxy = HttpConnection::proxyFromReply(&reply);
    QCOMPARE(int(proxy.type()), type);
    if (type == QNetworkProxy::NoProxy)
        return;
    QCOMPARE(proxy.hostName(), host);
    QCOMPARE(int(proxy.port()), port);
    QCOMPARE(proxy.user(), user);
    QCOMPARE(proxy.password(), password);
}

QTEST_GUILESS_MAIN(TestHttpConnection)
#include "tst_httpconnection.moc"
