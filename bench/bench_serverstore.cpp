// Server store speed: 50 users of 100 feeds in 5 folders, synchronised a first
// time (the server adopts each user's local state, then answers) and a second
// time (answer only), against a SQLite file and a PostgreSQL database side by
// side; then 8 client processes at once against each store, every client
// synchronising its share of the users and applying one feed change per user.
// Prints users/s and the time per user.
//
// Usage: bench_serverstore            (starts its own PostgreSQL on 127.0.0.1)
//        bench_serverstore --client LOCATION FIRST COUNT   (one client, used by the above)

#include "client/serverstore.h"
#include "client/storemessages.h"
#include "core/rssprotocol.h"
#include "tests/common/testpostgres.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int userCount = 50;
constexpr int feedsPerUser = 100;
constexpr int folderCount = 5;
constexpr int clientCount = 8;
constexpr quint32 firstUser = 1000;

UserRecord localState(quint32 user)
{
    UserRecord record;
    record.settings = {{ProtocolField::UpdateInterval, 15}, {ProtocolField::NewItemsOnly, 0},
        {ProtocolField::MaxItemsInClient, 20}, {ProtocolField::MaxItemsInViewer, 10}};
    for (int f = 0; f < folderCount; ++f)
        record.folders.append({f + 1, QStringLiteral("Folder %1").arg(f + 1), {}});
    for (int i = 1; i <= feedsPerUser; ++i) {
        const int kind = i % 3 == 0 ? 1 : 2;
        record.feeds.append({kind, i, QStringLiteral("Feed %1 of user %2").arg(i).arg(user),
            QStringLiteral("https://news.example.org/%1/feed-%2.xml").arg(user).arg(i), 3});
        record.folders[i % folderCount].feeds.append({kind, i});
    }
    return record;
}

// What the router does for one feeds-and-settings request.
bool synchronise(ServerStore &store, quint32 user)
{
    if (!store.hasUser(user) && !store.addUser(user, localState(user)))
        return false;
    const Protocol answer = StoreMessages::answer(store.record(user));
    return answer.args().size() > feedsPerUser * 5;
}

Protocol feedChange(int id)
{
    Protocol p(ClientMessage::NewsModule, ClientMessage::FeedChanged);
    p.add(ProtocolField::FeedTitle, ProtocolArg::String, QStringLiteral("Renamed %1").arg(id), 1);
    p.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 2);
    p.add(ProtocolField::OwnFeedId, ProtocolArg::UInt32, id);
    p.add(ProtocolField::FeedSource, ProtocolArg::String, QString(), 1);
    p.add(ProtocolField::FeedState, ProtocolArg::UInt32, 1);
    return p;
}

int runClient(const QString &location, quint32 first, int count)
{
    const auto store = ServerStore::forLocation(location);
    if (!store->open(location)) {
        std::fprintf(stderr, "%s\n", qPrintable(store->errorString()));
        return 1;
    }
    for (quint32 user = first; user < first + quint32(count); ++user) {
        if (!synchronise(*store, user) || !store->apply(user, feedChange(int(user % 50) + 1))) {
            std::fprintf(stderr, "user %u: %s\n", user, qPrintable(store->errorString()));
            return 1;
        }
    }
    return 0;
}

void report(const char *backend, const char *what, int users, qint64 nsecs)
{
    const double seconds = double(nsecs) / 1e9;
    std::printf("%-10s %-30s %4d users  %8.1f users/s  %7.2f ms/user\n", backend, what, users,
        users / seconds, seconds * 1000.0 / users);
    std::fflush(stdout);
}

bool measure(const char *backend, const QString &location)
{
    const auto store = ServerStore::forLocation(location);
    if (!store->open(location)) {
        std::fprintf(stderr, "%s\n", qPrintable(store->errorString()));
        return false;
    }
    for (const char *pass : {"first synchronisation", "second synchronisation"}) {
        QElapsedTimer clock;
        clock.start();
        for (quint32 user = firstUser; user < firstUser + userCount; ++user) {
            if (!synchronise(*store, user)) {
                std::fprintf(stderr, "%s\n", qPrintable(store->errorString()));
                return false;
            }
        }
        report(backend, pass, userCount, clock.nsecsElapsed());
    }

    // 8 clients at once, each with its share of users; half of the users are new.
    std::vector<std::unique_ptr<QProcess>> clients;
    const int share = userCount / clientCount + 1;
    QElapsedTimer clock;
    clock.start();
    for (int c = 0; c < clientCount; ++c) {
        auto client = std::make_unique<QProcess>();
        client->setProcessChannelMode(QProcess::ForwardedChannels);
        const quint32 first = firstUser + quint32(userCount / 2 + c * share);
        client->start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--client"), location, QString::number(first), QString::number(share)});
        clients.push_back(std::move(client));
    }
    bool ok = true;
    for (const auto &client : clients)
        ok = client->waitForFinished(600000) && client->exitCode() == 0 && ok;
    report(backend, "8 clients at once", clientCount * share, clock.nsecsElapsed());
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("--client"))
        return runClient(args.at(2), args.at(3).toUInt(), args.at(4).toInt());

    std::printf("%d users x %d feeds in %d folders\n", userCount, feedsPerUser, folderCount);
    QTemporaryDir dir;
    bool ok = measure("sqlite", dir.filePath(QStringLiteral("store.sqlite")));

    TestPostgres postgres;
    QString reason = TestPostgres::missing();
    if (reason.isEmpty() && postgres.start(&reason)) {
        const QString database = postgres.createDatabase(&reason);
        ok = !database.isEmpty() && measure("postgresql", postgres.address(database)) && ok;
    }
    if (!reason.isEmpty()) {
        std::fprintf(stderr, "postgresql: %s\n", qPrintable(reason));
        ok = false;
    }
    return ok ? 0 : 1;
}
