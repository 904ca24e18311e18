#pragma once

#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "host/pmessagebox.h"
#include "host/protocol.h"
#include "host/recordingrouter.h"
#include "host/request.h"
#include "plugin/feeddatabase.h"
#include "plugin/prssfeedplugin.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include <memory>

// A plug-in in a temporary home, initialised, with every message it sends recorded.
class PluginFixture
{
public:
    // homePath: a prepared home instead of an empty temporary one.
    explicit PluginFixture(const QString &homePath = QString())
    {
        CPxBuddy_Administrator::Instance().reset();
        PDir::setHomePath(homePath.isEmpty() ? home.path() : homePath);
        plugin = std::make_unique<PRSSFeedPlugin>();
        plugin->initialize();
    }
    ~PluginFixture()
    {
        if (plugin)
            plugin->shutdown();
        plugin.reset();
        PMessageBox::clearScript();
        CPxBuddy_Administrator::Instance().reset();
        PDir::setHomePath(QString());
    }
    PluginFixture(const PluginFixture &) = delete;
    PluginFixture &operator=(const PluginFixture &) = delete;

    // Signs the user in (the plug-in opens the database and asks for the mandator)
    // and fails the mandator request; returns the index of the feeds request.
    int signInUntilFeedsRequest(quint32 user = 4711)
    {
        const int from = router.count();
        CPxBuddy_Administrator::Instance().signIn(user);
        // The file is thrown away: no need to wait for the disk after every statement.
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
        const int mandator = router.indexOf(1, 41, from);
        if (mandator < 0 || !router.fail(mandator))
            return -1;
        // The reply arrives from the event loop.
        QDeadlineTimer deadline(5000);
        while (router.indexOf(41, 1, from) < 0 && !deadline.hasExpired())
            QTest::qWait(5);
        return router.indexOf(41, 1, from);
    }

    // Answers the feeds request with an empty-handed failure, so that the plug-in
    // works on its local state; returns whether the synchronisation ended.
    bool synchroniseWithFailure(quint32 user = 4711)
    {
        QSignalSpy done(plugin.get(), &PRSSFeedPlugin::synchronised);
        const int request = signInUntilFeedsRequest(user);
        return request >= 0 && router.fail(request) && done.wait(5000);
    }

    static QSqlDatabase db()
    {
        return QSqlDatabase::database(FeedDatabase::connectionName(), false);
    }

    static QString exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery query(db());
        query.prepare(sql);
        for (const QVariant &v : values)
            query.addBindValue(v);
        return query.exec() ? QString() : query.lastError().text();
    }

    static QVariant value(const QString &sql)
    {
        QSqlQuery query(db());
        if (!query.exec(sql) || !query.next())
            return QVariant();
        return query.value(0);
    }

    // Every row of a query, columns joined by "|", rows by ";".
    static QString rows(const QString &sql)
    {
        QSqlQuery query(db());
        QStringList result;
        if (!query.exec(sql))
            return query.lastError().text();
        while (query.next()) {
            QStringList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(
                    query.value(i).isNull() ? QStringLiteral("NULL") : query.value(i).toString());
            result.append(row.join(QLatin1Char('|')));
        }
        return result.join(QLatin1Char(';'));
    }

    static void addFeed(int id, const QString &source, qint64 farmid, int toload = 1,
        int inclient = 1, int folder = 1, const QVariant &title = QVariant())
    {
        exec(
            QStringLiteral("insert into feeds (id, source, channeltitle, toload, farmid, folderid, "
                           "inclient) values (?, ?, ?, ?, ?, ?, ?)"),
            {id, source, title, toload, farmid, folder, inclient});
    }

    static void addItems(int channel, int count)
    {
        for (int i = 1; i <= count; ++i)
            exec(QStringLiteral(
                     "insert into items (channelid, itemid, title, link, isread, toclear, "
                     "mark) values (?, ?, ?, ?, 0, 0, 0)"),
                {channel, i, QStringLiteral("Item %1").arg(i),
                    QStringLiteral("http://127.0.0.1/%1/%2").arg(channel).arg(i)});
    }

    // "module,command field:type:value ..." with the string encoding in the type
    // ("s1"), so that a test states a message literally.
    static QString describe(const Protocol &message)
    {
        QStringList parts{QStringLiteral("%1,%2").arg(message.module()).arg(message.command())};
        for (const ProtocolArg &arg : message.args()) {
            QString type;
            QString value = QString::number(arg.variant().toLongLong());
            switch (arg.type()) {
            case ProtocolArg::UInt8:
                type = QStringLiteral("u8");
                break;
            case ProtocolArg::UInt16:
                type = QStringLiteral("u16");
                break;
            case ProtocolArg::UInt32:
                type = QStringLiteral("u32");
                break;
            case ProtocolArg::Int32:
                type = QStringLiteral("i32");
                break;
            case ProtocolArg::String:
                type = QStringLiteral("s%1").arg(arg.encoding());
                value = arg.variant().toString();
                break;
            case ProtocolArg::Bytes:
                type = QStringLiteral("b");
                value = QString::fromUtf8(arg.variant().toByteArray());
                break;
            }
            parts.append(QStringLiteral("%1:%2:%3").arg(arg.field()).arg(type, value));
        }
        return parts.join(QLatin1Char(' '));
    }

    // The messages sent since index from, described.
    QStringList sentSince(int from) const
    {
        QStringList result;
        for (int i = from; i < router.count(); ++i)
            result.append(describe(router.message(i)));
        return result;
    }

    QStringList commandsSince(int from) const { return router.commandList().mid(from); }

    QTemporaryDir home;
    RecordingRouter router;
    std::unique_ptr<PRSSFeedPlugin> plugin;
};
