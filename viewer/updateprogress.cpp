#include "updateprogress.h"

#include <QStatusBar>
#include <QTimer>

UpdateProgress::UpdateProgress(QStatusBar *statusBar)
    : QObject(statusBar), m_statusBar(statusBar), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_statusBar->currentMessage() == m_message)
            m_statusBar->clearMessage();
        m_message.clear();
    });
}

void UpdateProgress::begin(int total)
{
    show(tr("Update starts"), 5000);
    m_total = total;
    m_updating = true;
    m_failedInRun = 0;
}

void UpdateProgress::startRun(int total, const QList<int> &feeds)
{
    begin(total);
    m_pending = feeds;
}

void UpdateProgress::startFeed(int id)
{
    begin(1);
    m_pending.append(id);
}

void UpdateProgress::feedEnded(int id, bool failed)
{
    if (!m_updating || m_pending.removeAll(id) == 0)
        return;
    if (failed)
        ++m_failedInRun;
    show(tr("%1 from %2 news were updated.").arg(m_total - m_pending.size()).arg(m_total), 2000);
    if (m_pending.isEmpty()) {
        if (m_failedInRun == 0)
            show(tr("Update finished"), 5000);
        else
            show(tr("Update finished, %1 of %2 feeds failed.").arg(m_failedInRun).arg(m_total),
                5000);
        m_updating = false;
    }
}

void UpdateProgress::show(const QString &text, int timeout)
{
    m_message = text;
    m_statusBar->showMessage(text);
    m_timer->start(timeout);
}
