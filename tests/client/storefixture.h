#pragma once

// What the server store tests share: the plug-in's messages to the store, the store's
// answer read back, sample records, and a fixture that opens a new store of either back end.

#include "client/serverstore.h"
#include "client/storemessages.h"
#include "core/protocolreader.h"
#include "core/rssprotocol.h"
#include "testhelpers.h"
#include "testpostgres.h"

#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

using namespace Qt::StringLiterals;

// A feed reference or record as the plug-in writes it into its messages.
inline Protocol feedMessage(quint16 command, int kind, int id, const QString &title,
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

inline Protocol settingMessage(int field, ProtocolArg::Type type, int value)
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

inline ReadAnswer readAnswer(const Protocol &answer)
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
        r.feeds.append(u"%1:%2:%3:%4:%5"_s.arg(kind).arg(id).arg(title, source).arg(value));
    for (in.readInt(&n); n-- > 0 && in.readInt(&id) && in.readText(&title) && in.readInt(&count);) {
        QStringList refs;
        while (count-- > 0 && in.readInt(&kind) && in.readInt(&value))
            refs.append(u"%1/%2"_s.arg(kind).arg(value));
        r.folders.append(u"%1:%2:%3"_s.arg(id).arg(title, refs.join(u',')));
    }
    if (in.failed() || !in.atEnd())
        r.folders.append(u"unreadable at %1"_s.arg(in.position()));
    return r;
}

inline ReadAnswer answerFor(const ServerStore &store, quint32 user)
{
    return readAnswer(StoreMessages::answer(store.record(user)));
}

// The back ends: a SQLite file, and a database of a PostgreSQL server the test starts.
inline const char *const Backends[] = {"sqlite", "postgresql"};

// A record as one line, for comparisons that name the difference.
inline QString recordText(const UserRecord &r)
{
    QStringList parts;
    for (auto it = r.settings.cbegin(); it != r.settings.cend(); ++it)
        parts.append(u"s%1=%2"_s.arg(it.key()).arg(it.value()));
    for (const UserRecord::Feed &f : r.feeds)
        parts.append(u"f%1/%2/%3/%4/%5/%6"_s.arg(f.kind)
                         .arg(f.id)
                         .arg(f.title, f.source)
                         .arg(f.state)
                         .arg(f.title.isNull()));
    for (const UserRecord::Folder &f : r.folders) {
        parts.append(u"d%1/%2"_s.arg(f.id).arg(f.title));
        for (const auto &ref : f.feeds)
            parts.append(u"r%1/%2"_s.arg(ref.first).arg(ref.second));
    }
    return parts.join(u' ');
}

inline Protocol foldersMessage(const QList<UserRecord::Folder> &layout)
{
    Protocol p(ClientMessage::NewsModule, ClientMessage::FoldersChanged);
    p.add(ProtocolField::FolderCount, ProtocolArg::UInt16, uint(layout.size()));
    for (const UserRecord::Folder &folder : layout) {
        p.add(ProtocolField::FolderId, ProtocolArg::UInt16, folder.id);
        p.add(ProtocolField::FolderTitle, ProtocolArg::String, folder.title, 1);
        p.add(ProtocolField::FolderFeedCount, ProtocolArg::UInt16, uint(folder.feeds.size()));
        for (const auto &ref : folder.feeds) {
            p.add(ProtocolField::FeedKind, ProtocolArg::UInt16, ref.first);
            p.add(ref.first == 1 ? ProtocolField::FarmId : ProtocolField::OwnFeedId,
                ProtocolArg::UInt32, ref.second);
        }
    }
    return p;
}

inline UserRecord sampleRecord(quint32 user)
{
    UserRecord record;
    const int base = int(user % 1000) * 100;
    record.settings = {{776, int(user) + 10}, {780, 7}};
    for (int i = 1; i <= 3; ++i) {
        const QString source = u"http://127.0.0.1/%1/%2.xml"_s.arg(user).arg(i);
        record.feeds.append(
            {i == 2 ? 1 : 2, base + i, i == 3 ? QString() : u"Feed ü%1"_s.arg(i), source, i});
    }
    record.folders = {{1, u"My Feeds"_s, {{2, base + 1}}},
        {7, u"Tech %1"_s.arg(user), {{1, base + 2}, {2, base + 3}}}};
    return record;
}

class StoreFixture
{
protected:
    static void addBackendColumn()
    {
        QTest::addColumn<QString>("backend");
        for (const char *backend : Backends)
            QTest::newRow(backend) << QString::fromLatin1(backend);
    }

    // The location of a new, empty store of that back end.
    QString newLocation(const QString &backend)
    {
        if (backend == "sqlite"_L1)
            return m_dir.filePath(u"store%1.sqlite"_s.arg(++m_files));
        return m_postgres.newDatabaseAddress(&m_postgresProblem);
    }

    std::unique_ptr<ServerStore> openStore(const QString &location)
    {
        std::unique_ptr<ServerStore> store = ServerStore::forLocation(location);
        if (!store->open(location))
            qWarning("%s", qPrintable(store->errorString()));
        return store;
    }

    // Runs statements in the store past its own connection; why one failed, if one did.
    QString execute(const QString &location, const QStringList &statements)
    {
        if (!location.contains("://"_L1))
            return TestHelpers::sqliteExec(location, statements) ? QString()
                                                                 : u"refused by SQLite"_s;
        QString reason;
        for (const QString &statement : statements) {
            if (!m_postgres.execute(statement, QUrl(location).path().mid(1), &reason))
                return reason.isEmpty() ? statement : reason;
        }
        return QString();
    }

    QTemporaryDir m_dir;
    TestPostgres m_postgres;
    QString m_postgresProblem;
    int m_files = 0;
};

// Skips only where the machine has no PostgreSQL to start.
#define NEW_LOCATION(variable, backend)                                                            \
    const QString variable = newLocation(backend);                                                 \
    if (variable.isEmpty())                                                                        \
        QSKIP(qPrintable(m_postgresProblem));
