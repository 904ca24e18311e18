#include "client/localprofile.h"
#include "client/serverstore.h"
#include "core/rssprotocol.h"
#include "testhelpers.h"

#include "core/feeddatabase.h"
#include "core/protocolreader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace TestHelpers;

// A feed reference or record as the plug-in writes it into its messages.
static Protocol feedMessage(quint16 command, int kind, int id, const QString &title,
    const QString &source = QString(), int state = 3)
{
    Protocol p(ClientMessage::NewsModule, command);
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

static Protocol settingMessage(int field, ProtocolArg::Type type, int value)
{
    Protocol p(ClientMessage::NewsModule, ClientMessage::SettingChanged);
    p.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    p.add(field, type, value);
    return p;
}

// The answer read back with the plug-in's strict reader: settings, feeds, folders.
struct ReadAnswer
{
    QMap<int, int> settings;
    QStringList feeds; // "kind:id:title:source:state"
    QStringList folders; // "id:title:kind/id,kind/id"
};

static ReadAnswer readAnswer(const Protocol &answer)
{
    ReadAnswer r;
    ProtocolReader in(answer.args());
    qint64 n = 0, kind = 0, id = 0, value = 0, count = 0;
    quint32 field = 0;
    QString title, source;
    for (in.readInt(&n); n-- > 0 && in.readField(&field, &value);)
        r.settings.insert(int(field), int(value));
    for (in.readInt(&n); n-- > 0 && in.readInt(&kind) && in.readInt(&id) && in.readText(&title)
         && in.readText(&source) && in.readInt(&value);)
        r.feeds.append(
            QStringLiteral("%1:%2:%3:%4:%5").arg(kind).arg(id).arg(title, source).arg(value));
    for (in.readInt(&n); n-- > 0 && in.readInt(&id) && in.readText(&title) && in.readInt(&count);) {
        QStringList refs;
        while (count-- > 0 && in.readInt(&kind) && in.readInt(&value))
            refs.append(QStringLiteral("%1/%2").arg(kind).arg(value));
        r.folders.append(
            QStringLiteral("%1:%2:%3").arg(id).arg(title, refs.join(QLatin1Char(','))));
    }
    if (in.failed() || !in.atEnd())
        r.folders.append(QStringLiteral("unreadable at %1").arg(in.position()));
    return r;
}

static ReadAnswer answerFor(const ServerStore &store, quint32 user)
{
    return readAnswer(ServerStore::answer(store.record(user)));
}

class tst_ServerStore : public QObject
{
    Q_OBJECT
private slots:
    void newUserAndMessagesChangeTheRecord();
    void truncatedMessagesChangeNothing_data();
    void truncatedMessagesChangeNothing();
    void foreignFilesAreRefusedUntouched_data();
    void foreignFilesAreRefusedUntouched();
    void localProfileIsAdopted();

private:
    QTemporaryDir m_dir;
};

void tst_ServerStore::newUserAndMessagesChangeTheRecord()
{
    const QString file = m_dir.filePath(QStringLiteral("messages.sqlite"));
    auto store = std::make_unique<ServerStore>();
    QVERIFY2(store->open(file), qPrintable(store->errorString()));
    // Recording a change for an unknown user would later answer with that one feed
    // and make the reader delete every other local feed.
    const Protocol subscribeA = feedMessage(
        ClientMessage::FeedSubscribed, 2, 1, QString(), QStringLiteral("http://a/feed"));
    QVERIFY(!store->apply(1, subscribeA));
    QVERIFY(!store->hasUser(1));
    // A new user gets one untitled folder and nothing else.
    QVERIFY(store->addUser(1));
    QVERIFY(store->hasUser(1));
    const ReadAnswer fresh = answerFor(*store, 1);
    QVERIFY(fresh.settings.isEmpty() && fresh.feeds.isEmpty());
    QCOMPARE(fresh.folders, QStringList{QStringLiteral("1::")});
    const auto catalogue = [](int id, QString *title, QString *source) {
        if (id != 1005)
            return false;
        *title = QStringLiteral("Catalogue title");
        *source = QStringLiteral("https://example.org/catalogue.xml");
        return true;
    };
    const QString a = QStringLiteral("http://a/feed");
    const QString b = QStringLiteral("http://b/feed");

    using namespace ClientMessage;
    QVERIFY(store->apply(1, subscribeA));
    QVERIFY(store->apply(1, feedMessage(FeedSubscribed, 1, 1005, QString()), catalogue));
    QVERIFY(store->apply(1, feedMessage(FeedSubscribed, 2, 2, QStringLiteral("B"), b)));
    // The fetched title of the own feed, and "keep the items" of feed b (state 0).
    QVERIFY(store->apply(1, feedMessage(FeedChanged, 2, 1, QStringLiteral("Ä title"), a)));
    QVERIFY(store->apply(1, feedMessage(FeedChanged, 2, 2, QStringLiteral("B"), b, 0)));
    QVERIFY(store->apply(
        1, feedMessage(FeedChanged, 1, 1005, QStringLiteral("Renamed"), QString(), 1), catalogue));
    QVERIFY(store->apply(1, feedMessage(FeedUnsubscribed, 2, 2, QString(), b)));
    QVERIFY(
        store->apply(1, settingMessage(ProtocolField::MaxItemsInViewer, ProtocolArg::UInt16, 17)));
    QVERIFY(store->apply(1, settingMessage(ProtocolField::NewItemsOnly, ProtocolArg::UInt8, 1)));

    Protocol folders(ClientMessage::NewsModule, FoldersChanged);
    folders.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 2);
    for (const auto &[id, title, kind, feed] :
        {std::tuple{1, "My Feeds", 2, 1}, std::tuple{4, "Tech", 1, 1005}}) {
        folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, id);
        folders.add(ProtocolField::FolderTitle, ProtocolArg::String, QString::fromUtf8(title), 1);
        folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 1);
        folders.add(ProtocolField::FeedKind, ProtocolArg::UInt16, kind);
        folders.add(kind == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId,
            ProtocolArg::UInt32, feed);
    }
    QVERIFY(store->apply(1, folders));

    // The record survives reopening the file.
    store = std::make_unique<ServerStore>();
    QVERIFY(store->open(file));
    const Protocol answer = ServerStore::answer(store->record(1));
    const ReadAnswer read = readAnswer(answer);
    QCOMPARE(read.settings,
        (QMap<int, int>{{ProtocolField::NewItemsOnly, 1}, {ProtocolField::MaxItemsInViewer, 17}}));
    QCOMPARE(read.feeds,
        (QStringList{QStringLiteral("2:1:Ä title:http://a/feed:3"),
            QStringLiteral("1:1005:Renamed:https://example.org/catalogue.xml:1")}));
    QCOMPARE(read.folders,
        (QStringList{QStringLiteral("1:My Feeds:2/1"), QStringLiteral("4:Tech:1/1005")}));
    // The reader takes the settings by field number and the counts as integers.
    QCOMPARE(answer.args().at(0).field(), ProtocolField::SettingCount);
    QCOMPARE(answer.args().at(1).type(), ProtocolArg::UInt8);
}

