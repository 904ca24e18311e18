#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class FeedSubscriptions;
class Updater;

// Follows the updater's runs and reports each feed once as it ends, with its
// address, and the end of the run: what a run without a window prints. It also
// keeps each feed's health in the profile as the feed ends.
class UpdateReport : public QObject
{
    Q_OBJECT
public:
    explicit UpdateReport(FeedSubscriptions *subscriptions, QObject *parent = nullptr);

    // Follows this updater from now on, starting with the feeds it has queued.
    void watch(Updater *updater);
    // Notes the feeds queued since; call after adding feeds to the updater.
    void noteQueued();

signals:
    // outcome: "changed", "unchanged" or "failed"; reason: why it failed, else empty.
    void feedUpdated(int id, const QString &source, const QString &outcome, const QString &reason);
    void runFinished();
    // The database refused to store the feed's document.
    void storageFailed(int id);
    // A feed of the run that ended without newItems (its document could not be
    // fetched); the views count it as done, or they would wait for it for ever.
    void feedEndedSilently(int id);

private:
    void feedDone(int id, bool changed);
    void runOver();
    // Keeps how the feed's fetch ended in the profile, before the views hear of it.
    void recordHealth(int id, int outcome, const QString &reason);
    void emitFeedUpdated(int id, const QString &outcome, const QString &reason = QString());

    FeedSubscriptions *m_subscriptions;
    QPointer<Updater> m_updater;
    // The feeds of the updater's current run, and those it has reported.
    QSet<int> m_runFeeds;
    QSet<int> m_runReported;
};
