#include "updatereport.h"

#include "feedsubscriptions.h"

#include "updater/updater.h"

#include <QStringList>

#include <algorithm>

UpdateReport::UpdateReport(FeedSubscriptions *subscriptions, QObject *parent)
    : QObject(parent), m_subscriptions(subscriptions)
{
}

void UpdateReport::watch(Updater *updater)
{
    m_updater = updater;
    connect(updater, &Updater::newItems, this, &UpdateReport::feedDone);
    connect(updater, &Updater::queueEmpty, this, &UpdateReport::runOver);
    m_runFeeds.clear();
    m_runReported.clear();
    noteQueued();
}

void UpdateReport::noteQueued()
{
    if (!m_updater)
        return;
    const QStringList queued = m_updater->queuedFeeds();
    for (const QString &id : queued)
        m_runFeeds.insert(id.toInt());
}

void UpdateReport::emitFeedUpdated(int id, const QString &outcome, const QString &reason)
{
    emit feedUpdated(id, m_subscriptions->sourceOf(id), outcome, reason);
}

void UpdateReport::feedDone(int id, bool changed)
{
    m_runReported.insert(id);
    noteQueued();
    if (changed)
        emitFeedUpdated(id, QStringLiteral("changed"));
    else if (m_updater && m_updater->lastOutcome(id) == Updater::Failed)
        emitFeedUpdated(id, QStringLiteral("failed"), m_updater->lastError(id));
    else
        emitFeedUpdated(id, QStringLiteral("unchanged"));
}

void UpdateReport::runOver()
{
    // A feed whose document could not be fetched leaves the run without newItems.
    QList<int> silent;
    for (int id : std::as_const(m_runFeeds)) {
        if (!m_runReported.contains(id) && m_updater
            && m_updater->lastOutcome(id) == Updater::Failed)
            silent.append(id);
    }
    std::sort(silent.begin(), silent.end());
    m_runFeeds.clear();
    m_runReported.clear();
    for (int id : silent)
        emitFeedUpdated(id, QStringLiteral("failed"), m_updater->lastError(id));
    emit runFinished();
}