void tst_ServerStore::truncatedMessagesChangeNothing_data()
{
    QTest::addColumn<Protocol>("message");
    Protocol folders(ClientMessage::NewsModule, ClientMessage::FoldersChanged);
    folders.add(ProtocolField::FolderCount, ProtocolArg::UInt16, 2);
    folders.add(ProtocolField::FolderId, ProtocolArg::UInt16, 9);
    folders.add(ProtocolField::FolderTitle, ProtocolArg::String, QStringLiteral("Only one"), 1);
    folders.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, 0);
    QTest::newRow("folders fewer than counted") << folders;

    const Protocol feed = feedMessage(
        ClientMessage::FeedSubscribed, 2, 8, QStringLiteral("T"), QStringLiteral("http://t/"));
    Protocol cut(ClientMessage::NewsModule, ClientMessage::FeedSubscribed);
    for (int i = 0; i < feed.args().size() - 1; ++i)
        cut.addArg(feed.args().at(i));
    QTest::newRow("feed without state") << cut;

    Protocol settings(ClientMessage::NewsModule, ClientMessage::SettingChanged);
    settings.add(ProtocolField::SettingCount, ProtocolArg::UInt16, 1);
    QTest::newRow("setting without value") << settings;
    QTest::newRow("empty unsubscription")
        << Protocol(ClientMessage::NewsModule, ClientMessage::FeedUnsubscribed);
}

void tst_ServerStore::truncatedMessagesChangeNothing()
{
    QFETCH(Protocol, message);
    ServerStore store;
    QVERIFY(store.open(m_dir.filePath(QStringLiteral("truncated.sqlite"))));
    store.addUser(2);
    QVERIFY(store.apply(2,
        feedMessage(ClientMessage::FeedSubscribed, 2, 8, QStringLiteral("Kept"),
            QStringLiteral("http://t/"))));
    const QStringList before = answerFor(store, 2).feeds;
    QVERIFY(!store.apply(2, message));
    QVERIFY(!store.errorString().isEmpty());
    QCOMPARE(answerFor(store, 2).feeds, before);
    QVERIFY(answerFor(store, 2).settings.isEmpty());
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
        const QString feed = QStringLiteral("insert into feeds (id, source, channeltitle, toload, "
                                            "farmid, folderid, inclient) values(%1)");
        QVERIFY(q.exec(feed.arg(QStringLiteral("1, 'http://own/', NULL, 1, -1, 3, 0"))));
        QVERIFY(q.exec(feed.arg(QStringLiteral("2, 'https://cat/', 'Cat', 0, 1005, 1, 1"))));
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
    const ReadAnswer answer = answerFor(store, 5);
    QCOMPARE(answer.settings,
        (QMap<int, int>{
            {ProtocolField::UpdateInterval, 45}, {ProtocolField::MaxItemsInClient, 7}}));
    QCOMPARE(answer.feeds,
        (QStringList{
            QStringLiteral("2:1::http://own/:1"), QStringLiteral("1:1005:Cat:https://cat/:2")}));
    QCOMPARE(answer.folders,
        (QStringList{QStringLiteral("1:My Feeds:1/1005"), QStringLiteral("3:Tech:2/1")}));

    QString title;
    QString source;
    QVERIFY(LocalProfile(database, settingsFile).catalogueFeed(1005, &title, &source));
    QCOMPARE(source, QStringLiteral("https://cat/"));
}

QTEST_MAIN(tst_ServerStore)
#include "tst_clientstore.moc"
