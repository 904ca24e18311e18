#include "client/localprofile.h"
#include "client/protocolfields.h"
#include "client/serverstore.h"

#include "plugin/feeddatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// A feed reference or record as the plug-in writes it into its messages.
static Protocol feedMessage(
    quint16 command, int kind, int id, const QString &title, const QString &source, int state)
{
    Protocol p(41, command);
    if (command == ClientMessage::FeedChanged)
        p.add(ProtocolField::FeedTitle, ProtocolArg::String, title, 1);
    p.add(ProtocolField::FeedKind, ProtocolArg::UInt16, kind);
    if (kind == 1) {
        p.add(ProtocolField::FarmId, ProtocolArg::UInt32, id);
    } else {
        p.add(ProtocolField::OwnFeedId, ProtocolArg::UInt32, id);
        if (command == ClientMessage::FeedSubscribed)
            p.add(ProtocolField::FeedTitle, ProtocolArg::String, title, 1);
        p.add(ProtocolField::FeedSource, ProtocolArg::String, source, 1);
    }
    if (command != ClientMessage::FeedUnsubscribed)
        p.add(ProtocolField::FeedState, ProtocolArg::UInt32, state);
    return p;
}

static QByteArray digest(const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// The answer read back the way its reader walks it: settings, feeds, folders.
struct ReadAnswer
{
    QMap<int, int> settings;
    QStringList feeds; // "kind:id:title:source:state"
    QStringList folders; // "id:title:kind/id,kind/id"
};

static ReadAnswer readAnswer(const Protocol &answer)
{
    ReadAnswer r;
    const QList<ProtocolArg> &a = answer.args();
    int i = 0;
    auto next = [&]() { return a.at(i++); };
    const int settings = next().variant().toInt();
    for (int n = 0; n < settings; ++n) {
        const ProtocolArg arg = next();
        r.settings.insert(int(arg.field()), arg.variant().toInt());
    }
    const int feeds = next().variant().toInt();
    for (int n = 0; n < feeds; ++n) {
        const int kind = next().variant().toInt();
        const int id = next().variant().toInt();
        const QString title = QString::fromUtf8(next().variant().toByteArray());
        const QString source = next().variant().toString();
        const int state = next().variant().toInt();
        r.feeds.append(
            QStringLiteral("%1:%2:%3:%4:%5").arg(kind).arg(id).arg(title, source).arg(state));
    }
    const int folders = next().variant().toInt();
    for (int n = 0; n < folders; ++n) {
        const int id = next().variant().toInt();
        const QString title = QString::fromUtf8(next().variant().toByteArray());
        const int count = next().variant().toInt();
        QStringList refs;
        for (int k = 0; k < count; ++k) {
            const int kind = next().variant().toInt();
            refs.append(QStringLiteral("%1/%2").arg(kind).arg(next().variant().toInt()));
        }
        r.folders.append(
            QStringLiteral("%1:%2:%3").arg(id).arg(title, refs.join(QLatin1Char(','))));
    }
    if (i != a.size())
        r.folders.append(QStringLiteral("trailing fields"));
    return r;
}

class tst_ServerStore : public QObject
{
    Q_OBJECT
private slots:
    void newUserGetsOneUntitledFolder();
    void messagesChangeTheRecord();
    void recordSurvivesReopening();
    void truncatedMessagesChangeNothing_data();
    void truncatedMessagesChangeNothing();
    void messagesForUnknownUsersAreNotKept();
    void foreignFilesAreRefusedUntouched_data();
    void foreignFilesAreRefusedUntouched();
    void localProfileIsAdopted();

private:
    QTemporaryDir m_dir;
};

void tst_ServerStore::newUserGetsOneUntitledFolder()
{
    ServerStore store;
    QVERIFY2(
        store.open(m_dir.filePath(QStringLiteral("new.sqlite"))), qPrintable(store.errorString()));
    QVERIFY(!store.hasUser(7));
    QVERIFY(store.addUser(7));
    QVERIFY(store.hasUser(7));
    const ReadAnswer answer = readAnswer(ServerStore::answer(store.record(7)));
    QVERIFY(answer.settings.isEmpty());
    QVERIFY(answer.feeds.isEmpty());
    QCOMPARE(answer.folders, QStringList{QStringLiteral("1::")});
}

void tst_ServerStore::messagesChangeTheRecord()
{
    ServerStore store;
    QVERIFY(store.open(m_dir.filePath(QStringLiteral("messages.sqlite"))));
    QVERIFY(store.addUser(1));
    const auto catalogue = [](int id, QString *title, QString *source) {
        if (id != 1005)
            return false;
        *title = QStringLiteral("Catalogue title");
        *source = QStringLiteral("https://example.org/catalogue.xml");
        return true;
    };

    using namespace ClientMessage;
    QVERIFY(store.apply(
        1, feedMessage(FeedSubscribed, 2, 1, QString(), QStringLiteral("http://a/feed"), 3)));
    QVERIFY(
        store.apply(1, feedMessage(FeedSubscribed, 1, 1005, QString(), QString(), 3), catalogue));
    QVERIFY(store.apply(1,
        feedMessage(
            FeedSubscribed, 2, 2, QStringLiteral("B"), QStringLiteral("http://b/feed"), 3)));
    // The fetched title of the own feed, and "keep the items" of feed b (state 0).
    QVERIFY(store.apply(1,
        feedMessage(
            FeedChanged, 2, 1, QStringLiteral("Ä title"), QStringLiteral("http://a/feed"), 3)));
    QVERIFY(store.apply(1,
        feedMessage(FeedChanged, 2, 2, QStringLiteral("B"), QStringLiteral("http://b/feed"), 0)));
    QVERIFY(store.apply(
        1, feedMessage(FeedChanged, 1, 1005, QStringLiteral("Renamed"), QString(), 1), catalogue));
    QVERIFY(store.apply(
        1, feedMessage(FeedUnsubscribed, 2, 2, QString(), QStringLiteral("http://b/feed"), 0)));

    Protocol setting(41, SettingChanged);
    setting.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    setting.add(ProtocolField::MaxItemsInViewer, ProtocolArg::UInt16, 17);
    QVERIFY(store.apply(1, setting));
    setting = Protocol(41, SettingChanged);
    setting.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    setting.add(ProtocolField::NewItemsOnly, ProtocolArg::UInt8, 1);
    QVERIFY(store.apply(1, setting));

    Protocol folders(41, FoldersChanged);
    folders.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 2);
    folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, 1);
    folders.add(ProtocolField::FolderTitle, ProtocolArg::String, QStringLiteral("My Feeds"), 1);
    folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 1);
    folders.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 2);
    folders.add(ProtocolField::OwnFeedId, ProtocolArg::UInt32, 1);
    folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, 4);
    folders.add(ProtocolField::FolderTitle, ProtocolArg::String, QStringLiteral("Tech"), 1);
    folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 1);
    folders.add(ProtocolField::FeedKind, ProtocolArg::UInt16, 1);
    folders.add(ProtocolField::FarmId, ProtocolArg::UInt32, 1005);
    QVERIFY(store.apply(1, folders));

    const Protocol answer = ServerStore::answer(store.record(1));
    const ReadAnswer read = readAnswer(answer);
    QCOMPARE(read.settings, (QMap<int, int>{{778, 1}, {780, 17}}));
    QCOMPARE(read.feeds,
        (QStringList{QStringLiteral("2:1:Ä title:http://a/feed:3"),
            QStringLiteral("1:1005:Renamed:https://example.org/catalogue.xml:1")}));
    QCOMPARE(read.folders,
        (QStringList{QStringLiteral("1:My Feeds:2/1"), QStringLiteral("4:Tech:1/1005")}));
    // The reader takes the settings by field number and the counts as integers.
    QCOMPARE(answer.args().at(0).field(), ProtocolField::SettingCount);
    QCOMPARE(answer.args().at(1).type(), ProtocolArg::UInt8);
}

