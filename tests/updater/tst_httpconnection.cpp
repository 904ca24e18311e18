#include "host/protocol.h"
#include "tests/common/testhttpserver.h"
#include "updater/httpconnection.h"

#include "testhelpers.h"

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
    void untrustedCertificateIsNeverAccepted();
    void proxyFromReply_data();
    void proxyFromReply();
};

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
    QFile key(dir.filePath("key.pem"));
    QVERIFY(key.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate::fromPath(dir.filePath("cert.pem")).value(0));
    tls.setPrivateKey(QSslKey(&key, QSsl::Rsa));

    TestHttpServer server(tls);
    server.setResponse("/f", TestHttpResponse::ok("<rss/>"));
    HttpConnection connection;
    QSignalSpy finished(&connection, &HttpConnection::requestFinished);
    connection.setHost(server.url("/f"));
    connection.get(QStringLiteral("/f"));
    QVERIFY(finished.wait());
    QVERIFY(finished.at(0).at(1).toBool());
    QCOMPARE(connection.error(), HttpConnection::TlsError);
    QCOMPARE(server.requestCount(), 0);
}

void TestHttpConnection::proxyFromReply_data()
{
    TestHelpers::addRows(QStringLiteral("cases/proxy-replies.txt"), {"answer", "proxy"});
}

void TestHttpConnection::proxyFromReply()
{
    QFETCH(QString, answer);
    QFETCH(QString, proxy);
    Protocol reply;
    const QStringList args = answer.split(u' ', Qt::SkipEmptyParts);
    for (int i = 0; i < args.size(); ++i) {
        bool number = false;
        const int value = args.at(i).toInt(&number);
        reply.add(0,
            !number ? ProtocolArg::String : (i == 0 ? ProtocolArg::UInt8 : ProtocolArg::UInt16),
            number ? QVariant(value) : QVariant(args.at(i)));
    }
    const QNetworkProxy p = HttpConnection::proxyFromReply(&reply);
    const QHash<int, QString> kinds = {{QNetworkProxy::NoProxy, "none"},
        {QNetworkProxy::HttpProxy, "http"}, {QNetworkProxy::Socks5Proxy, "socks"}};
    QString got = kinds.value(p.type(), "other");
    if (p.type() != QNetworkProxy::NoProxy)
        got += QStringLiteral(" %1:%2 %3:%4")
                   .arg(p.hostName())
                   .arg(p.port())
                   .arg(p.user(), p.password());
    QCOMPARE(got, proxy);
}

QTEST_GUILESS_MAIN(TestHttpConnection)
#include "tst_httpconnection.moc"
