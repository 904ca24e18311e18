// Feed update speed: 200 feeds of 100 items served from 127.0.0.1, fetched by the
// updater in this process (first run, unchanged run, run with 5 new items per
// feed), then by `pellix --update` from an empty home; and the cost of storing one
// 1000-item document against a bare stream-reader pass plus prepared inserts.

#include "core/feeddatabase.h"
#include "core/rssprotocol.h"
#include "host/pdir.h"
#include "host/protocol.h"
#include "host/request.h"
#include "recordingrouter.h"
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
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QXmlStreamReader>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr int feedCount = 200;
constexpr int itemsPerFeed = 100;
constexpr int newItemsPerRun = 5;

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
// the updater's work on the main thread.
class FeedServer : public QThread
{
public:
    std::atomic<int> generation{0};
    std::atomic<quint16> port{0};

protected:
    void run() override
    {
        TestHttpServer server;
        server.setHandler(
            [this](const TestHttpRequest &request) -> std::optional<TestHttpResponse> {
                if (!request.path.startsWith("/f"))
                    return std::nullopt;
                const int feed = request.path.mid(2).toInt();
                const int g = generation.load();
                return TestHttpResponse::ok(feedBody(feed, g),
                    {{"Content-Type", "application/rss+xml"},
                        {"Last-Modified", "generation " + QByteArray::number(g)}});
            });
        port = server.port();
        exec();
    }
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

void inProcessRuns(quint16 port)
{
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
        const qint64 first = waitForRun(updater, [&] { router.answer(0, Protocol()); });
        printRun("first run, empty database", first, feedCount, countItems(db));

        const int before = countItems(db);
        const qint64 unchanged = waitForRun(updater, [&] { updater.updateAll(); });
        printRun("second run, all unchanged (HEAD)", unchanged, feedCount, 0);

        auto *server = static_cast<FeedServer *>(
            QCoreApplication::instance()->property("server").value<QObject *>());
        server->generation = 1;
        const qint64 grown = waitForRun(updater, [&] { updater.updateAll(); });
        printRun("third run, 5 new items per feed", grown, feedCount, countItems(db) - before);
        std::printf("  items stored: %d (expected %d)\n", countItems(db),
            feedCount * (itemsPerFeed + newItemsPerRun));
    }
    std::printf("peak memory of this process: %.1f MiB\n", statusKiB("VmHWM:") / 1024.0);
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
    FeedDatabase::close(db);
}

void clientRun(quint16 port)
{
    const QString program
        = QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/pellix"))
              .absoluteFilePath();
    if (!QFileInfo(program).isExecutable()) {
        std::printf("pellix --update: skipped, %s is not built\n", qPrintable(program));
        return;
    }
    QTemporaryDir home;
    QStringList args{
        QStringLiteral("--home"), home.path(), QStringLiteral("--user"), QStringLiteral("1")};
    for (int feed = 1; feed <= feedCount; ++feed)
        args << QStringLiteral("--subscribe")
             << QStringLiteral("http://127.0.0.1:%1/f%2").arg(port).arg(feed);
    args << QStringLiteral("--update");

    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name :
        {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    client.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    client.start(program, args);
    if (!client.waitForFinished(300000)) {
        client.kill();
        std::printf("pellix --update: did not finish within 300 s\n");
        return;
    }
    const qint64 ns = clock.nsecsElapsed();
    const QList<QByteArray> lines = client.readAllStandardOutput().trimmed().split('\n');
    int changed = 0;
    for (const QByteArray &line : lines)
        changed += line.endsWith("\tchanged");
    std::printf("pellix --update, empty home: exit %d, %lld lines (%d changed)\n",
        client.exitCode(), qint64(lines.size()), changed);
    printRun("pellix --update, 200 feeds", ns, feedCount, changed * itemsPerFeed);
    std::printf("  (target: under 3 s)\n");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    FeedServer server;
    server.start();
    while (server.port.load() == 0)
        QThread::msleep(5);
    app.setProperty("server", QVariant::fromValue<QObject *>(&server));

    std::printf("%d feeds x %d items from 127.0.0.1:%d\n", feedCount, itemsPerFeed,
        int(server.port.load()));
    inProcessRuns(server.port);
    documentRatio();
    server.generation = 0;
    clientRun(server.port);

    server.quit();
    server.wait();
    return 0;
}
