#include "headlesstransfer.h"
#include "pluginhost.h"

#include "core/newsplugininterface.h"

#include <QFile>
#include <QSaveFile>
#include <QVariantMap>

#include <cstdio>

HeadlessTransfer::HeadlessTransfer(PluginHost *host, const QString &importFile,
    const QString &exportFile, QIODevice *output, QIODevice *errors, QObject *parent)
    : QObject(parent),
      m_host(host),
      m_importFile(importFile),
      m_exportFile(exportFile),
      m_output(output),
      m_errors(errors)
{
}

bool HeadlessTransfer::prepare(QString *errorString)
{
    NewsPluginInterface *news = m_host->news();
    if (!news) {
        *errorString = tr("This news plug-in cannot import or export subscription lists.");
        return false;
    }
    if (!m_importFile.isEmpty()) {
        // Read before anything is synchronised: a list that cannot be read changes nothing.
        QFile file;
        const bool opened = m_importFile == QLatin1String("-")
            ? file.open(stdin, QIODevice::ReadOnly)
            : (file.setFileName(m_importFile), file.open(QIODevice::ReadOnly));
        if (!opened) {
            *errorString = tr("The subscription list %1 cannot be read: %2")
                               .arg(m_importFile, file.errorString());
            return false;
        }
        m_document = file.readAll();
    }
    // Importing happens inside the synchronisation, before the updater's first run.
    news->onSynchronised(this, [this] { synchronised(); });
    news->onDatabaseFailed(this, [this](const QString &reason) { databaseFailed(reason); });
    return true;
}

void HeadlessTransfer::synchronised()
{
    if (m_started || m_finished)
        return;
    m_started = true;
    const QString problem = m_host->news()->databaseError();
    if (!problem.isEmpty()) {
        databaseFailed(problem);
        return;
    }
    bool ok = true;
    if (!m_importFile.isEmpty())
        ok = importList();
    if (ok && !m_exportFile.isEmpty())
        ok = exportList();
    finish(ok ? 0 : 1);
}

bool HeadlessTransfer::importList()
{
    const QVariantMap answer = m_host->news()->importSubscriptions(m_document);
    const bool ok = answer.value(QStringLiteral("ok")).toBool();
    const QString summary = answer.value(QStringLiteral("summary")).toString();
    // With the list going to standard output, the summary must not mix with it.
    QIODevice *target = ok && m_exportFile != QLatin1String("-") ? m_output : m_errors;
    target->write((QStringLiteral("pellix: ") + summary + QLatin1Char('\n')).toLocal8Bit());
    return ok;
}

bool HeadlessTransfer::exportList()
{
    const QByteArray list = m_host->news()->exportSubscriptions();
    if (m_exportFile == QLatin1String("-")) {
        m_output->write(list);
        return true;
    }
    QSaveFile file(m_exportFile);
    if (file.open(QIODevice::WriteOnly) && file.write(list) == list.size() && file.commit())
        return true;
    m_errors->write(tr("pellix: the subscription list %1 cannot be written: %2\n")
                        .arg(m_exportFile, file.errorString())
                        .toLocal8Bit());
    return false;
}

void HeadlessTransfer::databaseFailed(const QString &reason)
{
    if (m_finished)
        return;
    m_errors->write(
        tr("pellix: the news database could not be opened: %1\n").arg(reason).toLocal8Bit());
    finish(1);
}

void HeadlessTransfer::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}
