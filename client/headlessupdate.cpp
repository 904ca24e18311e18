#include "headlessupdate.h"
#include "pluginhost.h"

#include "core/newsplugininterface.h"
#include "host/wrapplugin.h"

#include <QIODevice>

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
    NewsPluginInterface *news = m_host->news();
    if (!news) {
        if (errorString)
            *errorString = tr("This news plug-in cannot update feeds without a window.");
        return false;
    }
    news->onSynchronised(this, [this] { synchronised(); });
    news->onFeedUpdated(
        this, [this](int id, const QString &source, const QString &outcome, const QString &reason) {
            feedUpdated(id, source, outcome, reason);
        });
    news->onUpdateRunFinished(this, [this] { runFinished(); });
    news->onDatabaseFailed(this, [this](const QString &reason) { databaseFailed(reason); });
    news->onStorageFailed(this, [this](int id) { storageFailed(id); });
    return true;
}

void HeadlessUpdate::synchronised()
{
    start();
}

void HeadlessUpdate::start()
{
    if (m_started || m_finished)
        return;
    m_started = true;
    NewsPluginInterface *news = m_host->news();
    const QString problem = news->databaseError();
    if (!problem.isEmpty()) {
        databaseFailed(problem);
        return;
    }
    for (const QString &address : std::as_const(m_subscriptions))
        news->subscribe(address);
    news->updateAllFeeds();
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
    if (!m_started)
        return;
    if (!m_unstored.isEmpty() && m_errors) {
        m_errors->write(tr("pellix: the news of %n feed(s) could not be stored in the news "
                           "database; it is locked by another program, read-only or full.",
                            nullptr, int(m_unstored.size()))
                            .toUtf8()
            + '\n');
    }
    finish(m_unstored.isEmpty() ? 0 : 1);
}

void HeadlessUpdate::storageFailed(int id)
{
    if (m_started && !m_finished)
        m_unstored.insert(id);
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
