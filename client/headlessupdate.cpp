#include "headlessupdate.h"
#include "pluginhost.h"

#include "host/wrapplugin.h"

#include <QIODevice>
#include <QMetaObject>

HeadlessUpdate::HeadlessUpdate(PluginHost *host, const QStringList &subscriptions,
    QIODevice *output, QIODevice *errors, QObject *parent)
    : QObject(parent),
      m_host(host),
      m_subscriptions(subscriptions),
      m_output(output),
      m_errors(errors)
{
}

bool HeadlessUpdate::attach(QString *errorString)
{
    // Subscribing and starting the run happen inside the synchronisation, before
    // the updater's first run can begin on its own.
    const bool ok
        = m_host->connectSignal("synchronised()", this, "synchronised()", Qt::DirectConnection)
        && (m_host->connectSignal("feedUpdated(int,QString,QString,QString)", this,
                "feedUpdated(int,QString,QString,QString)")
            || m_host->connectSignal(
                "feedUpdated(int,QString,QString)", this, "feedUpdated(int,QString,QString)"))
        && m_host->connectSignal("updateRunFinished()", this, "runFinished()")
        && m_host->hasMethod("updateAllFeeds()");
    if (!ok) {
        if (errorString)
            *errorString = tr("This news plug-in cannot update feeds without a window.");
        return false;
    }
    m_host->connectSignal("databaseFailed(QString)", this, "databaseFailed(QString)");
    return true;
}

void HeadlessUpdate::synchronised()
{
    if (m_started || m_finished)
        return;
    m_started = true;
    QObject *plugin = m_host->plugin();
    QString problem;
    if (m_host->hasMethod("databaseError()"))
        QMetaObject::invokeMethod(
            plugin, "databaseError", Qt::DirectConnection, Q_RETURN_ARG(QString, problem));
    if (!problem.isEmpty()) {
        databaseFailed(problem);
        return;
    }
    for (const QString &address : std::as_const(m_subscriptions))
        QMetaObject::invokeMethod(plugin, "saveFeed", Qt::DirectConnection, Q_ARG(QString, address),
            Q_ARG(QString, QString()), Q_ARG(int, -1));
    QMetaObject::invokeMethod(plugin, "updateAllFeeds", Qt::DirectConnection);
}

void HeadlessUpdate::feedUpdated(
    int id, const QString &source, const QString &outcome, const QString &reason)
{
    if (m_finished || m_reported.contains(id))
        return;
    m_reported.insert(id);
    QString line = QStringLiteral("%1\t%2\t%3").arg(id).arg(source, outcome);
    if (!reason.isEmpty()) {
        // One line per feed, whatever the error text holds.
        QString why = reason;
        why.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        line += QLatin1Char('\t') + why.remove(QLatin1Char('\r'));
    }
    line += QLatin1Char('\n');
    // The output is unbuffered: a script following a long run sees each line as it comes.
    m_output->write(line.toUtf8());
}

void HeadlessUpdate::runFinished()
{
    if (m_started)
        finish(0);
}

void HeadlessUpdate::databaseFailed(const QString &reason)
{
    if (m_finished)
        return;
    if (m_errors)
        m_errors->write(
            tr("pellix: the news database could not be opened: %1\n").arg(reason).toUtf8());
    finish(1);
}

void HeadlessUpdate::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}
