// Feed update speed: 200 feeds of 100 items served from 127.0.0.1 by a near server
// (answers at once) and a far one (every answer 40 ms late, header and body in one
// write, ETag and Last-Modified, 304 for a matching conditional request). For each:
// the updater in this process and then `pellix --update` from an empty home, the
// same again with nothing changed, and again with 5 new items per feed. Last, the
// cost of storing one 1000-item document against a bare stream-reader pass plus
// prepared inserts. Usage: bench_updater [far delay in ms, default 40] [transfers in
// flight, default the setting's]

#include "host/pdir.h"
#include "host/protocol.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "plugin/feeddatabase.h"
#include "tests/common/testhttpserver.h"
#include "updater/feeddocument.h"
#include "updater/updater.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <sys/resource.h>

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 100;
constexpr int newItemsPerRun = 5;
int parallel = 0;

// Item n of feed f; the newest items have the highest n and come first.
QByteArray feedBody(int feed, int generation)
{
    const int newest = itemsPerFeed + generation * newItemsPerRun;
    QByteArray doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel>"
                     "<title>Feed "
        + QByteArray::number(feed) + "</title><link>http://example.com/" + QByteArray::number(feed)
        + "</link><description>Benchmark feed</description>\n";
    for (int n = newest; n > newest - itemsPerFeed; --n) {
        const QByteArray id = QByteArray::number(feed) + "-" + QByteArray::number(n);
        doc += "<item><title>Story " + id
            + ": something happened somewhere today</title>"
              "<link>http://example.com/story/"
            + id
            + "</link>"
              "<description>&lt;p&gt;A paragraph about story "
            + id
            + " with enough words to look like a real summary of a news article, "
              "as feeds usually carry.&lt;/p&gt;</description>"
              "<pubDate>Mon, 03 Dec 2007 10:00:00 GMT</pubDate>"
              "<guid>http://example.com/story/"
            + id + "</guid></item>\n";
    }
    return doc + "</channel></rss>\n";
}

// The feeds, served from their own thread so that serving does not queue behind
// the updater's work on the main thread. The generation changes the documents and
// their validators.
class FeedServer : public QThread
{
public:
    FeedServer(int delayMs, const std::atomic<int> *generation)
        : m_delayMs(delayMs), m_generation(generation)
    {
    }
    std::atomic<quint16> port{0};
    int delayMs() const { return m_delayMs; }

protected:
    void run() override
    {
        TestHttpServer server;
        server.setAnswerDelay(m_delayMs);
        server.setValidating(true);
        server.setHandler(
            [this](const TestHttpRequest &request) -> std::optional<TestHttpResponse> {
                if (!request.path.startsWith("/f"))
                    return std::nullopt;
                const int feed = request.path.mid(2).toInt();
                const int g = m_generation->load();
                const QByteArray tag = QByteArray::number(feed) + "-" + QByteArray::number(g);
                return TestHttpResponse::ok(feedBody(feed, g),
                    {{"Content-Type", "application/rss+xml"}, {"ETag", "\"" + tag + "\""},
                        {"Last-Modified",
                            "Mon, 0" + QByteArray::number(1 + g) + " Dec 2025 10:00:00 GMT"}});
            });
        port = server.port();
        exec();
    }

private:
    int m_delayMs;
    const std::atomic<int> *m_generation;
};

qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

void printRun(const char *name, qint64 ns, int feeds, int items)
{
    const double s = ns / 1e9;
    std::printf("%-34s %8.3f s  %8.1f feeds/s  %9.1f items/s\n", name, s, feeds / s, items / s);
}