void tst_ServerStore::recordSurvivesReopening()
{
    const QString file = m_dir.filePath(QStringLiteral("reopen.sqlite"));
    {
        ServerStore store;
        QVERIFY(store.open(file));
        QVERIFY(store.addUser(3));
        QVERIFY(store.apply(3,
            feedMessage(ClientMessage::FeedSubscribed, 2, 1, QStringLiteral("T"),
                QStringLiteral("http://x/"), 3)));
    }
    ServerStore again;
    QVERIFY(again.open(file));
    QVERIFY(again.hasUser(3));
    QCOMPARE(readAnswer(ServerStore::answer(again.record(3))).feeds,
        QStringList{QStringLiteral("2:1:T:http://x/:3")});
}

void tst_ServerStore::truncatedMessagesChangeNothing_data()
{
    QTest::addColumn<Protocol>("message");
    Protocol folders(41, ClientMessage::FoldersChanged);
    folders.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 2);
    folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, 9);
    folders.add(ProtocolField::FolderTitle, ProtocolArg::String, QStringLiteral("Only one"), 1);
    folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 0);
    QTest::newRow("folders fewer than counted") << folders;

    Protocol feed = feedMessage(
        ClientMessage::FeedSubscribed, 2, 8, QStringLiteral("T"), QStringLiteral("http://t/"), 3);
    Protocol cut(41, ClientMessage::FeedSubscribed);
    for (int i = 0; i < feed.args().size() - 1; ++i)
        cut.addArg(feed.args().at(i));
    QTest::newRow("feed without state") << cut;

    Protocol settings(41, ClientMessage::SettingChanged);
    settings.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    QTest::newRow("setting without value") << settings;
    QTest::newRow("empty unsubscription") << Protocol(41, ClientMessage::FeedUnsubscribed);
}

