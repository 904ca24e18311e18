#pragma once

#include "core/feeddatabase.h"
#include "core/rssprotocol.h"
#include "host/cpxbuddy_administrator.h"
#include "host/pdir.h"
#include "host/protocol.h"
#include "host/request.h"
#include "host/wrappluginhelper.h"
#include "plugin/prssfeedplugin.h"
#include "recordingrouter.h"
#include "scripteddialogs.h"
#include "testhelpers.h"

#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

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
        ScriptedMessageBox::clearScript();
        CPxBuddy_Administrator::Instance().reset();
        PDir::setHomePath(QString());
    }

    // Signs in, fails the mandator request; returns the index of the feeds request.
    int signInUntilFeedsRequest(quint32 user = 4711)
    {
        const int from = router.count();
        CPxBuddy_Administrator::Instance().signIn(user);
        // The file is thrown away: no need to wait for the disk after every statement.
        exec("PRAGMA synchronous = OFF");
        const int mandator
            = router.indexOf(ClientMessage::CoreModule, ClientMessage::MandatorIdRequest, from);
        if (mandator < 0 || !router.fail(mandator))
            return -1;
        // A request that never comes shows as -1 below.
        (void)QTest::qWaitFor(
            [&] {
                return router.indexOf(
                           ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest, from)
                    >= 0;
            },
            5000);
        return router.indexOf(
            ClientMessage::NewsModule, ClientMessage::FeedsAndSettingsRequest, from);
    }

    // Fails the feeds request too, so that the plug-in works on its local state.
    bool synchroniseWithFailure()
    {
        QSignalSpy done(plugin.get(), &PRSSFeedPlugin::synchronised);
        const int request = signInUntilFeedsRequest();
        return request >= 0 && router.fail(request) && done.wait(5000);
    }

    // Delivers a command of module 41 as the client does: "succeeded" or "failed <code>".
    static QString deliver(quint16 command, const QList<qint32> &args = {}, bool message = true)
    {
        Protocol m(ClientMessage::NewsModule, command);
        for (qint32 value : args)
            m.add(0, ProtocolArg::Int32, value);
        QString outcome = "pending";
        auto &helper = WrapPluginHelper::Instance();
        // The request may be gone when a modal window returns.
        const auto connection
            = QObject::connect(&helper, &WrapPluginHelper::commandFinished, [&outcome](Request *r) {
                  outcome = r->outcome() == Request::Outcome::Succeeded
                      ? "succeeded"
                      : QString("failed %1").arg(r->failureCode());
              });
        helper.deliverCommand(ClientMessage::NewsModule, command, message ? &m : nullptr);
        QObject::disconnect(connection);
        return outcome;
    }

    static QSqlDatabase db()
    {
        return QSqlDatabase::database(FeedDatabase::connectionName(), false);
    }

    static QString exec(const QString &sql, const QVariantList &values = {})
    {
        return TestHelpers::execSql(db(), sql, values);
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
                row.append(query.value(i).isNull() ? "NULL" : query.value(i).toString());
            result.append(row.join('|'));
        }
        return result.join(';');
    }

    static int count(const QString &table) { return rows("select count(*) from " + table).toInt(); }

    static void addFeed(int id, const QString &source, qint64 farmid, int toload = 1,
        int inclient = 1, int folder = 1, const QVariant &title = QVariant())
    {
        exec("insert into feeds (id, source, channeltitle, toload, farmid, folderid, inclient) "
             "values (?, ?, ?, ?, ?, ?, ?)",
            {id, source, title, toload, farmid, folder, inclient});
    }

    static void addItems(int channel, int count)
    {
        for (int i = 1; i <= count; ++i)
            exec("insert into items (channelid, itemid, isread) values (?, ?, 0)", {channel, i});
    }

    // "module,command field:type:value ...", encoding in the type ("s1"): messages as literals.
    static QString describe(const Protocol &message)
    {
        static const char *const types[] = {"u8", "u16", "u32", "i32", "s", "b"};
        QStringList parts{QString("%1,%2").arg(message.module()).arg(message.command())};
        for (const ProtocolArg &arg : message.args()) {
            QString type = QLatin1String(types[arg.type()]);
            if (arg.type() == ProtocolArg::String)
                type += QString::number(arg.encoding());
            const QString value = arg.type() >= ProtocolArg::String
                ? arg.variant().toString()
                : QString::number(arg.variant().toLongLong());
            parts.append(QString("%1:%2:%3").arg(arg.field()).arg(type, value));
        }
        return parts.join(' ');
    }

    // The messages sent since index from, described.
    QStringList sentSince(int from) const
    {
        QStringList result;
        for (int i = from; i < router.count(); ++i)
            result.append(describe(router.message(i)));
        return result;
    }

    QTemporaryDir home;
    RecordingRouter router;
    std::unique_ptr<PRSSFeedPlugin> plugin;
};
