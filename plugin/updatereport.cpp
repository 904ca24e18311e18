#include "updatereport.h"

#include "feedsubscriptions.h"

#include "core/feedhealth.h"

#include "updater/updater.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

UpdateReport::UpdateReport(FeedSubscriptions *subscriptions, QObject *parent)
    : QObject(parent), m_subscriptions(subscriptions)
{
}

void UpdateReport::watch(Updater *updater)
{
    m_updater = updater;
    // Before newItems: the views read the record when they hear of the feed.
    connect(updater, &Updater::feedFinished, this,
        [this](int id, Updater::Outcome outcome, const QString &reason) {
            recordHealth(id, outcome, reason);
        });
    connect(updater, &Updater::newItems, this, &UpdateReport::feedDone);
    connect(updater, &Updater::storageFailed, this, &UpdateReport::storageFailed);
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
    for (int id : silent) {
        recordHealth(id, Updater::Failed, m_updater->lastError(id));
        emit feedEndedSilently(id);
        emitFeedUpdated(id, QStringLiteral("failed"), m_updater->lastError(id));
    }
    emit runFinished();
}

void UpdateReport::recordHealth(int id, int outcome, const QString &reason)
{
    if (id == 0)
        return;
    FeedHealth::Record record;
    record.checked = QDateTime::currentDateTimeUtc();
    switch (outcome) {
    case Updater::Changed:
        record.result = FeedHealth::Changed;
        break;
    case Updater::Unchanged:
        record.result = FeedHealth::Unchanged;
        break;
    case Updater::Failed: {
        // The updater words its reasons "HTTP 404 Not Found", "not a feed", or
        // gives the transfer's own error text.
        static const QRegularExpression http(QStringLiteral("^HTTP (\\d{3})\\b"));
        const QRegularExpressionMatch status = http.match(reason);
        if (status.hasMatch()) {
            record.result = FeedHealth::HttpError;
            record.httpStatus = status.captured(1).toInt();
        } else if (reason == QLatin1String("not a feed")) {
            record.result = FeedHealth::NotAFeed;
        } else {
            record.result = FeedHealth::NetworkError;
        }
        record.error = reason;
        break;
    }
    default:
        return;
    }
    FeedHealth(m_subscriptions->database()).store(id, record);
}
