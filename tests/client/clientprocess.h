#pragma once

// Runs the real client, built next to the test, as a user or a cron job would.

#include "testhttpserver.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QStringList>

using namespace Qt::StringLiterals;

// A feed of headlines, each with a link and a text of its own.
inline QByteArray rss(const QByteArray &title, const QList<QByteArray> &items)
{
    QByteArray body
        = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel><title>"
        + title + "</title><link>http://127.0.0.1/</link><description>d</description>";
    for (const QByteArray &item : items)
        body += "<item><title>" + item + "</title><link>http://127.0.0.1/" + item
            + "</link><description>" + item + " text</description></item>";
    return body + "</channel></rss>\n";
}

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// The real client next to this test, without a screen or a proxy from the environment.
inline void prepareClient(QProcess &process, const QStringList &arguments = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
        {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        env.remove(QLatin1String(name));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process.setProcessEnvironment(env);
    process.setProgram(QCoreApplication::applicationDirPath() + "/pellix"_L1);
    process.setArguments(arguments);
}

// Runs the client and lets the event loop serve its requests meanwhile.
inline Run runClient(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess process;
    prepareClient(process, arguments);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start();
    Run run;
    const bool started = process.waitForStarted(10000);
    if (started) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!started || (finished.isEmpty() && !finished.wait(60000))) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The options that start the client for a user of a home, on a server store when one is named.
inline QStringList as(const QString &home, int user, const QString &server = QString())
{
    QStringList arguments{"--home", home, "--user", QString::number(user)};
    if (!server.isEmpty())
        arguments << "--server" << server;
    return arguments;
}

// The address of a path on the test's server.
inline QString served(const TestHttpServer &server, const char *path)
{
    return QString::fromLatin1(server.baseUrl() + path);
}

// The feeds and pages of the test's server: two feeds, a page that names one of them
// and one elsewhere, a page without feeds, and the page a proxy is asked for.
inline void serveSite(TestHttpServer &server)
{
    const TestHttpHeaders modified = {{"Last-Modified", "Tue, 02 Jan 2024 10:00:00 GMT"}};
    server.setResponse(
        "/world.xml", TestHttpResponse::ok(rss("World", {"w1", "w2", "w3"}), modified));
    server.setResponse("/tech.xml", TestHttpResponse::ok(rss("Tech news", {"t1", "t2"}), modified));
    const QByteArray links = "<link rel=alternate type='application/rss+xml; charset=utf-8' "
                             "href=world.xml title='World &raquo; All'>"
                             "<link rel=alternate type=application/atom+xml href=//feeds.test/a>";
    server.setResponse("/site/index.html",
        TestHttpResponse::ok("<html><head>" + links + "</head></html>",
            {{"Content-Type", "text/html; charset=utf-8"}}));
    server.setResponse("/plain.html", TestHttpResponse::ok("<p>No feeds here</p>"));
    // Through a proxy the request line carries the whole address.
    server.setResponse("http://feeds.test/page", TestHttpResponse::ok(links));
}