void tst_ServerStore::truncatedMessagesChangeNothing()
{
    QFETCH(Protocol, message);
    ServerStore store;
    QVERIFY(store.open(m_dir.filePath(QStringLiteral("truncated.sqlite"))));
    store.addUser(2);
    QVERIFY(store.apply(2,
        feedMessage(ClientMessage::FeedSubscribed, 2, 8, QStringLiteral("Kept"),
            QStringLiteral("http://t/"), 3)));
    const QString before
        = readAnswer(ServerStore::answer(store.record(2))).feeds.join(QLatin1Char('|'));
    QVERIFY(!store.apply(2, message));
    QVERIFY(!store.errorString().isEmpty());
    const ReadAnswer after = readAnswer(ServerStore::answer(store.record(2)));
    QCOMPARE(after.feeds.join(QLatin1Char('|')), before);
    QVERIFY(after.settings.isEmpty());
}

void tst_ServerStore::messagesForUnknownUsersAreNotKept()
{
    // Recording only this change would later answer the user with one feed and
    // make the reader delete every other local feed.
    ServerStore store;
    QVERIFY(store.open(m_dir.filePath(QStringLiteral("unknown.sqlite"))));
    QVERIFY(!store.apply(99,
        feedMessage(ClientMessage::FeedSubscribed, 2, 1, QStringLiteral("T"),
            QStringLiteral("http://x/"), 3)));
    QVERIFY(!store.hasUser(99));
}

void tst_ServerStore::foreignFilesAreRefusedUntouched_data()
{
    QTest::addColumn<QString>("file");
    const QString text = m_dir.filePath(QStringLiteral("text.sqlite"));
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("this is not a database\n").repeated(100));
    f.close();
    QTest::newRow("not SQLite") << text;

    const QString other = m_dir.filePath(QStringLiteral("other.sqlite"));
    {
        QSqlDatabase db
            = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(other);
        QVERIFY(db.open());
        QSqlQuery(db).exec(QStringLiteral("create table mine (x integer)"));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    QTest::newRow("another program's database") << other;
    QTest::newRow("a folder") << m_dir.path();
}

void tst_ServerStore::foreignFilesAreRefusedUntouched()
{
    QFETCH(QString, file);
    const QByteArray before = digest(file);
    ServerStore store;
    QVERIFY(!store.open(file));
    QVERIFY(!store.isOpen());
    QVERIFY(store.errorString().contains(file));
    QCOMPARE(digest(file), before);
}

void tst_ServerStore::localProfileIsAdopted()
{
    const QString database = m_dir.filePath(QStringLiteral("5.rssdb"));
    {
        QSqlDatabase db;
        QVERIFY(FeedDatabase::open(db, database));
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("insert into folder (id, title) values(3, 'Tech')")));
        QVERIFY(q.exec(
            QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, "
                           "folderid, inclient) values(1, 'http://own/', NULL, 1, -1, 3, 0)")));
        QVERIFY(q.exec(
            QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, "
                           "folderid, inclient) values(2, 'https://cat/', 'Cat', 0, 1005, 1, 1)")));
        FeedDatabase::close(db);
    }
    const QString settingsFile = m_dir.filePath(QStringLiteral("5.ini"));
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        settings.setValue(QStringLiteral("RSS/updateIntervall"), 45);
        settings.setValue(QStringLiteral("RSS/MaxItemsInClient"), 7);
    }
    const QByteArray before = digest(database);
    UserRecord record;
    QString reason;
    QVERIFY2(LocalProfile(database, settingsFile).read(&record, &reason), qPrintable(reason));
    QCOMPARE(digest(database), before);

    ServerStore store;
    QVERIFY(store.open(m_dir.filePath(QStringLiteral("adopt.sqlite"))));
    QVERIFY(store.addUser(5, record));
    const ReadAnswer answer = readAnswer(ServerStore::answer(store.record(5)));
    QCOMPARE(answer.settings, (QMap<int, int>{{776, 45}, {779, 7}}));
    QCOMPARE(answer.feeds,
        (QStringList{
            QStringLiteral("2:1::http://own/:1"), QStringLiteral("1:1005:Cat:https://cat/:2")}));
    QCOMPARE(answer.folders,
        (QStringList{QStringLiteral("1:My Feeds:1/1005"), QStringLiteral("3:Tech:2/1")}));

    QString title;
    QString source;
    QVERIFY(LocalProfile(database, settingsFile).catalogueFeed(1005, &title, &source));
    QCOMPARE(source, QStringLiteral("https://cat/"));

    // A file that is not a database cannot be adopted: the caller must not record the user.
    const QString broken = m_dir.filePath(QStringLiteral("broken.rssdb"));
    QFile f(broken);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    QVERIFY(!LocalProfile(broken, settingsFile).read(&record, &reason));
}

QTEST_MAIN(tst_ServerStore)
#include "tst_clientstore.moc"
