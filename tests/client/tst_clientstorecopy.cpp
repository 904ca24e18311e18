#include "client/serverstore.h"
#include "storefixture.h"

#include <QSet>
#include <QTest>
#include <QThread>

#include <vector>

using namespace TestHelpers;

// Stores written by many at once, and copied from one back end to another.
class tst_ServerStoreCopy : public QObject, public StoreFixture
{
    Q_OBJECT
private slots:
    void concurrentWritersLoseNothing_data();
    void concurrentWritersLoseNothing();
    void copyTakesEveryUserOrNone_data();
    void copyTakesEveryUserOrNone();
};

void tst_ServerStoreCopy::concurrentWritersLoseNothing_data()
{
    addBackendColumn();
}

void tst_ServerStoreCopy::concurrentWritersLoseNothing()
{
    // Eight writers, two per user, each on its own connection and thread: every
    // writer subscribes feeds of its own and sends its whole folder layout after
    // each one. No message may be refused, every feed must arrive, and a user's
    // layout must be one writer's last message, not a blend of two.
    QFETCH(QString, backend);
    NEW_LOCATION(location, backend);
    const int users = 4;
    const int writers = 2 * users;
    const int feedsEach = 12;
    {
        const auto store = openStore(location);
        for (int u = 1; u <= users; ++u)
            QVERIFY(store->addUser(u));
    }
    QList<QStringList> failures(writers);
    QList<QList<UserRecord::Folder>> lastLayouts(writers);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back(QThread::create([&, w] {
            const auto store = ServerStore::forLocation(location);
            if (!store->open(location)) {
                failures[w].append(store->errorString());
                return;
            }
            const quint32 user = quint32(w % users + 1);
            QList<UserRecord::Folder> layout
                = {{1, u"My Feeds"_s, {}}, {10 + w, u"Writer %1"_s.arg(w), {}}};
            for (int i = 0; i < feedsEach; ++i) {
                const int id = w * 100 + i;
                const Protocol subscribe = feedMessage(ClientMessage::FeedSubscribed, 2, id,
                    u"Feed %1"_s.arg(id), u"http://127.0.0.1/%1.xml"_s.arg(id));
                layout[i % 2].feeds.append({2, id});
                if (!store->apply(user, subscribe) || !store->apply(user, foldersMessage(layout)))
                    failures[w].append(store->errorString());
            }
            lastLayouts[w] = layout;
        }));
        threads.back()->start();
    }
    for (const auto &thread : threads)
        QVERIFY(thread->wait(120000));
    for (int w = 0; w < writers; ++w)
        QVERIFY2(failures.at(w).isEmpty(), qPrintable(failures.at(w).join(u'\n')));

    const auto store = openStore(location);
    for (int u = 1; u <= users; ++u) {
        const UserRecord record = store->record(u);
        QSet<int> ids;
        for (const UserRecord::Feed &feed : record.feeds) {
            ids.insert(feed.id);
            QCOMPARE(feed.source, u"http://127.0.0.1/%1.xml"_s.arg(feed.id));
        }
        QSet<int> expected;
        for (const int w : {u - 1, u - 1 + users}) {
            for (int i = 0; i < feedsEach; ++i)
                expected.insert(w * 100 + i);
        }
        QCOMPARE(ids, expected);
        UserRecord first;
        first.folders = lastLayouts.at(u - 1);
        UserRecord second;
        second.folders = lastLayouts.at(u - 1 + users);
        UserRecord layout;
        layout.folders = record.folders;
        const QString found = recordText(layout);
        QVERIFY2(found == recordText(first) || found == recordText(second), qPrintable(found));
    }
}

void tst_ServerStoreCopy::copyTakesEveryUserOrNone_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("refuseThirdUser");
    for (const char *from : Backends) {
        for (const char *to : Backends) {
            for (const bool refuse : {false, true}) {
                QTest::addRow("%s to %s%s", from, to, refuse ? ", fails at the third user" : "")
                    << QString::fromLatin1(from) << QString::fromLatin1(to) << refuse;
            }
        }
    }
}

void tst_ServerStoreCopy::copyTakesEveryUserOrNone()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, refuseThirdUser);
    NEW_LOCATION(source, from);
    NEW_LOCATION(target, to);
    {
        const auto store = openStore(source);
        for (const quint32 user : {1u, 2u, 4000000000u})
            QVERIFY(store->addUser(user, sampleRecord(user)));
        const auto other = openStore(target);
        // User 2 is replaced by the copy; user 9 is not in the source and stays.
        QVERIFY(other->addUser(2, sampleRecord(20)));
        QVERIFY(other->addUser(9, sampleRecord(9)));
    }
    if (refuseThirdUser) {
        // The target fails the last user's write, after the first ones went in.
        const QString problem = execute(target,
            to == "sqlite"_L1
                ? QStringList{u"create trigger refuse before insert on users when new.user = "
                              "4000000000 begin select raise(abort, 'refused'); end"_s}
                : QStringList{u"create function refuse() returns trigger language plpgsql as $$ "
                              "begin raise exception 'refused'; end $$"_s,
                    u"create trigger refuse before insert on users for each row when "
                    "(new.\"user\" = 4000000000) execute function refuse()"_s});
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    int copied = -1;
    QString error;
    const bool ok = ServerStore::copy(source, target, &copied, &error);
    QCOMPARE(ok, !refuseThirdUser);
    const auto store = openStore(target);
    if (refuseThirdUser) {
        QCOMPARE(copied, 0);
        QVERIFY2(error.contains(u"refused"_s), qPrintable(error));
        QCOMPARE(store->users(), (QList<quint32>{2, 9}));
        QCOMPARE(recordText(store->record(2)), recordText(sampleRecord(20)));
        return;
    }
    QVERIFY2(ok, qPrintable(error));
    QCOMPARE(copied, 3);
    QCOMPARE(store->users(), (QList<quint32>{1, 2, 9, 4000000000u}));
    for (const quint32 user : {1u, 2u, 9u, 4000000000u})
        QCOMPARE(recordText(store->record(user)), recordText(sampleRecord(user)));
}

QTEST_MAIN(tst_ServerStoreCopy)
#include "tst_clientstorecopy.moc"