qint64 waitForRun(Updater &updater, const std::function<void()> &start)
{
    QEventLoop loop;
    QObject::connect(&updater, &Updater::queueEmpty, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    start();
    loop.exec();
    return clock.nsecsElapsed();
}

int countItems(QSqlDatabase &db)
{
    QSqlQuery q(db);
    q.exec(QStringLiteral("select count(*) from items"));
    return q.next() ? q.value(0).toInt() : -1;
}

void inProcessRuns(const char *server, quint16 port, std::atomic<int> &generation)
{
    generation = 0;
    QTemporaryDir home;
    PDir::setHomePath(home.path());
    QSqlDatabase db;
    FeedDatabase::open(db, home.filePath(QStringLiteral("1.rssdb")));
    {
        QSqlQuery insert(db);
        db.transaction();
        insert.prepare(QStringLiteral("insert into feeds (id, source, toload, farmid, folderid, "
                                      "inclient) values (?, ?, 1, ?, 1, 1)"));
        for (int feed = 1; feed <= feedCount; ++feed) {
            insert.addBindValue(feed);
            insert.addBindValue(QStringLiteral("http://127.0.0.1:%1/f%2").arg(port).arg(feed));
            insert.addBindValue(-feed);
            insert.exec();
        }
        db.commit();
    }

    RecordingRouter router;
    {
        Updater updater(&db);
        if (parallel > 0)
            updater.setParallel(parallel);
        std::printf(
            "%s server, updater in this process (%d in flight):\n", server, updater.parallel());
        const qint64 first = waitForRun(updater, [&] { router.answer(0, Protocol()); });
        printRun("  from an empty database", first, feedCount, countItems(db));

        const int before = countItems(db);
        const qint64 unchanged = waitForRun(updater, [&] { updater.updateAll(); });
        printRun("  again, nothing changed", unchanged, feedCount, 0);

        generation = 1;
        const qint64 grown = waitForRun(updater, [&] { updater.updateAll(); });
        printRun("  again, 5 new items per feed", grown, feedCount, countItems(db) - before);
        std::printf("  items stored: %d (expected %d)\n", countItems(db),
            feedCount * (itemsPerFeed + newItemsPerRun));
    }
    FeedDatabase::close(db);
    PDir::setHomePath(QString());
}

// Our processing of one document against the floor: one QXmlStreamReader pass over
// the same bytes plus the same rows inserted by one prepared statement in one
// transaction.
void documentRatio()
{
    QTemporaryDir home;
    QSqlDatabase db;
    FeedDatabase::open(db, home.filePath(QStringLiteral("ratio.rssdb")));
    Updater::prepareDatabase(db);

    QByteArray doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\"><channel>"
                     "<title>Big</title>";
    for (int n = 1000; n > 0; --n) {
        const QByteArray id = QByteArray::number(n);
        doc += "<item><title>Story " + id + " title text</title><link>http://example.com/s/" + id
            + "</link><description>&lt;p&gt;Summary of story " + id
            + ", a sentence or two long as most feeds have it.&lt;/p&gt;</description>"
              "<pubDate>Tue, 04 Dec 2007 10:00:00 GMT</pubDate></item>\n";
    }
    doc += "</channel></rss>";

    QList<qint64> ours, floor;
    for (int round = 0; round < 7; ++round) {
        const int feed = 1000 + round;
        QElapsedTimer clock;
        clock.start();
        FeedDocument document(&db, QString::number(feed));
        document.process(doc);
        ours << clock.nsecsElapsed();

        clock.restart();
        struct Row
        {
            QString title, link, description, pubDate;
        };
        QList<Row> rows;
        QXmlStreamReader reader(doc);
        Row row;
        QStringView field;
        while (!reader.atEnd()) {
            switch (reader.readNext()) {
            case QXmlStreamReader::StartElement:
                field = reader.name();
                if (field == QLatin1String("item"))
                    row = Row();
                break;
            case QXmlStreamReader::Characters:
                if (field == QLatin1String("title"))
                    row.title += reader.text();
                else if (field == QLatin1String("link"))
                    row.link += reader.text();
                else if (field == QLatin1String("description"))
                    row.description += reader.text();
                else if (field == QLatin1String("pubDate"))
                    row.pubDate += reader.text();
                break;
            case QXmlStreamReader::EndElement:
                if (reader.name() == QLatin1String("item"))
                    rows.append(row);
                field = QStringView();
                break;
            default:
                break;
            }
        }
        QSqlQuery begin(db);
        begin.exec(QStringLiteral("BEGIN"));
        QSqlQuery insert(db);
        insert.prepare(QStringLiteral("insert into items (channelid, itemid, title, link, "
                                      "description, pubdate, isread, toclear, mark) values "
                                      "(:channelid, :itemid, :title, :link, :desc, :pubDate, 0, "
                                      "0, 0)"));
        int itemId = 1;
        for (const Row &r : std::as_const(rows)) {
            insert.bindValue(QStringLiteral(":channelid"), feed + 100);
            insert.bindValue(QStringLiteral(":itemid"), itemId++);
            insert.bindValue(QStringLiteral(":title"), r.title);
            insert.bindValue(QStringLiteral(":link"), r.link);
            insert.bindValue(QStringLiteral(":desc"), r.description);
            insert.bindValue(QStringLiteral(":pubDate"), r.pubDate);
            insert.exec();
        }
        begin.exec(QStringLiteral("COMMIT"));
        floor << clock.nsecsElapsed();
    }
    std::sort(ours.begin(), ours.end());
    std::sort(floor.begin(), floor.end());
    const double o = ours.at(ours.size() / 2) / 1e6;
    const double b = floor.at(floor.size() / 2) / 1e6;
    std::printf("one 1000-item document (%lld bytes), median of %lld:\n", qint64(doc.size()),
        qint64(ours.size()));
    std::printf("  stored by the updater            %8.2f ms\n", o);
    std::printf("  stream pass + prepared inserts   %8.2f ms\n", b);
    std::printf("  ratio                            %8.2f (target below 3)\n", o / b);

    // Many items of one title: each lookup must still find its item directly.
    QByteArray same = "<?xml version=\"1.0\"?><rss><channel><title>Same</title>";
    for (int n = 0; n < 40000; ++n)
        same += "<item><title>Same title</title><description>Item " + QByteArray::number(n)
            + "</description></item>";
    same += "</channel></rss>";
    QElapsedTimer clock;
    clock.start();
    FeedDocument(&db, QStringLiteral("2000")).process(same);
    std::printf("40000 items with one title, one document: %.2f s (a few seconds at most)\n",
        clock.nsecsElapsed() / 1e9);
    FeedDatabase::close(db);
}

// User and system time of the child processes that have ended.
double childCpuSeconds()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return children.ru_utime.tv_sec + children.ru_stime.tv_sec
        + (children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
}

// One `pellix --update` in home; the subscriptions are given the first time only.
bool clientRun(const char *name, const QString &home, quint16 port, bool subscribe)
{
    const QString program
        = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"))
              .absoluteFilePath();
    QStringList args{QStringLiteral("--home"), home, QStringLiteral("--user"), QStringLiteral("1")};
    for (int feed = 1; subscribe && feed <= feedCount; ++feed)
        args << QStringLiteral("--subscribe")
             << QStringLiteral("http://127.0.0.1:%1/f%2").arg(port).arg(feed);
    args << QStringLiteral("--update");

    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *variable :
        {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        environment.remove(QString::fromLatin1(variable));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    client.setProcessEnvironment(environment);
    const double cpuBefore = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    client.start(program, args);
    if (!client.waitForFinished(300000)) {
        client.kill();
        client.waitForFinished();
        std::printf("  %s: did not finish within 300 s\n", name);
        return false;
    }
    const qint64 ns = clock.nsecsElapsed();
    const double cpu = childCpuSeconds() - cpuBefore;
    const QList<QByteArray> lines = client.readAllStandardOutput().trimmed().split('\n');
    int changed = 0, unchanged = 0;
    for (const QByteArray &line : lines) {
        changed += line.endsWith("\tchanged");
        unchanged += line.endsWith("\tunchanged");
    }
    printRun(name, ns, feedCount, 0);
    std::printf("    exit %d, %d changed, %d unchanged, %d failed; %.3f s of CPU\n",
        client.exitCode(), changed, unchanged, int(lines.size()) - changed - unchanged, cpu);
    return true;
}

void clientRuns(const char *server, quint16 port, std::atomic<int> &generation)
{
    if (!QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"))
             .isExecutable()) {
        std::printf("pellix --update: skipped, the client is not built\n");
        return;
    }
    generation = 0;
    QTemporaryDir home;
    if (parallel > 0) {
        QDir().mkpath(home.filePath(QStringLiteral("settings")));
        QSettings settings(home.filePath(QStringLiteral("settings/1.ini")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("RSS/ParallelUpdates"), parallel);
    }
    std::printf("%s server, pellix --update:\n", server);
    if (!clientRun("  from an empty home", home.path(), port, true))
        return;
    if (!clientRun("  again, nothing changed", home.path(), port, false))
        return;
    generation = 1;
    clientRun("  again, 5 new items per feed", home.path(), port, false);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int farDelay = argc > 1 ? QByteArray(argv[1]).toInt() : 40;
    // Transfers in flight, for this process and the client's settings; 0: the default.
    parallel = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
    std::atomic<int> generation{0};
    FeedServer near(0, &generation);
    FeedServer far(farDelay, &generation);
    for (FeedServer *server : {&near, &far}) {
        server->start();
        while (server->port.load() == 0)
            QThread::msleep(5);
    }

    std::printf("%d feeds x %d items from 127.0.0.1; the far server answers %d ms late\n",
        feedCount, itemsPerFeed, farDelay);
    inProcessRuns("near", near.port, generation);
    inProcessRuns("far", far.port, generation);
    std::printf("peak memory of this process: %.1f MiB\n", statusKiB("VmHWM:") / 1024.0);
    documentRatio();
    clientRuns("near", near.port, generation);
    clientRuns("far", far.port, generation);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("peak memory of a pellix --update: %.1f MiB (target below 100)\n",
        children.ru_maxrss / 1024.0);
    std::printf("targets: near from empty <= 1.5 s, far from empty <= 4 s, far unchanged <= 2 s\n");

    for (FeedServer *server : {&near, &far}) {
        server->quit();
        server->wait();
    }
    return 0;
}
